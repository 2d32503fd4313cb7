#include "tavlo_bbs_machi.h"

#include "tavlo_dat_file.h"
#include "tavlo_domains.h"
#include "tavlo_kind_text.h"
#include "vorn_log.h"
#include "vorn_short_copy.h"

#include <algorithm>
#include <cstring>

bool CTavloBbsMachi::SplitBoardUrl(const CVornString& boardUrl, std::string* host,
                                   std::string* board) {
    const std::string& url = boardUrl.str();
    if (!url.starts_with("http://"))
        return false;
    size_t slash = url.find('/', 7);
    if (slash == std::string::npos)
        return false;
    std::string h = url.substr(7, slash - 7);
    bool machi = false;
    for (const std::string& d : CTavloDomains::Get().machi)
        if (!d.empty() && h.size() > d.size() && h.ends_with(d))
            machi = true;
    if (!machi)
        return false;
    size_t end = url.find_first_of("/?", slash + 1);
    std::string b = url.substr(slash + 1, end == std::string::npos ? end : end - slash - 1);
    if (b.empty())
        return false;
    if (host)
        *host = h;
    if (board)
        *board = b;
    return true;
}

int CTavloBbsMachi::StoredPosts(const CVornString& datPath) {
    // The log itself, not the info file: a log whose info was never written (or was lost)
    // must not get the whole thread appended a second time.
    int n = CTavloDatFile::Count(datPath);
    return n < 0 ? 0 : n;
}

bool CTavloBbsMachi::IsTarget() {
    return SplitBoardUrl(m_boardUrl, nullptr, nullptr);
}

CVornString CTavloBbsMachi::GetDatUrl() {
    std::string host, board;
    CVornString url;
    if (!SplitBoardUrl(m_boardUrl, &host, &board))
        return url;
    int n = StoredPosts(m_datPath);
    url.Format("http://%s/bbs/read.cgi?BBS=%s&KEY=%s&NOFIRST=%s&START=%d", host.c_str(),
               board.c_str(), m_key.c_str(), n == 0 ? "FALSE" : "TRUE", n + 1);
    m_next = n + 1;
    clearPost();
    return url;
}

void CTavloBbsMachi::clearPost() {
    m_number = 0;
    m_name.Clear();
    m_date.Clear();
    m_id.Clear();
    m_mail.Clear();
    m_body.Clear();
    m_haveName = m_haveBody = m_haveId = false;
}

void CTavloBbsMachi::keepPost() {
    m_name.Keep();
    m_date.Keep();
    m_id.Keep();
    m_mail.Keep();
    m_body.Keep();
}

