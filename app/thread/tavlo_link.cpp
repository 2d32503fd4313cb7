#include "tavlo_link.h"
#include "tavlo_scan.h"

namespace {

inline bool isLineEnd(char16_t c) {
    return c == u'\n' || c == u'\r';
}
inline bool isUrlChar(char16_t c) {
    return c >= u'!' && c <= u'~';
}

} // namespace

int TavloFindLink(std::u16string_view text, size_t from, size_t* start, size_t* length) {
    const size_t n = text.size();
    for (size_t i = from; i < n; ++i) {
        char16_t c = text[i];
        if (isLineEnd(c))
            break;
        if (c == u':') {
            if (i + 3 < n && text[i + 1] == u'/' && text[i + 2] == u'/' && isUrlChar(text[i + 3])) {
                size_t s = i;
                while (s > from && text[s - 1] >= u'a' && text[s - 1] <= u'z')
                    --s;
                size_t e = i + 3;
                while (e < n && isUrlChar(text[e]))
                    ++e;
                *start = s;
                *length = e - s < kTavloLinkMax ? e - s : kTavloLinkMax;
                return TAVLO_LINK_URL;
            }
        } else if (TavloIsGreater(c)) {
            size_t g = i;
            while (g < n && TavloIsGreater(text[g]))
                ++g;
            if (g < n && TavloIsDigit(text[g])) {
                size_t e = g;
                while (e < n && TavloIsDigit(text[e]))
                    ++e;
                *start = i;
                *length = e - i < kTavloLinkMax ? e - i : kTavloLinkMax;
                return TAVLO_LINK_ANCHOR;
            }
            i = g - 1;
        }
    }
    return TAVLO_LINK_NONE;
}

std::u16string TavloCompleteUrl(std::u16string_view link) {
    if (link.starts_with(u"http"))
        return std::u16string(link);
    if (link.starts_with(u"ttp"))
        return u"h" + std::u16string(link);
    if (link.starts_with(u"tp"))
        return u"ht" + std::u16string(link);
    if (link.starts_with(u"p"))
        return u"htt" + std::u16string(link);
    return {};
}

bool TavloExtractId(std::u16string_view line, size_t* start, size_t* length) {
    const char16_t* p = line.data();
    const size_t n = TavloScanEither(p, 0, line.size(), u'\n', u'\r');
    size_t at = 0;
    for (;; ++at) {
        at = TavloScanEither(p, at, n, u'I', u'I');
        if (at + 3 > n)
            return false;
        if (p[at + 1] == u'D' && p[at + 2] == u':')
            break;
    }
    size_t s = at + 3;
    while (s < n && line[s] == u' ')
        ++s;
    if (s >= n || line[s] == u'?')
        return false;
    size_t e = s;
    while (e < n && line[e] != u' ' && e - s < 255)
        ++e;
    *start = s;
    *length = e - s;
    return true;
}
