#pragma once

#include "vorn_object.h"

#include <cstddef>
#include <cstring>
#include <string_view>
#include <vector>

// Growable byte buffer. Consume drops bytes from the front without moving the rest each time.
class CVornBinary : public CVornObject {
public:
    const char* GetData() const { return m_buf.data() + m_head; }
    char* GetData() { return m_buf.data() + m_head; }
    int GetSize() const { return static_cast<int>(m_buf.size() - m_head); }
    size_t size() const { return m_buf.size() - m_head; }
    bool IsEmpty() const { return size() == 0; }
    std::string_view view() const { return std::string_view(GetData(), size()); }

    void Append(const void* data, size_t len) {
        if (len == 0)
            return;
        const char* p = static_cast<const char*>(data);
        m_buf.insert(m_buf.end(), p, p + len);
    }
    void Append(std::string_view s) { Append(s.data(), s.size()); }
    void Set(const void* data, size_t len) {
        Clear();
        Append(data, len);
    }
    void Clear() {
        m_buf.clear();
        m_head = 0;
    }
    // Drops n bytes from the front.
    void Consume(size_t n) {
        if (n >= size()) {
            Clear();
            return;
        }
        m_head += n;
        if (m_head > 65536 && m_head * 2 > m_buf.size()) {
            m_buf.erase(m_buf.begin(), m_buf.begin() + static_cast<std::ptrdiff_t>(m_head));
            m_head = 0;
        }
    }
    void Truncate(size_t n) {
        if (n < size())
            m_buf.resize(m_head + n);
    }
    void Reserve(size_t n) { m_buf.reserve(m_head + n); }
    // Makes room for n more bytes at the end and returns where they go; Commit(k) keeps k of them.
    char* Prepare(size_t n) {
        m_pending = m_buf.size();
        m_buf.resize(m_pending + n);
        return m_buf.data() + m_pending;
    }
    void Commit(size_t k) { m_buf.resize(m_pending + k); }

private:
    std::vector<char> m_buf;
    size_t m_head = 0;
    size_t m_pending = 0;
};
