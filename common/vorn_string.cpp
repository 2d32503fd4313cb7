#include "vorn_string.h"

#include "vorn_kcode.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iconv.h>
#include <vector>

int CVornString::FormatV(const char* fmt, va_list args) {
    m_s.clear();
    return FormatAddV(fmt, args);
}

int CVornString::FormatAddV(const char* fmt, va_list args) {
    if (!fmt)
        return 0;
    char buf[512];
    va_list copy;
    va_copy(copy, args);
    int n = vsnprintf(buf, sizeof buf, fmt, copy);
    va_end(copy);
    if (n < 0)
        return -1;
    if (static_cast<size_t>(n) < sizeof buf) {
        m_s.append(buf, static_cast<size_t>(n));
        return n;
    }
    size_t old = m_s.size();
    m_s.resize(old + static_cast<size_t>(n) + 1);
    vsnprintf(m_s.data() + old, static_cast<size_t>(n) + 1, fmt, args);
    m_s.resize(old + static_cast<size_t>(n));
    return n;
}

int CVornString::Format(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = FormatV(fmt, args);
    va_end(args);
    return n;
}

int CVornString::FormatAdd(const char* fmt, ...) {
    va_list args;
    va_start(args, fmt);
    int n = FormatAddV(fmt, args);
    va_end(args);
    return n;
}

