#include "tavlo_dat_ctrl.h"

#include "tavlo_image_url_replace.h"
#include "tavlo_inline_images.h"

#include "tavlo_article_file.h"
#include "tavlo_dat_file.h"
#include "tavlo_link.h"
#include "tavlo_ng_file.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_popup.h"
#include "tavlo_settings.h"
#include "vorn_file.h"
#include "vorn_kcode.h"
#include "vorn_log.h"
#include "vorn_thread.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cerrno>

namespace {

// A character that no link can span: scanning for links may start right after it.
inline bool breaksLinks(char16_t c) {
    return c <= u' ' || (c > u'~' && c != u'\uFF1E' && !TavloIsWideDigit(c));
}

constexpr size_t kLinkWindow = kTavloLinkMax + 1;

} // namespace

CTavloDatCtrl::CTavloDatCtrl(QWidget* parent) {
    const CTavloSettings& s = CTavloSettings::Instance();
    m_hideAboned = s.TransParentAbone != 0;
    m_text = new CTavloTextCtrl(parent, true);
    m_text->SetReadOnly(true);
    m_appliedFont = ArticleFont();
    m_text->SetTextFont(m_appliedFont);
    m_text->SetPainter([this](QPainter& p, const TavloTextRun& run) { return PaintRun(p, run); });
    m_text->SetColorProvider([](int which, QColor* color) {
        const CTavloSettings& st = CTavloSettings::Instance();
        *color = TavloColor(which == 0 ? st.ColorFore : st.ColorBack);
        return true;
    });
    m_text->SetBeforeHook([this](QEvent* e) {
        if (e->type() != QEvent::KeyPress)
            return false;
        if (!OnKeyDown(static_cast<QKeyEvent*>(e)))
            return false;
        RaiseFurthestRead();
        return true;
    });
    m_text->SetAfterHook([this](QEvent* e) {
        if (e->type() == QEvent::MouseButtonRelease)
            OnMouseUp(static_cast<QMouseEvent*>(e));
        else if (e->type() == QEvent::KeyPress)
            RaiseFurthestRead();
    });
    // Only the reader's own scrolling counts as reading; jumps made for them do not.
    m_text->SetScrollHook([this](int, bool byUser) {
        if (byUser)
            RaiseFurthestRead();
    });
    // A width change re-lays the text out; the post at the top stays at the top.
    m_text->SetRelayoutHook([this](bool done) {
        if (!done) {
            m_topPost = keepTopPost();
        } else {
            createIndex();
            restoreTopPost(m_topPost);
        }
    });
}

CTavloDatCtrl::~CTavloDatCtrl() {
    m_popups.reset();
    delete m_text.data();
}

void CTavloDatCtrl::SetThread(const CVornString& boardUrl, const CVornString& key) {
    m_boardUrl = boardUrl;
    m_key = key;
    m_threadId = boardUrl + key;
    if (!m_popups)
        m_popups = std::make_unique<CTavloPopupSet>(this);
    m_anchorSource = this;
    m_remoteUrl = boardUrl + "dat/" + key + ".dat";
    m_logPath = CTavloPath::GetLogPath(boardUrl, key);
    m_info.Path = CTavloPath::GetInfoPath(boardUrl, key);
}

void CTavloDatCtrl::SetNgExpression(const CVornString& pattern) {
    m_ng.reset();
    if (pattern.IsEmpty())
        return;
    auto re = std::make_unique<CVornRegex>();
    if (!re->CompileW(VornSjisToUtf16(pattern.view()))) {
        VLOG(0, "CTavloDatCtrl::SetNgExpression", "%s", re->GetError().c_str());
        return;
    }
    m_ng = std::move(re);
}

void CTavloDatCtrl::PrepareNgExpression() {
    SetNgExpression(CTavloNgFile::Instance().GetExpression(m_key, m_boardUrl));
}

size_t CTavloDatCtrl::Convert(std::u16string_view log, int firstNumber, int firstNew,
                              std::u16string& out) {
    return m_conv.Convert(log, firstNumber, firstNew, m_ng.get(), m_hideAboned, out);
}

namespace {

void applyOptions(CTavloPostConverter& conv) {
    const CTavloSettings& s = CTavloSettings::Instance();
    conv.Options().deleteBlankLines = s.DeleteBlankLines == 1;
    conv.Options().inlineImage = s.InlineImage == 1;
    conv.Options().inlineImageHeight = std::clamp(s.InlineImageHeight, 0, 100);
    // Image links by the replacement table, not only by the built-in rule.
    conv.Options().hasImageLink = [](std::u16string_view line) {
        return CTavloImageViewUrlReplace::Instance().FindImageLink(line, 0, nullptr) >= 0;
    };
}

} // namespace

