#include "tavlo_bbs_livedoor.h"

#include "tavlo_bbs_machi.h"
#include "tavlo_domains.h"
#include "tavlo_kind_text.h"
#include "vorn_log.h"

#include <string_view>

bool CTavloBbsLivedoor::SplitBoardUrl(const CVornString& boardUrl, std::string* host,
                                      std::string* category, std::string* board) {
    const std::string& url = boardUrl.str();
    if (!url.starts_with("http://"))
        return false;
    for (const std::string& h : CTavloDomains::Get().jbbs) {
        if (h.empty() || url.compare(7, h.size(), h) != 0 || url.size() <= 7 + h.size() ||
            url[7 + h.size()] != '/')
            continue;
        size_t c0 = 8 + h.size();
        size_t c1 = url.find_first_of("/?", c0);
        if (c1 == std::string::npos || c1 == c0 || url[c1] != '/')
            continue;
        size_t b1 = url.find_first_of("/?", c1 + 1);
        size_t len = (b1 == std::string::npos ? url.size() : b1) - (c1 + 1);
        if (len == 0)
            continue;
        if (host)
            *host = h;
        if (category)
            *category = url.substr(c0, c1 - c0);
        if (board)
            *board = url.substr(c1 + 1, len);
        return true;
    }
    return false;
}

bool CTavloBbsLivedoor::IsTarget() {
    return SplitBoardUrl(m_boardUrl, nullptr, nullptr, nullptr);
}

CVornString CTavloBbsLivedoor::GetDatUrl() {
    std::string host, category, board;
    CVornString url;
    if (!SplitBoardUrl(m_boardUrl, &host, &category, &board))
        return url;
    int n = CTavloBbsMachi::StoredPosts(m_datPath);
    url.Format("http://%s/bbs/rawmode.cgi/%s/%s/%s/%d-n", host.c_str(), category.c_str(),
               board.c_str(), m_key.c_str(), n + 1);
    m_next = n + 1;
    return url;
}

int CTavloBbsLivedoor::ErrorCode(const CVornString& value) {
    CVornString v = value;
    v.Trim();
    if (v.IsEmpty())
        return 0;
    if (v == "BBS NOT FOUND")
        return -501;
    if (v == "KEY NOT FOUND")
        return -502;
    if (v == "THREAD NOT FOUND")
        return -503;
    if (v == "STORAGE IN")
        return -504;
    return -505;
}

int CTavloBbsLivedoor::CheckResponse() {
    return ErrorCode(m_http->GetResponseHeader("ERROR"));
}

int CTavloBbsLivedoor::WriteFileConvert(CVornString& text) {
    static const std::string missing = TavloKindText::Sjis("欠番<>欠番<>欠番<><>");
    // Fields go to Shift_JIS as they are placed: one pass over the text, not two.
    std::string out;
    out.reserve(text.size() + 64);
    std::string_view s = text.view();
    size_t pos = 0;
    int next = m_next;
    bool decoded = true;
    auto put = [&out, &decoded](std::string_view euc) {
        if (!TavloKindText::EucToSjis(euc, out))
            decoded = false;
    };
    while (pos < s.size()) {
        size_t lf = s.find('\n', pos);
        if (lf == std::string_view::npos)
            break;
        std::string_view line = s.substr(pos, lf - pos);
        pos = lf + 1;
        std::string_view f[7];
        int count = 0;
        size_t at = 0;
        for (;;) {
            size_t sep = line.find("<>", at);
            if (count < 7)
                f[count] = line.substr(at, sep == std::string_view::npos ? sep : sep - at);
            ++count;
            if (sep == std::string_view::npos)
                break;
            at = sep + 2;
        }
        if (count != 7) {
            VLOG(2, "CTavloBbsLivedoor::WriteFileConvert", "%d fields: %.*s", count,
                 static_cast<int>(std::min<size_t>(line.size(), 200)), line.data());
            return -202;
        }
        int number = 0;
        for (char c : f[0]) {
            if (c < '0' || c > '9' || number > TavloKindText::kMaxPostNumber)
                return -202;
            number = number * 10 + (c - '0');
        }
        if (f[0].empty() || number > TavloKindText::kMaxPostNumber)
            return -202;
        if (number < next)
            continue; // already stored
        for (; next < number; ++next) {
            out += missing;
            // The title belongs to line 1 only.
            if (next == 1)
                put(f[5]);
            out += '\n';
        }
        // name<>mail<>date and body<>title lie together in the line already.
        put(std::string_view(f[1].data(),
                             static_cast<size_t>(f[3].data() + f[3].size() - f[1].data())));
        out += " ID: ";
        put(f[6]);
        out += "<>";
        put(std::string_view(f[4].data(),
                             static_cast<size_t>(f[5].data() + f[5].size() - f[4].data())));
        out += '\n';
        ++next;
    }
    // A byte sequence that is not EUC-JP would be stored as geta marks for good: refuse it.
    if (!decoded) {
        VLOG(2, "CTavloBbsLivedoor::WriteFileConvert", "[%s] not EUC-JP", m_key.c_str());
        return -202;
    }
    m_next = next;
    text = CVornString(std::move(out));
    return 0;
}
