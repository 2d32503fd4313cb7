#include "tavlo_anchor_index.h"

#include "tavlo_link.h"
#include "tavlo_post_converter.h"
#include "tavlo_scan.h"
#include "tavlo_string_counts.h"

#include <algorithm>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Targets at most this far past the post naming them are kept in the vector.
constexpr int kNearTargets = 1024;

inline bool isRangeMark(char16_t c) {
    return c == u'-' || c == u'\uFF0D';
}
inline bool isListMark(char16_t c) {
    return c == u',' || c == u'\uFF0C' || c == u'\u3001';
}

// A number at p[i] (before end): its value (0 when too large) and the position after its
// digits.
size_t readNumberSlow(const char16_t* p, size_t i, size_t end, int* value) {
    uint32_t v = 0;
    const size_t s = i;
    for (; i < end; ++i) {
        uint32_t d = static_cast<uint32_t>(p[i]) - u'0';
        if (d > 9) {
            d = static_cast<uint32_t>(p[i]) - u'\uFF10';
            if (d > 9)
                break;
        }
        if (v <= static_cast<uint32_t>(kTavloAnchorNumberMax))
            v = v * 10 + d;
    }
    *value = i > s && v >= 1 && v <= static_cast<uint32_t>(kTavloAnchorNumberMax)
                 ? static_cast<int>(v)
                 : 0;
    return i;
}

// The same, one compare a digit for the numbers nearly all anchors have: ASCII digits, short
// enough that no digit can make them too large.
inline size_t readNumber(const char16_t* p, size_t i, size_t end, int* value) {
    const size_t s = i;
    const size_t stop = std::min(end, i + 7);
    uint32_t v = 0;
    for (; i < stop; ++i) {
        const uint32_t d = static_cast<uint32_t>(p[i]) - u'0';
        if (d > 9)
            break;
        v = v * 10 + d;
    }
    if (i == stop && i < end && TavloIsDigit(p[i]))
        return readNumberSlow(p, s, end, value);
    if (i < end && TavloIsWideDigit(p[i]))
        return readNumberSlow(p, s, end, value);
    *value = static_cast<int>(v);
    return i;
}

void addTarget(std::vector<int>& out, size_t base, int n, size_t limit) {
    if (n < 1 || out.size() - base >= limit)
        return;
    // Lists are short: a linear look for repeats beats a set.
    if (std::find(out.begin() + static_cast<std::ptrdiff_t>(base), out.end(), n) == out.end())
        out.push_back(n);
}

} // namespace

size_t TavloParseAnchor(std::u16string_view text, std::vector<int>& out, size_t limit) {
    size_t i = 0;
    while (i < text.size() && TavloIsGreater(text[i]))
        ++i;
    if (i == 0 || i >= text.size() || !TavloIsDigit(text[i]))
        return 0;
    const size_t base = out.size();
    for (;;) {
        int a = 0;
        i = readNumber(text.data(), i, text.size(), &a);
        int b = a;
        if (i + 1 < text.size() && isRangeMark(text[i]) && TavloIsDigit(text[i + 1]))
            i = readNumber(text.data(), i + 1, text.size(), &b);
        if (a && b) {
            if (b < a)
                std::swap(a, b);
            for (int n = a; n <= b && out.size() - base < limit; ++n)
                addTarget(out, base, n, limit);
        }
        if (i + 1 < text.size() && isListMark(text[i]) && TavloIsDigit(text[i + 1])) {
            ++i;
            continue;
        }
        return i;
    }
}

int TavloHeaderNumber(std::u16string_view line, size_t* end) {
    if (line.size() < 4 || !TavloIsHeaderMark(line[0]) || line[1] != u'[')
        return 0;
    size_t k = 2;
    int v = 0;
    while (k < line.size() && TavloIsAsciiDigit(line[k]) && v <= kTavloAnchorNumberMax)
        v = v * 10 + (line[k++] - u'0');
    if (k >= line.size() || line[k] != u']' || v > kTavloAnchorNumberMax)
        return 0;
    if (end)
        *end = k;
    return v;
}

namespace {
void appendInt(std::u16string& out, int v) {
    for (char c : std::to_string(v))
        out += static_cast<char16_t>(c);
}
} // namespace

std::u16string TavloReferCountText(int count) {
    std::u16string t = u" (";
    appendInt(t, count);
    t += u')';
    return t;
}

