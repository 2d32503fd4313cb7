#pragma once

#include "vorn_string.h"

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

// One datum of the S-expression side files (info files, bookmark2.txt, article-summary), as
// navi2ch writes them. Strings hold their text unescaped; a "#("text" 0 4 (props))" form is
// a vector list whose first item is the string.
class CTavloSexp {
public:
    enum Type { ATOM, STRING, LIST };

    Type type = ATOM;
    CVornString text;              // atom text or string value
    std::vector<CTavloSexp> items; // list items; "(a . b)" holds a and b
    bool vector = false;           // "#(...)"

    bool IsAtom() const { return type == ATOM; }
    bool IsList() const { return type == LIST; }
    bool IsNil() const { return type == ATOM && text == "nil"; }
    // The text of a string, or of a propertized "#("text" ...)" string; null otherwise.
    const CVornString* AsString() const;
    // First item of a list when it is an atom (the key of an alist entry), else empty.
    const CVornString& Head() const;
    // The list item after the head that has the given head: the (key ...) entry of an alist.
    const CTavloSexp* Find(std::string_view head) const;
    // The first value of a "(key . value)" or "(key value ...)" entry; null when it has none.
    const CTavloSexp* Value() const { return items.size() > 1 ? &items[1] : nullptr; }
    // Value of keyword (":seen") in a property list, starting after item "from".
    const CTavloSexp* GetProperty(std::string_view keyword, size_t from = 0) const;
};

// Reads data from text. Shift_JIS aware: a trail byte 0x5C is part of its character, never an
// escape. Hostile input is bounded by a depth and a length limit.
class CTavloSexpReader {
public:
    enum { OK = 1, END = 0, ERROR = -1 };

    explicit CTavloSexpReader(std::string_view text, size_t pos = 0) : m_text(text), m_pos(pos) {}

    // Reads the next datum into out. With closeAtEnd, lists still open at the end of the text
    // are closed (a cut file keeps what it holds); otherwise that is an error. A datum longer
    // than maxLength bytes or deeper than maxDepth is an error.
    int Read(CTavloSexp& out, bool closeAtEnd = false, size_t maxLength = 0, int maxDepth = 64);
    size_t GetPos() const { return m_pos; }
    void SetPos(size_t pos) { m_pos = pos; }

private:
    void skipBlank();
    int readString(CVornString& out);
    void readAtom(CVornString& out);

    std::string_view m_text;
    size_t m_pos;
};

// Finds the entries of a list file one by one: every datum that starts with "(\"" is offered
// to accept, in text order. An accepted entry is stepped over whole; after a rejected or
// unreadable one the search goes on at its next byte, so one damaged entry costs only itself.
void TavloSexpScanEntries(std::string_view text, size_t maxLength,
                          const std::function<bool(const CTavloSexp&)>& accept);

// "\\" for a backslash and "\"" for a double quote; double-byte characters are left whole.
CVornString TavloSexpEscape(std::string_view text);
// The reverse of TavloSexpEscape; any other backslash is kept as it stands.
CVornString TavloSexpUnescape(std::string_view text);
// A Shift_JIS lead byte followed by a valid trail byte.
inline bool TavloIsSjisPair(std::string_view s, size_t i) {
    if (i + 1 >= s.size() || !VornIsSjisLead(static_cast<unsigned char>(s[i])))
        return false;
    unsigned char t = static_cast<unsigned char>(s[i + 1]);
    return (t >= 0x40 && t <= 0x7E) || (t >= 0x80 && t <= 0xFC);
}