int CVornString::Find(const char* text, int start) const {
    if (!text || start < 0 || static_cast<size_t>(start) > m_s.size())
        return -1;
    size_t p = m_s.find(text, static_cast<size_t>(start));
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CVornString::Find(char c, int start) const {
    if (start < 0 || static_cast<size_t>(start) > m_s.size())
        return -1;
    size_t p = m_s.find(c, static_cast<size_t>(start));
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CVornString::FindR(const char* text, int start) const {
    if (!text)
        return -1;
    size_t from = start < 0 ? std::string::npos : static_cast<size_t>(start);
    size_t p = m_s.rfind(text, from);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CVornString::FindR(char c, int start) const {
    size_t from = start < 0 ? std::string::npos : static_cast<size_t>(start);
    size_t p = m_s.rfind(c, from);
    return p == std::string::npos ? -1 : static_cast<int>(p);
}

int CVornString::FindMb(const char* text, int start) const {
    if (!text || start < 0)
        return -1;
    size_t len = strlen(text);
    size_t i = static_cast<size_t>(start);
    while (i + len <= m_s.size()) {
        if (m_s.compare(i, len, text) == 0)
            return static_cast<int>(i);
        i += (VornIsSjisLead(static_cast<unsigned char>(m_s[i])) && i + 1 < m_s.size()) ? 2 : 1;
    }
    return -1;
}

CVornString CVornString::Left(int len) const {
    if (len <= 0)
        return CVornString();
    return CVornString(m_s.substr(0, static_cast<size_t>(len)));
}

CVornString CVornString::Right(int len) const {
    if (len <= 0)
        return CVornString();
    if (static_cast<size_t>(len) >= m_s.size())
        return *this;
    return CVornString(m_s.substr(m_s.size() - static_cast<size_t>(len)));
}

CVornString CVornString::Mid(int pos, int len) const {
    if (pos < 0)
        pos = 0;
    if (static_cast<size_t>(pos) >= m_s.size())
        return CVornString();
    if (len < 0)
        return CVornString(m_s.substr(static_cast<size_t>(pos)));
    return CVornString(m_s.substr(static_cast<size_t>(pos), static_cast<size_t>(len)));
}

int CVornString::Insert(int pos, const char* text) {
    if (!text)
        return GetLength();
    if (pos < 0)
        pos = 0;
    if (static_cast<size_t>(pos) > m_s.size())
        pos = GetLength();
    m_s.insert(static_cast<size_t>(pos), text);
    return GetLength();
}

int CVornString::Remove(int pos, int len) {
    if (pos < 0 || len <= 0 || static_cast<size_t>(pos) >= m_s.size())
        return GetLength();
    m_s.erase(static_cast<size_t>(pos), static_cast<size_t>(len));
    return GetLength();
}

int CVornString::Replace(const char* from, const char* to) {
    if (!from || !*from)
        return 0;
    if (!to)
        to = "";
    size_t flen = strlen(from);
    size_t tlen = strlen(to);
    int count = 0;
    size_t p = m_s.find(from);
    if (p == std::string::npos)
        return 0;
    std::string out;
    out.reserve(m_s.size());
    size_t last = 0;
    while (p != std::string::npos) {
        out.append(m_s, last, p - last);
        out.append(to, tlen);
        last = p + flen;
        ++count;
        p = m_s.find(from, last);
    }
    out.append(m_s, last, std::string::npos);
    m_s.swap(out);
    return count;
}

void CVornString::StrnCpy(const char* text, int len) {
    m_s.clear();
    StrnCat(text, len);
}

void CVornString::StrnCat(const char* text, int len) {
    if (!text || len <= 0)
        return;
    m_s.append(text, strnlen(text, static_cast<size_t>(len)));
}

static bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

CVornString& CVornString::TrimLeft() {
    size_t i = 0;
    while (i < m_s.size() && isBlank(m_s[i]))
        ++i;
    m_s.erase(0, i);
    return *this;
}

CVornString& CVornString::TrimRight() {
    size_t n = m_s.size();
    while (n > 0 && isBlank(m_s[n - 1]))
        --n;
    m_s.resize(n);
    return *this;
}

CVornString& CVornString::Trim() {
    TrimRight();
    return TrimLeft();
}

CVornString& CVornString::ToUpper() {
    // Only ASCII letters, stepping over Shift_JIS characters so trail bytes stay untouched.
    for (size_t i = 0; i < m_s.size(); ++i) {
        auto c = static_cast<unsigned char>(m_s[i]);
        if (VornIsSjisLead(c)) {
            ++i;
            continue;
        }
        if (c >= 'a' && c <= 'z')
            m_s[i] = static_cast<char>(c - 'a' + 'A');
    }
    return *this;
}

CVornString& CVornString::ToLower() {
    for (size_t i = 0; i < m_s.size(); ++i) {
        auto c = static_cast<unsigned char>(m_s[i]);
        if (VornIsSjisLead(c)) {
            ++i;
            continue;
        }
        if (c >= 'A' && c <= 'Z')
            m_s[i] = static_cast<char>(c - 'A' + 'a');
    }
    return *this;
}

int CVornString::Atoi() const {
    size_t i = 0;
    while (i < m_s.size() && (m_s[i] == ' ' || m_s[i] == '\t'))
        ++i;
    bool neg = false;
    if (i < m_s.size() && (m_s[i] == '-' || m_s[i] == '+')) {
        neg = m_s[i] == '-';
        ++i;
    }
    long long v = 0;
    for (; i < m_s.size() && m_s[i] >= '0' && m_s[i] <= '9'; ++i) {
        v = v * 10 + (m_s[i] - '0');
        if (v > static_cast<long long>(INT_MAX) + 1)
            v = static_cast<long long>(INT_MAX) + 1;
    }
    if (neg)
        v = -v;
    if (v > INT_MAX)
        v = INT_MAX;
    if (v < INT_MIN)
        v = INT_MIN;
    return static_cast<int>(v);
}

CVornString& CVornString::UrlEncode() {
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(m_s.size() * 3);
    for (unsigned char c : m_s) {
        if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
            c == '-' || c == '.' || c == '_' || c == '*') {
            out += static_cast<char>(c);
        } else if (c == ' ') {
            out += '+';
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    m_s.swap(out);
    return *this;
}

int VornHexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

CVornString& CVornString::UrlDecode() {
    std::string out;
    out.reserve(m_s.size());
    for (size_t i = 0; i < m_s.size(); ++i) {
        char c = m_s[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%' && i + 2 < m_s.size() && VornHexValue(m_s[i + 1]) >= 0 &&
                   VornHexValue(m_s[i + 2]) >= 0) {
            out += static_cast<char>(VornHexValue(m_s[i + 1]) * 16 + VornHexValue(m_s[i + 2]));
            i += 2;
        } else {
            out += c;
        }
    }
    m_s.swap(out);
    return *this;
}

CVornString& CVornString::HtmlDecode() {
    std::string out;
    out.reserve(m_s.size());
    size_t i = 0;
    while (i < m_s.size()) {
        char c = m_s[i];
        if (c != '&') {
            // Copy a whole Shift_JIS character so a trail byte is never taken for '&'.
            bool lead = VornIsSjisLead(static_cast<unsigned char>(c)) && i + 1 < m_s.size();
            out.append(m_s, i, lead ? 2 : 1);
            i += lead ? 2 : 1;
            continue;
        }
        size_t semi = m_s.find(';', i);
        if (semi == std::string::npos || semi - i > 10) {
            out += c;
            ++i;
            continue;
        }
        std::string name = m_s.substr(i + 1, semi - i - 1);
        std::string rep;
        bool ok = true;
        if (name == "amp")
            rep = "&";
        else if (name == "lt")
            rep = "<";
        else if (name == "gt")
            rep = ">";
        else if (name == "quot")
            rep = "\"";
        else if (name == "apos")
            rep = "'";
        else if (name == "nbsp")
            rep = " ";
        else if (name.size() > 1 && name[0] == '#') {
            long v = -1;
            char* end = nullptr;
            if (name[1] == 'x' || name[1] == 'X')
                v = name.size() > 2 ? strtol(name.c_str() + 2, &end, 16) : -1;
            else
                v = strtol(name.c_str() + 1, &end, 10);
            if (v <= 0 || v > 0x10FFFF || (end && *end) || (v >= 0xD800 && v <= 0xDFFF)) {
                ok = false;
            } else {
                std::u16string w;
                if (v >= 0x10000) {
                    w += static_cast<char16_t>(0xD800 + ((v - 0x10000) >> 10));
                    w += static_cast<char16_t>(0xDC00 + ((v - 0x10000) & 0x3FF));
                } else {
                    w += static_cast<char16_t>(v);
                }
                rep = VornUtf16ToSjis(w);
                if (rep == "?" && v != '?')
                    ok = false;
            }
        } else {
            ok = false;
        }
        if (ok) {
            out += rep;
            i = semi + 1;
        } else {
            out += c;
            ++i;
        }
    }
    m_s.swap(out);
    return *this;
}

static const char kB64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

CVornString& CVornString::Base64Encode() {
    std::string out;
    out.reserve((m_s.size() + 2) / 3 * 4);
    size_t i = 0;
    const auto* p = reinterpret_cast<const unsigned char*>(m_s.data());
    for (; i + 2 < m_s.size(); i += 3) {
        unsigned v = (p[i] << 16) | (p[i + 1] << 8) | p[i + 2];
        out += kB64[v >> 18];
        out += kB64[(v >> 12) & 63];
        out += kB64[(v >> 6) & 63];
        out += kB64[v & 63];
    }
    size_t rest = m_s.size() - i;
    if (rest == 1) {
        unsigned v = p[i] << 16;
        out += kB64[v >> 18];
        out += kB64[(v >> 12) & 63];
        out += "==";
    } else if (rest == 2) {
        unsigned v = (p[i] << 16) | (p[i + 1] << 8);
        out += kB64[v >> 18];
        out += kB64[(v >> 12) & 63];
        out += kB64[(v >> 6) & 63];
        out += '=';
    }
    m_s.swap(out);
    return *this;
}

int CVornString::Base64Decode() {
    std::string out;
    unsigned acc = 0;
    int bits = 0;
    int pad = 0;
    for (char c : m_s) {
        if (c == '\r' || c == '\n' || c == ' ' || c == '\t')
            continue;
        if (c == '=') {
            ++pad;
            continue;
        }
        if (pad)
            return 0;
        const char* p = strchr(kB64, c);
        if (!p || !c)
            return 0;
        acc = (acc << 6) | static_cast<unsigned>(p - kB64);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out += static_cast<char>((acc >> bits) & 0xFF);
        }
    }
    if (pad > 2)
        return 0;
    m_s.swap(out);
    return 1;
}

namespace {

struct Cd {
    iconv_t cd;
    Cd(const char* to, const char* from) : cd(iconv_open(to, from)) {}
    ~Cd() {
        if (ok())
            iconv_close(cd);
    }
    bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
};

const char16_t kGeta = 0x3013;

// Source bytes to UTF-16; an invalid byte becomes the geta mark.
bool decodeTo16(const char* from, const std::string& in, std::u16string& out, int& replaced) {
    Cd cd("UTF-16LE", from);
    if (!cd.ok())
        return false;
    out.assign(in.size() + 4, u'\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* base = reinterpret_cast<char*>(out.data());
    char* dst = base;
    size_t cap = out.size() * 2;
    while (srcLeft > 0) {
        size_t dstLeft = cap - static_cast<size_t>(dst - base);
        size_t r = iconv(cd.cd, &src, &srcLeft, &dst, &dstLeft);
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            size_t used = static_cast<size_t>(dst - base);
            out.resize(out.size() * 2);
            base = reinterpret_cast<char*>(out.data());
            dst = base + used;
            cap = out.size() * 2;
            continue;
        }
        // EILSEQ or EINVAL: replace one byte and go on.
        if (cap - static_cast<size_t>(dst - base) < 2) {
            size_t used = static_cast<size_t>(dst - base);
            out.resize(out.size() * 2);
            base = reinterpret_cast<char*>(out.data());
            dst = base + used;
            cap = out.size() * 2;
        }
        memcpy(dst, &kGeta, 2);
        dst += 2;
        ++src;
        --srcLeft;
        ++replaced;
    }
    out.resize(static_cast<size_t>(dst - base) / 2);
    return true;
}

// UTF-16 to target bytes; a character the target cannot hold becomes the geta mark.
bool encodeFrom16(const char* to, std::u16string in, std::string& out, int& replaced) {
    Cd cd(to, "UTF-16LE");
    if (!cd.ok())
        return false;
    out.assign(in.size() * 4 + 16, '\0');
    char* src = reinterpret_cast<char*>(in.data());
    size_t srcLeft = in.size() * 2;
    char* dst = out.data();
    size_t dstLeft = out.size();
    auto grow = [&]() {
        size_t used = out.size() - dstLeft;
        out.resize(out.size() * 2);
        dst = out.data() + used;
        dstLeft = out.size() - used;
    };
    while (srcLeft > 0) {
        size_t r = iconv(cd.cd, &src, &srcLeft, &dst, &dstLeft);
        if (r != static_cast<size_t>(-1))
            break;
        if (errno == E2BIG) {
            grow();
            continue;
        }
        // Overwrite the offending unit (both halves of a pair) with the geta mark in place.
        auto* unit = reinterpret_cast<char16_t*>(src);
        bool pair = srcLeft >= 4 && unit[0] >= 0xD800 && unit[0] <= 0xDBFF && unit[1] >= 0xDC00 &&
                    unit[1] <= 0xDFFF;
        if (pair) {
            src += 2;
            srcLeft -= 2;
            unit = reinterpret_cast<char16_t*>(src);
        }
        if (*unit == kGeta) {
            // Even the geta mark failed: drop nothing silently, count and skip.
            src += 2;
            srcLeft -= 2;
        } else {
            *unit = kGeta;
        }
        ++replaced;
    }
    for (;;) {
        size_t r = iconv(cd.cd, nullptr, nullptr, &dst, &dstLeft);
        if (r == static_cast<size_t>(-1) && errno == E2BIG) {
            grow();
            continue;
        }
        break;
    }
    out.resize(out.size() - dstLeft);
    return true;
}

} // namespace

int CVornString::ConvertKCodeEx(int selector) {
    static const char* const names[][2] = {
        {"CP932", "EUC-JP-MS"},   {"CP932", "ISO-2022-JP"},     {"EUC-JP-MS", "CP932"},
        {"ISO-2022-JP", "CP932"}, {"EUC-JP-MS", "ISO-2022-JP"}, {"ISO-2022-JP", "EUC-JP-MS"},
    };
    if (selector < 0 || selector > 5)
        return -1;
    int replaced = 0;
    std::u16string wide;
    if (selector == KCODE_SJIS_TO_EUC || selector == KCODE_SJIS_TO_JIS) {
        // Shift_JIS goes through the window-side converter so its error rule is the same.
        size_t bad = 0;
        std::u16string w;
        bad = VornAppendSjisToUtf16(m_s, w);
        for (auto& c : w)
            if (c >= 0xDC00 && c <= 0xDCFF)
                c = kGeta;
        replaced += static_cast<int>(bad);
        wide.swap(w);
    } else if (!decodeTo16(names[selector][0], m_s, wide, replaced)) {
        return -1;
    }
    std::string out;
    if (!encodeFrom16(names[selector][1], std::move(wide), out, replaced))
        return -1;
    m_s.swap(out);
    return replaced ? 0 : 1;
}