std::u16string TavloIdCountText(int ordinal, int total) {
    std::u16string t = u" (";
    appendInt(t, ordinal);
    t += u'/';
    appendInt(t, total);
    t += u')';
    return t;
}

namespace {

// First position in [i, n) holding a line end or the start of an anchor; n when none.
inline size_t scanBody(const char16_t* p, size_t i, size_t n) {
#if defined(__SSE2__)
    const __m128i nl = _mm_set1_epi16('\n');
    const __m128i gt = _mm_set1_epi16('>');
    const __m128i wide = _mm_set1_epi16(static_cast<short>(0xFF1E));
    while (i + 8 <= n) {
        __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
        __m128i m = _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi16(v, nl), _mm_cmpeq_epi16(v, gt)),
                                 _mm_cmpeq_epi16(v, wide));
        int mask = _mm_movemask_epi8(m);
        if (mask)
            return i + (static_cast<unsigned>(__builtin_ctz(static_cast<unsigned>(mask))) >> 1);
        i += 8;
    }
#endif
    while (i < n && p[i] != u'\n' && !TavloIsGreater(p[i]))
        ++i;
    return i;
}

inline size_t lineEnd(const char16_t* p, size_t i, size_t n) {
    return TavloScanEither(p, i, n, u'\n', u'\n');
}

// IDs are short: four characters a step beat a call of memcmp.
inline bool sameText(const char16_t* a, const char16_t* b, size_t n) {
    size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        uint64_t x, y;
        std::memcpy(&x, a + i, sizeof(x));
        std::memcpy(&y, b + i, sizeof(y));
        if (x != y)
            return false;
    }
    for (; i < n; ++i)
        if (a[i] != b[i])
            return false;
    return true;
}

} // namespace

void CTavloAnchorIndex::Clear() {
    m_posts.clear();
    m_targets.clear();
    m_links.clear();
    m_referred.clear();
    m_referredFar.clear();
    m_ids.clear();
    m_idText.clear();
    m_idTable.clear();
}

inline void CTavloAnchorIndex::append(Chain& chain, int post) {
    m_links.push_back({post, chain.last});
    chain.last = static_cast<int>(m_links.size()) - 1;
    chain.lastPost = post;
    ++chain.count;
}

std::vector<int> CTavloAnchorIndex::list(const Chain& chain) const {
    // The chain runs from the newest back: filled from the end, the list comes out ascending.
    std::vector<int> out(static_cast<size_t>(chain.count));
    size_t k = out.size();
    for (int l = chain.last; l >= 0 && k > 0; l = m_links[static_cast<size_t>(l)].prev)
        out[--k] = m_links[static_cast<size_t>(l)].post;
    return out;
}

inline int CTavloAnchorIndex::findId(std::u16string_view id, uint32_t hash) const {
    if (m_idTable.empty())
        return -1;
    const size_t mask = m_idTable.size() - 1;
    for (size_t k = hash & mask; m_idTable[k].slot; k = (k + 1) & mask) {
        if (m_idTable[k].hash != hash)
            continue;
        const int at = m_idTable[k].slot - 1;
        const Id& slot = m_ids[static_cast<size_t>(at)];
        if (slot.textLength == id.size() &&
            sameText(m_idText.data() + slot.textStart, id.data(), id.size()))
            return at;
    }
    return -1;
}

int CTavloAnchorIndex::newId(const char16_t* id, size_t length, uint32_t hash) {
    const int slot = static_cast<int>(m_ids.size());
    m_ids.push_back(
        {static_cast<uint32_t>(m_idText.size()), static_cast<uint32_t>(length), hash, {}});
    m_idText.append(id, length);
    // At most half full, so that a look-up ends soon.
    if (m_ids.size() * 2 > m_idTable.size()) {
        m_idTable.assign(std::max<size_t>(64, m_idTable.size() * 2), IdEntry{0, 0});
        const size_t mask = m_idTable.size() - 1;
        for (size_t i = 0; i < m_ids.size(); ++i) {
            size_t k = m_ids[i].hash & mask;
            while (m_idTable[k].slot)
                k = (k + 1) & mask;
            m_idTable[k] = {m_ids[i].hash, static_cast<int>(i) + 1};
        }
    } else {
        const size_t mask = m_idTable.size() - 1;
        size_t k = hash & mask;
        while (m_idTable[k].slot)
            k = (k + 1) & mask;
        m_idTable[k] = {hash, slot + 1};
    }
    return slot;
}