int CTavloDatCtrl::CreateFromFile() {
    CVornTime timer;
    std::string bytes;
    if (m_logPath.IsEmpty() || !VornReadFile(m_logPath.c_str(), bytes)) {
        VLOG(0, "CTavloDatCtrl::CreateFromFile", "error %s(%d)", m_logPath.c_str(), errno);
        return -200;
    }
    // Always a whole new rendering: nothing of an earlier one may stay.
    m_conv.Clear();
    m_index.Clear();
    m_cacheLine = -1;
    if (bytes.empty()) {
        m_text->SetText(std::u16string());
        return 0;
    }
    if (!CTavloInfoFile::Create(m_boardUrl, m_key, m_info))
        m_info.Number = 1;
    // Posts above the boundary are new.
    int boundary = m_info.New ? m_info.Max : m_info.Count;
    applyOptions(m_conv);
    const std::u16string_view display =
        m_conv.ConvertSjisAfter({}, bytes, 1, boundary + 1, m_ng.get(), m_hideAboned);
    m_conv.TakeConverted(m_converted);
    if (m_conv.HasTitle())
        m_title = CVornString(TavloCleanTitle(m_conv.GetTitle()));
    // The converter's room becomes the text's: a whole thread is not copied once more.
    openInto(m_conv.TakeRoom(), display.size());
    JumpNumber(m_info.Number, false);
    RaiseFurthestRead();
    VLOG(1, "CTavloDatCtrl::CreateFromFile", "%d(msec)", timer.Elapsed());
    return 0;
}

void CTavloDatCtrl::openInto(TavloTextRoom&& room, size_t length) {
    m_anchors.Clear();
    m_text->AdoptText(std::move(room), length);
    createIndex();
}

void CTavloDatCtrl::createIndex(int fromLine) {
    CVornTime timer;
    m_index.Extend(m_text->Layout(), fromLine);
    m_cacheLine = -1;
    // Posts are only ever appended to a thread's text, so only new ones are indexed.
    if (m_anchors.GetCount() > m_index.GetCount())
        m_anchors.Clear();
    if (m_anchorSource == this && m_anchors.GetCount() < m_index.GetCount()) {
        const CTavloTextLayout& layout = m_text->Layout();
        const size_t from = layout.LineStart(m_index.GetLine(m_anchors.GetCount() + 1));
        const size_t length = layout.Length();
        // After an open or an append the gap is at the end: the new text is read in place.
        std::u16string copy;
        std::u16string_view added;
        if (layout.Buffer().GapPosition() >= length)
            added = std::u16string_view(layout.Buffer().Data(from), length - from);
        else
            added = copy = layout.Substr(from, length - from);
        // Just converted, the posts come with their IDs and anchors already found.
        const bool theirs = m_converted.posts.size() ==
                            static_cast<size_t>(m_index.GetCount() - m_anchors.GetCount());
        if (!theirs || !m_anchors.AddConverted(added, m_converted))
            m_anchors.AddDisplay(added);
    }
    m_converted.Clear();
    VLOG(2, "CTavloDatCtrl::createIndex", "done [%s][%d]%d(msec)", m_key.c_str(),
         m_index.GetCount(), timer.Elapsed());
}

void CTavloDatCtrl::Clear() {
    m_text->SetText(std::u16string());
    m_index.Clear();
    m_anchors.Clear();
    if (m_popups)
        m_popups->CloseAll();
    m_conv.Clear();
    m_cacheLine = -1;
    ClearImageCache();
}

int CTavloDatCtrl::GetTopPost() const {
    return GetPostNumber(m_text->GetTopLine());
}

char16_t CTavloDatCtrl::GetHeaderMark(int number) const {
    int line = m_index.GetLine(number);
    if (line < 0)
        return 0;
    const CTavloTextLayout& layout = m_text->Layout();
    size_t s = layout.LineStart(line);
    return s < layout.Length() ? layout.At(s) : 0;
}

int CTavloDatCtrl::GetLastVisiblePost() const {
    int n = GetPostCount();
    if (m_hideAboned)
        while (n > 0 && GetHeaderMark(n) == TAVLO_MARK_ABONE)
            --n;
    return n;
}

void CTavloDatCtrl::JumpNumber(int number, bool record) {
    VLOG(2, "CTavloDatCtrl::JumpNumber", "%d", number);
    if (number < 1 || number > GetPostCount())
        return;
    if (record)
        m_history.push_back(m_text->GetTopLine());
    m_text->SetTopLine(m_index.GetLine(number));
}

