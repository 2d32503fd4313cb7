#pragma once

#include "tavlo_text_layout.h"

#include <vector>

// The post index: entry k is the display line of the header of post k+1. Grows by 1000.
class CTavloPostIndex {
public:
    // Every display line that starts with a header marker, in order.
    void Build(const CTavloTextLayout& layout) { Extend(layout, 0); }
    // The same after the layout changed only from display line fromLine on (an append):
    // entries above it are kept, the rest is found again.
    void Extend(const CTavloTextLayout& layout, int fromLine);
    void Clear() { m_lines.clear(); }
    int GetCount() const { return static_cast<int>(m_lines.size()); }
    // Display line of post number (1-based); -1 when there is no such post.
    int GetLine(int number) const {
        return number >= 1 && number <= GetCount() ? m_lines[static_cast<size_t>(number - 1)] : -1;
    }
    // Number of posts whose header is at or above line (0 above post 1).
    int PostOfLine(int line) const;
    const std::vector<int>& Lines() const { return m_lines; }

private:
    std::vector<int> m_lines;
};