void CTavloAnchorIndex::addId(Post& post, int number, const char16_t* id, size_t length,
                              uint32_t hash) {
    int slot = findId(std::u16string_view(id, length), hash);
    if (slot < 0)
        slot = newId(id, length, hash);
    Chain& posts = m_ids[static_cast<size_t>(slot)].posts;
    append(posts, number);
    post.idSlot = slot;
    post.idOrdinal = posts.count;
}

void CTavloAnchorIndex::growNear(int target) {
    const size_t size =
        std::max(static_cast<size_t>(target) + 1 + kNearTargets, m_referred.size() * 2);
    m_referred.resize(size);
    // Answers given while a target was far away join it now.
    for (auto it = m_referredFar.begin(); it != m_referredFar.end();) {
        if (static_cast<size_t>(it->first) < size) {
            m_referred[static_cast<size_t>(it->first)] = it->second;
            it = m_referredFar.erase(it);
        } else {
            ++it;
        }
    }
}

CTavloAnchorIndex::Chain& CTavloAnchorIndex::answersBeyond(int number, int target) {
    if (target > number + kNearTargets)
        return m_referredFar[target];
    growNear(target);
    return m_referred[static_cast<size_t>(target)];
}

void CTavloAnchorIndex::addTargets(int number, int first, int last) {
    size_t near = m_referred.size();
    for (int target = first; target <= last; ++target) {
        if (target == number)
            continue;
        Chain* answers;
        if (static_cast<size_t>(target) < near) {
            answers = &m_referred[static_cast<size_t>(target)];
        } else {
            answers = &answersBeyond(number, target);
            near = m_referred.size();
        }
        // Repeats across anchors of one post count once: they are its answer already.
        if (answers->count && answers->lastPost == number)
            continue;
        m_targets.push_back(target);
        m_links.push_back({number, answers->last});
        answers->last = static_cast<int>(m_links.size()) - 1;
        answers->lastPost = number;
        ++answers->count;
    }
}

size_t CTavloAnchorIndex::addAnchor(int number, const char16_t* at, size_t n, size_t postBegin) {
    const size_t count = m_targets.size() - postBegin;
    if (count >= kTavloPostTargetsMax)
        return 0;
    const size_t limit = std::min(kTavloAnchorTargetsMax, kTavloPostTargetsMax - count);
    const size_t m = std::min<size_t>(n, 4096);
    size_t i = 0;
    while (i < m && TavloIsGreater(at[i]))
        ++i;
    if (i == 0 || i >= m || !TavloIsDigit(at[i]))
        return 0;
    // Most anchors name one post (">>12") or one range (">>12-15"): read here, without the
    // list, which only a list needs (for its repeats).
    int a = 0;
    size_t end = readNumber(at, i, m, &a);
    int b = a;
    if (end + 1 < m && isRangeMark(at[end]) && TavloIsDigit(at[end + 1]))
        end = readNumber(at, end + 1, m, &b);
    if (end + 1 < m && isListMark(at[end]) && TavloIsDigit(at[end + 1])) {
        m_scratch.clear();
        const size_t used = TavloParseAnchor(std::u16string_view(at, m), m_scratch, limit);
        for (int t : m_scratch)
            addTargets(number, t, t);
        return used;
    }
    if (a && b) {
        if (b < a)
            std::swap(a, b);
        addTargets(number, a,
                   static_cast<size_t>(b - a) >= limit ? a + static_cast<int>(limit) - 1 : b);
    }
    return end;
}

// Indexes one post starting at p[0] (its header line); with split it ends before the next
// line that starts a post. Returns where it ended.
size_t CTavloAnchorIndex::addPost(int number, const char16_t* p, size_t n, bool split) {
    Post post{0, -1, 0};
    const size_t postBegin = m_targets.size();
    auto startsPost = [&](size_t i) { return split && i < n && TavloIsHeaderMark(p[i]); };
    size_t end = n;
    // Header line, then the date line with the ID, then the body.
    size_t i = lineEnd(p, 0, n) + 1;
    if (i < n && startsPost(i)) {
        end = i;
    } else if (i < n) {
        size_t dateEnd = lineEnd(p, i, n);
        if (TavloIsDateMark(p[i])) {
            size_t s = 0, len = 0;
            if (TavloExtractId(std::u16string_view(p + i, dateEnd - i), &s, &len))
                addId(post, number, p + i + s, len, TavloHashText(p + i + s, len));
        }
        i = dateEnd + 1;
        if (startsPost(i))
            end = i;
        // Anchors never span lines: each is read up to its own line's end at most.
        while (i < end) {
            i = scanBody(p, i, end);
            if (i >= end)
                break;
            if (p[i] == u'\n') {
                if (startsPost(++i))
                    end = i;
                continue;
            }
            // Marks not followed by digits are skipped as one run; after an anchor the next
            // one may follow at once (">>12>>13").
            const size_t used = addAnchor(number, p + i, n - i, postBegin);
            if (used) {
                i += used;
            } else {
                while (i < end && TavloIsGreater(p[i]))
                    ++i;
            }
        }
    }
    post.targetsEnd = static_cast<uint32_t>(m_targets.size());
    m_posts.push_back(post);
    return end;
}