namespace {

using Marks = TavloMachiLineMarks;
using TavloKindText::Trimmed;
constexpr size_t npos = std::string_view::npos;

// Whether s holds lit at pos; the literal's length is known here, so no call is made.
template <size_t N> bool has(std::string_view s, size_t pos, const char (&lit)[N]) {
    return pos <= s.size() && s.size() - pos >= N - 1 && memcmp(s.data() + pos, lit, N - 1) == 0;
}

constexpr char kNameWord[] = "\x96\xbc\x91\x4f";         // "名前" before its "："
constexpr char kDateWord[] = "\x93\x8a\x8d\x65\x93\xfa"; // "投稿日" before its "："

// The occurrences of a post line's patterns that decide its fields.
struct Fields {
    size_t lastLt = npos;
    size_t nameStart = npos, nameEnd = npos; // nameEnd: the last "</b>"
    size_t mail = npos;                      // the ":" of "mailto:"
    size_t dateAt = npos, dateEnd = npos;
    size_t body = npos; // "<br><dd>"
    int number = 0;
};

// The name's header "([0-9]+) 名前：<[^>]+><b>", q being the "<" after "名前：": the name's
// start, or npos; stop is set when no later header can match either (no ">" follows).
size_t nameHeader(std::string_view line, size_t q, int* number, bool* stop) {
    const size_t w = q - 6; // "名前："
    if (line[w - 1] != ' ' || !TavloKindText::IsBoundary(line, w))
        return npos;
    size_t at = w - 1;
    size_t d = at;
    while (d > 0 && line[d - 1] >= '0' && line[d - 1] <= '9')
        --d;
    if (d == at)
        return npos;
    size_t p = q + 1;
    size_t gt = line.find('>', p);
    if (gt == npos) {
        *stop = true; // every later header starts after this point
        return npos;
    }
    if (gt == p || !has(line, gt + 1, "<b>"))
        return npos;
    long long v = 0;
    for (size_t i = d; i < at && v <= TavloKindText::kMaxPostNumber; ++i)
        v = v * 10 + (line[i] - '0');
    if (v > TavloKindText::kMaxPostNumber)
        return npos;
    *number = static_cast<int>(v);
    return gt + 4;
}

// The patterns, each at its first occurrence that fits (the closing "</b>" and the "[ " after
// the last tag at their last):
//   name  "([0-9]+) 名前：<[^>]+><b>(.+)</b>"   mail "mailto:([^\"]*)\""
//   date  "投稿日： ([^<]+)<"                   id   "\[ ([^<]+)$"
//   body  "<br><dd>(.*)<br><br>$"
// Each occurrence holds a marked byte at a fixed place, so walking a class of marks in order
// meets the occurrences in order.
Fields walk(std::string_view line, const Marks& m) {
    using C = CTavloMachiMarks;
    Fields f;
    const size_t n = line.size();
    f.lastLt = m.Prev(C::kLt, n);
    // Name headers and dates, by their "：".
    bool nameDone = false, dateDone = false;
    auto wide = m.Walk(C::kWide);
    for (size_t c = wide.Next(); c != npos && !(nameDone && dateDone); c = wide.Next()) {
        if (c + 2 >= n)
            break;
        if (line[c + 2] == '<') {
            if (!nameDone && c >= 5 && has(line, c - 4, kNameWord)) {
                f.nameStart = nameHeader(line, c + 2, &f.number, &nameDone);
                nameDone = nameDone || f.nameStart != npos;
            }
        } else if (line[c + 2] == ' ' && !dateDone && c >= 6 && has(line, c - 6, kDateWord) &&
                   TavloKindText::IsBoundary(line, c - 6)) {
            const size_t p = c + 3;
            const size_t lt = m.Next(C::kLt, p);
            if (lt != p) {       // else an empty date: the next one may do
                dateDone = true; // none later has a "<" after it either when this one has not
                if (lt != npos) {
                    f.dateAt = p;
                    f.dateEnd = lt;
                }
            }
        }
    }
    // A later header starts its name no earlier than an earlier one: the first header that
    // fits is the only one the last "</b>" has to follow.
    if (f.nameStart != npos) {
        f.nameEnd = m.Prev(C::kCloseB, n, f.nameStart + 1);
        if (f.nameEnd == npos)
            f.nameStart = npos;
    }
    auto mail = m.Walk(C::kMail);
    for (size_t c = mail.Next(); c != npos; c = mail.Next())
        if (c >= 6 && has(line, c - 6, "mailto")) {
            f.mail = c;
            break;
        }
    if (line.ends_with("<br><br>")) {
        auto body = m.Walk(C::kBody);
        for (size_t q = body.Next(); q != npos; q = body.Next())
            if (has(line, q, "<br><dd>")) {
                f.body = q;
                break;
            }
    }
    return f;
}

// First "[ " at or after from that starts a character.
size_t findIdMark(std::string_view line, size_t from) {
    if (line.size() - from > 32)
        return TavloKindText::FindSjis(line, "[ ", from);
    for (size_t i = from; i + 1 < line.size(); ++i)
        if (line[i] == '[' && line[i + 1] == ' ' && TavloKindText::IsBoundary(line, i))
            return i;
    return npos;
}

} // namespace

int CTavloBbsMachi::convertTitle(std::string_view line) {
    size_t lt = line.rfind('<');
    if (lt == npos || lt < 7)
        return -202;
    m_title.assign(line.data() + 7, lt - 7);
    return 0;
}

// The log text being made: written through a pointer into room made ahead (the output is
// mostly short fields, and an append each would cost more than the copying), cut at the end.
struct CTavloBbsMachi::Out {
    std::string text;
    size_t used = 0;
    char* Room(size_t n) {
        if (text.size() - used < n)
            text.resize(std::max(text.size() * 2, used + n));
        return text.data() + used;
    }
    static char* Put(char* w, std::string_view s) {
        VornCopyShort(w, s.data(), s.size());
        return w + s.size();
    }
};

