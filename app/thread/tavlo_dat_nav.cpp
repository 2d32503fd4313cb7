// Navigation in a thread: jumps with history, post and link keys, clicks, greps and copies.
#include "tavlo_dat_ctrl.h"

#include "tavlo_link.h"
#include "tavlo_settings.h"
#include "vorn_kcode.h"
#include "vorn_log.h"
#include "vorn_regex.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMouseEvent>

#include <algorithm>

namespace {

// Links the keys step through, over the display text.
CVornRegex& linkExpression() {
    static CVornRegex* re = [] {
        auto* r = new CVornRegex;
        r->CompileW(u"[>|＞]*[>|＞]([0-9０-９]+)|[\\]][ 　]*([0-9０-９]+)[ 　]*<|"
                    u"[[h]*t]*tp[s]*://[!-~]+");
        return r;
    }();
    return *re;
}

// The three kinds of link text, tried in this order when a link is opened.
CVornRegex& linkPattern(int which) {
    static CVornRegex* res = [] {
        auto* r = new CVornRegex[3];
        r[0].Compile(VornUtf8ToSjis("[>|＞]*[>|＞]([0-9０-９]+)").c_str());
        r[1].Compile(VornUtf8ToSjis("[\\]][ 　]*([0-9０-９]+)[ 　]*<").c_str());
        r[2].Compile("[[h]*t]*tp[s]*://[!-~]+");
        return r;
    }();
    return res[which];
}

int numberOf(std::u16string_view digits) {
    long long n = 0;
    for (char16_t c : digits) {
        int d = TavloIsWideDigit(c) ? c - u'０' : (TavloIsAsciiDigit(c) ? c - u'0' : -1);
        if (d < 0)
            break;
        n = n * 10 + d;
        if (n > 1000000000)
            return -1;
    }
    return static_cast<int>(n);
}

bool isMarker(char16_t c) {
    return c >= 1 && c <= 8;
}

} // namespace

bool CTavloDatCtrl::Back() {
    if (m_history.empty())
        return false;
    int line = m_history.back();
    m_history.pop_back();
    m_text->SetTopLine(line);
    return true;
}

void CTavloDatCtrl::FirstPost() {
    m_history.push_back(m_text->GetTopLine());
    int target = 1;
    if (m_hideAboned)
        while (target < GetPostCount() && GetHeaderMark(target) == TAVLO_MARK_ABONE)
            ++target;
    JumpNumber(target, false);
}

void CTavloDatCtrl::LastPost() {
    m_history.push_back(m_text->GetTopLine());
    JumpNumber(GetLastVisiblePost(), false);
    RaiseFurthestRead();
}

bool CTavloDatCtrl::NextPost() {
    const int top = m_text->GetTopLine();
    const int last = std::max(0, m_text->GetLineCount() - 1);
    int target = -1;
    for (int k = 1; k <= GetPostCount(); ++k) {
        if (m_hideAboned && GetHeaderMark(k) == TAVLO_MARK_ABONE)
            continue;
        if (m_index.GetLine(k) > top) {
            target = m_index.GetLine(k);
            break;
        }
    }
    if (target < 0)
        target = last;
    if (CTavloSettings::Instance().NextControl == 1) {
        int page = std::max(1, m_text->GetPageLines());
        if (target < top || target > last || target > top + page) {
            m_text->LineScroll(page);
            return m_text->GetTopLine() != top;
        }
    }
    if (target == last && top >= last)
        return false;
    m_text->SetTopLine(target);
    return m_text->GetTopLine() != top;
}

bool CTavloDatCtrl::PrevPost() {
    const int top = m_text->GetTopLine();
    for (int k = GetPostCount(); k >= 1; --k) {
        if (m_hideAboned && GetHeaderMark(k) == TAVLO_MARK_ABONE)
            continue;
        if (m_index.GetLine(k) < top) {
            JumpNumber(k, false);
            return true;
        }
    }
    return false;
}

bool CTavloDatCtrl::SelectLink(bool forward, bool pageOnly) {
    const CTavloTextLayout& layout = m_text->Layout();
    const int top = m_text->GetTopLine();
    const int lines = m_text->GetLineCount();
    const size_t pageStart = layout.LineStart(std::min(top, lines));
    const size_t pageEnd =
        layout.LineStart(std::min(lines, top + std::max(1, m_text->GetPageLines())));
    size_t selStart = 0, selEnd = 0;
    m_text->GetSel(&selStart, &selEnd);
    bool hasSel = selStart != selEnd;
    CVornRegex& re = linkExpression();
    if (forward) {
        size_t from = hasSel ? selEnd : pageStart;
        size_t to = pageOnly ? pageEnd : layout.Length();
        if (pageOnly)
            from = std::max(from, pageStart);
        if (from >= to)
            return false;
        std::u16string text = layout.Substr(from, to - from);
        if (re.MatchW(text, 0) < 0)
            return false;
        m_text->SetSel(from + static_cast<size_t>(re.GetStart(0)),
                       from + static_cast<size_t>(re.GetEnd(0)));
    } else {
        size_t to = hasSel ? selStart : pageEnd;
        size_t from = pageOnly ? pageStart : 0;
        if (pageOnly)
            to = std::min(to, pageEnd);
        if (from >= to)
            return false;
        std::u16string text = layout.Substr(from, to - from);
        int s = -1, e = -1;
        for (int at = 0; re.MatchW(text, at) >= 0;) {
            s = re.GetStart(0);
            e = re.GetEnd(0);
            at = e > at ? e : at + 1;
        }
        if (s < 0)
            return false;
        m_text->SetSel(from + static_cast<size_t>(s), from + static_cast<size_t>(e));
    }
    m_text->ScrollCaret();
    return true;
}

