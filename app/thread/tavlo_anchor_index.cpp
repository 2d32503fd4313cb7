#include "tavlo_anchor_index.h"

#include "tavlo_link.h"
#include "tavlo_post_converter.h"

#include <algorithm>

namespace {

const std::vector<int> kNone;

inline int digitValue(char16_t c) {
    return TavloIsAsciiDigit(c) ? c - u'0' : c - u'\uFF10';
}
inline bool isRangeMark(char16_t c) {
    return c == u'-' || c == u'\uFF0D';
}
inline bool isListMark(char16_t c) {
    return c == u',' || c == u'\uFF0C' || c == u'\u3001';
}

// A number at text[i]: its value (0 when too large) and the position after its digits.
size_t readNumber(std::u16string_view text, size_t i, int* value) {
    long long v = 0;
    size_t s = i;
    while (i < text.size() && TavloIsDigit(text[i])) {
        if (v <= kTavloAnchorNumberMax)
            v = v * 10 + digitValue(text[i]);
        ++i;
    }
    *value = i > s && v >= 1 && v <= kTavloAnchorNumberMax ? static_cast<int>(v) : 0;
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
        i = readNumber(text, i, &a);
        int b = a;
        if (i + 1 < text.size() && isRangeMark(text[i]) && TavloIsDigit(text[i + 1]))
            i = readNumber(text, i + 1, &b);
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

void CTavloAnchorIndex::Clear() {
    m_posts.clear();
    m_referred.clear();
    m_ids.clear();
    m_idSlots.clear();
}

void CTavloAnchorIndex::AddPost(int number, std::u16string_view display) {
    if (number != GetCount() + 1)
        return;
    Post post;
    size_t pos = 0;
    int line = 0;
    while (pos < display.size()) {
        size_t lf = display.find(u'\n', pos);
        size_t end = lf == std::u16string_view::npos ? display.size() : lf;
        std::u16string_view text = display.substr(pos, end - pos);
        if (line == 1 && !text.empty() && TavloIsDateMark(text[0])) {
            size_t s = 0, n = 0;
            if (TavloExtractId(text, &s, &n)) {
                std::u16string id(text.substr(s, n));
                auto [it, fresh] = m_idSlots.try_emplace(id, static_cast<int>(m_ids.size()));
                if (fresh)
                    m_ids.push_back({std::move(id), {}});
                Id& slot = m_ids[static_cast<size_t>(it->second)];
                slot.posts.push_back(number);
                post.idSlot = it->second;
                post.idOrdinal = static_cast<int>(slot.posts.size());
            }
        } else if (line >= 2) {
            for (size_t k = 0; k < text.size() && post.targets.size() < kTavloPostTargetsMax;) {
                if (!TavloIsGreater(text[k])) {
                    ++k;
                    continue;
                }
                size_t before = post.targets.size();
                size_t used = TavloParseAnchor(
                    text.substr(k), post.targets,
                    std::min(kTavloAnchorTargetsMax, kTavloPostTargetsMax - post.targets.size()));
                // Repeats across anchors of one post count once.
                for (size_t t = before; t < post.targets.size();) {
                    int n = post.targets[t];
                    if (n == number ||
                        std::find(post.targets.begin(),
                                  post.targets.begin() + static_cast<std::ptrdiff_t>(before),
                                  n) != post.targets.begin() + static_cast<std::ptrdiff_t>(before))
                        post.targets.erase(post.targets.begin() + static_cast<std::ptrdiff_t>(t));
                    else
                        ++t;
                }
                k += used ? used : 1;
                while (k < text.size() && TavloIsGreater(text[k]))
                    ++k;
            }
        }
        ++line;
        pos = end + 1;
    }
    for (int t : post.targets)
        m_referred[t].push_back(number);
    m_posts.push_back(std::move(post));
}

void CTavloAnchorIndex::AddDisplay(std::u16string_view display) {
    size_t start = std::u16string_view::npos;
    size_t pos = 0;
    while (pos < display.size()) {
        if (TavloIsHeaderMark(display[pos])) {
            if (start != std::u16string_view::npos)
                AddPost(GetCount() + 1, display.substr(start, pos - start));
            start = pos;
        }
        size_t lf = display.find(u'\n', pos);
        pos = lf == std::u16string_view::npos ? display.size() : lf + 1;
    }
    if (start != std::u16string_view::npos)
        AddPost(GetCount() + 1, display.substr(start));
}

const std::vector<int>& CTavloAnchorIndex::RefersTo(int number) const {
    const Post* p = post(number);
    return p ? p->targets : kNone;
}

const std::vector<int>& CTavloAnchorIndex::ReferredBy(int number) const {
    auto it = m_referred.find(number);
    return it == m_referred.end() ? kNone : it->second;
}

std::u16string_view CTavloAnchorIndex::IdOf(int number) const {
    const Post* p = post(number);
    return p && p->idSlot >= 0 ? std::u16string_view(m_ids[static_cast<size_t>(p->idSlot)].text)
                               : std::u16string_view();
}

const std::vector<int>& CTavloAnchorIndex::PostsOfId(std::u16string_view id) const {
    auto it = m_idSlots.find(std::u16string(id));
    return it == m_idSlots.end() ? kNone : m_ids[static_cast<size_t>(it->second)].posts;
}

int CTavloAnchorIndex::IdOrdinal(int number) const {
    const Post* p = post(number);
    return p ? p->idOrdinal : 0;
}

int CTavloAnchorIndex::IdTotal(int number) const {
    const Post* p = post(number);
    return p && p->idSlot >= 0
               ? static_cast<int>(m_ids[static_cast<size_t>(p->idSlot)].posts.size())
               : 0;
}
