#include "tavlo_char_widths.h"

#include <cstring>

uint16_t CTavloCharWidths::s_table[65536];

void CTavloCharWidths::Clear() {
    std::memset(s_table, 0, sizeof(s_table));
}

int CTavloCharWidths::fill(char16_t c, Measure measure, void* context) {
    int w = measure ? measure(c, context) : 0;
    if (w < 0)
        w = 0;
    s_table[c] = static_cast<uint16_t>(0x8000 | (w & 0xFF));
    return w & 0xFF;
}