bool CTavloDatCtrl::OpenLinkText(std::u16string_view text) {
    CVornString sjis(VornUtf16ToSjis(text));
    for (int which = 0; which < 2; ++which) {
        CVornRegex& re = linkPattern(which);
        if (re.Match(sjis) < 0)
            continue;
        std::u16string digits = VornSjisToUtf16(re.GetGroup(1).view());
        OnAnchorJump(numberOf(digits));
        return true;
    }
    CVornRegex& url = linkPattern(2);
    if (url.Match(sjis) < 0)
        return false;
    JumpUrl(url.GetGroup(0));
    return true;
}

void CTavloDatCtrl::OnAnchorJump(int number) {
    m_history.push_back(m_text->GetTopLine());
    size_t caret = m_text->GetCaret();
    m_text->SetSel(caret, caret);
    JumpNumber(number, false);
}

void CTavloDatCtrl::JumpUrl(const CVornString& url) {
    VLOG(2, "CTavloDatCtrl::JumpUrl", "%s", url.c_str());
    m_linkTarget = url;
    if (m_host)
        m_host->OpenUrl(url);
}

std::u16string CTavloDatCtrl::WordAt(size_t pos) const {
    const CTavloTextLayout& layout = m_text->Layout();
    const size_t n = layout.Length();
    if (pos >= n)
        return std::u16string();
    auto ascii = [](char16_t c) { return c >= u'!' && c <= u'~'; };
    size_t a = pos;
    while (a > 0) {
        char16_t c = layout.At(a - 1);
        if (!(ascii(c) || TavloIsWideDigit(c) || c == u'＞'))
            break;
        --a;
    }
    size_t b = pos;
    while (b < n) {
        char16_t c = layout.At(b);
        if (!(ascii(c) || TavloIsWideDigit(c) || c == u'？'))
            break;
        ++b;
    }
    return layout.Substr(a, b - a);
}

void CTavloDatCtrl::ClickAt(size_t pos) {
    const CTavloTextLayout& layout = m_text->Layout();
    if (pos >= layout.Length())
        return;
    size_t ls = logicalStart(layout.LineFromChar(pos));
    char16_t mark = layout.At(ls);
    if (TavloIsHeaderMark(mark)) {
        std::u16string head = layout.Substr(ls, 64);
        size_t close = head.find(u']');
        if (close == std::u16string::npos || pos >= ls + close || head.size() < 2 ||
            head[1] != u'[')
            return;
        std::u16string number = head.substr(2, close - 2);
        if (m_conv.IsReferenced(number) && m_host) {
            int n = numberOf(number);
            std::vector<int> posts = GrepByRefer(n);
            if (!posts.empty())
                m_host->ShowGrep(this, posts);
        }
    } else if (TavloIsDateMark(mark)) {
        std::u16string word = WordAt(pos);
        size_t id = word.find(u"ID:");
        std::u16string value = id == std::u16string::npos ? word : word.substr(id + 3);
        if (!value.empty() && m_conv.GetIdCount(value) == 2 && m_host) {
            std::vector<int> posts;
            for (int k = 1; k <= GetLastVisiblePost(); ++k)
                if (GetPostId(k) == value)
                    posts.push_back(k);
            if (!posts.empty())
                m_host->ShowGrep(this, posts);
        }
    } else {
        std::u16string word = WordAt(pos);
        if (!word.empty())
            OpenLinkText(word);
    }
}

void CTavloDatCtrl::OnMouseUp(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || m_text->HasSelection())
        return;
    ClickAt(m_text->CharFromPoint(e->position().toPoint()));
}

std::u16string CTavloDatCtrl::GetPostDisplay(int number) const {
    int line = m_index.GetLine(number);
    if (line < 0)
        return std::u16string();
    const CTavloTextLayout& layout = m_text->Layout();
    size_t a = layout.LineStart(line);
    int next = m_index.GetLine(number + 1);
    size_t b = next >= 0 ? layout.LineStart(next) : layout.Length();
    return layout.Substr(a, b - a);
}

