#include "tavlo_gap_buffer.h"

#include <algorithm>
#include <cstring>

CTavloGapBuffer::CTavloGapBuffer() : m_buf(kInitialCapacity, u'\0'), m_gapEnd(kInitialCapacity) {}

void CTavloGapBuffer::moveGap(size_t pos) {
    if (pos < m_gapStart) {
        size_t n = m_gapStart - pos;
        std::memmove(m_buf.data() + m_gapEnd - n, m_buf.data() + pos, n * sizeof(char16_t));
        m_gapStart -= n;
        m_gapEnd -= n;
    } else if (pos > m_gapStart) {
        size_t n = pos - m_gapStart;
        std::memmove(m_buf.data() + m_gapStart, m_buf.data() + m_gapEnd, n * sizeof(char16_t));
        m_gapStart += n;
        m_gapEnd += n;
    }
}

void CTavloGapBuffer::reserveGap(size_t need) {
    if (gapLength() >= need)
        return;
    size_t after = m_buf.size() - m_gapEnd;
    // A fetch appends a block at a time: doubling keeps the copies of a long thread's text,
    // and the first touches of fresh pages, to about its size in all.
    size_t size = m_buf.size() + need - gapLength() + m_buf.size() + 1024;
    std::u16string buf(size, u'\0');
    std::memcpy(buf.data(), m_buf.data(), m_gapStart * sizeof(char16_t));
    std::memcpy(buf.data() + size - after, m_buf.data() + m_gapEnd, after * sizeof(char16_t));
    m_gapEnd = size - after;
    m_buf.swap(buf);
}

void CTavloGapBuffer::Insert(size_t pos, std::u16string_view text) {
    if (text.empty())
        return;
    pos = std::min(pos, Length());
    moveGap(pos);
    reserveGap(text.size());
    std::memcpy(m_buf.data() + m_gapStart, text.data(), text.size() * sizeof(char16_t));
    m_gapStart += text.size();
}

void CTavloGapBuffer::Erase(size_t pos, size_t len) {
    pos = std::min(pos, Length());
    len = std::min(len, Length() - pos);
    moveGap(pos);
    m_gapEnd += len;
}

void CTavloGapBuffer::Assign(std::u16string text) {
    m_buf = std::move(text);
    m_gapStart = m_buf.size();
    m_buf.resize(m_buf.size() + kInitialCapacity);
    m_gapEnd = m_buf.size();
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
        std::memcpy(out.data(), m_buf.data() + pos, a * sizeof(char16_t));
        k = a;
    }
    if (end > m_gapStart) {
        size_t from = std::max(pos, m_gapStart);
        std::memcpy(out.data() + k, m_buf.data() + from + gapLength(),
                    (end - from) * sizeof(char16_t));
    }
    return out;
}
