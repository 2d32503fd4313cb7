#pragma once

#include "vorn_string.h"

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// Small byte-level helpers the converting board kinds share: searches that respect Shift_JIS
// character boundaries (a trail byte may equal "[" or "\\"), tag removal and line assembly.
namespace TavloKindText {

// The highest post number a converting kind accepts. Skipped numbers become placeholder lines,
// so a hostile number must not make the log grow without bound.
constexpr int kMaxPostNumber = 1000000;

// Source text (UTF-8) as Shift_JIS.
std::string Sjis(const char* utf8);
// Whether pos of text starts a character (not the second byte of a two-byte one).
inline bool IsBoundary(std::string_view text, size_t pos) {
    // Bytes that can lead a pair come in pairs before a boundary: count the run of them just
    // before pos; the byte before that run ends a character either way.
    size_t run = 0;
    while (pos > run && VornIsSjisLead(static_cast<unsigned char>(text[pos - run - 1])))
        ++run;
    return run % 2 == 0;
}
// First occurrence of needle at or after from (npos when none). Sixteen places are tried at
// once on the needle's first and last bytes: std::string_view::find stops at every copy of the
// first byte, and in Shift_JIS text letters and "<" are common.
size_t Find(std::string_view text, std::string_view needle, size_t from = 0);
// First occurrence of needle at or after from that starts on a character boundary.
size_t FindSjis(std::string_view text, std::string_view needle, size_t from);
// Text with every "<" up to the next ">" removed (an unclosed "<" stays).
std::string StripTags(std::string_view text);
// text without leading and trailing blanks (space, tab, CR, LF).
inline std::string_view Trimmed(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    size_t b = 0, e = text.size();
    while (b < e && blank(text[b]))
        ++b;
    while (e > b && blank(text[e - 1]))
        --e;
    return text.substr(b, e - b);
}
// EUC-JP to Shift_JIS, appended to out. Two-byte characters go through a table that the
// library's converter fills once per process; anything the table does not hold (JIS X 0212,
// unmapped codes) goes to the library's converter for the whole text. 1 when every character
// converted, 0 when some byte sequence was not EUC-JP or had no Shift_JIS form.
int EucToSjis(std::string_view euc, std::string& out);

// The table behind EucToSjis, indexed by a character's two bytes (lead byte high): the
// Shift_JIS bytes in memory order, a half-width katakana as its one byte, 0 for no character.
const uint16_t* EucPairTable();

// EUC-JP to Shift_JIS through table, written at w, which has room for euc.size() + 1 bytes
// (the output is never longer; one byte past it may be scribbled on). The end of what was
// written, or nullptr when some character is not in the table.
static_assert(std::endian::native == std::endian::little, "the table holds bytes in memory order");
inline char* EucToSjisTable(const uint16_t* table, std::string_view euc, char* w) {
    const auto* p = reinterpret_cast<const unsigned char*>(euc.data());
    const size_t n = euc.size();
    size_t i = 0;
    while (i < n) {
#if defined(__SSE2__)
        // A run of ASCII goes over as it is, 16 bytes at a time. The output never runs ahead
        // of the input, so 16 bytes stored where 16 were read stay in the room.
        while (i + 16 <= n) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
            const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(w), v);
            const unsigned k = high ? static_cast<unsigned>(__builtin_ctz(high)) : 16;
            w += k;
            i += k;
            if (high)
                break;
        }
#endif
        // Then the characters up to the next run of ASCII.
        while (i < n) {
            const unsigned c = p[i];
            if (c < 0x80) {
                *w++ = static_cast<char>(c);
                ++i;
                if (i + 16 <= n && p[i] < 0x80)
                    break;
                continue;
            }
            if (i + 1 >= n)
                return nullptr;
            const uint16_t sj = table[c << 8 | p[i + 1]];
            if (!sj)
                return nullptr;
            memcpy(w, &sj, 2);
            w += sj > 0xFF ? 2 : 1;
            i += 2;
        }
    }
    return w;
}

// The same, sixty-four bytes at a time where the processor can (AVX-512 VBMI).
char* EucToSjisFast(const uint16_t* table, std::string_view euc, char* w);
// Tests: 0 keeps EucToSjisFast on the table alone, 1 lets it use the vector path; returns the
// level before.
int SetEucLevel(int level);

} // namespace TavloKindText
