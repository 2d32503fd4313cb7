#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct TavloConvertedPosts;

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
// brought without a rebuild. Everything lives in a few flat arrays: adding a post allocates
// nothing once they have grown.
class CTavloAnchorIndex {
public:
    void Clear();
    // Number of posts indexed; AddPost(GetCount() + 1, ...) is the next one.
    int GetCount() const { return static_cast<int>(m_posts.size()); }
    // Indexes post number (ignored unless it is GetCount() + 1) from its display lines.
    void AddPost(int number, std::u16string_view display);
    // Every post of a display text, headers starting posts, numbered from GetCount() + 1.
    void AddDisplay(std::u16string_view display);
    // Posts a conversion has just written (display from the first one's header): their IDs
    // (with their hashes) and anchors are where the conversion found them, so the text is not
    // scanned again.
    // False, adding nothing, unless they are the next posts and display is their text.
    bool AddConverted(std::u16string_view display, const TavloConvertedPosts& posts);

    // Posts that post number names (in written order, no repeats, itself left out).
    std::vector<int> RefersTo(int number) const;
    // Posts whose anchors name post number, ascending; posts not there yet are counted too.
    std::vector<int> ReferredBy(int number) const;
    int ReferredCount(int number) const;

    // The ID of a post (empty when it has none).
    std::u16string_view IdOf(int number) const;
    // Posts of an ID, ascending.
    std::vector<int> PostsOfId(std::u16string_view id) const;
    // The place of the post among its ID's posts (1-based) and their total; 0 without an ID.
    int IdOrdinal(int number) const;
    int IdTotal(int number) const;

private:
    // A list of post numbers threaded through m_links from the last one added back: adding
    // one writes only the chain and a new link.
    struct Chain {
        int last = -1;
        int count = 0;
        int lastPost = 0;
    };
    struct Link {
        int post;
        int prev;
    };
    struct Post {
        uint32_t targetsEnd; // its targets end here in m_targets (they start where the last ended)
        int idSlot;          // index into m_ids, -1 without an ID
        int idOrdinal;
    };
    struct Id {
        uint32_t textStart; // in m_idText
        uint32_t textLength;
        uint32_t hash;
        Chain posts;
    };

    size_t addPost(int number, const char16_t* p, size_t n, bool split);
    void addId(Post& post, int number, const char16_t* id, size_t length, uint32_t hash);
    int newId(const char16_t* id, size_t length, uint32_t hash);
    // Answers of post number to first ... last.
    void addTargets(int number, int first, int last);
    // Answers to a target past the vector: it grows when the target is near, else the map.
    Chain& answersBeyond(int number, int target);
    size_t addAnchor(int number, const char16_t* at, size_t n, size_t postBegin);
    void growNear(int target);
    void append(Chain& chain, int post);
    std::vector<int> list(const Chain& chain) const;
    int findId(std::u16string_view id, uint32_t hash) const;
    const Post* post(int number) const {
        return number >= 1 && number <= GetCount() ? &m_posts[static_cast<size_t>(number - 1)]
                                                   : nullptr;
    }
    const Chain* answers(int number) const;

    std::vector<Post> m_posts;
    std::vector<int> m_targets;
    std::vector<Link> m_links;
    // Answers by target: posts up to a little past the last one in a vector, the few far
    // ones (a hostile ">>9999999") in a map, so that no anchor makes the vector huge.
    std::vector<Chain> m_referred;
    std::unordered_map<int, Chain> m_referredFar;
    std::vector<Id> m_ids;
    std::u16string m_idText;
    // Open addressing over m_ids; the hash is kept beside the slot, so that a probe reads
    // m_ids only when the hash matches.
    struct IdEntry {
        uint32_t hash;
        int slot; // slot + 1, 0 when free
    };
    std::vector<IdEntry> m_idTable;
    std::vector<int> m_scratch; // one anchor's targets
};
