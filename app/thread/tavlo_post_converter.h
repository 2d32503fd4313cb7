#pragma once

#include "tavlo_gap_buffer.h"
#include "tavlo_string_counts.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

class CVornRegex;

// Markers: the first character of a display line that tells the painter what the line is.
enum : char16_t {
    TAVLO_MARK_FROM = 1,      // post header, empty mail
    TAVLO_MARK_FROM_MAIL = 2, // post header, mail given
    TAVLO_MARK_FROM_SAGE = 3, // post header, mail ending in "sage"
    TAVLO_MARK_DATE_NEW = 4,  // date line of a new post
    TAVLO_MARK_DATE = 5,      // date line of a read post
    TAVLO_MARK_LINK = 6,      // never produced
    TAVLO_MARK_ABONE = 7,     // post header of a post matched by NG
    TAVLO_MARK_MESSAGE = 8,   // note of dropped blank lines
    TAVLO_MARK_IMAGE = 15,    // row reserved for an inline image
};

inline bool TavloIsHeaderMark(char16_t c) {
    return c == TAVLO_MARK_FROM || c == TAVLO_MARK_FROM_MAIL || c == TAVLO_MARK_FROM_SAGE ||
           c == TAVLO_MARK_ABONE;
}
inline bool TavloIsDateMark(char16_t c) {
    return c == TAVLO_MARK_DATE_NEW || c == TAVLO_MARK_DATE;
}

struct TavloConvertOptions {
    bool deleteBlankLines = true;
    bool inlineImage = false;
    int inlineImageHeight = 5;
    // Whether a display line holds an image link; empty uses the built-in image-link pattern.
    std::function<bool(std::u16string_view)> hasImageLink;
};

// What a conversion found in each post it wrote, so that indexing just-converted posts
// need not read their text again. Offsets count from the first post's header.
struct TavloConvertedPosts {
    struct Post {
        uint32_t idStart; // idLength 0: no ID
        uint32_t idLength;
        uint32_t idHash;     // TavloHashText of the ID
        uint32_t anchorsEnd; // its anchors end here in anchors
    };
    int firstNumber = 0;
    size_t textStart = 0; // in the conversion's output
    size_t textLength = 0;
    std::vector<Post> posts;
    // Each anchor's last ">" (or U+FF1E) before its digits.
    std::vector<uint32_t> anchors;

    void Clear() {
        firstNumber = 0;
        textStart = textLength = 0;
        posts.clear();
        anchors.clear();
    }
};

// Turns thread log lines (already UTF-16) into display text and keeps what painting needs:
// the title, the ID counts and the referenced post numbers.
class CTavloPostConverter {
public:
    CTavloPostConverter();
    ~CTavloPostConverter();
    CTavloPostConverter(const CTavloPostConverter&) = delete;
    CTavloPostConverter& operator=(const CTavloPostConverter&) = delete;

    TavloConvertOptions& Options() { return m_options; }

    // Appends the display text of every line of log to out, numbering posts from firstNumber;
    // posts numbered firstNew or above get the new date marker. ng (may be null) marks posts
    // as aboned; with hideAboned their text is dropped. Returns the output length. A last line
    // without LF is converted too.
    size_t Convert(std::u16string_view log, int firstNumber, int firstNew, CVornRegex* ng,
                   bool hideAboned, std::u16string& out);

    // The same from the log's Shift_JIS bytes, decoded in line-aligned pieces so that the
    // UTF-16 intermediate stays small.
    size_t ConvertSjis(std::string_view log, int firstNumber, int firstNew, CVornRegex* ng,
                       bool hideAboned, std::u16string& out);
    // The same without a copy: start and the display text after it, in the converter's own
    // room, good until the next conversion.
    std::u16string_view ConvertSjisAfter(std::u16string_view start, std::string_view log,
                                         int firstNumber, int firstNew, CVornRegex* ng,
                                         bool hideAboned);
    // Hands over the room a ConvertSjisAfter text lies in (the text at its start).
    TavloTextRoom TakeRoom() { return std::move(m_text); }

    // Title field of post 1, as written in the log (not cleaned).
    bool HasTitle() const { return m_hasTitle; }
    const std::u16string& GetTitle() const { return m_title; }
    // 0 unknown, 1 seen in one post, 2 seen in more than one.
    int GetIdCount(std::u16string_view id) const;
    bool IsReferenced(std::u16string_view number) const;
    size_t GetReferencedCount() const { return m_refs.Size(); }
    // Posts converted by the last Convert.
    int GetLastCount() const { return m_lastCount; }
    // What the last Convert or ConvertSjis found in its posts; taking it leaves it empty.
    const TavloConvertedPosts& GetConverted() const { return m_converted; }
    void TakeConverted(TavloConvertedPosts& to) {
        std::swap(to, m_converted);
        m_converted.Clear();
    }

    // Forgets title, ID counts and referenced numbers.
    void Clear();

    // The output text while it is made (defined with the converter).
    class TextOut;

private:
    enum { FIELD_SEPARATOR, FIELD_LINE_END, FIELD_END };
    // Decodes from i to the next "<>" (i then after it and one space), LF (i at the LF) or
    // the end of the text. The body adds its rules for "<br>" and dropped blank lines.
    int decodeField(const char16_t* p, size_t& i, size_t n, bool body, TextOut& out);
    void convert(std::u16string_view log, int firstNumber, int firstNew, CVornRegex* ng,
                 bool hideAboned, TextOut& out);
    void convertSjis(TextOut& text, std::string_view log, int firstNumber, int firstNew,
                     CVornRegex* ng, bool hideAboned);
    void appendNote(TextOut& out);
    void appendImageRows(TextOut& out);
    bool lineHasImage(std::u16string_view line);
    void releaseLargeText();

    TavloConvertOptions m_options;
    std::u16string m_title;
    bool m_hasTitle = false;
    CTavloStringCounts m_ids;
    CTavloStringCounts m_refs;
    int m_dropped = 0;
    int m_lastCount = 0;
    TavloConvertedPosts m_converted;
    // UTF-16 of the piece being converted: written over, never cleared first.
    TavloTextRoom m_piece;
    TavloTextRoom m_text;               // room of the display text, kept between conversions
    CVornRegex* m_imageRegex = nullptr; // built-in image-link pattern, made on first use
};

// Thread title of a title field: "<br>" to LF, tags removed, then "&gt;", "&lt;", "&amp;",
// "&quot;", "&nbsp;" decoded in that order; returned as Shift_JIS. A CR at the end is dropped.
std::string TavloCleanTitle(std::u16string_view field);
