#include "tavlo_bbs_livedoor.h"

#include "tavlo_bbs_machi.h"
#include "tavlo_domains.h"
#include "tavlo_kind_text.h"
#include "vorn_log.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

namespace {

// Places of the "<>" in line, up to seven of them in at; returns how many there are.
int separators(std::string_view line, size_t* at) {
    const char* p = line.data();
    const size_t n = line.size();
    int count = 0;
    size_t i = 0;
#if defined(__SSE2__)
    // Sixteen places at a time; the byte after the line (its LF) is read too, never matching.
    const __m128i lt = _mm_set1_epi8('<'), gt = _mm_set1_epi8('>');
    for (; i + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, lt), _mm_cmpeq_epi8(b, gt))));
        for (; mask; mask &= mask - 1) {
            if (count < 7)
                at[count] = i + static_cast<size_t>(__builtin_ctz(mask));
            ++count;
        }
    }
#endif
    for (; i + 1 < n; ++i)
        if (p[i] == '<' && p[i + 1] == '>') {
            if (count < 7)
                at[count] = i;
            ++count;
        }
    return count;
}

// The converted log, written through a pointer into room made ahead.
class Writer {
public:
    explicit Writer(size_t room) : m_table(TavloKindText::EucPairTable()) {
        m_out.resize(room);
        m_w = m_out.data();
    }
    void room(size_t n) {
        const size_t at = static_cast<size_t>(m_w - m_out.data());
        if (m_out.size() - at < n) {
            m_out.resize(std::max(m_out.size() * 2, at + n));
            m_w = m_out.data() + at;
        }
    }
    void put(std::string_view bytes) {
        room(bytes.size());
        memcpy(m_w, bytes.data(), bytes.size());
        m_w += bytes.size();
    }
    void put(char c) {
        room(1);
        *m_w++ = c;
    }
    // EUC-JP as Shift_JIS; false when some byte sequence was not EUC-JP.
    bool convert(std::string_view euc) {
        room(euc.size() + 1);
        if (char* end = TavloKindText::EucToSjisFast(m_table, euc, m_w)) {
            m_w = end;
            return true;
        }
        std::string slow;
        const bool ok = TavloKindText::EucToSjis(euc, slow) != 0;
        put(slow);
        return ok;
    }
    std::string take() {
        m_out.resize(static_cast<size_t>(m_w - m_out.data()));
        return std::move(m_out);
    }

private:
    const uint16_t* m_table;
    std::string m_out;
    char* m_w;
};

} // namespace

int CTavloBbsLivedoor::WriteFileConvert(CVornString& text) {
    static const std::string missing = TavloKindText::Sjis("欠番<>欠番<>欠番<><>");
    // Fields go to Shift_JIS as they are placed: one pass over the text, not two. A line does
    // not grow (the number and a "<>" go, " ID: " comes); gaps may add more.
    Writer out(text.size() + 64);
    std::string_view s = text.view();
    size_t pos = 0;
    int next = m_next;
    bool decoded = true;
    while (pos < s.size()) {
        size_t lf = s.find('\n', pos);
        if (lf == std::string_view::npos)
            break;
        std::string_view line = s.substr(pos, lf - pos);
        pos = lf + 1;
        size_t at[7];
        const int count = separators(line, at) + 1;
        if (count != 7) {
            VLOG(2, "CTavloBbsLivedoor::WriteFileConvert", "%d fields: %.*s", count,
                 static_cast<int>(std::min<size_t>(line.size(), 200)), line.data());
            return -202;
        }
        // Fields: number, name, mail, date, body, title, ID.
        auto field = [&](int k) {
            const size_t b = k == 0 ? 0 : at[k - 1] + 2;
            return line.substr(b, (k == 6 ? line.size() : at[k]) - b);
        };
        int number = 0;
        for (char c : line.substr(0, at[0])) {
            if (c < '0' || c > '9' || number > TavloKindText::kMaxPostNumber)
                return -202;
            number = number * 10 + (c - '0');
        }
        if (at[0] == 0 || number > TavloKindText::kMaxPostNumber)
            return -202;
        if (number < next)
            continue; // already stored
        for (; next < number; ++next) {
            out.put(missing);
            // The title belongs to line 1 only.
            if (next == 1)
                decoded &= out.convert(field(5));
            out.put('\n');
        }
        // name<>mail<>date and body<>title lie together in the line already.
        decoded &= out.convert(line.substr(at[0] + 2, at[3] - at[0] - 2));
        out.put(" ID: ");
        decoded &= out.convert(field(6));
        out.put("<>");
        decoded &= out.convert(line.substr(at[3] + 2, at[5] - at[3] - 2));
        out.put('\n');
        ++next;
    }
    // A byte sequence that is not EUC-JP would be stored as geta marks for good: refuse it.
    if (!decoded) {
        VLOG(2, "CTavloBbsLivedoor::WriteFileConvert", "[%s] not EUC-JP", m_key.c_str());
        return -202;
    }
    m_next = next;
    text = CVornString(out.take());
    return 0;
}
