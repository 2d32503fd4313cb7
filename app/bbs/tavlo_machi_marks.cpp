#include "tavlo_machi_marks.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

using M = CTavloMachiMarks;
constexpr int kClasses = M::kClasses;

// One word at a time: the compiler would otherwise pair them through the stack into vector
// stores, and reading two scalar stores back as one vector stalls.
inline void store(const uint64_t* m, uint64_t* out) {
    for (int k = 0; k < kClasses; ++k) {
        uint64_t w = m[k];
        __asm__("" : "+r"(w));
        out[k] = w;
    }
}

// The masks of blocks of 64 bytes from p into out, kClasses words a block. Each byte's class
// may depend on the byte before it and the five after it, which are read too.
void markPlain(const char* p, size_t blocks, uint64_t* out) {
    for (; blocks > 0; --blocks, p += 64, out += kClasses) {
        uint64_t m[kClasses] = {};
        for (int i = 0; i < 64; ++i) {
            const char* b = p + i;
            const uint64_t bit = uint64_t{1} << i;
            if (b[0] == '<') {
                m[M::kLt] |= bit;
                if (b[1] == '/' && b[2] == 'b' && b[3] == '>')
                    m[M::kCloseB] |= bit;
                if (b[1] == 'b' && b[4] == '<' && b[5] == 'd')
                    m[M::kBody] |= bit;
            } else if (b[0] == ':') {
                if (b[-1] == 'o')
                    m[M::kMail] |= bit;
            } else if (b[0] == '\x81') {
                if (b[1] == '\x46')
                    m[M::kWide] |= bit;
            } else if (b[0] == '\n') {
                m[M::kLf] |= bit;
            }
        }
        store(m, out);
    }
}

#if defined(__SSE2__)
void markSse2(const char* p, size_t blocks, uint64_t* out) {
    auto set = [](char c) { return _mm_set1_epi8(c); };
    auto at = [](const char* q) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q)); };
    const __m128i lt = set('<'), slash = set('/'), b = set('b'), gt = set('>'), d = set('d'),
                  colon = set(':'), o = set('o'), wide = set('\x81'), f = set('\x46'),
                  lf = set('\n');
    for (; blocks > 0; --blocks, p += 64, out += kClasses) {
        uint64_t m[kClasses] = {};
        for (int c = 0; c < 4; ++c) {
            const char* q = p + 16 * c;
            const __m128i v = at(q), v1 = at(q + 1);
            const __m128i isLt = _mm_cmpeq_epi8(v, lt);
            const __m128i close = _mm_and_si128(
                _mm_and_si128(isLt, _mm_cmpeq_epi8(v1, slash)),
                _mm_and_si128(_mm_cmpeq_epi8(at(q + 2), b), _mm_cmpeq_epi8(at(q + 3), gt)));
            const __m128i body = _mm_and_si128(
                _mm_and_si128(isLt, _mm_cmpeq_epi8(v1, b)),
                _mm_and_si128(_mm_cmpeq_epi8(at(q + 4), lt), _mm_cmpeq_epi8(at(q + 5), d)));
            const __m128i mail =
                _mm_and_si128(_mm_cmpeq_epi8(v, colon), _mm_cmpeq_epi8(at(q - 1), o));
            const __m128i fw = _mm_and_si128(_mm_cmpeq_epi8(v, wide), _mm_cmpeq_epi8(v1, f));
            auto bits = [c](__m128i x) {
                return static_cast<uint64_t>(static_cast<unsigned>(_mm_movemask_epi8(x)))
                       << (16 * c);
            };
            m[M::kLt] |= bits(isLt);
            m[M::kCloseB] |= bits(close);
            m[M::kBody] |= bits(body);
            m[M::kMail] |= bits(mail);
            m[M::kWide] |= bits(fw);
            m[M::kLf] |= bits(_mm_cmpeq_epi8(v, lf));
        }
        store(m, out);
    }
}
#endif

#if defined(__x86_64__) || defined(__i386__)
#define TAVLO_MARKS_AVX2 1
// (No lambdas in here: they would not be compiled for AVX2.)
#define TAVLO_AT(q) _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q))
#define TAVLO_EQ(x, y) _mm256_cmpeq_epi8(x, y)
#define TAVLO_AND(x, y) _mm256_and_si256(x, y)
#define TAVLO_BITS(x)                                                                              \
    (static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(x))) << shift)
