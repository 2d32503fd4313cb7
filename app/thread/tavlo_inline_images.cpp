#include "tavlo_inline_images.h"

#include "tavlo_cache_image_file.h"
#include "tavlo_image.h"
#include "tavlo_image_download.h"
#include "tavlo_image_url_replace.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_post_converter.h"
#include "tavlo_settings.h"
#include "tavlo_text_layout.h"
#include "vorn_kcode.h"

#include <QPainter>

namespace {

bool isImageRow(const CTavloTextLayout& layout, int line) {
    const size_t s = layout.LineStart(line);
    return s < layout.Length() && layout.At(s) == static_cast<char16_t>(TAVLO_MARK_IMAGE);
}

} // namespace

void CTavloInlineImages::Clear() {
    m_lineText.clear();
    m_links.clear();
    m_thumbs.clear();
}

const QImage* CTavloInlineImages::thumbnail(const CVornString& path, int width, int height) {
    if (height != m_thumbHeight) {
        // A new font or row count: every thumbnail has another size now.
        m_thumbs.clear();
        m_thumbHeight = height;
    }
    auto it = m_thumbs.find(path.c_str());
    if (it == m_thumbs.end()) {
        CTavloImage image;
        // A picture that cannot be decoded is remembered as none, not tried on every paint.
        QImage bitmap;
        if (image.LoadFit(path, width, height) == 0)
            bitmap = image.GetBitmap();
        it = m_thumbs.emplace(path.c_str(), std::move(bitmap)).first;
    }
    return it->second.isNull() ? nullptr : &it->second;
}

void CTavloInlineImages::drawIcon(QPainter& p, int x, int size, bool loading) {
    const QRect box(x + 1, 1, std::max(2, size - 2), std::max(2, size - 2));
    p.fillRect(box, TavloColor(loading ? kLoadingColor : kIconColor));
    p.setPen(TavloColor(CTavloSettings::Instance().ColorFore));
    p.drawRect(box.adjusted(0, 0, -1, -1));
    if (!loading) {
        // A down arrow: waiting to be fetched.
        const int cx = box.center().x(), top = box.top() + 2, bottom = box.bottom() - 2;
        p.drawLine(cx, top, cx, bottom);
        p.drawLine(cx - size / 5, bottom - size / 5, cx, bottom);
        p.drawLine(cx + size / 5, bottom - size / 5, cx, bottom);
    }
}

bool CTavloInlineImages::PaintRow(QPainter& p, const TavloTextRun& run,
                                  const CTavloTextLayout& layout, int lineHeight, int clientWidth) {
    const CTavloSettings& s = CTavloSettings::Instance();
    if (s.InlineImage != 1 || lineHeight <= 0 || run.offset != layout.LineStart(run.line))
        return true;
    // Row index in the group, and the text line just above the group.
    int row = 0;
    int above = run.line - 1;
    while (above >= 0 && isImageRow(layout, above) && row < 1000) {
        ++row;
        --above;
    }
    if (above < 0)
        return true;
    int first = above;
    while (first > 0 && !layout.IsLastLineOfLogical(first - 1))
        --first;
    const size_t a = layout.LineStart(first);
    size_t b = layout.LineStart(above + 1);
    if (b > a && layout.At(b - 1) == u'\n')
        --b;
    std::u16string text = layout.Buffer().Substr(a, b - a);
    if (text != m_lineText) {
        m_lineText = std::move(text);
        m_links.clear();
        for (const std::u16string& link :
             CTavloImageViewUrlReplace::Instance().FindImageLinks(m_lineText)) {
            const CVornString url(VornUtf16ToSjis(link));
            m_links.push_back({url, CTavloPath::GetImageCachePath(url)});
        }
    }
    CTavloCacheImageFile& cache = CTavloCacheImageFile::Instance();
    CTavloImageDownloader* downloads = CTavloImageDownloader::Current();
    const int height = std::max(1, s.InlineImageHeight) * lineHeight;
    int x = run.x;
    for (const Link& link : m_links) {
        const QImage* thumb = !link.path.IsEmpty() && cache.IsCached(link.path)
                                  ? thumbnail(link.path, clientWidth, height)
                                  : nullptr;
        if (thumb) {
            p.drawImage(QPoint(x, 0), *thumb,
                        QRect(0, row * lineHeight, thumb->width(), lineHeight));
            x += thumb->width() + 2;
        } else {
            if (row == 0)
                drawIcon(p, x, lineHeight, downloads && downloads->IsDownloading(link.url));
            x += lineHeight + 2;
        }
        if (x >= clientWidth)
            break;
    }
    return true;
}