int CTavloDatCtrl::GetFurthestReadLine() const {
    return m_furthestPost > 0 ? std::max(0, m_index.GetLine(m_furthestPost)) : 0;
}

void CTavloDatCtrl::RaiseFurthestRead() {
    if (GetPostCount() > 0)
        m_furthestPost = std::max(m_furthestPost, GetPostNumber(m_text->GetTopLine()));
}

int CTavloDatCtrl::keepTopPost() {
    return GetTopPost();
}

void CTavloDatCtrl::restoreTopPost(int number) {
    if (number >= 1)
        JumpNumber(number, false);
    else
        m_text->SetTopLine(0);
}

void CTavloDatCtrl::MarkRead() {
    const CTavloTextLayout& layout = m_text->Layout();
    int last = std::min(m_furthestPost, GetPostCount());
    for (int k = 1; k <= last; ++k) {
        // The date line follows the header's logical line.
        int line = m_index.GetLine(k);
        while (line < layout.LineCount() && !layout.IsLastLineOfLogical(line))
            ++line;
        if (line + 1 >= layout.LineCount())
            break;
        size_t s = layout.LineStart(line + 1);
        if (s < layout.Length() && layout.At(s) == TAVLO_MARK_DATE_NEW)
            m_text->SetCharInPlace(s, TAVLO_MARK_DATE);
    }
}

void CTavloDatCtrl::OnWriteFile(const CVornString& text) {
    int shown = GetPostCount();
    VLOG(1, "CTavloDatCtrl::OnWriteFile", "TYPE_WRITEFILE: %s:%d:%d", m_title.c_str(), shown,
         text.GetLength());
    applyOptions(m_conv);
    std::u16string_view start;
    if (shown > 0) {
        // Every post already ends with its empty line; only a text cut short of it needs one
        // (a second blank line would stand before the first new post).
        const CTavloTextLayout& layout = m_text->Layout();
        const size_t n = layout.Length();
        int ends = 0;
        while (ends < 2 && static_cast<size_t>(ends) < n && layout.At(n - 1 - ends) == u'\n')
            ++ends;
        start = std::u16string_view(u"\n\n").substr(static_cast<size_t>(ends));
    }
    bool hadTitle = m_conv.HasTitle();
    // Straight from the converter's room into the text: no copy of the block in between.
    const std::u16string_view added =
        m_conv.ConvertSjisAfter(start, text.view(), shown + 1, shown + 1, m_ng.get(), m_hideAboned);
    m_conv.TakeConverted(m_converted);
    // An append lays out again from the line before the old last one; above it nothing moved.
    const int linesBefore = m_text->Layout().LineCount();
    m_text->AppendText(added);
    createIndex(linesBefore - 2);
    if (!hadTitle && m_conv.HasTitle())
        m_title = CVornString(TavloCleanTitle(m_conv.GetTitle()));
    VLOG(1, "CTavloDatCtrl::OnWriteFile", "TYPE_WRITEFILE: Added %s:%d:%d", m_title.c_str(),
         GetPostCount(), text.GetLength());
}

void CTavloDatCtrl::OnOpenFile(int fresh) {
    m_sizeKnown = false;
    if (VornGetFileSize(m_logPath.c_str()) <= 0)
        Clear();
    VLOG(1, "CTavloDatCtrl::OnOpenFile", "TYPE_OPENFILE: %s:%s(%d)", m_title.c_str(),
         m_logPath.c_str(), fresh);
}

void CTavloDatCtrl::OnFetchSize(int bytes) {
    if (m_sizeKnown)
        return;
    m_sizeKnown = true;
    // About a character per byte, headers added; room not yet written costs no memory. A
    // size beyond any thread (a hostile one) reserves no more than that.
    constexpr size_t kMost = 16u << 20;
    if (bytes > 0) {
        size_t chars = static_cast<size_t>(bytes);
        m_text->ReserveAppend(std::min(chars + chars / 4, kMost));
    }
}

void CTavloDatCtrl::OnCloseFile(int written) {
    if (written <= 0)
        return;
    m_info.New = true;
    m_info.Count = GetPostCount();
    if (!CTavloInfoFile::Write(m_info))
        VLOG(0, "CTavloDatCtrl::OnCloseFile", "CTavloInfoFile::Write error: %d", errno);
}

void CTavloDatCtrl::OnReloadFile() {
    Clear();
    CreateFromFile();
}

