#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// One bit a byte of a text for each of the few bytes the Machi page's field patterns hang on,
// set for a whole run of lines in one pass. The converter then asks for the next or previous
// marked place of a line instead of searching the line once for every pattern.
class CTavloMachiMarks {
public:
    enum Class {
        kLt,     // "<"
        kCloseB, // "</b>"
        kBody,   // "<b" with "<d" four bytes on: where "<br><dd>" may start
        kMail,   // ":" after "o": where "mailto:" may end
        kWide,   // "：" (0x81 0x46)
        kLf,     // "\n"
        kClasses
    };
    static constexpr size_t npos = std::string_view::npos;

    // Marks text (which must stay in place while the marks are asked for).
    void Scan(std::string_view text);
    // First marked place of cls in [from, limit); npos when none.
    size_t Next(Class cls, size_t from, size_t limit) const;
    // Last marked place of cls in [floor, before); npos when none.
    size_t Prev(Class cls, size_t before, size_t floor) const;
    bool Test(Class cls, size_t at) const {
        return at < m_size && (m_bits[(at >> 6) * kClasses + cls] >> (at & 63) & 1) != 0;
    }

    // Instruction set for Scan: 0 plain, 1 SSE2, 2 AVX2, 3 AVX-512BW (the default), each where
    // the processor has it (else the next lower one). Returns the previous one; for tests that
    // compare them.
    static int SetLevel(int level);

    // The bits of cls from offset from to the end, one set bit at a time.
    class Walker {
    public:
        Walker(const CTavloMachiMarks& marks, Class cls, size_t from, size_t limit)
            : m_marks(marks), m_cls(cls), m_limit(limit < marks.m_size ? limit : marks.m_size) {
            m_word = from >> 6;
            m_m = from < m_limit ? word() & (~uint64_t{0} << (from & 63)) : 0;
            m_last = m_limit == 0 ? 0 : (m_limit - 1) >> 6;
            if (from >= m_limit)
                m_word = m_last + 1;
        }
        // The next set bit; npos when none is left.
        size_t Next() {
            while (!m_m) {
                if (m_word >= m_last)
                    return npos;
                ++m_word;
                m_m = word();
            }
            size_t at = (m_word << 6) + static_cast<size_t>(__builtin_ctzll(m_m));
            m_m &= m_m - 1;
            return at < m_limit ? at : npos;
        }

    private:
        uint64_t word() const { return m_marks.m_bits[m_word * kClasses + m_cls]; }
        const CTavloMachiMarks& m_marks;
        Class m_cls;
        size_t m_limit;
        size_t m_word;
        size_t m_last;
        uint64_t m_m;
    };

private:
    std::vector<uint64_t> m_bits; // word j of class c at j * kClasses + c
    size_t m_size = 0;
};

inline size_t CTavloMachiMarks::Next(Class cls, size_t from, size_t limit) const {
    if (limit > m_size)
        limit = m_size;
    if (from >= limit)
        return npos;
    size_t j = from >> 6;
    uint64_t m = m_bits[j * kClasses + cls] & (~uint64_t{0} << (from & 63));
    for (;;) {
        if (m) {
            size_t at = (j << 6) + static_cast<size_t>(__builtin_ctzll(m));
            return at < limit ? at : npos;
        }
        if ((++j << 6) >= limit)
            return npos;
        m = m_bits[j * kClasses + cls];
    }
}

inline size_t CTavloMachiMarks::Prev(Class cls, size_t before, size_t floor) const {
    if (before > m_size)
        before = m_size;
    if (before <= floor)
        return npos;
    const size_t last = before - 1;
    size_t j = last >> 6;
    uint64_t m = m_bits[j * kClasses + cls] & (~uint64_t{0} >> (63 - (last & 63)));
    for (;;) {
        if (m) {
            size_t at = (j << 6) + 63 - static_cast<size_t>(__builtin_clzll(m));
            return at >= floor ? at : npos;
        }
        if ((j << 6) <= floor)
            return npos;
        m = m_bits[--j * kClasses + cls];
    }
}

// The marks of one line of the scanned text, in the line's own offsets.
struct TavloMachiLineMarks {
    const CTavloMachiMarks& marks;
    size_t base; // the line's offset in the text
    size_t size;

    size_t Next(CTavloMachiMarks::Class cls, size_t from) const {
        size_t at = marks.Next(cls, base + from, base + size);
        return at == CTavloMachiMarks::npos ? at : at - base;
    }
    // Last marked place in [floor, before).
    size_t Prev(CTavloMachiMarks::Class cls, size_t before, size_t floor = 0) const {
        size_t at = marks.Prev(cls, base + before, base + floor);
        return at == CTavloMachiMarks::npos ? at : at - base;
    }
    bool Test(CTavloMachiMarks::Class cls, size_t at) const {
        return at < size && marks.Test(cls, base + at);
    }
    // Each set bit of cls from offset from on, in order, in the line's offsets.
    struct Walker {
        CTavloMachiMarks::Walker walker;
        size_t base;
        size_t Next() {
            size_t at = walker.Next();
            return at == CTavloMachiMarks::npos ? at : at - base;
        }
    };
    Walker Walk(CTavloMachiMarks::Class cls, size_t from = 0) const {
        return {CTavloMachiMarks::Walker(marks, cls, base + from, base + size), base};
    }
};
