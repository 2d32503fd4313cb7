#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// A set of short UTF-16 strings, each with a small count: the ID counts and the referenced
// numbers of a thread. Open addressing over one character arena, so counting the IDs of a
// thousand posts costs no allocation per post.
class CTavloStringCounts {
public:
    // Adds text with count 1, or raises its count (never above max). Returns the new count.
    int Add(std::u16string_view text, int max = 2);
    // 0 when absent.
    int Get(std::u16string_view text) const;
    size_t Size() const { return m_size; }
    void Clear();

private:
    struct Slot {
        uint32_t hash = 0;
        uint32_t offset = 0;
        uint32_t length = 0;
        uint32_t count = 0; // 0: empty slot
    };
    static uint32_t hashOf(std::u16string_view text);
    size_t find(std::u16string_view text, uint32_t hash) const;
    void grow();

    std::vector<Slot> m_slots;
    std::u16string m_chars;
    size_t m_size = 0;
};
