#include "tavlo_bbs_machi.h"

#include "tavlo_dat_file.h"
#include "tavlo_domains.h"
#include "tavlo_kind_text.h"
#include "vorn_log.h"

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

using TavloKindText::FindSjis;

// Last occurrence of needle (which starts with "<"), stepping from one "<" to the previous.
size_t lastOf(std::string_view line, std::string_view needle) {
    size_t end = line.size();
    while (end > 0) {
        const void* hit = memrchr(line.data(), '<', end);
        if (!hit)
            break;
        size_t at = static_cast<size_t>(static_cast<const char*>(hit) - line.data());
        if (line.compare(at, needle.size(), needle) == 0)
            return at;
        end = at;
    }
    return std::string_view::npos;
}

// "([0-9]+) 名前：<[^>]+><b>(.+)</b>"
bool matchName(std::string_view line, int* number, std::string_view* name) {
    // Found by its first non-blank byte (blanks are everywhere in a line).
    static const std::string word = TavloKindText::Sjis("名前：<");
    static const std::string mark = " " + word;
    for (size_t w = FindSjis(line, word, 1); w != std::string_view::npos;
         w = FindSjis(line, word, w + 1)) {
        if (line[w - 1] != ' ')
            continue;
        size_t at = w - 1;
        size_t d = at;
        while (d > 0 && line[d - 1] >= '0' && line[d - 1] <= '9')
            --d;
        if (d == at)
            continue;
        size_t p = at + mark.size();
        size_t gt = line.find('>', p);
        if (gt == std::string_view::npos || gt == p)
            continue;
        if (line.compare(gt + 1, 3, "<b>") != 0)
            continue;
        size_t start = gt + 4;
        size_t close = lastOf(line, "</b>");
        if (close == std::string_view::npos || close <= start)
            continue;
        long long v = 0;
        for (size_t i = d; i < at && v <= TavloKindText::kMaxPostNumber; ++i)
            v = v * 10 + (line[i] - '0');
        if (v > TavloKindText::kMaxPostNumber)
            continue;
        *number = static_cast<int>(v);
        *name = line.substr(start, close - start);
        return true;
    }
    return false;
}

// "mailto:([^\"]*)\""
bool matchMail(std::string_view line, std::string_view* mail) {
    size_t at = TavloKindText::Find(line, "mailto:");
    if (at == std::string_view::npos)
        return false;
    size_t q = line.find('"', at + 7);
    if (q == std::string_view::npos)
        return false;
    *mail = line.substr(at + 7, q - at - 7);
    return true;
}

// "投稿日： ([^<]+)<"
bool matchDate(std::string_view line, std::string_view* date) {
    static const std::string mark = TavloKindText::Sjis("投稿日： ");
    for (size_t at = FindSjis(line, mark, 0); at != std::string_view::npos;
         at = FindSjis(line, mark, at + 1)) {
        size_t p = at + mark.size();
        size_t lt = line.find('<', p);
        if (lt == std::string_view::npos || lt == p)
            continue;
        *date = line.substr(p, lt - p);
        return true;
    }
    return false;
}

// "\[ ([^<]+)$"
bool matchId(std::string_view line, std::string_view* id) {
    size_t lt = line.rfind('<');
    size_t from = lt == std::string_view::npos ? 0 : lt + 1;
    size_t at = FindSjis(line, "[ ", from);
    if (at == std::string_view::npos || at + 2 >= line.size())
        return false;
    *id = line.substr(at + 2);
    return true;
}

// "<br><dd>(.*)<br><br>$"
bool matchBody(std::string_view line, std::string_view* body) {
    if (!line.ends_with("<br><br>"))
        return false;
    size_t at = TavloKindText::Find(line, "<br><dd>");
    if (at == std::string_view::npos || at + 8 > line.size() - 8)
        return false;
    *body = line.substr(at + 8, line.size() - 8 - (at + 8));
    return true;
}

using TavloKindText::Trimmed;

} // namespace

int CTavloBbsMachi::convertLine(std::string_view line, std::string& out) {
    if (line.size() > kMaxLine)
        return -202;
    if (line.starts_with("<title>")) {
        size_t lt = line.rfind('<');
        if (lt == std::string_view::npos || lt < 7)
            return -202;
        m_title.assign(line.data() + 7, lt - 7);
        return 0;
    }
    if (!line.starts_with("<dt>") && !line.starts_with(" ]"))
        return 0;
    std::string_view field;
    int number = 0;
    if (matchName(line, &number, &field)) {
        if (m_haveName)
            return -202; // a header whose post never came
        m_number = number;
        if (field.find('<') == std::string_view::npos)
            m_name.Set(Trimmed(field));
        else
            m_name.SetOwn(std::string(Trimmed(TavloKindText::StripTags(field))));
        m_haveName = true;
    }
    if (matchMail(line, &field))
        m_mail.Set(Trimmed(field));
    if (matchDate(line, &field))
        m_date.Set(Trimmed(field));
    if (matchId(line, &field)) {
        m_id.Set(Trimmed(field));
        m_haveId = true;
    }
    if (matchBody(line, &field)) {
        m_body.Set(Trimmed(field));
        m_haveBody = true;
    }
    if (m_haveBody && (m_name.view.empty() || m_date.view.empty()))
        return -202;
    if (m_haveBody) {
        // A post the page repeats (a server that ignored START) is already in the log.
        if (m_number >= m_next) {
            static const std::string missing = TavloKindText::Sjis("欠番<>欠番<>欠番<><>\n");
            for (; m_next < m_number; ++m_next)
                out += missing;
            TavloKindText::AppendFields(out, {m_name.view, "<>", m_mail.view, "<>", m_date.view,
                                              m_haveId ? " [" : "", m_id.view, m_haveId ? "]" : "",
                                              "<>", m_body.view, "<>",
                                              m_next == 1 ? std::string_view(m_title) : "", "\n"});
            ++m_next;
        }
        clearPost();
    }
    return 0;
}

int CTavloBbsMachi::WriteFileConvert(CVornString& text) {
    std::string out;
    out.reserve(text.size());
    std::string_view s = text.view();
    size_t pos = 0;
    while (pos < s.size()) {
        size_t lf = s.find('\n', pos);
        if (lf == std::string_view::npos)
            break; // the base keeps it for the next block
        size_t end = lf;
        if (end > pos && s[end - 1] == '\r')
            --end;
        int r = convertLine(s.substr(pos, end - pos), out);
        if (r != 0) {
            VLOG(2, "CTavloBbsMachi::WriteFileConvert", "[%s] line not understood", m_key.c_str());
            keepPost();
            return r;
        }
        pos = lf + 1;
    }
    // The text goes now: a post still open keeps copies of its fields.
    keepPost();
    text = CVornString(std::move(out));
    return 0;
}