void CTavloAnchorIndex::AddPost(int number, std::u16string_view display) {
    if (number != GetCount() + 1)
        return;
    addPost(number, display.data(), display.size(), false);
}

void CTavloAnchorIndex::AddDisplay(std::u16string_view display) {
    const char16_t* p = display.data();
    const size_t n = display.size();
    size_t pos = 0;
    while (pos < n && !TavloIsHeaderMark(p[pos]))
        pos = lineEnd(p, pos, n) + 1;
    while (pos < n)
        pos += addPost(GetCount() + 1, p + pos, n - pos, true);
}

bool CTavloAnchorIndex::AddConverted(std::u16string_view display,
                                     const TavloConvertedPosts& posts) {
    if (posts.firstNumber != GetCount() + 1 || display.size() != posts.textLength)
        return false;
    const size_t n = display.size();
    for (const auto& f : posts.posts)
        if (f.anchorsEnd > posts.anchors.size() || f.idStart + size_t{f.idLength} > n)
            return false;
    for (uint32_t a : posts.anchors)
        if (a >= n)
            return false;
    const char16_t* p = display.data();
    int number = GetCount();
    uint32_t k = 0;
    for (const auto& f : posts.posts) {
        Post post{0, -1, 0};
        ++number;
        const size_t postBegin = m_targets.size();
        if (f.idLength)
            addId(post, number, p + f.idStart, f.idLength, f.idHash);
        for (; k < f.anchorsEnd; ++k)
            addAnchor(number, p + posts.anchors[k], n - posts.anchors[k], postBegin);
        post.targetsEnd = static_cast<uint32_t>(m_targets.size());
        m_posts.push_back(post);
    }
    return true;
}

std::vector<int> CTavloAnchorIndex::RefersTo(int number) const {
    const Post* p = post(number);
    if (!p)
        return {};
    const size_t begin = number > 1 ? m_posts[static_cast<size_t>(number - 2)].targetsEnd : 0;
    return std::vector<int>(m_targets.begin() + static_cast<std::ptrdiff_t>(begin),
                            m_targets.begin() + static_cast<std::ptrdiff_t>(p->targetsEnd));
}

const CTavloAnchorIndex::Chain* CTavloAnchorIndex::answers(int number) const {
    if (number < 1)
        return nullptr;
    if (static_cast<size_t>(number) < m_referred.size())
        return &m_referred[static_cast<size_t>(number)];
    auto it = m_referredFar.find(number);
    return it == m_referredFar.end() ? nullptr : &it->second;
}

std::vector<int> CTavloAnchorIndex::ReferredBy(int number) const {
    const Chain* c = answers(number);
    return c ? list(*c) : std::vector<int>();
}

int CTavloAnchorIndex::ReferredCount(int number) const {
    const Chain* c = answers(number);
    return c ? c->count : 0;
}

std::u16string_view CTavloAnchorIndex::IdOf(int number) const {
    const Post* p = post(number);
    if (!p || p->idSlot < 0)
        return {};
    const Id& id = m_ids[static_cast<size_t>(p->idSlot)];
    return std::u16string_view(m_idText).substr(id.textStart, id.textLength);
}

std::vector<int> CTavloAnchorIndex::PostsOfId(std::u16string_view id) const {
    int slot = findId(id, TavloHashText(id.data(), id.size()));
    return slot < 0 ? std::vector<int>() : list(m_ids[static_cast<size_t>(slot)].posts);
}

int CTavloAnchorIndex::IdOrdinal(int number) const {
    const Post* p = post(number);
    return p ? p->idOrdinal : 0;
}

int CTavloAnchorIndex::IdTotal(int number) const {
    const Post* p = post(number);
    return p && p->idSlot >= 0 ? m_ids[static_cast<size_t>(p->idSlot)].posts.count : 0;
}
