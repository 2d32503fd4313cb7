#pragma once

#include <cstddef>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Scanning UTF-16 text for the few characters the converter and the layout stop at, eight
// units at a time where the processor allows.

// First position in [i, n) holding a "<", an "&" or a unit below 0x20; n when none.
inline size_t TavloScanPlain(const char16_t* p, size_t i, size_t n) {
#if defined(__SSE2__)
    const __m128i lt = _mm_set1_epi16('<');
    const __m128i amp = _mm_set1_epi16('&');
    const __m128i high = _mm_set1_epi16(static_cast<short>(0xFFE0));
    const __m128i zero = _mm_setzero_si128();
    while (i + 8 <= n) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i m = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, lt), _mm_cmpeq_epi16(v, amp)),
                                 _mm_cmpeq_epi16(_mm_and_si128(v, high), zero));
        int mask = _mm_movemask_epi8(m);
        if (mask)
            return i + (static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask))) >> 1);
        i += 8;
    }
#endif
    while (i < n && p[i] != u'<' && p[i] != u'&' && p[i] >= 0x20)
        ++i;
    return i;
}

// First position in [i, n) holding a or b; n when none.
inline size_t TavloScanEither(const char16_t* p, size_t i, size_t n, char16_t a, char16_t b) {
#if defined(__SSE2__)
    const __m128i va = _mm_set1_epi16(static_cast<short>(a));
    const __m128i vb = _mm_set1_epi16(static_cast<short>(b));
    while (i + 8 <= n) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        int mask = _mm_movemask_epi8(_mm_or_si128(_mm_cmpeq_epi16(v, va), _mm_cmpeq_epi16(v, vb)));
        if (mask)
            return i + (static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask))) >> 1);
        i += 8;
    }
#endif
    while (i < n && p[i] != a && p[i] != b)
        ++i;
    return i;
}
