#include "tavlo_anchor_index.h"

#include "tavlo_link.h"
#include "tavlo_post_converter.h"
#include "tavlo_scan.h"

#include <algorithm>

namespace {

const std::vector<int> kNone;
// Targets at most this far past the post naming them are kept in the vector.
constexpr int kNearTargets = 1024;

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
    m_referredFar.clear();
    m_ids.clear();
    m_idSlots.clear();
}

void CTavloAnchorIndex::AddPost(int number, std::u16string_view display) {
    if (number != GetCount() + 1)
        return;
    Post post;
    const char16_t* p = display.data();
    const size_t n = display.size();
    // Header line, then the date line with the ID, then the body.
    size_t dateStart = TavloScanEither(p, 0, n, u'\n', u'\n') + 1;
    size_t bodyStart = dateStart < n ? TavloScanEither(p, dateStart, n, u'\n', u'\n') + 1 : n;
    if (dateStart < n && TavloIsDateMark(p[dateStart])) {
        size_t s = 0, len = 0;
        if (TavloExtractId(display.substr(dateStart, bodyStart - dateStart), &s, &len)) {
            m_key.assign(p + dateStart + s, len);
            auto it = m_idSlots.find(m_key);
            if (it == m_idSlots.end()) {
                it = m_idSlots.emplace(m_key, static_cast<int>(m_ids.size())).first;
                m_ids.push_back({m_key, {}});
            }
            Id& slot = m_ids[static_cast<size_t>(it->second)];
            slot.posts.push_back(number);
            post.idSlot = it->second;
            post.idOrdinal = static_cast<int>(slot.posts.size());
        }
    }
    // Anchors never span lines, and an anchor stops at a line break, so the body is scanned
    // as one text.
    for (size_t k = TavloScanEither(p, std::min(bodyStart, n), n, u'>', u'\uFF1E');
         k < n && post.targets.size() < kTavloPostTargetsMax;
         k = TavloScanEither(p, k, n, u'>', u'\uFF1E')) {
        const size_t before = post.targets.size();
        size_t used =
            TavloParseAnchor(display.substr(k, std::min<size_t>(n - k, 4096)), post.targets,
                             std::min(kTavloAnchorTargetsMax, kTavloPostTargetsMax - before));
        // Itself and repeats across anchors of one post count once.
        auto end = post.targets.begin() + static_cast<std::ptrdiff_t>(before);
        for (size_t t = before; t < post.targets.size();) {
            int target = post.targets[t];
            if (target == number || std::find(post.targets.begin(), end, target) != end)
                post.targets.erase(post.targets.begin() + static_cast<std::ptrdiff_t>(t));
            else
                ++t;
            end = post.targets.begin() + static_cast<std::ptrdiff_t>(before);
        }
        k += used ? used : 1;
        while (k < n && TavloIsGreater(p[k]))
            ++k;
    }
    for (int t : post.targets) {
        if (t <= number + kNearTargets) {
            if (m_referred.size() <= static_cast<size_t>(t))
                m_referred.resize(static_cast<size_t>(t) + 1 + kNearTargets);
            std::vector<int>& answers = m_referred[static_cast<size_t>(t)];
            // Answers given while the target was far away come first.
            if (!m_referredFar.empty()) {
                auto far = m_referredFar.find(t);
                if (far != m_referredFar.end()) {
                    answers.insert(answers.begin(), far->second.begin(), far->second.end());
                    m_referredFar.erase(far);
                }
            }
            answers.push_back(number);
        } else {
            m_referredFar[t].push_back(number);
        }
    }
    m_posts.push_back(std::move(post));
}

void CTavloAnchorIndex::AddDisplay(std::u16string_view display) {
    const char16_t* p = display.data();
    const size_t n = display.size();
    size_t start = std::u16string_view::npos;
    for (size_t pos = 0; pos < n; pos = TavloScanEither(p, pos, n, u'\n', u'\n') + 1) {
        if (TavloIsHeaderMark(p[pos])) {
            if (start != std::u16string_view::npos)
                AddPost(GetCount() + 1, display.substr(start, pos - start));
            start = pos;
        }
    }
    if (start != std::u16string_view::npos)
        AddPost(GetCount() + 1, display.substr(start));
}

const std::vector<int>& CTavloAnchorIndex::RefersTo(int number) const {
    const Post* p = post(number);
    return p ? p->targets : kNone;
}

const std::vector<int>& CTavloAnchorIndex::ReferredBy(int number) const {
    if (number >= 1 && static_cast<size_t>(number) < m_referred.size() &&
        !m_referred[static_cast<size_t>(number)].empty())
        return m_referred[static_cast<size_t>(number)];
    auto it = m_referredFar.find(number);
    return it == m_referredFar.end() ? kNone : it->second;
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