int CTavloBbsMachi::convertLine(std::string_view line, size_t base, Out& out) {
    const Fields f = walk(line, Marks{m_marks, base, line.size()});
    if (f.nameStart != npos) {
        if (m_haveName)
            return -202; // a header whose post never came
        m_number = f.number;
        std::string_view field = line.substr(f.nameStart, f.nameEnd - f.nameStart);
        if (field.find('<') == npos)
            m_name.Set(Trimmed(field));
        else
            m_name.SetOwn(std::string(Trimmed(TavloKindText::StripTags(field))));
        m_haveName = true;
    }
    if (f.mail != npos) {
        size_t q = line.find('"', f.mail + 1);
        if (q != npos)
            m_mail.Set(Trimmed(line.substr(f.mail + 1, q - f.mail - 1)));
    }
    if (f.dateAt != npos)
        m_date.Set(Trimmed(line.substr(f.dateAt, f.dateEnd - f.dateAt)));
    size_t id = findIdMark(line, f.lastLt == npos ? 0 : f.lastLt + 1);
    if (id != npos && id + 2 < line.size()) {
        m_id.Set(Trimmed(line.substr(id + 2)));
        m_haveId = true;
    }
    if (f.body != npos && f.body + 8 <= line.size() - 8) {
        m_body.Set(Trimmed(line.substr(f.body + 8, line.size() - 8 - (f.body + 8))));
        m_haveBody = true;
    }
    if (m_haveBody && (m_name.view.empty() || m_date.view.empty()))
        return -202;
    if (m_haveBody) {
        // A post the page repeats (a server that ignored START) is already in the log.
        if (m_number >= m_next) {
            static const std::string missing = TavloKindText::Sjis("欠番<>欠番<>欠番<><>\n");
            for (; m_next < m_number; ++m_next) {
                Out::Put(out.Room(missing.size()), missing);
                out.used += missing.size();
            }
            const std::string_view title = m_next == 1 ? std::string_view(m_title) : "";
            const std::string_view id = m_id.view;
            const size_t size = m_name.view.size() + m_mail.view.size() + m_date.view.size() +
                                (m_haveId ? id.size() + 3 : 0) + m_body.view.size() + title.size() +
                                9;
            char* w = out.Room(size);
            char* const start = w;
            w = Out::Put(w, m_name.view);
            w = Out::Put(w, "<>");
            w = Out::Put(w, m_mail.view);
            w = Out::Put(w, "<>");
            w = Out::Put(w, m_date.view);
            if (m_haveId) {
                w = Out::Put(w, " [");
                w = Out::Put(w, id);
                w = Out::Put(w, "]");
            }
            w = Out::Put(w, "<>");
            w = Out::Put(w, m_body.view);
            w = Out::Put(w, "<>");
            w = Out::Put(w, title);
            *w++ = '\n';
            out.used += static_cast<size_t>(w - start);
            ++m_next;
        }
        clearPost();
    }
    return 0;
}

int CTavloBbsMachi::WriteFileConvert(CVornString& text) {
    Out out;
    out.text.resize(text.size() + 256);
    std::string_view s = text.view();
    m_marks.Scan(s);
    size_t pos = 0;
    int r = 0;
    while (pos < s.size() && r == 0) {
        size_t lf = m_marks.Next(CTavloMachiMarks::kLf, pos, s.size());
        if (lf == npos)
            break; // the base keeps it for the next block
        size_t end = lf;
        if (end > pos && s[end - 1] == '\r')
            --end;
        std::string_view line = s.substr(pos, end - pos);
        const size_t base = pos;
        pos = lf + 1;
        // Only post lines are read for their fields; the rest of the page is passed over.
        if (line.size() > kMaxLine)
            r = -202;
        else if (line.starts_with("<dt>") || line.starts_with(" ]"))
            r = convertLine(line, base, out);
        else if (line.starts_with("<title>"))
            r = convertTitle(line);
    }
    if (r != 0)
        VLOG(2, "CTavloBbsMachi::WriteFileConvert", "[%s] line not understood", m_key.c_str());
    // The text goes now: a post still open keeps copies of its fields.
    keepPost();
    if (r == 0) {
        out.text.resize(out.used);
        text = CVornString(std::move(out.text));
    }
    return r;
}
