#pragma once

#include "vorn_object.h"
#include "vorn_string.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// Regular expressions (PCRE2, JIT) over Shift_JIS or UTF-16 text.
//
// Shift_JIS patterns and subjects are matched as Unicode, never byte-wise (a trail byte may be
// '\\' or '|'); the offsets a Shift_JIS match reports are byte offsets into the subject.
// Group 0 is the whole match. One object is not safe for use by two threads at once.
class CVornRegex : public CVornObject {
public:
    enum { FLAG_ICASE = 1, FLAG_MULTILINE = 2, FLAG_DOTALL = 4 };
    enum { NOMATCH = -1, ERROR = -2 };

    CVornRegex();
    ~CVornRegex() override;
    CVornRegex(const CVornRegex&) = delete;
    CVornRegex& operator=(const CVornRegex&) = delete;

    // Pattern in Shift_JIS; returns 1, or 0 with GetError() set.
    int Compile(const char* pattern, int flags = 0);
    int Compile(const CVornString& pattern, int flags = 0) {
        return Compile(pattern.c_str(), flags);
    }
    // Pattern in UTF-16.
    int CompileW(std::u16string_view pattern, int flags = 0);
    bool IsValid() const { return m_code != nullptr; }
    const CVornString& GetError() const { return m_error; }

    // Byte offset of the first match at or after start, NOMATCH, or ERROR (not compiled).
    int Match(const CVornString& subject, int start = 0);
    int Match(std::string_view subject, int start = 0);
    // UTF-16 subject; offsets are in UTF-16 units.
    int MatchW(std::u16string_view subject, int start = 0);

    // Groups of the pattern plus one (group 0); 0 when not compiled.
    int GetSubexpCount() const { return m_groups; }
    // Bounds of group n of the last successful match, -1 when the group did not take part.
    int GetStart(int n) const;
    int GetEnd(int n) const;
    // Text of group n of the last Shift_JIS match.
    CVornString GetGroup(int n) const;

private:
    void clear();
    int run(std::u16string_view subject, size_t start);

    void* m_code = nullptr;  // pcre2_code_16
    void* m_match = nullptr; // pcre2_match_data_16
    int m_groups = 0;
    CVornString m_error;
    std::vector<int> m_bounds; // start/end pairs of the last match
    // Last Shift_JIS subject, converted, with the byte offset of each UTF-16 unit.
    std::string m_lastSubject;
    std::u16string m_wide;
    std::vector<uint32_t> m_offsets;
    bool m_haveSubject = false;
};
