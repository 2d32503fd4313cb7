#include "vorn_kcode.h"

#include <cerrno>
#include <cstring>
#include <iconv.h>
#include <mutex>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// One iconv descriptor per thread and direction; iconv_t is not thread-safe.
class Iconv {
public:
    Iconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {}
    ~Iconv() {
        if (m_cd != reinterpret_cast<iconv_t>(-1))
            iconv_close(m_cd);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool ok() const { return m_cd != reinterpret_cast<iconv_t>(-1); }
    iconv_t get() const { return m_cd; }
    void reset() { iconv(m_cd, nullptr, nullptr, nullptr, nullptr); }

private:
    iconv_t m_cd;
};

Iconv& sjisToUtf16() {
    thread_local Iconv cd("UTF-16LE", "CP932");
    return cd;
}
Iconv& utf16ToSjis() {
    thread_local Iconv cd("CP932", "UTF-16LE");
    return cd;
}

inline bool isLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Converts one run of non-ASCII bytes with iconv; returns the bytes consumed. Stops at an
// invalid sequence (reported through *bad) or at the end of the run.
size_t convertRun(const char* in, size_t len, std::u16string& out, bool* bad) {
    Iconv& cd = sjisToUtf16();
    size_t old = out.size();
    out.resize(old + len);
    char* src = const_cast<char*>(in);
    size_t srcLeft = len;
    char* dst = reinterpret_cast<char*>(out.data() + old);
    size_t dstLeft = len * 2;
    size_t r = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
    *bad = (r == static_cast<size_t>(-1) && (errno == EILSEQ || errno == EINVAL));
    if (*bad)
        cd.reset();
    out.resize(old + (len * 2 - dstLeft) / 2);
    return len - srcLeft;
}

template <typename Sink>
size_t walkSjis(std::string_view sjis, std::u16string& out, std::vector<uint32_t>* offsets,
                Sink&&) {
    size_t escaped = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(sjis.data());
    size_t n = sjis.size();
    size_t i = 0;
    out.reserve(out.size() + n);
    while (i < n) {
        // ASCII maps to itself in code page 932 (0x5C and 0x7E included).
        size_t j = i;
        while (j < n && p[j] < 0x80)
            ++j;
        if (j > i) {
            size_t old = out.size();
            out.resize(old + (j - i));
            for (size_t k = i; k < j; ++k) {
                out[old + (k - i)] = p[k];
                if (offsets)
                    offsets->push_back(static_cast<uint32_t>(k));
            }
            i = j;
            continue;
        }
        // A run of non-ASCII characters, ended by the next ASCII byte that is not a trail byte.
        while (j < n) {
            if (p[j] < 0x80)
                break;
            j += (isLead(p[j]) && j + 1 < n) ? 2 : 1;
        }
        if (j > n)
            j = n;
        size_t before = out.size();
        bool bad = false;
        size_t used = convertRun(sjis.data() + i, j - i, out, &bad);
        if (offsets) {
            // Each code page 932 character is one UTF-16 unit; recover its start.
            size_t k = i;
            for (size_t u = before; u < out.size(); ++u) {
                offsets->push_back(static_cast<uint32_t>(k));
                k += (isLead(p[k]) && k + 1 < i + used) ? 2 : 1;
            }
        }
        i += used;
        if (bad || (used == 0 && i < j)) {
            out.push_back(static_cast<char16_t>(0xDC00 + p[i]));
            if (offsets)
                offsets->push_back(static_cast<uint32_t>(i));
            ++escaped;
            ++i;
        }
    }
    if (offsets)
        offsets->push_back(static_cast<uint32_t>(n));
    return escaped;
}

void appendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// Every single byte and lead/trail pair decoded by iconv once; 0 marks an invalid sequence.
struct SjisTable {
    char16_t single[256] = {};
    char16_t pair[60][256] = {};
    const char16_t* rows[256] = {}; // a lead byte's row of pair, null for any other byte

    static int leadIndex(unsigned char c) { return c < 0xA0 ? c - 0x81 : c - 0xE0 + 31; }

