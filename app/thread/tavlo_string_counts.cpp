#include "tavlo_string_counts.h"

size_t CTavloStringCounts::find(std::u16string_view text, uint32_t hash) const {
    const size_t mask = m_slots.size() - 1;
    for (size_t i = hash & mask;; i = (i + 1) & mask) {
        const Slot& s = m_slots[i];
        if (s.count == 0)
            return i;
        if (s.hash == hash && s.length == text.size() &&
            std::u16string_view(m_chars).substr(s.offset, s.length) == text)
            return i;
    }
}

void CTavloStringCounts::grow() {
    std::vector<Slot> old;
    old.swap(m_slots);
    m_slots.assign(old.empty() ? 64 : old.size() * 2, Slot());
    const size_t mask = m_slots.size() - 1;
    for (const Slot& s : old) {
        if (s.count == 0)
            continue;
        size_t i = s.hash & mask;
        while (m_slots[i].count)
            i = (i + 1) & mask;
        m_slots[i] = s;
    }
}

int CTavloStringCounts::Add(std::u16string_view text, uint32_t h, int max) {
    if ((m_size + 1) * 2 > m_slots.size())
        grow();
    Slot& s = m_slots[find(text, h)];
    if (s.count) {
        if (static_cast<int>(s.count) < max)
            ++s.count;
        return static_cast<int>(s.count);
    }
    s.hash = h;
    s.offset = static_cast<uint32_t>(m_chars.size());
    s.length = static_cast<uint32_t>(text.size());
    s.count = 1;
    m_chars.append(text);
    ++m_size;
    return 1;
}

int CTavloStringCounts::Get(std::u16string_view text) const {
    if (m_slots.empty())
        return 0;
    return static_cast<int>(m_slots[find(text, TavloHashText(text.data(), text.size()))].count);
}

void CTavloStringCounts::Clear() {
    m_slots.clear();
    m_chars.clear();
    m_size = 0;
}
