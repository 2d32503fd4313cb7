#include "tavlo_gap_buffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

char16_t* allocate(size_t n) {
    auto* p = static_cast<char16_t*>(std::malloc(std::max<size_t>(n, 1) * sizeof(char16_t)));
    if (!p)
        throw std::bad_alloc();
    return p;
}

} // namespace

CTavloGapBuffer::CTavloGapBuffer()
    : m_buf(allocate(kInitialCapacity)), m_size(kInitialCapacity), m_gapEnd(kInitialCapacity) {}

CTavloGapBuffer::~CTavloGapBuffer() {
    std::free(m_buf);
}

void CTavloGapBuffer::moveGap(size_t pos) {
    if (pos < m_gapStart) {
        size_t n = m_gapStart - pos;
        std::memmove(m_buf + m_gapEnd - n, m_buf + pos, n * sizeof(char16_t));
        m_gapStart -= n;
        m_gapEnd -= n;
    } else if (pos > m_gapStart) {
        size_t n = pos - m_gapStart;
        std::memmove(m_buf + m_gapStart, m_buf + m_gapEnd, n * sizeof(char16_t));
        m_gapStart += n;
        m_gapEnd += n;
    }
}

void CTavloGapBuffer::reserveGap(size_t need) {
    if (gapLength() >= need)
        return;
    // A fetch appends a block at a time: doubling keeps the copies of a long thread's text,
    // and the first touches of fresh pages, to about its size in all.
    grow(m_size + need - gapLength() + m_size + 1024);
}

void CTavloGapBuffer::Reserve(size_t extra) {
    if (gapLength() < extra)
        grow(m_size + extra - gapLength() + 1024);
}

void CTavloGapBuffer::grow(size_t size) {
    const size_t after = m_size - m_gapEnd;
    if (after == 0) {
        // Appending: the text stays where it is, realloc may even just extend the mapping.
        auto* p = static_cast<char16_t*>(std::realloc(m_buf, size * sizeof(char16_t)));
        if (!p)
            throw std::bad_alloc();
        m_buf = p;
    } else {
        char16_t* p = allocate(size);
        std::memcpy(p, m_buf, m_gapStart * sizeof(char16_t));
        std::memcpy(p + size - after, m_buf + m_gapEnd, after * sizeof(char16_t));
        std::free(m_buf);
        m_buf = p;
    }
    m_gapEnd = size - after;
    m_size = size;
}

void CTavloGapBuffer::Insert(size_t pos, std::u16string_view text) {
    if (text.empty())
        return;
    pos = std::min(pos, Length());
    moveGap(pos);
    reserveGap(text.size());
    std::memcpy(m_buf + m_gapStart, text.data(), text.size() * sizeof(char16_t));
    m_gapStart += text.size();
}

void CTavloGapBuffer::Erase(size_t pos, size_t len) {
    pos = std::min(pos, Length());
    len = std::min(len, Length() - pos);
    moveGap(pos);
    m_gapEnd += len;
}

void CTavloGapBuffer::Assign(std::u16string_view text) {
    const size_t size = text.size() + kInitialCapacity;
    char16_t* p = allocate(size);
    if (!text.empty())
        std::memcpy(p, text.data(), text.size() * sizeof(char16_t));
    std::free(m_buf);
    m_buf = p;
    m_size = size;
    m_gapStart = text.size();
    m_gapEnd = size;
}

void CTavloGapBuffer::Adopt(TavloTextRoom&& room, size_t length) {
    if (!room.p) {
        Assign(std::u16string_view());
        return;
    }
    length = std::min(length, room.capacity);
    std::free(m_buf);
    m_buf = room.p;
    m_size = room.capacity;
    m_gapStart = length;
    m_gapEnd = room.capacity;
    room.p = nullptr;
    room.capacity = 0;
}

bool TavloTextRoom::Grow(size_t n) {
    if (n <= capacity)
        return true;
    auto* q = static_cast<char16_t*>(std::realloc(p, std::max<size_t>(n, 1) * sizeof(char16_t)));
    if (!q)
        return false;
    p = q;
    capacity = n;
    return true;
}

std::u16string CTavloGapBuffer::Substr(size_t pos, size_t len) const {
    size_t n = Length();
    if (pos >= n)
        return {};
    len = std::min(len, n - pos);
    std::u16string out(len, u'\0');
    size_t end = pos + len;
    size_t k = 0;
    if (pos < m_gapStart) {
        size_t a = std::min(end, m_gapStart) - pos;
        std::memcpy(out.data(), m_buf + pos, a * sizeof(char16_t));
        k = a;
    }
    if (end > m_gapStart) {
        size_t from = std::max(pos, m_gapStart);
        std::memcpy(out.data() + k, m_buf + from + gapLength(), (end - from) * sizeof(char16_t));
    }
    return out;
}
