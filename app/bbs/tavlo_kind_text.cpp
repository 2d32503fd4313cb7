#include "tavlo_kind_text.h"

#include "vorn_kcode.h"
#include "vorn_string.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

namespace TavloKindText {

namespace {
std::atomic<int> s_eucLevel{1};
}

std::string Sjis(const char* utf8) {
    return VornUtf8ToSjis(utf8);
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

namespace {

constexpr int kRow = 94; // 0xA1 ... 0xFE

// Shift_JIS of every two-byte EUC-JP code, 0 where there is none: the codes one by one, each on
// its own line (no Shift_JIS byte is a LF), through the library's converter.
std::vector<uint16_t> libraryTable() {
    std::vector<uint16_t> table(kRow * kRow, 0);
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
    return table;
}

int slowEucToSjis(std::string_view euc, std::string& out) {
    CVornString s(euc);
    int r = s.ConvertKCodeEx(CVornString::KCODE_EUC_TO_SJIS);
    out.append(s.view());
    return r == 1 ? 1 : 0;
}

} // namespace

const uint16_t* EucPairTable() {
    // Made once (a static's own guard: call_once costs more than the conversion of a field).
    static const std::vector<uint16_t> table = [] {
        std::vector<uint16_t> pairs(1 << 16, 0);
        const std::vector<uint16_t> jis = libraryTable();
        for (int a = 0; a < kRow; ++a)
            for (int b = 0; b < kRow; ++b)
                if (uint16_t sj = jis[a * kRow + b])
                    pairs[(0xA1 + a) << 8 | (0xA1 + b)] =
                        static_cast<uint16_t>((sj >> 8) | (sj & 0xFF) << 8);
        for (int k = 0xA1; k <= 0xDF; ++k) // half-width katakana: one byte
            pairs[0x8E << 8 | k] = static_cast<uint16_t>(k);
        return pairs;
    }();
    return table.data();
}

namespace {

// Per lead byte (index lead - 0x80): the last trail byte up to which every code of the row from
// 0xA1 on is in the table with the JIS arithmetic's value; 0 where none is (0x8E, 0x8F too).
struct RowReach {
    alignas(64) unsigned char last[128] = {};
};

const RowReach& rowReach() {
    static const RowReach reach = [] {
        RowReach r;
        const uint16_t* table = EucPairTable();
        for (int c1 = 0xA1; c1 <= 0xFE; ++c1) {
            int last = 0;
            for (int c2 = 0xA1; c2 <= 0xFE; ++c2) {
                const int s1 = ((c1 - 0x7F) >> 1) + (c1 <= 0xDE ? 0x70 : 0xB0);
                const int s2 = (c1 & 1) ? c2 - 0x61 + (c2 >= 0xE0 ? 1 : 0) : c2 - 2;
                if (table[c1 << 8 | c2] != static_cast<uint16_t>(s1 | s2 << 8))
                    break;
                last = c2;
            }
            r.last[c1 - 0x80] = static_cast<unsigned char>(last);
        }
        return r;
    }();
    return reach;
}

#if defined(__x86_64__)
// Sixty-four bytes at a time: which high bytes lead a pair follows from the runs of high bytes
// (the block starts on a character), the rows' reach says where the arithmetic holds, and
// leads and trails are computed from their pair. Anything else goes to the table from there.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) char*
eucToSjisAvx512(const uint16_t* table, std::string_view euc, char* w) {
    const auto* p = reinterpret_cast<const unsigned char*>(euc.data());
    const size_t n = euc.size();
    const RowReach& reach = rowReach();
    const __m512i lastLo = _mm512_load_si512(reach.last);
    const __m512i lastHi = _mm512_load_si512(reach.last + 64);
    const __m512i x7f = _mm512_set1_epi8(0x7F);
    size_t i = 0;
    while (i < n) {
        size_t len = std::min<size_t>(64, n - i);
        const __mmask64 k = len == 64 ? ~0ULL : (1ULL << len) - 1;
        const __m512i a = _mm512_maskz_loadu_epi8(k, p + i);
        uint64_t m = _mm512_movepi8_mask(a);
        if (m == 0) {
            _mm512_mask_storeu_epi8(w, k, a);
            w += len;
            i += len;
            continue;
        }
        const uint64_t starts = m & ~(m << 1);
        const uint64_t evenRuns = m & (m + (starts & 0xAAAAAAAAAAAAAAAAULL));
        const uint64_t leads =
            (evenRuns & 0x5555555555555555ULL) | (m & ~evenRuns & 0xAAAAAAAAAAAAAAAAULL);
        uint64_t trails = m & ~leads;
        uint64_t use = k;
        // A pair cut by the block's end waits for the next block; one cut by the text's end
        // or with no trail is the table's to judge.
        const uint64_t orphans = leads & ~(trails >> 1);
        if (orphans) {
            if (orphans != 1ULL << 63)
                return EucToSjisTable(table, euc.substr(i), w);
            use = ~0ULL >> 1;
            len = 63;
        }
        const uint64_t useLeads = leads & use;
        const __m512i next = _mm512_maskz_loadu_epi8(use >> 1, p + i + 1);
        const __m512i last = _mm512_permutex2var_epi8(lastLo, _mm512_and_si512(a, x7f), lastHi);
        const uint64_t good =
            _mm512_mask_cmpge_epu8_mask(useLeads, next, _mm512_set1_epi8(static_cast<char>(0xA1))) &
            _mm512_mask_cmple_epu8_mask(useLeads, next, last);
        if (good != useLeads)
            return EucToSjisTable(table, euc.substr(i), w);
        // Lead: ((c1 - 0x7F) >> 1) + (c1 <= 0xDE ? 0x70 : 0xB0).
        const __m512i half =
            _mm512_and_si512(_mm512_srli_epi16(_mm512_sub_epi8(a, _mm512_set1_epi8(0x7F)), 1), x7f);
        const __mmask64 low = _mm512_cmple_epu8_mask(a, _mm512_set1_epi8(static_cast<char>(0xDE)));
        const __m512i s1 = _mm512_add_epi8(
            half, _mm512_mask_blend_epi8(low, _mm512_set1_epi8(static_cast<char>(0xB0)),
                                         _mm512_set1_epi8(0x70)));
        // Trail, after an odd lead: c2 - 0x61 + (c2 >= 0xE0); after an even one: c2 - 2.
        const __m512i prev = _mm512_maskz_loadu_epi8((use << 1) & use, p + i - 1);
        const __mmask64 odd = _mm512_test_epi8_mask(prev, _mm512_set1_epi8(1));
        const __mmask64 upper =
            _mm512_cmpge_epu8_mask(a, _mm512_set1_epi8(static_cast<char>(0xE0)));
        __m512i s2 = _mm512_sub_epi8(a, _mm512_set1_epi8(2));
        s2 = _mm512_mask_sub_epi8(s2, odd, a, _mm512_set1_epi8(0x61));
        s2 = _mm512_mask_add_epi8(s2, odd & upper, s2, _mm512_set1_epi8(1));
        trails &= use;
        __m512i out = _mm512_mask_blend_epi8(useLeads, a, s1);
        out = _mm512_mask_blend_epi8(trails, out, s2);
        _mm512_mask_storeu_epi8(w, use, out);
        w += len;
        i += len;
    }
    return w;
}
#endif

} // namespace

char* EucToSjisFast(const uint16_t* table, std::string_view euc, char* w) {
#if defined(__x86_64__)
    static const bool wide =
        __builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512vbmi");
    if (wide && s_eucLevel.load(std::memory_order_relaxed) >= 1)
        return eucToSjisAvx512(table, euc, w);
#endif
    return EucToSjisTable(table, euc, w);
}

int SetEucLevel(int level) {
    return s_eucLevel.exchange(level);
}

int EucToSjis(std::string_view euc, std::string& out) {
    const uint16_t* table = EucPairTable();
    size_t start = out.size();
    out.resize(start + euc.size() + 1);
    if (char* end = EucToSjisFast(table, euc, out.data() + start)) {
        out.resize(static_cast<size_t>(end - out.data()));
        return 1;
    }
    // Not in the table: the library decides for the whole text.
    out.resize(start);
    return slowEucToSjis(euc, out);
}

} // namespace TavloKindText