std::u16string CTavloDatCtrl::GetPostText(int number) const {
    std::u16string display = GetPostDisplay(number);
    std::u16string out;
    out.reserve(display.size() + 64);
    size_t pos = 0;
    while (pos < display.size()) {
        size_t lf = display.find(u'\n', pos);
        size_t end = lf == std::u16string::npos ? display.size() : lf;
        std::u16string_view line(display.data() + pos, end - pos);
        // The break a fetch appended after the last post ends in "\r\n" too.
        if (!line.empty() && line.back() == u'\r')
            line.remove_suffix(1);
        if (!line.empty() && line[0] == TAVLO_MARK_IMAGE) {
            pos = end + 1;
            continue;
        }
        if (!line.empty() && isMarker(line[0]))
            line.remove_prefix(1);
        out += line;
        out += u"\r\n";
        pos = end + 1;
    }
    return out;
}

std::u16string CTavloDatCtrl::GetPostName(int number) const {
    std::u16string display = GetPostDisplay(number);
    std::u16string header = display.substr(0, display.find(u'\n'));
    size_t a = header.find(u']');
    size_t b = header.rfind(u'<');
    if (a == std::u16string::npos || b == std::u16string::npos || b <= a)
        return std::u16string();
    return header.substr(a + 1, b - a - 1);
}

std::u16string CTavloDatCtrl::GetPostId(int number) const {
    std::u16string display = GetPostDisplay(number);
    size_t lf = display.find(u'\n');
    if (lf == std::u16string::npos)
        return std::u16string();
    size_t end = display.find(u'\n', lf + 1);
    std::u16string date = display.substr(lf + 1, end == std::u16string::npos ? end : end - lf - 1);
    size_t id = date.find(u"ID:");
    if (id == std::u16string::npos)
        return std::u16string();
    size_t a = id + 3;
    while (a < date.size() && date[a] == u' ')
        ++a;
    size_t b = date.find(u' ', a);
    return date.substr(a, b == std::u16string::npos ? std::u16string::npos : b - a);
}

std::vector<int> CTavloDatCtrl::GrepByName() {
    std::vector<int> posts;
    std::u16string name = GetPostName(GetTopPost());
    for (int k = 1; k <= GetLastVisiblePost(); ++k)
        if (GetPostName(k) == name)
            posts.push_back(k);
    return posts;
}

std::vector<int> CTavloDatCtrl::GrepById() {
    std::vector<int> posts;
    std::u16string id = GetPostId(GetTopPost());
    if (id.empty())
        return posts;
    for (int k = 1; k <= GetLastVisiblePost(); ++k)
        if (GetPostId(k) == id)
            posts.push_back(k);
    return posts;
}

std::vector<int> CTavloDatCtrl::GrepByRefer(int number) {
    std::vector<int> posts;
    if (number < 1)
        return posts;
    // ">" or "＞", each digit in either width, then anything but a digit.
    std::u16string pattern = u"(>|＞)";
    for (char c : std::to_string(number)) {
        pattern += u'(';
        pattern += static_cast<char16_t>(c);
        pattern += u'|';
        pattern += static_cast<char16_t>(u'０' + (c - '0'));
        pattern += u')';
    }
    pattern += u"[^0-9|０-９]";
    CVornRegex re;
    if (!re.CompileW(pattern))
        return posts;
    for (int k = 1; k <= GetLastVisiblePost(); ++k)
        if (re.MatchW(GetPostText(k)) >= 0)
            posts.push_back(k);
    return posts;
}

void CTavloDatCtrl::Grep(int which) {
    std::vector<int> posts = which == GREP_ID     ? GrepById()
                             : which == GREP_NAME ? GrepByName()
                                                  : GrepByRefer(GetTopPost());
    if (!posts.empty() && m_host)
        m_host->ShowGrep(this, posts);
}

std::u16string CTavloDatCtrl::GetInformationText() const {
    CVornRegex re;
    re.Compile("://([^/]+)/([^/]+)/([0-9]+)");
    CVornString host, board, key;
    if (re.Match(m_threadId) >= 0) {
        host = re.GetGroup(1);
        board = re.GetGroup(2);
        key = re.GetGroup(3);
    }
    CVornString text;
    text.Format("%s\r\nhttp://%s/test/read.cgi/%s/%s/%d-\r\n", m_title.c_str(), host.c_str(),
                board.c_str(), key.c_str(), GetTopPost());
    return VornSjisToUtf16(text.view());
}

void CTavloDatCtrl::CopyInformation() {
    QGuiApplication::clipboard()->setText(QString::fromStdU16String(GetInformationText()));
}

void CTavloDatCtrl::CopyMessage() {
    QGuiApplication::clipboard()->setText(QString::fromStdU16String(GetPostText(GetTopPost())));
}

void CTavloDatCtrl::Reopen() {
    // The log is being appended to: re-reading it now would show the pending posts twice.
    if (m_updating)
        return;
    Write(false);
    Clear();
    PrepareNgExpression();
    CreateFromFile();
}

void CTavloDatCtrl::SetDisplayText(std::u16string display) {
    m_anchors.Clear();
    m_text->SetText(display);
    createIndex();
    m_text->SetTopLine(0);
}
