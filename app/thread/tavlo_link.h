#pragma once

#include "tavlo_scan.h"

#include <cstddef>
#include <string>
#include <string_view>

// The link grammar of post text, over display text (UTF-16). Every scan stops at LF, CR or
// the end of the text.

enum { TAVLO_LINK_NONE = 0, TAVLO_LINK_URL = 1, TAVLO_LINK_ANCHOR = 2 };

constexpr size_t kTavloLinkMax = 8191;

inline bool TavloIsAsciiDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}
inline bool TavloIsWideDigit(char16_t c) {
    return c >= u'\uFF10' && c <= u'\uFF19';
}
inline bool TavloIsDigit(char16_t c) {
    return TavloIsAsciiDigit(c) || TavloIsWideDigit(c);
}
inline bool TavloIsGreater(char16_t c) {
    return c == u'>' || c == u'\uFF1E';
}

// First link at or after from: its kind, start and length (at most kTavloLinkMax). A URL is
// ":" + "//" + at least one of "!".."~", extended forward to a space, a control character or
// anything above "~", and backward over lowercase letters (not before from). An anchor is
// ">" or U+FF1E followed by digits (ASCII or full-width), with every ">" or U+FF1E directly
// before the digits.
int TavloFindLink(std::u16string_view text, size_t from, size_t* start, size_t* length);

// The URL to open for a URL link: "http..." as it is; "ttp", "tp" and "p" get the missing
// front of "http". Anything else gives an empty text (not opened).
std::u16string TavloCompleteUrl(std::u16string_view link);

// The ID of a date line: after "ID:" (before CR, LF or the end) and any spaces, up to a space,
// CR, LF or the end, at most 255 characters. False when there is none, when it is empty, or
// when it starts with "?".
bool TavloExtractId(std::u16string_view dateLine, size_t* start, size_t* length);

// Calls add(digits) for every ">" or U+FF1E followed by digits in text; the digits as
// written, at most 11 of them.
template <typename Add> void TavloCollectAnchors(std::u16string_view text, Add&& add) {
    const char16_t* p = text.data();
    const size_t n = text.size();
    for (size_t i = TavloScanEither(p, 0, n, u'>', u'\uFF1E'); i < n;
         i = TavloScanEither(p, i, n, u'>', u'\uFF1E')) {
        size_t a = i + 1;
        size_t e = a;
        while (e < n && TavloIsDigit(p[e]))
            ++e;
        if (e > a)
            add(text.substr(a, e - a < 11 ? e - a : 11));
        i = e;
    }
}
