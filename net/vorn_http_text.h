#pragma once

// Text helpers shared by the HTTP client's header and body code; not part of the interface.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vornhttp {

// Size of one read-ahead fill of the response stream.
constexpr size_t kReadAhead = 256 * 1024;

inline char lowerAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string lower(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = lowerAscii(c);
    return out;
}

inline std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Decimal digits only, at most 18 of them.
inline bool parseLength(std::string_view s, int64_t* value) {
    s = trim(s);
    if (s.empty() || s.size() > 18)
        return false;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    *value = v;
    return true;
}

} // namespace vornhttp
