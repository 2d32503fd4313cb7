#include "tavlo_bbs_machi_offlaw.h"

#include "tavlo_bbs_machi.h"
#include "tavlo_kind_text.h"
#include "tavlo_live.h"
#include "vorn_log.h"

#include <algorithm>
#include <string>
#include <string_view>

bool CTavloBbsMachiOfflaw::IsTarget() {
    std::string host;
    return CTavloBbsMachi::SplitBoardUrl(m_boardUrl, &host, nullptr) &&
           TavloLive::IsMachiHost(host);
}

CVornString CTavloBbsMachiOfflaw::GetDatUrl() {
    std::string host, board;
    CVornString url;
    if (!CTavloBbsMachi::SplitBoardUrl(m_boardUrl, &host, &board))
        return url;
    int n = CTavloBbsMachi::StoredPosts(m_datPath);
    url.Format("http://%s/bbs/offlaw.cgi/2/%s/%s/", host.c_str(), board.c_str(), m_key.c_str());
    if (n > 0)
        url.FormatAdd("%d-", n + 1);
    m_next = n + 1;
    return url;
}

int CTavloBbsMachiOfflaw::WriteFileConvert(CVornString& text) {
    static const std::string missing = TavloKindText::Sjis("欠番<>欠番<>欠番<><>");
    std::string out;
    out.reserve(text.size() + 64);
    std::string_view s = text.view();
    size_t pos = 0;
    int next = m_next;
    while (pos < s.size()) {
        size_t lf = s.find('\n', pos);
        if (lf == std::string_view::npos)
            break;
        std::string_view line = s.substr(pos, lf - pos);
        pos = lf + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        std::string_view f[7];
        int count = 0;
        for (size_t at = 0;;) {
            size_t sep = line.find("<>", at);
            if (count < 7)
                f[count] = line.substr(at, sep == std::string_view::npos ? sep : sep - at);
            ++count;
            if (sep == std::string_view::npos)
                break;
            at = sep + 2;
        }
        // Six fields when the server leaves the host out; anything else is not a log line
        // (an error page, a cut answer).
        if (count != 6 && count != 7) {
            VLOG(2, "CTavloBbsMachiOfflaw::WriteFileConvert", "%d fields: %.*s", count,
                 static_cast<int>(std::min<size_t>(line.size(), 200)), line.data());
            return -202;
        }
        int number = 0;
        if (f[0].empty())
            return -202;
        for (char c : f[0]) {
            if (c < '0' || c > '9' || number > 10000000)
                return -202;
            number = number * 10 + (c - '0');
        }
        if (number < next)
            continue; // already stored
        for (; next < number; ++next)
            out.append(missing).append("\n");
        out.append(f[1]).append("<>").append(f[2]).append("<>").append(f[3]);
        if (count == 7 && !f[6].empty())
            out.append(" [").append(f[6]).append("]");
        out.append("<>").append(f[4]).append("<>");
        // The title belongs to the first line of the log only.
        if (number == 1)
            out.append(f[5]);
        out += '\n';
        next = number + 1;
    }
    m_next = next;
    text = CVornString(out);
    return 0;
}
