#include "tavlo_post_converter.h"

#include "tavlo_html_entity.h"
#include "tavlo_link.h"
#include "tavlo_scan.h"
#include "vorn_kcode.h"
#include "vorn_regex.h"
#include "vorn_short_copy.h"

#include <algorithm>
#include <cstring>
#include <new>

// The display text being made, in the converter's own room: written through a pointer,
// since appending each short run of a post to a std::u16string costs a library copy of its
// own. The room is reused from one conversion to the next and never cleared.
class CTavloPostConverter::TextOut {
public:
    // Starts with start; positions count from base (the length of text before it that
    // the output is appended to, which the converter never reads back).
    TextOut(CTavloPostConverter& owner, std::u16string_view start, size_t base, size_t expect)
        : m_owner(owner), m_room(std::move(owner.m_text)), m_base(base) {
        const size_t need = start.size() + expect + 1024;
        if (m_room.capacity > kKeep && need <= kKeep) // what a whole long thread left
            m_room = TavloTextRoom();
        reserveTotal(need);
        if (!start.empty())
            memcpy(m_room.p, start.data(), start.size() * sizeof(char16_t));
        m_len = start.size();
    }
    ~TextOut() { m_owner.m_text = std::move(m_room); }
    // Room beyond this is given up once the text has been copied out.
    static constexpr size_t kKeep = 1u << 20;
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;

    size_t size() const { return m_base + m_len; }
    char16_t& operator[](size_t i) { return m_room.p[i - m_base]; }
    char16_t back() const { return m_room.p[m_len - 1]; }
    void pop_back() { --m_len; }
    // Cuts the text back to n characters (n no more than its length).
    void cut(size_t n) { m_len = std::min(n - m_base, m_len); }
    // The text from position from (not before base) on.
    std::u16string_view view(size_t from) const {
        return std::u16string_view(m_room.p + (from - m_base), m_len - (from - m_base));
    }
    // All that is made here, start included.
    std::u16string_view made() const { return std::u16string_view(m_room.p, m_len); }
    // Position of a character that view() showed.
    size_t positionOf(const char16_t* c) const {
        return m_base + static_cast<size_t>(c - m_room.p);
    }
    // Makes room for extra more characters at once.
    void reserve(size_t extra) {
        if (m_room.capacity - m_len < extra)
            reserveTotal(std::max(m_room.capacity * 2, m_len + extra));
    }

    TextOut& operator+=(char16_t c) {
        room(1)[0] = c;
        ++m_len;
        return *this;
    }
    // Literals: a few characters.
    TextOut& operator+=(std::u16string_view t) {
        char16_t* w = room(t.size());
        for (size_t k = 0; k < t.size(); ++k)
            w[k] = t[k];
        m_len += t.size();
        return *this;
    }
    void append(const char16_t* p, size_t n) {
        VornCopyShort(room(n), p, n);
        m_len += n;
    }

private:
    char16_t* room(size_t n) {
        if (m_room.capacity - m_len < n)
            reserveTotal(std::max(m_room.capacity * 2, m_len + n + 1024));
        return m_room.p + m_len;
    }
    void reserveTotal(size_t cap) {
        if (!m_room.Grow(cap))
            throw std::bad_alloc();
    }
    CTavloPostConverter& m_owner;
    TavloTextRoom m_room;
    size_t m_base;
    size_t m_len = 0;
};

