#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// UTF-16 text in a gap buffer: edits near the last one (appending above all) move little.
class CTavloGapBuffer {
public:
    static constexpr size_t kInitialCapacity = 1024;

    CTavloGapBuffer();
    ~CTavloGapBuffer();
    CTavloGapBuffer(const CTavloGapBuffer&) = delete;
    CTavloGapBuffer& operator=(const CTavloGapBuffer&) = delete;

    size_t Length() const { return m_size - (m_gapEnd - m_gapStart); }
    char16_t At(size_t i) const { return i < m_gapStart ? m_buf[i] : m_buf[i + gapLength()]; }
    // Where the gap sits: text before it and after it is contiguous.
    size_t GapPosition() const { return m_gapStart; }
    // Pointer to the text at i; valid for the characters up to the gap (or the end).
    const char16_t* Data(size_t i) const {
        return i < m_gapStart ? m_buf + i : m_buf + i + gapLength();
    }

    // Overwrites one character (a marker changed in place).
    void Set(size_t i, char16_t c) {
        if (i < Length())
            (i < m_gapStart ? m_buf[i] : m_buf[i + gapLength()]) = c;
    }
    void Insert(size_t pos, std::u16string_view text);
    void Erase(size_t pos, size_t len);
    // Replaces the text; the gap goes at its end.
    void Assign(std::u16string_view text);
    void Clear() { Assign(std::u16string_view()); }
    // Makes room for about extra more characters at the gap, so that a long append done
    // piece by piece grows the storage once.
    void Reserve(size_t extra);
    std::u16string Substr(size_t pos, size_t len) const;
    std::u16string Text() const { return Substr(0, Length()); }

private:
    size_t gapLength() const { return m_gapEnd - m_gapStart; }
    void moveGap(size_t pos);
    void reserveGap(size_t need);
    void grow(size_t size);

    // Text before the gap, the gap, text after it; malloc'd, so that growth at the end can
    // extend it where it lies (realloc) instead of copying it. The gap is not initialised.
    char16_t* m_buf = nullptr;
    size_t m_size = 0;
    size_t m_gapStart = 0;
    size_t m_gapEnd = 0;
};
