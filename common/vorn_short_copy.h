#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>

namespace VornShortCopyDetail {
template <size_t W> inline void overlap(char* w, const char* p, size_t bytes) {
    char a[W], b[W];
    memcpy(a, p, W);
    memcpy(b, p + bytes - W, W);
    memcpy(w, a, W);
    memcpy(w + bytes - W, b, W);
}
} // namespace VornShortCopyDetail

// Copies n elements from p to w. Converters write mostly short runs (a name, a date, a line of
// a post), and a library call each costs more than the copy: up to 32 bytes go as two
// overlapping moves of one width, which read and write nothing outside the run.
template <typename T> inline void VornCopyShort(T* w, const T* p, size_t n) {
    static_assert(std::is_trivially_copyable_v<T> && (sizeof(T) == 1 || sizeof(T) == 2));
    const size_t bytes = n * sizeof(T);
    char* wb = reinterpret_cast<char*>(w);
    const char* pb = reinterpret_cast<const char*>(p);
    if (bytes > 32) {
        memcpy(wb, pb, bytes);
    } else if (bytes >= 16) {
        VornShortCopyDetail::overlap<16>(wb, pb, bytes);
    } else if (bytes >= 8) {
        VornShortCopyDetail::overlap<8>(wb, pb, bytes);
    } else if (bytes >= 4) {
        VornShortCopyDetail::overlap<4>(wb, pb, bytes);
    } else if (n > 0) { // one to three bytes, or one element of two
        w[0] = p[0];
        w[n / 2] = p[n / 2];
        w[n - 1] = p[n - 1];
    }
}
