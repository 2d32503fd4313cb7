#pragma once

#include <cstddef>
#include <cstdlib>
#include <string>
#include <string_view>
#include <utility>

// Malloc'd room for UTF-16 text, which a gap buffer can take over without a copy.
struct TavloTextRoom {
    char16_t* p = nullptr;
    size_t capacity = 0;
    TavloTextRoom() = default;
    TavloTextRoom(TavloTextRoom&& o) noexcept : p(o.p), capacity(o.capacity) {
        o.p = nullptr;
        o.capacity = 0;
    }
    TavloTextRoom& operator=(TavloTextRoom&& o) noexcept {
        std::swap(p, o.p);
        std::swap(capacity, o.capacity);
        return *this;
    }
    TavloTextRoom(const TavloTextRoom&) = delete;
    TavloTextRoom& operator=(const TavloTextRoom&) = delete;
    ~TavloTextRoom() { std::free(p); }
    // Room for at least n characters, what it holds kept; false when the memory is not there.
    bool Grow(size_t n);
};

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
    // Takes over room whose first length characters are the new text; the rest is the gap.
    void Adopt(TavloTextRoom&& room, size_t length);
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