int CTavloDatCtrl::Write(bool force) {
    CVornTime timer;
    // Nothing shown (no log, or it could not be read): the stored position stays as it is.
    if (GetPostCount() == 0)
        return 0;
    int m = std::clamp(m_furthestPost, 1, GetPostCount());
    if (m != m_info.Max) {
        VLOG(2, "CTavloDatCtrl::Write", "max: %d:%d", m, m_info.Max);
        m_info.Max = m;
        force = true;
    }
    int n = GetTopPost();
    if (n != m_info.Number) {
        VLOG(2, "CTavloDatCtrl::Write", "num: %d:%d", n, m_info.Number);
        m_info.Number = n;
        force = true;
    }
    if (m_info.New && m == GetLastVisiblePost()) {
        VLOG(2, "CTavloDatCtrl::Write", "new");
        m_info.New = false;
        force = true;
    }
    if (!force)
        return 0;
    if (!CTavloInfoFile::Write(m_info)) {
        VLOG(0, "CTavloDatCtrl::Write", "CTavloInfoFile::Write error: %d", errno);
        return -1;
    }
    VLOG(2, "CTavloDatCtrl::Write", "done [%s]%d(msec)", m_key.c_str(), timer.Elapsed());
    return 1;
}

void CTavloDatCtrl::SaveOnClose() {
    if (CTavloDatFile::Exists(m_logPath)) {
        CTavloArticleFile summary;
        summary.Load(m_boardUrl);
        summary.SetSeen(m_key, GetPostCount());
        summary.Save();
    }
    Write(false);
}

int CTavloDatCtrl::GetLinkAt(size_t pos, std::u16string* link) {
    const CTavloTextLayout& layout = m_text->Layout();
    if (pos >= layout.Length())
        return TAVLO_LINK_NONE;
    size_t ls = logicalStart(layout.LineFromChar(pos));
    // Only as far back and ahead as a link can reach.
    size_t from = pos - ls > kLinkWindow ? pos - kLinkWindow : ls;
    std::u16string window = layout.Substr(from, pos + kLinkWindow - from);
    if (from > ls) {
        size_t k = 0;
        while (k < pos - from && !breaksLinks(window[k]))
            ++k;
        window.erase(0, k);
        from += k;
    }
    size_t at = 0, s = 0, n = 0;
    while (int kind = TavloFindLink(window, at, &s, &n)) {
        if (from + s > pos)
            break;
        if (from + s + n > pos) {
            if (link)
                *link = window.substr(s, n);
            return kind;
        }
        at = s + n;
    }
    return TAVLO_LINK_NONE;
}

void CTavloDatCtrl::ToggleHideAboned() {
    if (m_updating) // as Reopen
        return;
    Write(false);
    m_hideAboned = !m_hideAboned;
    Clear();
    PrepareNgExpression();
    CreateFromFile();
}

void CTavloDatCtrl::SetWrap(bool on) {
    int top = keepTopPost();
    m_text->SetWrap(on);
    createIndex();
    restoreTopPost(top);
}

void CTavloDatCtrl::SetArticleFont(const QFont& font) {
    int top = keepTopPost();
    m_appliedFont = font;
    m_text->SetTextFont(font);
    createIndex();
    restoreTopPost(top);
}

QFont CTavloDatCtrl::ArticleFont() {
    const CTavloSettings& s = CTavloSettings::Instance();
    return TavloFont(s.FontName[CTavloSettings::FONT_ARTICLE],
                     s.FontSize[CTavloSettings::FONT_ARTICLE],
                     s.FontBold[CTavloSettings::FONT_ARTICLE]);
}

bool CTavloDatCtrl::OnKeyDown(QKeyEvent*) {
    return false;
}

CTavloInlineImages* CTavloDatCtrl::GetInlineImages() {
    if (!m_images)
        m_images = std::make_unique<CTavloInlineImages>();
    return m_images.get();
}

bool CTavloDatCtrl::PaintImageRow(QPainter& p, const TavloTextRun& run) {
    return GetInlineImages()->PaintRow(p, run, m_text->Layout(), m_text->GetLineHeight(),
                                       m_text->viewport()->width());
}

void CTavloDatCtrl::ClearImageCache() {
    if (m_images)
        m_images->Clear();
}

size_t CTavloDatCtrl::logicalStart(int line) {
    const CTavloTextLayout& layout = m_text->Layout();
    if (line == m_cacheLine)
        return m_cacheStart;
    size_t start;
    if (line == m_cacheLine + 1 && m_cacheLine >= 0 && !layout.IsLastLineOfLogical(m_cacheLine)) {
        start = m_cacheStart;
    } else {
        int l = line;
        while (l > 0 && !layout.IsLastLineOfLogical(l - 1))
            --l;
        start = layout.LineStart(l);
    }
    m_cacheLine = line;
    m_cacheStart = start;
    return start;
}

