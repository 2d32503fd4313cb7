#include "tavlo_text_layout.h"

#include <algorithm>
#include <climits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

CTavloTextLayout::CTavloTextLayout() {
    m_starts.assign(2, 0);
}

int CTavloTextLayout::TabAdvance(int x) const {
    int tab = std::max(1, m_params.tabWidth);
    int rel = x - m_params.marginLeft + std::max(1, m_params.averageWidth);
    int next = (rel + tab - 1) / tab * tab;
    return next + m_params.marginLeft - x;
}

size_t CTavloTextLayout::NextLineStart(size_t pos, int* endX) const {
    const size_t n = m_buf.Length();
    // Without wrap only the length limit breaks a line.
    const int avail = m_params.wrap ? m_params.clientWidth - m_params.marginRight : INT_MAX;
    const size_t limit = m_params.lineLimit ? m_params.lineLimit : 32768;
    const size_t end = std::min(n, pos + limit);
    const CTavloCharWidths::Measure measure = m_measure;
    void* const context = m_context;
    int x = m_params.marginLeft;
    size_t word = SIZE_MAX; // start of the current word, none while in spaces
    size_t i = pos;
    size_t result = end;
    while (i < end) {
        // Walk the contiguous piece up to the gap without re-checking it per character.
        const char16_t* p = m_buf.Data(i) - i;
        size_t stop = i < m_buf.GapPosition() ? std::min(end, m_buf.GapPosition()) : end;
        for (; i < stop; ++i) {
#if defined(__SSE2__)
            // Eight printable characters with known widths that fit as a whole: no break can
            // fall among them, so only the word start needs following.
            while (i + 8 <= stop) {
                __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
                __m128i below = _mm_subs_epu16(_mm_set1_epi16(0x20), v);
                if (_mm_movemask_epi8(_mm_cmpeq_epi16(below, _mm_setzero_si128())) != 0xFFFF)
                    break;
                const uint16_t* table = CTavloCharWidths::Table();
                uint16_t e[8];
                int sum = 0;
                bool known = true;
                for (int k = 0; k < 8; ++k) {
                    e[k] = table[p[i + k]];
                    known = known && e[k];
                    sum += e[k] & 0xFF;
                }
                if (!known || x + sum > avail)
                    break;
                int spaces = _mm_movemask_epi8(_mm_cmpeq_epi16(v, _mm_set1_epi16(' ')));
                if (!spaces) {
                    if (word == SIZE_MAX)
                        word = i;
                } else {
                    int last = (31 - __builtin_clz(static_cast<unsigned>(spaces))) >> 1;
                    word = last == 7 ? SIZE_MAX : i + static_cast<size_t>(last) + 1;
                }
                x += sum;
                i += 8;
            }
            if (i >= stop)
                break;
#endif
            char16_t c = p[i];
            int w;
            if (c > u' ') {
                if (word == SIZE_MAX)
                    word = i;
                w = CTavloCharWidths::Get(c, measure, context);
            } else if (c == u' ') {
                word = SIZE_MAX;
                w = CTavloCharWidths::Get(c, measure, context);
            } else if (c == u'\n') {
                result = i + 1;
                goto done;
            } else if (c == u'\r') {
                result = (i + 1 < n && m_buf.At(i + 1) == u'\n') ? i + 2 : i + 1;
                goto done;
            } else if (c == u'\t') {
                word = SIZE_MAX;
                w = TabAdvance(x);
            } else {
                if (word == SIZE_MAX)
                    word = i;
                w = CTavloCharWidths::Get(c, measure, context);
            }
            if (x + w > avail && i > pos) {
                result = (word != SIZE_MAX && word > pos) ? word : i;
                goto done;
            }
            x += w;
        }
    }
    // The length limit breaks like the width does, judged on the character at the limit.
    if (end < n) {
        char16_t c = m_buf.At(end);
        if (c == u'\n')
            result = end + 1;
        else if (c == u'\r')
            result = (end + 1 < n && m_buf.At(end + 1) == u'\n') ? end + 2 : end + 1;
        else if (c != u' ' && c != u'\t' && word != SIZE_MAX && word > pos)
            result = word;
    }
done:
    if (endX)
        *endX = x;
    return result;
}

bool CTavloTextLayout::endsWithBreak() const {
    size_t n = m_buf.Length();
    if (n == 0)
        return true;
    char16_t c = m_buf.At(n - 1);
    return c == u'\n' || c == u'\r';
}

void CTavloTextLayout::reserveLines(size_t extra) {
    if (m_starts.size() + extra <= m_starts.capacity())
        return;
    // Grow by a thirtieth of the text length, so a long text rarely regrows.
    size_t step = std::max<size_t>({extra, m_buf.Length() / 30, 256});
    m_starts.reserve(m_starts.capacity() + step);
}

void CTavloTextLayout::Relayout() {
    const size_t n = m_buf.Length();
    m_starts.clear();
    m_step = SIZE_MAX;
    m_delta = 0;
    m_maxWidth = 0;
    reserveLines(1);
    m_starts.push_back(0);
    size_t s = 0;
    while (s < n) {
        int x = 0;
        size_t nx = NextLineStart(s, &x);
        m_maxWidth = std::max(m_maxWidth, x);
        if (nx >= n && !endsWithBreak())
            break;
        reserveLines(1);
        m_starts.push_back(nx);
        s = nx;
    }
    reserveLines(1);
    m_starts.push_back(n);
    m_step = m_starts.size();
}