    SjisTable() {
        Iconv cd("UTF-16LE", "CP932");
        if (!cd.ok())
            return;
        auto decode = [&](const char* in, size_t len) -> char16_t {
            cd.reset();
            char buf[8];
            char* src = const_cast<char*>(in);
            size_t srcLeft = len;
            char* dst = buf;
            size_t dstLeft = sizeof(buf);
            size_t r = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
            if (r == static_cast<size_t>(-1) || srcLeft != 0 || sizeof(buf) - dstLeft != 2)
                return 0;
            char16_t u;
            std::memcpy(&u, buf, 2);
            return u;
        };
        for (int c = 0x80; c < 0x100; ++c) {
            char b[2] = {static_cast<char>(c), 0};
            if (!isLead(static_cast<unsigned char>(c)))
                single[c] = decode(b, 1);
        }
        for (int c = 0x80; c < 0x100; ++c) {
            if (!isLead(static_cast<unsigned char>(c)))
                continue;
            for (int t = 0; t < 0x100; ++t) {
                char b[2] = {static_cast<char>(c), static_cast<char>(t)};
                pair[leadIndex(static_cast<unsigned char>(c))][t] = decode(b, 2);
            }
            rows[c] = pair[leadIndex(static_cast<unsigned char>(c))];
        }
    }
};

const SjisTable& sjisTable() {
    static const SjisTable table;
    return table;
}

} // namespace

size_t VornDecodeSjisFast(std::string_view sjis, char16_t* out, size_t* escaped) {
    const SjisTable& t = sjisTable();
    const auto* p = reinterpret_cast<const unsigned char*>(sjis.data());
    const size_t n = sjis.size();
    char16_t* d = out;
    size_t bad = 0;
    size_t i = 0;
    while (i < n) {
        unsigned char c = p[i];
        if (c < 0x80) {
#if defined(__SSE2__)
            // Runs of ASCII (dates, IDs, markup) sixteen bytes at a time. All sixteen are
            // widened and stored even when the run ends among them: the room is there (no
            // unit takes less than a byte), and what follows the run overwrites them.
            while (i + 16 <= n) {
                const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
                const __m128i z = _mm_setzero_si128();
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d), _mm_unpacklo_epi8(v, z));
                _mm_storeu_si128(reinterpret_cast<__m128i*>(d + 8), _mm_unpackhi_epi8(v, z));
                const unsigned high = static_cast<unsigned>(_mm_movemask_epi8(v));
                if (high) {
                    const unsigned k = static_cast<unsigned>(__builtin_ctz(high));
                    d += k;
                    i += k;
                    goto wide;
                }
                d += 16;
                i += 16;
            }
#endif
            while (i < n && p[i] < 0x80)
                *d++ = p[i++];
            continue;
        }
#if defined(__SSE2__)
    wide:
#endif
        // A run of two-byte characters (and half-width kana) up to the next ASCII byte.
        for (;;) {
            c = p[i];
            if (const char16_t* row = t.rows[c]) {
                const char16_t u = i + 1 < n ? row[p[i + 1]] : 0;
                if (u) {
                    *d++ = u;
                    i += 2;
                } else {
                    *d++ = static_cast<char16_t>(0xDC00 + c);
                    ++bad;
                    ++i;
                }
            } else if (const char16_t u = t.single[c]) {
                *d++ = u;
                ++i;
            } else {
                *d++ = static_cast<char16_t>(0xDC00 + c);
                ++bad;
                ++i;
            }
            if (i >= n || p[i] < 0x80)
                break;
        }
    }
    if (escaped)
        *escaped = bad;
    return static_cast<size_t>(d - out);
}

size_t VornAppendSjisToUtf16Fast(std::string_view sjis, std::u16string& out) {
    size_t old = out.size();
    out.resize(old + sjis.size());
    size_t escaped = 0;
    out.resize(old + VornDecodeSjisFast(sjis, out.data() + old, &escaped));
    return escaped;
}

size_t VornAppendSjisToUtf16(std::string_view sjis, std::u16string& out) {
    return walkSjis(sjis, out, nullptr, 0);
}

std::u16string VornSjisToUtf16(std::string_view sjis) {
    std::u16string out;
    walkSjis(sjis, out, nullptr, 0);
    return out;
}

std::u16string VornSjisToUtf16(std::string_view sjis, std::vector<uint32_t>* offsets) {
    std::u16string out;
    if (offsets) {
        offsets->clear();
        offsets->reserve(sjis.size() + 1);
    }
    walkSjis(sjis, out, offsets, 0);
    return out;
}