bool CTavloDatCtrl::PaintRun(QPainter& p, const TavloTextRun& run) {
    if (run.selected)
        return false;
    const CTavloSettings& s = CTavloSettings::Instance();
    const CTavloTextLayout& layout = m_text->Layout();
    const size_t length = layout.Length();
    const size_t ls = logicalStart(run.line);
    const char16_t first = ls < length ? layout.At(ls) : u'\n';
    const size_t runA = run.offset;
    const size_t runB = run.offset + static_cast<size_t>(run.count);

    int color = s.ColorFore;
    switch (first) {
    case TAVLO_MARK_IMAGE:
        return PaintImageRow(p, run);
    case TAVLO_MARK_FROM:
        color = s.ColorFrom;
        break;
    case TAVLO_MARK_FROM_MAIL:
        color = s.ColorFromWithMail;
        break;
    case TAVLO_MARK_FROM_SAGE:
        color = s.ColorFromWithSage;
        break;
    case TAVLO_MARK_DATE_NEW:
        color = s.ColorDateNew;
        break;
    case TAVLO_MARK_DATE:
        color = s.ColorDate;
        break;
    case TAVLO_MARK_LINK:
        color = s.ColorLink;
        break;
    case TAVLO_MARK_ABONE:
        color = s.ColorAbone;
        break;
    case TAVLO_MARK_MESSAGE:
        color = s.ColorMessage;
        break;
    default: {
        // A quotation line: ">" marks without a number after them.
        size_t k = ls;
        while (k < length && TavloIsGreater(layout.At(k)))
            ++k;
        if (k > ls)
            color = k < length && TavloIsDigit(layout.At(k)) ? s.ColorFore : s.ColorCite;
        break;
    }
    }

    // Spans of the run to overdraw in the link colour, as text offsets.
    std::vector<std::pair<size_t, size_t>> links;
    if (TavloIsHeaderMark(first)) {
        if (ls + 1 < length && layout.At(ls + 1) == u'[') {
            size_t a = ls + 2, b = a;
            while (b < length && b - a < 31 && TavloIsAsciiDigit(layout.At(b)))
                ++b;
            if (b > a && m_conv.IsReferenced(layout.Substr(a, b - a)))
                links.emplace_back(a, b);
        }
    } else if (TavloIsDateMark(first)) {
        std::u16string date = layout.Substr(ls + 1, 4096);
        size_t is = 0, il = 0;
        if (TavloExtractId(date, &is, &il) && m_conv.GetIdCount(date.substr(is, il)) == 2)
            links.emplace_back(ls + 1 + is, ls + 1 + is + il);
    } else if (first >= 0x20 || first == u'\t') {
        // Links cannot be longer than the window, so the scan may start that far back, at a
        // character no link spans; on a very long line that lacks one it starts there anyway.
        size_t s0 = ls;
        if (runA - ls > kLinkWindow) {
            s0 = runA - kLinkWindow;
            size_t k = s0;
            while (k < runA && !breaksLinks(layout.At(k)))
                ++k;
            if (k < runA)
                s0 = k;
        }
        std::u16string window = layout.Substr(s0, runB + kLinkWindow - s0);
        size_t from = 0, ls0 = 0, ln = 0;
        while (TavloFindLink(window, from, &ls0, &ln)) {
            size_t a = s0 + ls0, b = a + ln;
            if (a >= runB)
                break;
            if (b > runA)
                links.emplace_back(a, b);
            from = ls0 + ln;
        }
    }

    const QColor base = TavloColor(color);
    const QColor link = TavloColor(s.ColorLink);
    size_t at = runA;
    for (const auto& [a, b] : links) {
        size_t la = std::max(a, runA), lb = std::min(b, runB);
        if (la >= lb)
            continue;
        if (la > at)
            m_text->DrawRunPart(p, run, static_cast<int>(at - runA), static_cast<int>(la - runA),
                                base);
        m_text->DrawRunPart(p, run, static_cast<int>(la - runA), static_cast<int>(lb - runA), link);
        at = lb;
    }
    if (at < runB)
        m_text->DrawRunPart(p, run, static_cast<int>(at - runA), run.count, base);
    if (m_anchorSource && (TavloIsHeaderMark(first) || TavloIsDateMark(first)))
        paintCounts(p, run, first, ls);
    return true;
}