__attribute__((target("avx2"))) void markAvx2(const char* p, size_t blocks, uint64_t* out) {
    const __m256i lt = _mm256_set1_epi8('<'), slash = _mm256_set1_epi8('/'),
                  b = _mm256_set1_epi8('b'), gt = _mm256_set1_epi8('>'), d = _mm256_set1_epi8('d'),
                  colon = _mm256_set1_epi8(':'), o = _mm256_set1_epi8('o'),
                  wide = _mm256_set1_epi8('\x81'), f = _mm256_set1_epi8('\x46'),
                  lf = _mm256_set1_epi8('\n');
    for (; blocks > 0; --blocks, p += 64, out += kClasses) {
        uint64_t m[kClasses] = {};
        for (int c = 0; c < 2; ++c) {
            const char* q = p + 32 * c;
            const int shift = 32 * c;
            const __m256i v = TAVLO_AT(q), v1 = TAVLO_AT(q + 1);
            const __m256i isLt = TAVLO_EQ(v, lt);
            const __m256i close =
                TAVLO_AND(TAVLO_AND(isLt, TAVLO_EQ(v1, slash)),
                          TAVLO_AND(TAVLO_EQ(TAVLO_AT(q + 2), b), TAVLO_EQ(TAVLO_AT(q + 3), gt)));
            const __m256i body =
                TAVLO_AND(TAVLO_AND(isLt, TAVLO_EQ(v1, b)),
                          TAVLO_AND(TAVLO_EQ(TAVLO_AT(q + 4), lt), TAVLO_EQ(TAVLO_AT(q + 5), d)));
            const __m256i mail = TAVLO_AND(TAVLO_EQ(v, colon), TAVLO_EQ(TAVLO_AT(q - 1), o));
            const __m256i fw = TAVLO_AND(TAVLO_EQ(v, wide), TAVLO_EQ(v1, f));
            m[M::kLt] |= TAVLO_BITS(isLt);
            m[M::kCloseB] |= TAVLO_BITS(close);
            m[M::kBody] |= TAVLO_BITS(body);
            m[M::kMail] |= TAVLO_BITS(mail);
            m[M::kWide] |= TAVLO_BITS(fw);
            m[M::kLf] |= TAVLO_BITS(TAVLO_EQ(v, lf));
        }
        store(m, out);
    }
}
#undef TAVLO_AT
#undef TAVLO_EQ
#undef TAVLO_AND
#undef TAVLO_BITS
#endif

#if defined(TAVLO_MARKS_AVX2)
#define TAVLO_MARKS_AVX512 1
// A whole block at once, compared straight into bit masks.
__attribute__((target("avx512f,avx512bw"))) void markAvx512(const char* p, size_t blocks,
                                                            uint64_t* out) {
    const __m512i lt = _mm512_set1_epi8('<'), slash = _mm512_set1_epi8('/'),
                  b = _mm512_set1_epi8('b'), gt = _mm512_set1_epi8('>'), d = _mm512_set1_epi8('d'),
                  colon = _mm512_set1_epi8(':'), o = _mm512_set1_epi8('o'),
                  wide = _mm512_set1_epi8('\x81'), f = _mm512_set1_epi8('\x46'),
                  lf = _mm512_set1_epi8('\n');
    for (; blocks > 0; --blocks, p += 64, out += kClasses) {
        const __m512i v = _mm512_loadu_si512(p), v1 = _mm512_loadu_si512(p + 1);
        const __mmask64 isLt = _mm512_cmpeq_epi8_mask(v, lt);
        uint64_t m[kClasses];
        m[M::kLt] = isLt;
        m[M::kCloseB] = _mm512_mask_cmpeq_epi8_mask(
            _mm512_mask_cmpeq_epi8_mask(_mm512_mask_cmpeq_epi8_mask(isLt, v1, slash),
                                        _mm512_loadu_si512(p + 2), b),
            _mm512_loadu_si512(p + 3), gt);
        m[M::kBody] = _mm512_mask_cmpeq_epi8_mask(
            _mm512_mask_cmpeq_epi8_mask(_mm512_mask_cmpeq_epi8_mask(isLt, v1, b),
                                        _mm512_loadu_si512(p + 4), lt),
            _mm512_loadu_si512(p + 5), d);
        m[M::kMail] = _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(v, colon),
                                                  _mm512_loadu_si512(p - 1), o);
        m[M::kWide] = _mm512_mask_cmpeq_epi8_mask(_mm512_cmpeq_epi8_mask(v, wide), v1, f);
        m[M::kLf] = _mm512_cmpeq_epi8_mask(v, lf);
        store(m, out);
    }
}
#endif

using BlockFn = void (*)(const char*, size_t, uint64_t*);

BlockFn blockFn(int level) {
#if defined(TAVLO_MARKS_AVX512)
    if (level >= 3 && __builtin_cpu_supports("avx512bw"))
        return markAvx512;
#endif
#if defined(TAVLO_MARKS_AVX2)
    if (level >= 2 && __builtin_cpu_supports("avx2"))
        return markAvx2;
#endif
#if defined(__SSE2__)
    if (level >= 1)
        return markSse2;
#endif
    return markPlain;
}

int g_level = 3;

} // namespace

int CTavloMachiMarks::SetLevel(int level) {
    int old = g_level;
    g_level = level;
    return old;
}

void CTavloMachiMarks::Scan(std::string_view text) {
    const char* p = text.data();
    const size_t n = text.size();
    m_size = n;
    const size_t blocks = (n + 63) / 64;
    if (m_bits.size() < blocks * kClasses)
        m_bits.resize(blocks * kClasses);
    const BlockFn mark = blockFn(g_level);
    // A block reads the byte before it and five after it: where they are not all in the text
    // (the first block, the last ones) it reads a copy padded with NULs, which mark nothing.
    auto padded = [&](size_t k) {
        char pad[1 + 64 + 7] = {};
        const size_t before = k == 0 ? 0 : 1;
        const size_t from = k * 64 - before;
        memcpy(pad + 1 - before, p + from, std::min(n, k * 64 + 64 + 5) - from);
        mark(pad + 1, 1, &m_bits[k * kClasses]);
    };
    if (blocks == 0)
        return;
    padded(0);
    // Blocks 1 .. direct-1 have their neighbours in the text.
    const size_t direct = n >= 69 ? (n - 69) / 64 + 1 : 1;
    if (direct > 1)
        mark(p + 64, direct - 1, &m_bits[kClasses]);
    for (size_t k = std::max<size_t>(direct, 1); k < blocks; ++k)
        padded(k);
}