std::string VornUtf16ToSjis(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 2);
    Iconv& cd = utf16ToSjis();
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        size_t j = i;
        while (j < n && text[j] < 0x80)
            ++j;
        for (size_t k = i; k < j; ++k)
            out += static_cast<char>(text[k]);
        i = j;
        if (i >= n)
            break;
        // Surrogate escape of an invalid Shift_JIS byte.
        char16_t c = text[i];
        if (c >= 0xDC80 && c <= 0xDCFF) {
            out += static_cast<char>(c - 0xDC00);
            ++i;
            continue;
        }
        while (j < n && text[j] >= 0x80 && !(text[j] >= 0xDC80 && text[j] <= 0xDCFF))
            ++j;
        char* src = reinterpret_cast<char*>(const_cast<char16_t*>(text.data() + i));
        size_t srcLeft = (j - i) * 2;
        size_t old = out.size();
        out.resize(old + (j - i) * 2 + 4);
        char* dst = out.data() + old;
        size_t dstLeft = (j - i) * 2 + 4;
        size_t r = iconv(cd.get(), &src, &srcLeft, &dst, &dstLeft);
        out.resize(old + ((j - i) * 2 + 4 - dstLeft));
        size_t usedUnits = (j - i) - srcLeft / 2;
        i += usedUnits;
        if (r == static_cast<size_t>(-1)) {
            cd.reset();
            if (i < j) {
                // Not representable (or a broken surrogate pair): one "?" per unit.
                bool pair = (text[i] >= 0xD800 && text[i] <= 0xDBFF) && i + 1 < n &&
                            (text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF);
                out += '?';
                i += pair ? 2 : 1;
            }
        }
    }
    return out;
}

std::string VornUtf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (size_t i = 0; i < text.size(); ++i) {
        uint32_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        }
        appendUtf8(out, c);
    }
    return out;
}

std::u16string VornUtf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
    size_t n = utf8.size();
    size_t i = 0;
    while (i < n) {
        unsigned char c = p[i];
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if (c >= 0xC2 && c <= 0xDF && i + 1 < n && (p[i + 1] & 0xC0) == 0x80) {
            cp = ((c & 0x1F) << 6) | (p[i + 1] & 0x3F);
            len = 2;
        } else if (c >= 0xE0 && c <= 0xEF && i + 2 < n && (p[i + 1] & 0xC0) == 0x80 &&
                   (p[i + 2] & 0xC0) == 0x80) {
            uint32_t v = ((c & 0x0F) << 12) | ((p[i + 1] & 0x3F) << 6) | (p[i + 2] & 0x3F);
            if (v >= 0x800 && !(v >= 0xD800 && v <= 0xDFFF)) {
                cp = v;
                len = 3;
            }
        } else if (c >= 0xF0 && c <= 0xF4 && i + 3 < n && (p[i + 1] & 0xC0) == 0x80 &&
                   (p[i + 2] & 0xC0) == 0x80 && (p[i + 3] & 0xC0) == 0x80) {
            uint32_t v = ((c & 0x07) << 18) | ((p[i + 1] & 0x3F) << 12) | ((p[i + 2] & 0x3F) << 6) |
                         (p[i + 3] & 0x3F);
            if (v >= 0x10000 && v <= 0x10FFFF) {
                cp = v;
                len = 4;
            }
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out += static_cast<char16_t>(0xD800 + (cp >> 10));
            out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
        i += len;
    }
    return out;
}

std::string VornSjisToUtf8(std::string_view sjis) {
    return VornSjisToUtf8(sjis, nullptr);
}

std::string VornSjisToUtf8(std::string_view sjis, std::vector<uint32_t>* offsets) {
    std::vector<uint32_t> unitOffsets;
    std::u16string wide = VornSjisToUtf16(sjis, offsets ? &unitOffsets : nullptr);
    std::string out;
    out.reserve(wide.size() * 3);
    if (offsets) {
        offsets->clear();
        offsets->reserve(sjis.size() * 2);
    }
    for (size_t i = 0; i < wide.size(); ++i) {
        uint32_t c = wide[i];
        if (c >= 0xD800 && c <= 0xDFFF)
            c = 0xFFFD;
        size_t before = out.size();
        appendUtf8(out, c);
        if (offsets)
            for (size_t k = before; k < out.size(); ++k)
                offsets->push_back(unitOffsets[i]);
    }
    if (offsets)
        offsets->push_back(static_cast<uint32_t>(sjis.size()));
    return out;
}

std::string VornUtf8ToSjis(std::string_view utf8) {
    return VornUtf16ToSjis(VornUtf8ToUtf16(utf8));
}
