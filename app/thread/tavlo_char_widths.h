#pragma once

#include <cstdint>

// The process-wide character-width cache: 65536 entries of 16 bits, one per UTF-16 code unit,
// 0 meaning unknown. A measured width is kept to its low 8 bits; the top bit marks the entry
// as known so that zero-width characters are measured once too.
class CTavloCharWidths {
public:
    using Measure = int (*)(char16_t c, void* context);

    static int Get(char16_t c, Measure measure, void* context) {
        uint16_t v = s_table[c];
        if (v)
            return v & 0xFF;
        return fill(c, measure, context);
    }
    // The table itself, for the layout's inner loop.
    static const uint16_t* Table() { return s_table; }
    // Raw entry (0 when unknown).
    static uint16_t Entry(char16_t c) { return s_table[c]; }
    // Forgets every width (the article font changed).
    static void Clear();

private:
    static int fill(char16_t c, Measure measure, void* context);
    static uint16_t s_table[65536];
};
