#include "tavlo_image_view.h"

#include "tavlo_errors.h"
#include "tavlo_image_download.h"
#include "tavlo_image_fetch.h"
#include "tavlo_image_url_replace.h"
#include "tavlo_keys.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "vorn_kcode.h"
#include "vorn_log.h"

#include <QPaintEvent>
#include <QPainter>

#include <cstring>
#include <unistd.h>

CTavloImageView::CTavloImageView(CTavloWindow* frame, QWidget* parent)
    : CTavloImageViewBase(frame, parent) {
    setFocusPolicy(Qt::StrongFocus);
    m_downloader =
        std::make_unique<CTavloImageDownloader>(frame, [this] { return m_stop && m_stop(); });
    m_downloader->SetDone([this](const CTavloImageDownloadResult& r) { onDone(r); });
    CTavloImageDownloader::SetCurrent(m_downloader.get());
    CTavloImageViewUrlReplace::Instance().SetPageFetch(
        [this](const CVornString& url, const CVornString& referer, std::string* body,
               CVornString* cookie) {
            return TavloImageFetchPage(
                m_frame, [this] { return m_stop && m_stop(); }, url, referer, body, cookie);
        });
}

CTavloImageView::~CTavloImageView() {
    // The frame has stopped the network: the workers end soon, and their last messages are
    // refused by the closing frame.
    m_downloader.reset();
    CTavloImageViewUrlReplace::Instance().SetPageFetch(nullptr);
}

void CTavloImageView::SetStopRequest(std::function<bool()> stop) {
    m_stop = std::move(stop);
}

// Worker thread: the frame handles the result before this returns.
void CTavloImageView::onDone(const CTavloImageDownloadResult& r) {
    CTavloImageResult result;
    result.Error = r.Error;
    result.Url = r.Link;
    if (r.Error != 0 && !r.Message.IsEmpty())
        result.Text = r.Message;
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_IMAGEDONE, 0, reinterpret_cast<intptr_t>(&result));
}

int CTavloImageView::OpenImageUrl(const CVornString& url) {
    CTavloImageViewUrlReplace& table = CTavloImageViewUrlReplace::Instance();
    const std::u16string text = VornSjisToUtf16(url.view());
    if (table.FindImageLink(text, 0, nullptr) < 0)
        return -1;
    if (CanShow(url)) {
        Show(url);
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_COMMAND, ID_SHOW_IMAGE, 0);
        return 1;
    }
    if (m_downloader->IsDownloading(url))
        return 0;
    CTavloImageViewUrlReplaceMatch m;
    if (table.Match(url, &m) < 0 || m.ImageUrl.IsEmpty()) {
        TavloMessageBox(this, "URLが見つかりません", kTavloCaption,
                        TAVLO_MB_OK | TAVLO_MB_ICONERROR);
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_STATUSBAR, 0, 0);
        return 0;
    }
    VLOG(1, "CTavloImageView::OpenImageUrl", "%s -> %s", url.c_str(), m.ImageUrl.c_str());
    return m_downloader->Start(url, m.ImageUrl, m.Referer, m.Cookie, this);
}

bool CTavloImageView::IsDownloading() const {
    return m_downloader && m_downloader->Count() > 0;
}

void CTavloImageView::ShowText(const CVornString& text) {
    m_image.Clear();
    m_error = TavloQString(text);
    update();
}

bool CTavloImageView::CanShow(const CVornString& url) {
    const CVornString path = CTavloPath::GetImageCachePath(url);
    return !path.IsEmpty() && !m_downloader->IsDownloading(url) && CTavloPath::GetFileStatus(path);
}

void CTavloImageView::ShowImage(const CVornString& url) {
    Show(url);
}

void CTavloImageView::Show(const CVornString& link) {
    if (m_downloader->IsDownloading(link))
        return;
    m_image.Clear();
    m_error.clear();
    m_link = link;
    m_path = CTavloPath::GetImageCachePath(link);
    m_scrollX = m_scrollY = 0;
    int rc = m_image.Load(m_path);
    if (rc != 0) {
        char text[160];
        snprintf(text, sizeof text, "オリジナルサイズで表示出来ません。縮小して表示します(%d)", rc);
        TavloMessageBox(this, text, kTavloCaption, TAVLO_MB_OK | TAVLO_MB_ICONINFORMATION);
        int w = 0, h = 0;
        rc = CTavloImage::GetSize(m_path, &w, &h);
        if (rc != 0) {
            m_error = QString::asprintf("CTavloImage::GetSize error: %d(%d)\n", rc, errno) +
                      QString::fromLocal8Bit(strerror(errno));
        } else if ((rc = m_image.LoadScaled(m_path, std::max(1, w / 2), std::max(1, h / 2))) != 0) {
            m_error = QString::asprintf("CTavloImage::Create error: %d(%d)\n", rc,
                                        m_image.GetSystemError()) +
                      m_image.GetErrorString();
        }
    }
    update();
}

