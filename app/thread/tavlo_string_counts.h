#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// The hash of a short UTF-16 string, four characters a step (IDs are about ten long, and a
// step per character was a chain of multiplications as long as the ID). The ID counts and the
// anchor index share it, so that an ID found by a conversion is hashed once.
inline uint32_t TavloHashText(const char16_t* p, size_t n) {
    uint64_t h = 0x9E3779B97F4A7C15ull ^ n;
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        uint64_t w;
        std::memcpy(&w, p + i, sizeof(w));
        h = (h ^ w) * 0xFF51AFD7ED558CCDull;
        h ^= h >> 32;
    }
    uint64_t w = 0;
    for (size_t k = i; k < n; ++k)
        w = w << 16 | p[k];
    h = (h ^ w) * 0xC4CEB9FE1A85EC53ull;
    h ^= h >> 29;
    return static_cast<uint32_t>(h);
}

// A set of short UTF-16 strings, each with a small count: the ID counts and the referenced
// numbers of a thread. Open addressing over one character arena, so counting the IDs of a
// thousand posts costs no allocation per post.
class CTavloStringCounts {
public:
    // Adds text with count 1, or raises its count (never above max). Returns the new count.
    int Add(std::u16string_view text, int max = 2) {
        return Add(text, TavloHashText(text.data(), text.size()), max);
    }
    // The same with the text's TavloHashText.
    int Add(std::u16string_view text, uint32_t hash, int max);
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
    size_t find(std::u16string_view text, uint32_t hash) const;
    void grow();

    std::vector<Slot> m_slots;
    std::u16string m_chars;
    size_t m_size = 0;
};
