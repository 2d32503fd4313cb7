#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// Posts one anchor names at most, and posts one post names at most: a hostile ">>1-999999"
// or a post of thousands of anchors stays small.
constexpr size_t kTavloAnchorTargetsMax = 100;
constexpr size_t kTavloPostTargetsMax = 1000;
// Larger numbers are no post of any board.
constexpr int kTavloAnchorNumberMax = 9999999;

// The posts an anchor names: text starts at the ">" (or U+FF1E) run, then numbers
// (ASCII or full-width digits) joined by "-" / U+FF0D for a range and "," / U+FF0C / U+3001
// for a list: ">>12-15", ">>12,14", "＞＞１２". Appended to out in the written order, without
// repeats, at most limit of them. Returns the characters consumed (0 when it is no anchor).
size_t TavloParseAnchor(std::u16string_view text, std::vector<int>& out,
                        size_t limit = kTavloAnchorTargetsMax);

// The post number of a header line (marker, "[N]"), and the position of its "]"; 0 when
// the line is no header.
int TavloHeaderNumber(std::u16string_view line, size_t* end = nullptr);

// What is drawn after a header with answers, " (3)", and after an ID, " (2/5)".
std::u16string TavloReferCountText(int count);
std::u16string TavloIdCountText(int ordinal, int total);

// Anchors, reverse references and IDs of a thread's posts, built from their display text
// (header line, date line, body). Posts are added in order, so a fetch adds what it
// brought without a rebuild.
class CTavloAnchorIndex {
public:
    void Clear();
    // Number of posts indexed; AddPost(GetCount() + 1, ...) is the next one.
    int GetCount() const { return static_cast<int>(m_posts.size()); }
    // Indexes post number (ignored unless it is GetCount() + 1) from its display lines.
    void AddPost(int number, std::u16string_view display);
    // Every post of a display text, headers starting posts, numbered from GetCount() + 1.
    void AddDisplay(std::u16string_view display);

    // Posts that post number names (in written order, no repeats, itself left out).
    const std::vector<int>& RefersTo(int number) const;
    // Posts whose anchors name post number, ascending; posts not there yet are counted too.
    const std::vector<int>& ReferredBy(int number) const;
    int ReferredCount(int number) const { return static_cast<int>(ReferredBy(number).size()); }

    // The ID of a post (empty when it has none).
    std::u16string_view IdOf(int number) const;
    // Posts of an ID, ascending.
    const std::vector<int>& PostsOfId(std::u16string_view id) const;
    // The place of the post among its ID's posts (1-based) and their total; 0 without an ID.
    int IdOrdinal(int number) const;
    int IdTotal(int number) const;

private:
    struct Post {
        std::vector<int> targets;
        int idSlot = -1; // index into m_ids
        int idOrdinal = 0;
    };
    struct Id {
        std::u16string text;
        std::vector<int> posts;
    };
    const Post* post(int number) const {
        return number >= 1 && number <= GetCount() ? &m_posts[static_cast<size_t>(number - 1)]
                                                   : nullptr;
    }

    std::vector<Post> m_posts;
    // Answers by target: posts up to a little past the last one in a vector, the few far
    // ones (a hostile ">>9999999") in a map, so that no anchor makes the vector huge.
    std::vector<std::vector<int>> m_referred;
    std::unordered_map<int, std::vector<int>> m_referredFar;
    std::vector<Id> m_ids;
    std::unordered_map<std::u16string, int> m_idSlots;
    std::u16string m_key; // kept to look IDs up without an allocation per post
};
