#include "vorn_array.h"

const CVornString& CVornDataArray::Get(int i) const {
    static const CVornString empty;
    if (i < 0 || static_cast<size_t>(i) >= m_items.size())
        return empty;
    return m_items[static_cast<size_t>(i)];
}

void CVornDataArray::Insert(int i, const CVornString& s) {
    if (i < 0)
        i = 0;
    if (i > GetCount())
        i = GetCount();
    m_items.insert(m_items.begin() + i, s);
}

void CVornDataArray::Set(int i, const CVornString& s) {
    if (i >= 0 && static_cast<size_t>(i) < m_items.size())
        m_items[static_cast<size_t>(i)] = s;
}

int CVornDataArray::Remove(int i) {
    if (i < 0 || static_cast<size_t>(i) >= m_items.size())
        return 0;
    m_items.erase(m_items.begin() + i);
    return 1;
}

int CVornDataArray::Find(std::string_view s) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].view() == s)
            return static_cast<int>(i);
    return -1;
}

int CVornDataArray::CreateStringArray(std::string_view text, std::string_view separator,
                                      bool skipEmpty) {
    m_items.clear();
    if (separator.empty()) {
        if (!text.empty() || !skipEmpty)
            m_items.emplace_back(text);
        return GetCount();
    }
    size_t pos = 0;
    for (;;) {
        size_t next = text.find(separator, pos);
        std::string_view field =
            text.substr(pos, next == std::string_view::npos ? std::string_view::npos : next - pos);
        if (!field.empty() || !skipEmpty)
            m_items.emplace_back(field);
        if (next == std::string_view::npos)
            break;
        pos = next + separator.size();
    }
    return GetCount();
}
