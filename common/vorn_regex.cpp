#define PCRE2_CODE_UNIT_WIDTH 16
#include "vorn_regex.h"

#include "vorn_kcode.h"

#include <algorithm>
#include <pcre2.h>

namespace {
pcre2_code_16* code(void* p) {
    return static_cast<pcre2_code_16*>(p);
}
pcre2_match_data_16* md(void* p) {
    return static_cast<pcre2_match_data_16*>(p);
}
} // namespace

CVornRegex::CVornRegex() = default;

CVornRegex::~CVornRegex() {
    clear();
}

void CVornRegex::clear() {
    if (m_match)
        pcre2_match_data_free_16(md(m_match));
    if (m_code)
        pcre2_code_free_16(code(m_code));
    m_match = nullptr;
    m_code = nullptr;
    m_groups = 0;
    m_bounds.clear();
}

int CVornRegex::Compile(const char* pattern, int flags) {
    return CompileW(VornSjisToUtf16(pattern ? pattern : ""), flags);
}

int CVornRegex::CompileW(std::u16string_view pattern, int flags) {
    clear();
    m_error.Empty();
    uint32_t options = PCRE2_UTF | PCRE2_MATCH_INVALID_UTF;
    if (flags & FLAG_ICASE)
        options |= PCRE2_CASELESS;
    if (flags & FLAG_MULTILINE)
        options |= PCRE2_MULTILINE;
    if (flags & FLAG_DOTALL)
        options |= PCRE2_DOTALL;
    int err = 0;
    PCRE2_SIZE errOffset = 0;
    pcre2_code_16* c = pcre2_compile_16(reinterpret_cast<PCRE2_SPTR16>(pattern.data()),
                                        pattern.size(), options, &err, &errOffset, nullptr);
    if (!c) {
        PCRE2_UCHAR16 buf[256];
        int n = pcre2_get_error_message_16(err, buf, 256);
        std::u16string msg(reinterpret_cast<char16_t*>(buf), n > 0 ? static_cast<size_t>(n) : 0);
        m_error = VornUtf16ToSjis(msg);
        m_error.FormatAdd(" at %zu", static_cast<size_t>(errOffset));
        return 0;
    }
    pcre2_jit_compile_16(c, PCRE2_JIT_COMPLETE); // falls back to the interpreter when it fails
    uint32_t captures = 0;
    pcre2_pattern_info_16(c, PCRE2_INFO_CAPTURECOUNT, &captures);
    m_code = c;
    m_match = pcre2_match_data_create_from_pattern_16(c, nullptr);
    m_groups = static_cast<int>(captures) + 1;
    return 1;
}

int CVornRegex::run(std::u16string_view subject, size_t start) {
    m_bounds.clear();
    if (!m_code)
        return ERROR;
    if (start > subject.size())
        return NOMATCH;
    int rc = pcre2_match_16(code(m_code), reinterpret_cast<PCRE2_SPTR16>(subject.data()),
                            subject.size(), start, 0, md(m_match), nullptr);
    if (rc < 0)
        return rc == PCRE2_ERROR_NOMATCH ? NOMATCH : ERROR;
    PCRE2_SIZE* ov = pcre2_get_ovector_pointer_16(md(m_match));
    m_bounds.assign(static_cast<size_t>(m_groups) * 2, -1);
    for (int i = 0; i < m_groups && i < rc; ++i) {
        if (ov[2 * i] == PCRE2_UNSET)
            continue;
        m_bounds[2 * i] = static_cast<int>(ov[2 * i]);
        m_bounds[2 * i + 1] = static_cast<int>(ov[2 * i + 1]);
    }
    return m_bounds[0];
}

int CVornRegex::MatchW(std::u16string_view subject, int start) {
    m_haveSubject = false;
    return run(subject, start < 0 ? 0 : static_cast<size_t>(start));
}

int CVornRegex::Match(const CVornString& subject, int start) {
    return Match(subject.view(), start);
}

int CVornRegex::Match(std::string_view subject, int start) {
    if (!m_code)
        return ERROR;
    if (start < 0)
        start = 0;
    if (static_cast<size_t>(start) > subject.size())
        return NOMATCH;
    // Repeated matches over one subject (scanning on) convert it once.
    if (!m_haveSubject || m_lastSubject != subject) {
        m_lastSubject.assign(subject);
        m_wide = VornSjisToUtf16(subject, &m_offsets);
        m_haveSubject = true;
    }
    // Unit index of the character that starts at or after byte offset start.
    auto it = std::lower_bound(m_offsets.begin(), m_offsets.end(), static_cast<uint32_t>(start));
    size_t unit = static_cast<size_t>(it - m_offsets.begin());
    int rc = run(m_wide, unit);
    if (rc < 0)
        return rc;
    for (int& b : m_bounds)
        if (b >= 0)
            b = static_cast<int>(m_offsets[static_cast<size_t>(b)]);
    return m_bounds[0];
}

int CVornRegex::GetStart(int n) const {
    if (n < 0 || static_cast<size_t>(2 * n + 1) >= m_bounds.size())
        return -1;
    return m_bounds[static_cast<size_t>(2 * n)];
}

int CVornRegex::GetEnd(int n) const {
    if (n < 0 || static_cast<size_t>(2 * n + 1) >= m_bounds.size())
        return -1;
    return m_bounds[static_cast<size_t>(2 * n + 1)];
}

CVornString CVornRegex::GetGroup(int n) const {
    int s = GetStart(n);
    int e = GetEnd(n);
    if (s < 0 || e < s || !m_haveSubject || static_cast<size_t>(e) > m_lastSubject.size())
        return CVornString();
    return CVornString(m_lastSubject.substr(static_cast<size_t>(s), static_cast<size_t>(e - s)));
}