namespace {

constexpr char16_t kReplacement = u'\uFFFD';

// Characters that leave the plain copy loop: tags, references and control characters (a
// control character in a post must never turn into a marker).
inline bool isSpecial(char16_t c) {
    return c == u'<' || c == u'&' || c < 0x20;
}

inline bool isRefChar(char16_t c) {
    return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F') ||
           c == u'x';
}

inline int hexValue(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

inline bool isAlnum(char16_t c) {
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') || (c >= u'0' && c <= u'9');
}

// Finds the ">" that closes a tag on the current line. A ">" that belongs to a "<>"
// separator closes nothing, so a stray "<" never swallows the end of a field. The last
// answer is kept so that a line full of "<" without ">" stays linear.
class CloseFinder {
public:
    explicit CloseFinder(const char16_t* p, size_t n) : m_p(p), m_n(n) {}
    // Position of the ">" closing the "<" at i, or SIZE_MAX when there is none.
    size_t Find(size_t i) {
        if (m_at <= i) {
            size_t k = TavloScanEither(m_p, i + 1, m_n, u'>', u'\n');
            m_at = k;
            m_close = k < m_n && m_p[k] == u'>' && m_p[k - 1] != u'<';
        }
        return m_close ? m_at : SIZE_MAX;
    }

private:
    const char16_t* m_p;
    size_t m_n;
    size_t m_at = 0;
    bool m_close = false;
};

void appendNumber(CTavloPostConverter::TextOut& out, int n) {
    char16_t buf[16];
    int len = 0;
    unsigned v = n < 0 ? 0u - static_cast<unsigned>(n) : static_cast<unsigned>(n);
    do {
        buf[len++] = static_cast<char16_t>(u'0' + v % 10);
        v /= 10;
    } while (v);
    if (n < 0)
        buf[len++] = u'-';
    while (len)
        out += buf[--len];
}

// Decodes "&..." at p[i]; returns the position after what was consumed.
size_t decodeAmp(const char16_t* p, size_t i, size_t b, CTavloPostConverter::TextOut& out) {
    if (i + 1 < b && p[i + 1] == u'#') {
        size_t j = i + 2;
        size_t k = j;
        while (k < b && k - j < 5 && isRefChar(p[k]))
            ++k;
        uint32_t v = 0;
        if (k > j && p[j] == u'x') {
            for (size_t m = j + 1; m < k; ++m) {
                int d = hexValue(p[m]);
                if (d < 0)
                    break;
                v = v * 16 + static_cast<uint32_t>(d);
            }
        } else {
            for (size_t m = j; m < k && p[m] >= u'0' && p[m] <= u'9'; ++m)
                v = v * 10 + static_cast<uint32_t>(p[m] - u'0');
        }
        v &= 0xFFFF;
        // Below 0x20 the unit would be a marker or a line break: kept as written, like 0.
        if (k < b && p[k] == u';' && v >= 0x20) {
            out += static_cast<char16_t>(v);
            return k + 1;
        }
        out.append(p + i, k - i);
        return k;
    }
    size_t k = i + 1;
    while (k < b && k - (i + 1) < kTavloHtmlEntityMaxName && isAlnum(p[k]))
        ++k;
    if (k > i + 1 && k < b && p[k] == u';') {
        std::u16string_view name(p + i + 1, k - (i + 1));
        // The references boards write all the time, before the table search.
        char16_t code = name == u"gt"     ? u'>'
                        : name == u"lt"   ? u'<'
                        : name == u"amp"  ? u'&'
                        : name == u"quot" ? u'"'
                                          : TavloFindHtmlEntity(name);
        if (code) {
            out += code;
            return k + 1;
        }
    }
    out += u'&';
    return i + 1;
}

inline bool endsWithThreeLf(const CTavloPostConverter::TextOut& out) {
    return out.made().ends_with(u"\n\n\n");
}

} // namespace

CTavloPostConverter::CTavloPostConverter() = default;

CTavloPostConverter::~CTavloPostConverter() {
    delete m_imageRegex;
}

void CTavloPostConverter::Clear() {
    m_title.clear();
    m_hasTitle = false;
    m_ids.Clear();
    m_refs.Clear();
    m_lastCount = 0;
    m_converted.Clear();
}

int CTavloPostConverter::GetIdCount(std::u16string_view id) const {
    return m_ids.Get(id);
}

bool CTavloPostConverter::IsReferenced(std::u16string_view number) const {
    return m_refs.Get(number) != 0;
}

void CTavloPostConverter::appendNote(TextOut& out) {
    out += static_cast<char16_t>(TAVLO_MARK_MESSAGE);
    out += u'(';
    appendNumber(out, m_dropped);
    out += u"行削除)\n";
    m_dropped = 0;
}

bool CTavloPostConverter::lineHasImage(std::u16string_view line) {
    if (m_options.hasImageLink)
        return m_options.hasImageLink(line);
    if (!m_imageRegex) {
        m_imageRegex = new CVornRegex;
        m_imageRegex->CompileW(u"(h?t?tps?://[!-~]+\\.(?:gif|jpg|jpeg|png|bmp))(?:$|[^!-~])");
    }
    return m_imageRegex->MatchW(line) >= 0;
}

void CTavloPostConverter::appendImageRows(TextOut& out) {
    // The line that just ended: from the LF before the last one. The post's own date line ends
    // before it, so the search stays within the made text.
    const std::u16string_view made = out.made();
    const size_t last = made.size() - 1;
    size_t start = made.rfind(u'\n', last - 1);
    start = start == std::u16string_view::npos ? 0 : start + 1;
    if (!lineHasImage(made.substr(start, last - start)))
        return;
    for (int k = 0; k < m_options.inlineImageHeight; ++k) {
        out += static_cast<char16_t>(TAVLO_MARK_IMAGE);
        out += u" \n";
    }
}

int CTavloPostConverter::decodeField(const char16_t* p, size_t& i, size_t n, bool body,
                                     TextOut& out) {
    CloseFinder close(p, n);
    for (;;) {
        size_t s = i;
        i = TavloScanPlain(p, i, n);
        if (i > s) {
            if (m_dropped)
                appendNote(out);
            out.append(p + s, i - s);
        }
        if (i >= n)
            return FIELD_END;
        char16_t c = p[i];
        if (c == u'<') {
            if (i + 1 < n && p[i + 1] == u'>') {
                i += 2;
                if (i < n && p[i] == u' ')
                    ++i;
                return FIELD_SEPARATOR;
            }
            if (body && i + 3 < n && p[i + 1] == u'b' && p[i + 2] == u'r' && p[i + 3] == u'>') {
                if (out.back() == u' ')
                    out.pop_back();
                if (m_options.deleteBlankLines && endsWithThreeLf(out)) {
                    ++m_dropped;
                } else {
                    out += u'\n';
                    if (m_options.inlineImage)
                        appendImageRows(out);
                }
                i += 4;
                while (i < n && p[i] == u' ')
                    ++i;
                continue;
            }
            size_t gt = close.Find(i);
            i = gt != SIZE_MAX ? gt + 1 : i + 1;
            continue;
        }
        if (c == u'\n')
            return FIELD_LINE_END;
        if (c == u'\r' && i + 1 < n && p[i + 1] == u'\n') {
            ++i;
            return FIELD_LINE_END;
        }
        if (m_dropped)
            appendNote(out);
        if (c == u'&') {
            i = decodeAmp(p, i, n, out);
        } else {
            out += c == u'\t' ? u'\t' : kReplacement;
            ++i;
        }
    }
}

size_t CTavloPostConverter::Convert(std::u16string_view log, int firstNumber, int firstNew,
                                    CVornRegex* ng, bool hideAboned, std::u16string& out) {
    m_converted.Clear();
    m_converted.firstNumber = firstNumber;
    {
        TextOut text(*this, {}, out.size(), log.size() + log.size() / 4);
        m_converted.textStart = text.size();
        convert(log, firstNumber, firstNew, ng, hideAboned, text);
        m_converted.textLength = text.size() - m_converted.textStart;
        out.append(text.made());
    }
    releaseLargeText();
    return out.size();
}

void CTavloPostConverter::convert(std::u16string_view log, int firstNumber, int firstNew,
                                  CVornRegex* ng, bool hideAboned, TextOut& out) {
    const char16_t* p = log.data();
    const size_t n = log.size();
    out.reserve(n + n / 4 + 64);
    int number = firstNumber;
    m_lastCount = 0;
    m_dropped = 0;
    size_t i = 0;
    while (i < n) {
        // Header: marker, "[N]", name, "<", mail, ">".
        size_t head = out.size();
        if (m_converted.posts.empty())
            m_converted.textStart = head;
        const size_t origin = m_converted.textStart;
        TavloConvertedPosts::Post facts{0, 0, 0, 0};
        out += static_cast<char16_t>(TAVLO_MARK_FROM);
        out += u'[';
        appendNumber(out, number);
        out += u']';
        int state = decodeField(p, i, n, false, out);
        out += u'<';
        size_t mailStart = out.size();
        if (state == FIELD_SEPARATOR)
            state = decodeField(p, i, n, false, out);
        if (out.view(mailStart).ends_with(u"sage"))
            out[head] = TAVLO_MARK_FROM_SAGE;
        else if (out.size() > mailStart)
            out[head] = TAVLO_MARK_FROM_MAIL;
        out += u">\n";

        // Date line and its ID.
        size_t dateStart = out.size();
        out += static_cast<char16_t>(number < firstNew ? TAVLO_MARK_DATE : TAVLO_MARK_DATE_NEW);
        if (state == FIELD_SEPARATOR)
            state = decodeField(p, i, n, false, out);
        size_t idStart = 0, idLen = 0;
        if (TavloExtractId(out.view(dateStart), &idStart, &idLen)) {
            const std::u16string_view id = out.view(dateStart + idStart).substr(0, idLen);
            facts.idHash = TavloHashText(id.data(), id.size());
            m_ids.Add(id, facts.idHash, 2);
            facts.idStart = static_cast<uint32_t>(dateStart + idStart - origin);
            facts.idLength = static_cast<uint32_t>(idLen);
        }
        out += u'\n';

        // Body, then the title (post 1 only) up to the end of the line.
        size_t bodyStart = out.size();
        if (state == FIELD_SEPARATOR)
            state = decodeField(p, i, n, true, out);
        if (state == FIELD_SEPARATOR) {
            size_t e = TavloScanEither(p, i, n, u'\n', u'\n');
            if (number == 1 && !m_hasTitle) {
                size_t te = e > i && p[e - 1] == u'\r' ? e - 1 : e;
                m_title.assign(p + i, te - i);
                m_hasTitle = true;
            }
            i = e;
        }
        if (m_dropped)
            appendNote(out);
        // The last body line may hold an image link as well as the lines ended by "<br>".
        if (m_options.inlineImage && out.size() > bodyStart && out.back() != u'\n') {
            out += u'\n';
            appendImageRows(out);
        }

        const size_t anchorsBegin = m_converted.anchors.size();
        TavloCollectAnchors(out.view(bodyStart), [&](std::u16string_view d) {
            m_refs.Add(d, 1);
            m_converted.anchors.push_back(
                static_cast<uint32_t>(out.positionOf(d.data()) - 1 - origin));
        });

        if (ng && ng->MatchW(out.view(head)) >= 0) {
            out[head] = TAVLO_MARK_ABONE;
            if (hideAboned) {
                out.cut(head + 1);
                facts.idLength = 0;
                m_converted.anchors.resize(anchorsBegin);
            }
        }
        facts.anchorsEnd = static_cast<uint32_t>(m_converted.anchors.size());
        m_converted.posts.push_back(facts);

        while (out.size() > head + 1 && out.back() == u'\n')
            out.pop_back();
        out += u"\n\n";

        ++number;
        ++m_lastCount;
        i = i < n ? i + 1 : n; // past the line's LF
    }
}

size_t CTavloPostConverter::ConvertSjis(std::string_view log, int firstNumber, int firstNew,
                                        CVornRegex* ng, bool hideAboned, std::u16string& out) {
    {
        // Display text is rarely longer than its log in bytes.
        TextOut text(*this, {}, out.size(), log.size() + log.size() / 4);
        convertSjis(text, log, firstNumber, firstNew, ng, hideAboned);
        out.append(text.made());
    }
    releaseLargeText();
    return out.size();
}

std::u16string_view CTavloPostConverter::ConvertSjisAfter(std::u16string_view start,
                                                          std::string_view log, int firstNumber,
                                                          int firstNew, CVornRegex* ng,
                                                          bool hideAboned) {
    TextOut text(*this, start, 0, log.size() + log.size() / 4);
    convertSjis(text, log, firstNumber, firstNew, ng, hideAboned);
    return text.made(); // the room stays the converter's, so the view stays good
}

void CTavloPostConverter::convertSjis(TextOut& text, std::string_view log, int firstNumber,
                                      int firstNew, CVornRegex* ng, bool hideAboned) {
    constexpr size_t kPiece = 32 * 1024;
    int number = firstNumber;
    int total = 0;
    size_t pos = 0;
    m_converted.Clear();
    m_converted.firstNumber = firstNumber;
    m_converted.textStart = text.size();
    while (pos < log.size()) {
        size_t end = log.size();
        if (end - pos > kPiece) {
            // LF never occurs inside a Shift_JIS character, so a piece ends on a line.
            size_t lf = log.find('\n', pos + kPiece);
            end = lf == std::string_view::npos ? log.size() : lf + 1;
        }
        const std::string_view bytes = log.substr(pos, end - pos);
        if (m_piece.capacity < bytes.size() && !m_piece.Grow(bytes.size()))
            throw std::bad_alloc();
        const size_t units = VornDecodeSjisFast(bytes, m_piece.p, nullptr);
        convert(std::u16string_view(m_piece.p, units), number, firstNew, ng, hideAboned, text);
        number += m_lastCount;
        total += m_lastCount;
        pos = end;
    }
    m_lastCount = total;
    m_converted.textLength = text.size() - m_converted.textStart;
    if (m_piece.capacity > 4 * kPiece)
        m_piece = TavloTextRoom();
}

void CTavloPostConverter::releaseLargeText() {
    if (m_text.capacity > TextOut::kKeep)
        m_text = TavloTextRoom();
}

std::string TavloCleanTitle(std::u16string_view field) {
    while (!field.empty() && (field.back() == u'\r' || field.back() == u'\n'))
        field.remove_suffix(1);
    std::u16string t;
    t.reserve(field.size());
    for (size_t i = 0; i < field.size();) {
        if (field[i] == u'<') {
            if (field.substr(i, 4) == u"<br>") {
                t += u'\n';
                i += 4;
                continue;
            }
            size_t gt = field.find(u'>', i + 1);
            if (gt != std::u16string_view::npos) {
                i = gt + 1;
                continue;
            }
        }
        t += field[i++];
    }
    auto replaceAll = [&t](std::u16string_view from, std::u16string_view to) {
        std::u16string r;
        r.reserve(t.size());
        size_t i = 0;
        for (size_t at; (at = t.find(from, i)) != std::u16string::npos; i = at + from.size()) {
            r.append(t, i, at - i);
            r += to;
        }
        r.append(t, i, std::u16string::npos);
        t.swap(r);
    };
    replaceAll(u"&gt;", u">");
    replaceAll(u"&lt;", u"<");
    replaceAll(u"&amp;", u"&");
    replaceAll(u"&quot;", u"\"");
    replaceAll(u"&nbsp;", u" ");
    return VornUtf16ToSjis(t);
}