bool CTavloImageView::DeleteImage() {
    if (m_path.IsEmpty())
        return false;
    if (TavloMessageBox(this, "削除しますか？", kTavloCaption,
                        TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) != TAVLO_IDYES)
        return false;
    m_image.Clear();
    m_error.clear();
    const CVornString path = m_path;
    CTavloPath::DeleteFile(path);
    m_path.Empty();
    m_link.Empty();
    update();
    if (m_frame) {
        m_frame->SendMessage(TAVLO_WM_VIEWBACK, 0, 0);
        m_frame->SendMessage(TAVLO_WM_REFRESHIMAGES, 0, reinterpret_cast<intptr_t>(&path));
    }
    return true;
}

void CTavloImageView::SetFit(bool on) {
    m_fit = on;
    m_scrollX = m_scrollY = 0;
    clampScroll();
    update();
}

void CTavloImageView::clampScroll() {
    const int maxX = m_fit ? 0 : std::max(0, m_image.GetWidth() - width());
    const int maxY = m_fit ? 0 : std::max(0, m_image.GetHeight() - height());
    m_scrollX = std::clamp(m_scrollX, 0, maxX);
    m_scrollY = std::clamp(m_scrollY, 0, maxY);
}

void CTavloImageView::scrollBy(int dx, int dy) {
    m_scrollX += dx;
    m_scrollY += dy;
    clampScroll();
    update();
}

bool CTavloImageView::OnKeyDown(int vk, Qt::KeyboardModifiers) {
    using S = CTavloSettings;
    if (TavloKeyIs(S::CMD_RELOAD, vk)) {
        if (!m_link.IsEmpty())
            Show(m_link);
        return true;
    }
    if (TavloKeyIs(S::CMD_DELETE, vk)) {
        DeleteImage();
        return true;
    }
    if (TavloKeyIs(S::CMD_MENU, vk)) {
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_ACTIONMENU, 0, 0);
        return true;
    }
    if (TavloCommonViewKey(m_frame, vk))
        return true;
    switch (vk) {
    case TAVLO_VK_RETURN:
        SetFit(!m_fit);
        return true;
    case TAVLO_VK_LEFT:
    case TAVLO_VK_RIGHT:
    case TAVLO_VK_UP:
    case TAVLO_VK_DOWN: {
        const bool horizontal = vk == TAVLO_VK_LEFT || vk == TAVLO_VK_RIGHT;
        const bool forward = vk == TAVLO_VK_RIGHT || vk == TAVLO_VK_DOWN;
        if (m_fit || (horizontal ? m_image.GetWidth() <= width() : m_image.GetHeight() <= height()))
            return true;
        const int step = (horizontal ? width() : height()) / 5;
        VLOG(2, "CTavloImageView::OnKeyDown", "CTavloImageView::OnKeyDown: %02x(%d)", vk, step);
        if (horizontal)
            scrollBy(forward ? step : -step, 0);
        else
            scrollBy(0, forward ? step : -step);
        return true;
    }
    default:
        return false;
    }
}

bool CTavloImageView::OnCommand(int id) {
    switch (id) {
    case ID_RELOAD:
        if (!m_link.IsEmpty())
            Show(m_link);
        return true;
    case ID_DELETE:
        DeleteImage();
        return true;
    default:
        return false;
    }
}

bool CTavloImageView::UpdateCommand(int id, bool* enabled, bool* checked) {
    if (id == ID_RELOAD || id == ID_DELETE) {
        *enabled = !m_path.IsEmpty();
        *checked = false;
        return true;
    }
    return false;
}

void CTavloImageView::resizeEvent(QResizeEvent* event) {
    CTavloImageViewBase::resizeEvent(event);
    clampScroll();
}

void CTavloImageView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const CTavloSettings& s = CTavloSettings::Instance();
    p.fillRect(rect(), TavloColor(s.ColorBack));
    const int iw = m_image.GetWidth(), ih = m_image.GetHeight();
    if (!m_image.IsNull() && iw > 0 && ih > 0) {
        if (m_fit) {
            // A small picture is enlarged too.
            const double scale = std::min(double(width()) / iw, double(height()) / ih);
            const int w = std::max(1, int(iw * scale)), h = std::max(1, int(ih * scale));
            p.setRenderHint(QPainter::SmoothPixmapTransform, true);
            p.drawImage(QRect((width() - w) / 2, (height() - h) / 2, w, h), m_image.GetBitmap());
        } else {
            const int x = iw < width() ? (width() - iw) / 2 : -m_scrollX;
            const int y = ih < height() ? (height() - ih) / 2 : -m_scrollY;
            p.drawImage(x, y, m_image.GetBitmap());
        }
    }
    if (!m_error.isEmpty()) {
        p.setPen(TavloColor(s.ColorFore));
        p.drawText(rect(), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, m_error);
    }
}