void CTavloTextLayout::SetText(std::u16string_view text) {
    m_buf.Assign(text);
    Relayout();
}

void CTavloTextLayout::AdoptText(TavloTextRoom&& room, size_t length) {
    m_buf.Adopt(std::move(room), length);
    Relayout();
}

void CTavloTextLayout::moveStep(size_t k) {
    if (m_step >= m_starts.size())
        m_delta = 0;
    if (m_delta == 0) {
        m_step = k;
        return;
    }
    if (k > m_step) {
        for (size_t i = m_step; i < k; ++i)
            m_starts[i] = static_cast<size_t>(static_cast<long long>(m_starts[i]) + m_delta);
    } else {
        for (size_t i = k; i < m_step; ++i)
            m_starts[i] = static_cast<size_t>(static_cast<long long>(m_starts[i]) - m_delta);
    }
    m_step = k;
}

int CTavloTextLayout::LineFromChar(size_t pos) const {
    int count = LineCount();
    int lo = 0, hi = count - 1;
    while (lo < hi) {
        int mid = lo + (hi - lo + 1) / 2;
        if (LineStart(mid) <= pos)
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

void CTavloTextLayout::Replace(size_t pos, size_t len, std::u16string_view text) {
    const size_t oldLength = m_buf.Length();
    pos = std::min(pos, oldLength);
    len = std::min(len, oldLength - pos);
    const int count = LineCount();
    const int line = LineFromChar(pos);
    const int from = std::max(0, line - 1);
    // Old lines that started inside the replaced text are gone; the first one at or after its
    // end is where the old layout may be met again.
    int valid = line + 1;
    {
        int hi = count;
        while (valid < hi) {
            int mid = valid + (hi - valid) / 2;
            if (LineStart(mid) >= pos + len)
                hi = mid;
            else
                valid = mid + 1;
        }
    }

    m_buf.Erase(pos, len);
    m_buf.Insert(pos, text);

    // Every start after the edited line moves by the change in length.
    moveStep(static_cast<size_t>(line) + 1);
    m_delta += static_cast<long long>(text.size()) - static_cast<long long>(len);

    // Lay out again from the line before the edit until a new start meets an old one that
    // lies after the edit; from there on nothing changed.
    const size_t n = m_buf.Length();
    const size_t edited = pos + text.size();
    std::vector<size_t> fresh;
    size_t j = static_cast<size_t>(valid);
    bool synced = false;
    size_t s = LineStart(from);
    while (s < n) {
        int x = 0;
        size_t nx = NextLineStart(s, &x);
        m_maxWidth = std::max(m_maxWidth, x);
        if (nx >= n && !endsWithBreak())
            break;
        while (j < static_cast<size_t>(count) && LineStart(static_cast<int>(j)) < nx)
            ++j;
        if (j < static_cast<size_t>(count) && LineStart(static_cast<int>(j)) == nx &&
            nx >= edited) {
            synced = true;
            break;
        }
        fresh.push_back(nx);
        s = nx;
    }
    if (!synced)
        j = static_cast<size_t>(count);

    size_t first = static_cast<size_t>(from) + 1;
    if (j < first)
        j = first;
    reserveLines(fresh.size());
    m_starts.erase(m_starts.begin() + static_cast<long>(first),
                   m_starts.begin() + static_cast<long>(j));
    m_starts.insert(m_starts.begin() + static_cast<long>(first), fresh.begin(), fresh.end());
    m_step = first + fresh.size();
}

bool CTavloTextLayout::IsLastLineOfLogical(int line) const {
    if (line < 0)
        return false;
    if (line + 1 >= LineCount())
        return true;
    size_t next = LineStart(line + 1);
    if (next == 0)
        return true;
    char16_t c = m_buf.At(next - 1);
    return c == u'\n' || c == u'\r';
}

size_t CTavloTextLayout::LineLength(int line) const {
    size_t a = LineStart(line);
    size_t b = LineStart(line + 1);
    while (b > a && (m_buf.At(b - 1) == u'\n' || m_buf.At(b - 1) == u'\r'))
        --b;
    return b - a;
}

int CTavloTextLayout::XOfChar(int line, size_t pos) const {
    size_t a = LineStart(line);
    int x = m_params.marginLeft;
    for (size_t i = a; i < pos; ++i) {
        char16_t c = m_buf.At(i);
        x += c == u'\t' ? TabAdvance(x) : CharWidth(c);
    }
    return x;
}

size_t CTavloTextLayout::CharFromX(int line, int x) const {
    size_t a = LineStart(line);
    size_t e = a + LineLength(line);
    int cx = m_params.marginLeft;
    for (size_t i = a; i < e; ++i) {
        char16_t c = m_buf.At(i);
        int w = c == u'\t' ? TabAdvance(cx) : CharWidth(c);
        if (x < cx + w / 2)
            return i;
        cx += w;
    }
    return e;
}
