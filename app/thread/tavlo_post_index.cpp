#include "tavlo_post_index.h"

#include "tavlo_post_converter.h"

#include <algorithm>

void CTavloPostIndex::Extend(const CTavloTextLayout& layout, int fromLine) {
    fromLine = std::max(0, fromLine);
    m_lines.erase(std::lower_bound(m_lines.begin(), m_lines.end(), fromLine), m_lines.end());
    const int count = layout.LineCount();
    const size_t length = layout.Length();
    for (int i = fromLine; i < count; ++i) {
        size_t s = layout.LineStart(i);
        if (s < length && TavloIsHeaderMark(layout.At(s))) {
            if (m_lines.size() == m_lines.capacity())
                m_lines.reserve(m_lines.capacity() + 1000);
            m_lines.push_back(i);
        }
    }
}

int CTavloPostIndex::PostOfLine(int line) const {
    return static_cast<int>(std::upper_bound(m_lines.begin(), m_lines.end(), line) -
                            m_lines.begin());
}
