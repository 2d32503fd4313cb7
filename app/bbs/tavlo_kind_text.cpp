#include "tavlo_kind_text.h"

#include "vorn_kcode.h"
#include "vorn_string.h"

#include <cstdint>
#include <cstring>
#include <mutex>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace TavloKindText {

std::string Sjis(const char* utf8) {
    return VornUtf8ToSjis(utf8);
}

bool IsBoundary(std::string_view text, size_t pos) {
    // Bytes that can lead a pair come in pairs before a boundary: count the run of them just
    // before pos; the byte before that run ends a character either way.
    size_t run = 0;
    while (pos > run && VornIsSjisLead(static_cast<unsigned char>(text[pos - run - 1])))
        ++run;
    return run % 2 == 0;
}

size_t Find(std::string_view text, std::string_view needle, size_t from) {
    const size_t n = text.size(), m = needle.size();
    if (m < 2 || from > n || n - from < m)
        return text.find(needle, from);
    const char* p = text.data();
    size_t i = from;
#if defined(__SSE2__)
    const __m128i first = _mm_set1_epi8(needle[0]);
    const __m128i last = _mm_set1_epi8(needle[m - 1]);
    for (; i + m - 1 + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + m - 1));
        unsigned mask = static_cast<unsigned>(
            _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, first), _mm_cmpeq_epi8(b, last))));
        while (mask) {
            const size_t at = i + static_cast<size_t>(__builtin_ctz(mask));
            if (memcmp(p + at + 1, needle.data() + 1, m - 2) == 0)
                return at;
            mask &= mask - 1;
        }
    }
#endif
    return text.find(needle, i);
}

size_t FindSjis(std::string_view text, std::string_view needle, size_t from) {
    for (size_t at = Find(text, needle, from); at != std::string_view::npos;
         at = Find(text, needle, at + 1))
        if (IsBoundary(text, at))
            return at;
    return std::string_view::npos;
}

std::string StripTags(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t pos = 0;
    while (pos < text.size()) {
        size_t lt = text.find('<', pos);
        if (lt == std::string_view::npos) {
            out.append(text.substr(pos));
            break;
        }
        out.append(text.substr(pos, lt - pos));
        size_t gt = text.find('>', lt);
        if (gt == std::string_view::npos) {
            out.append(text.substr(lt));
            break;
        }
        pos = gt + 1;
    }
    return out;
}

void AppendFields(std::string& out, std::initializer_list<std::string_view> parts) {
    for (std::string_view p : parts)
        out.append(p);
}

std::string_view Trimmed(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t b = 0, e = text.size();
    while (b < e && blank(text[b]))
        ++b;
    while (e > b && blank(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}

namespace {

constexpr int kRow = 94; // 0xA1 ... 0xFE

// Shift_JIS of every two-byte EUC-JP code, 0 where there is none.
const std::vector<uint16_t>& eucTable() {
    static std::vector<uint16_t> table;
    static std::once_flag once;
    std::call_once(once, [] {
        table.assign(kRow * kRow, 0);
        // One conversion of every code, each on its own line (no Shift_JIS byte is a LF).
        std::string all;
        all.reserve(kRow * kRow * 3);
        for (int a = 0; a < kRow; ++a)
            for (int b = 0; b < kRow; ++b) {
                all += static_cast<char>(0xA1 + a);
                all += static_cast<char>(0xA1 + b);
                all += '\n';
            }
        CVornString s(all);
        s.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS);
        std::string_view v = s.view();
        const std::string geta = "\x81\xAC"; // what an unconvertible code becomes
        size_t pos = 0;
        for (int i = 0; i < kRow * kRow && pos < v.size(); ++i) {
            size_t lf = v.find('\n', pos);
            if (lf == std::string_view::npos)
                break;
            std::string_view one = v.substr(pos, lf - pos);
            bool isGeta = one == geta && i != (0xA2 - 0xA1) * kRow + (0xAE - 0xA1);
            if (one.size() == 2 && !isGeta)
                table[i] = static_cast<uint16_t>((static_cast<unsigned char>(one[0]) << 8) |
                                                 static_cast<unsigned char>(one[1]));
            pos = lf + 1;
        }
    });
    return table;
}

int slowEucToSjis(std::string_view euc, std::string& out) {
    CVornString s(euc);
    int r = s.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS);
    out.append(s.view());
    return r == 1 ? 1 : 0;
}

} // namespace

int EucToSjis(std::string_view euc, std::string& out) {
    const std::vector<uint16_t>& table = eucTable();
    size_t start = out.size();
    // Shift_JIS is never longer than EUC-JP: write in place, cut to size at the end.
    out.resize(start + euc.size());
    char* w = out.data() + start;
    const auto* p = reinterpret_cast<const unsigned char*>(euc.data());
    size_t n = euc.size();
    for (size_t i = 0; i < n;) {
        unsigned char c = p[i];
        if (c < 0x80) {
            *w++ = static_cast<char>(c);
            ++i;
            continue;
        }
        if (c == 0x8E && i + 1 < n && p[i + 1] >= 0xA1 && p[i + 1] <= 0xDF) {
            *w++ = static_cast<char>(p[i + 1]); // half-width katakana
            i += 2;
            continue;
        }
        uint16_t sj = 0;
        if (c >= 0xA1 && c <= 0xFE && i + 1 < n && p[i + 1] >= 0xA1 && p[i + 1] <= 0xFE)
            sj = table[(c - 0xA1) * kRow + (p[i + 1] - 0xA1)];
        if (!sj) {
            // Not in the table: the library decides for the whole text.
            out.resize(start);
            return slowEucToSjis(euc, out);
        }
        *w++ = static_cast<char>(sj >> 8);
        *w++ = static_cast<char>(sj & 0xFF);
        i += 2;
    }
    out.resize(static_cast<size_t>(w - out.data()));
    return 1;
}

} // namespace TavloKindText
