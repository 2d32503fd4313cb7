#pragma once

#include "vorn_object.h"

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

// Byte string holding board text (Shift_JIS). Positions and lengths are in bytes.
class CVornString : public CVornObject {
public:
    // Selectors of ConvertKCodeEx.
    enum {
        KCODE_SJIS_TO_EUC = 0,
        KCODE_SJIS_TO_JIS = 1,
        KCODE_EUC_TO_SJIS = 2,
        KCODE_JIS_TO_SJIS = 3,
        KCODE_EUC_TO_JIS = 4,
        KCODE_JIS_TO_EUC = 5,
    };

    CVornString() = default;
    CVornString(const char* text) : m_s(text ? text : "") {}
    CVornString(const char* data, size_t len)
        : m_s(data ? std::string(data, len) : std::string()) {}
    CVornString(std::string_view text) : m_s(text) {}
    CVornString(const std::string& text) : m_s(text) {}
    CVornString(std::string&& text) : m_s(std::move(text)) {}
    explicit CVornString(int value) : m_s(std::to_string(value)) {}
    CVornString(const CVornString&) = default;
    CVornString(CVornString&&) noexcept = default;
    CVornString& operator=(const CVornString&) = default;
    CVornString& operator=(CVornString&&) noexcept = default;
    CVornString& operator=(const char* text) {
        m_s = text ? text : "";
        return *this;
    }

    const char* c_str() const { return m_s.c_str(); }
    const char* GetBuffer() const { return m_s.c_str(); }
    char* data() { return m_s.data(); }
    int GetLength() const { return static_cast<int>(m_s.size()); }
    size_t size() const { return m_s.size(); }
    bool IsEmpty() const { return m_s.empty(); }
    void Empty() { m_s.clear(); }
    char operator[](size_t i) const { return m_s[i]; }
    unsigned char At(int i) const {
        return static_cast<unsigned char>(m_s[static_cast<size_t>(i)]);
    }
    std::string& str() { return m_s; }
    const std::string& str() const { return m_s; }
    std::string_view view() const { return m_s; }
    operator std::string_view() const { return m_s; }

    CVornString& operator+=(const CVornString& other) {
        m_s += other.m_s;
        return *this;
    }
    CVornString& operator+=(const char* text) {
        if (text)
            m_s += text;
        return *this;
    }
    CVornString& operator+=(char c) {
        m_s += c;
        return *this;
    }
    void Append(const char* data, size_t len) { m_s.append(data, len); }
    friend CVornString operator+(const CVornString& a, const CVornString& b) {
        return CVornString(a.m_s + b.m_s);
    }
    friend CVornString operator+(const CVornString& a, const char* b) {
        return CVornString(a.m_s + (b ? b : ""));
    }
    friend CVornString operator+(const char* a, const CVornString& b) {
        return CVornString((a ? a : "") + b.m_s);
    }
    friend bool operator==(const CVornString& a, const CVornString& b) { return a.m_s == b.m_s; }
    friend bool operator==(const CVornString& a, const char* b) { return a.m_s == (b ? b : ""); }
    friend bool operator<(const CVornString& a, const CVornString& b) { return a.m_s < b.m_s; }
    int Compare(const char* text) const { return m_s.compare(text ? text : ""); }

    // printf-style: replace or append.
    int Format(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    int FormatAdd(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
    int FormatV(const char* fmt, va_list args);
    int FormatAddV(const char* fmt, va_list args);

    // Byte position of the first (last) occurrence at or after (before) start, or -1.
    int Find(const char* text, int start = 0) const;
    int Find(char c, int start = 0) const;
    int FindR(const char* text, int start = -1) const;
    int FindR(char c, int start = -1) const;
    // Like Find, but steps over Shift_JIS characters so a trail byte never matches.
    int FindMb(const char* text, int start = 0) const;

    CVornString Left(int len) const;
    CVornString Right(int len) const;
    CVornString Mid(int pos, int len = -1) const;
    int Insert(int pos, const char* text);
    int Remove(int pos, int len);
    int Replace(const char* from, const char* to);
    // Copies (appends) at most len bytes of text.
    void StrnCpy(const char* text, int len);
    void StrnCat(const char* text, int len);
    CVornString& Trim();
    CVornString& TrimLeft();
    CVornString& TrimRight();
    CVornString& ToUpper();
    CVornString& ToLower();
    // Leading decimal number (optional sign and leading blanks); 0 when there is none.
    int Atoi() const;
    bool StartsWith(std::string_view prefix) const { return m_s.starts_with(prefix); }
    bool EndsWith(std::string_view suffix) const { return m_s.ends_with(suffix); }

    // "%XX" for every byte but ALNUM and "-._*"; blank becomes "+".
    CVornString& UrlEncode();
    // "%XX" and "+" decoded; a malformed escape is kept as it is.
    CVornString& UrlDecode();
    // Character references (&#NNN; &#xHH; &amp; &lt; &gt; &quot; &apos; &nbsp;), as Shift_JIS.
    CVornString& HtmlDecode();
    CVornString& Base64Encode();
    // Returns 0 when the text is not Base64 (the string is left unchanged).
    int Base64Decode();

    // Converts the whole string between Japanese encodings (selector above). A byte sequence
    // that is invalid in the source, or a character the target cannot hold, becomes the geta
    // mark "〓" of the target encoding. Returns 1 when every character converted, 0 when
    // some were replaced, -1 on an unknown selector (string unchanged).
    int ConvertKCodeEx(int selector);

private:
    std::string m_s;
};

// Value of a hexadecimal digit, -1 for any other character.
int VornHexValue(char c);

// Length in bytes of the Shift_JIS character that starts with byte c (1 or 2).
inline bool VornIsSjisLead(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}
