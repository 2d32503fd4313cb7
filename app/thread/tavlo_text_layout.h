#pragma once

#include "tavlo_char_widths.h"
#include "tavlo_gap_buffer.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

struct TavloLayoutParams {
    int clientWidth = 0;
    int marginLeft = 1;
    int marginRight = 1;
    int averageWidth = 8;
    int tabWidth = 64; // 8 average character widths
    bool wrap = true;
    size_t lineLimit = 32768;
};

// The text of the control with its display lines: a gap buffer, the start of every display
// line (plus one for the end) and the line-breaking rule. Widths come from the process-wide
// cache; a missing one is measured through the measure function.
//
// Edits shift the starts of later lines lazily: entries from m_step on carry m_delta, which
// is applied when read, so an append at the end touches only the lines it creates.
class CTavloTextLayout {
public:
    CTavloTextLayout();

    void SetMeasure(CTavloCharWidths::Measure measure, void* context) {
        m_measure = measure;
        m_context = context;
    }
    // Takes effect at the next Relayout.
    void SetParams(const TavloLayoutParams& params) { m_params = params; }
    const TavloLayoutParams& Params() const { return m_params; }

    const CTavloGapBuffer& Buffer() const { return m_buf; }
    size_t Length() const { return m_buf.Length(); }
    char16_t At(size_t i) const { return m_buf.At(i); }
    std::u16string Substr(size_t pos, size_t len) const { return m_buf.Substr(pos, len); }

    // Replaces the whole text and lays it out.
    void SetText(std::u16string_view text);
    // The same with the text at the start of room, which the layout takes over.
    void AdoptText(TavloTextRoom&& room, size_t length);
    // Replaces len characters at pos by text and lays out only what changed.
    void Replace(size_t pos, size_t len, std::u16string_view text);
    void Append(std::u16string_view text) { Replace(Length(), 0, text); }
    void ReserveAppend(size_t chars) {
        if (m_buf.GapPosition() != m_buf.Length())
            return;
        m_buf.Reserve(chars);
    }
    // Overwrites one character whose width does not change (a marker), without relayout.
    void SetCharInPlace(size_t pos, char16_t c) { m_buf.Set(pos, c); }
    // Recomputes every line start for the current parameters.
    void Relayout();

    // Display lines; an empty text and a text ending in a line break end with an empty line.
    int LineCount() const { return static_cast<int>(m_starts.size()) - 1; }
    // Start of a display line; LineStart(LineCount()) is the text length.
    size_t LineStart(int line) const {
        size_t i = static_cast<size_t>(line);
        return i >= m_step ? static_cast<size_t>(static_cast<long long>(m_starts[i]) + m_delta)
                           : m_starts[i];
    }
    // Start of the next display line after the one starting at pos.
    size_t NextLineStart(size_t pos, int* endX = nullptr) const;
    // Display line holding pos (the last line for pos at the end).
    int LineFromChar(size_t pos) const;
    // True when the next display line starts after a line break, or there is none.
    bool IsLastLineOfLogical(int line) const;
    // Length of a display line without its line break.
    size_t LineLength(int line) const;
    // Widest line seen by the layout, in pixels (for horizontal scrolling).
    int MaxLineWidth() const { return m_maxWidth; }

    int CharWidth(char16_t c) const { return CTavloCharWidths::Get(c, m_measure, m_context); }
    // x of the character at pos within its line (margin included), and the character at x.
    int XOfChar(int line, size_t pos) const;
    size_t CharFromX(int line, int x) const;
    // Advance of a tab that starts at x.
    int TabAdvance(int x) const;

private:
    void moveStep(size_t k);
    bool endsWithBreak() const;
    void reserveLines(size_t extra);

    CTavloGapBuffer m_buf;
    TavloLayoutParams m_params;
    std::vector<size_t> m_starts;
    size_t m_step = 0;
    long long m_delta = 0;
    int m_maxWidth = 0;
    CTavloCharWidths::Measure m_measure = nullptr;
    void* m_context = nullptr;
};
