#pragma once

#include "tavlo_text_layout.h"

#include <QAbstractScrollArea>
#include <QFont>
#include <QFontMetrics>
#include <QPixmap>
#include <QRawFont>

#include <functional>
#include <memory>
#include <string>
#include <string_view>

class QPainter;

// One run of a display line handed to the owner's painter: characters of one line up to a
// tab, a selection bound, every 256th character of the line or the buffer's gap.
struct TavloTextRun {
    const char16_t* text = nullptr; // inside the control's buffer
    int count = 0;
    size_t offset = 0; // of text[0] in the whole text
    int line = 0;      // display line
    int x = 0;         // left of the run on the line surface
    int baseline = 0;  // of the text on the line surface
    QRect clip;        // the run's rectangle on the line surface
    bool selected = false;
};

// The thread text control ("nEdit"): a multi-line text control with its own layout, painted
// line by line through a one-line surface, with hooks through which its owner paints runs,
// chooses colours and sees events first. The owner drives it through the operations below;
// they stand for the window messages of an edit control.
class CTavloTextCtrl : public QAbstractScrollArea {
public:
    // Returns true when it drew the run; false lets the control draw it.
    using Painter = std::function<bool(QPainter&, const TavloTextRun&)>;
    // which: 0 text, 1 background. False uses the palette.
    using ColorProvider = std::function<bool(int which, QColor* color)>;
    // Sees every event first; true means the control leaves it alone (the hook handled it, or
    // ignored it so that it goes on to the parent).
    using BeforeHook = std::function<bool(QEvent*)>;
    // Sees every event after the control handled it.
    using AfterHook = std::function<void(QEvent*)>;
    // Around a relayout the control starts itself (width change): false before, true after.
    using RelayoutHook = std::function<void(bool done)>;

    static constexpr int kMargin = 1;
    static constexpr size_t kLineLimit = 32768;
    static constexpr int kRunLength = 256;

    // wrap: on unless the control is made with a horizontal scroll bar.
    explicit CTavloTextCtrl(QWidget* parent = nullptr, bool wrap = true);
    ~CTavloTextCtrl() override;

    // The state record: lines, their starts, the top line, the line height.
    const CTavloTextLayout& Layout() const { return m_layout; }
    int GetLineCount() const { return m_layout.LineCount(); }
    size_t LineIndex(int line) const { return m_layout.LineStart(line); }
    int LineFromChar(size_t pos) const { return m_layout.LineFromChar(pos); }
    int GetTopLine() const { return m_top; }
    int GetLineHeight() const { return m_lineHeight; }
    int GetAverageWidth() const { return m_averageWidth; }
    int GetHorizontalOffset() const { return m_hOffset; }
    // Whole lines that fit in the window (at least 1).
    int GetPageLines() const;
    std::u16string GetLineText(int line) const;
    size_t GetLength() const { return m_layout.Length(); }
    char16_t CharAt(size_t pos) const { return m_layout.At(pos); }

    void SetTextFont(const QFont& font);
    const QFont& GetTextFont() const { return m_font; }
    // Font metrics, caret, every line start for the current width; then repaint.
    void Recalc();
    bool GetWrap() const { return m_wrap; }
    void SetWrap(bool on);
    // Text length in bytes, the whole text, replacing the whole text.
    size_t GetTextBytes() const { return m_layout.Length() * sizeof(char16_t); }
    std::u16string GetText() const { return m_layout.Buffer().Text(); }
    void SetText(std::u16string_view text);
    // The same with the text at the start of room, taken over without a copy.
    void AdoptText(TavloTextRoom&& room, size_t length);
    // True when the display line is the last one of its logical line.
    bool IsLastLineOfLogical(int line) const { return m_layout.IsLastLineOfLogical(line); }

    void SetPainter(Painter painter) { m_painter = std::move(painter); }
    void SetColorProvider(ColorProvider provider) { m_colors = std::move(provider); }
    void SetBeforeHook(BeforeHook hook) { m_before = std::move(hook); }
    void SetAfterHook(AfterHook hook) { m_after = std::move(hook); }
    void SetRelayoutHook(RelayoutHook hook) { m_relayout = std::move(hook); }

    // Overwrites one zero-width character (a marker) in place and repaints.
    void SetCharInPlace(size_t pos, char16_t c);
    // Called whenever the top line changed, whatever moved it; byUser when the reader
    // scrolled (scroll bar, wheel, the control's own keys), not the program.
    using ScrollHook = std::function<void(int top, bool byUser)>;
    void SetScrollHook(ScrollHook hook) { m_scrolled = std::move(hook); }
    // Appends at the end; the view does not move.
    void AppendText(std::u16string_view text);
    // Room for about chars more characters at the end.
    void ReserveAppend(size_t chars) { m_layout.ReserveAppend(chars); }
    // Replaces the selection (works also when read-only: it is the owner's operation).
    void ReplaceSel(std::u16string_view text);
    void SetSel(size_t anchor, size_t caret);
    size_t GetAnchor() const { return m_anchor; }
    size_t GetCaret() const { return m_caret; }
    // Ordered bounds of the selection.
    void GetSel(size_t* start, size_t* end) const;
    bool HasSelection() const { return m_anchor != m_caret; }
    std::u16string GetSelText() const;
    // The selection to the clipboard without control characters (TAB, LF and CR stay).
    void Copy();
    static std::u16string StripControls(std::u16string_view text);
    void SetReadOnly(bool on) { m_readOnly = on; }
    bool IsReadOnly() const { return m_readOnly; }

    // Top line, clamped to the text (the last line may be the top line).
    void SetTopLine(int line);
    void LineScroll(int lines, int columns = 0);
    void ScrollCaret();
    // Viewport point <-> text position.
    size_t CharFromPoint(const QPoint& pos) const;
    QPoint PosFromChar(size_t pos) const;

    // Draws characters [from, to) of a run in color at their place (for painters).
    void DrawRunPart(QPainter& p, const TavloTextRun& run, int from, int to,
                     const QColor& color) const;
    int RunWidth(const char16_t* text, int count) const;
    QColor TextColor() const;
    QColor BackgroundColor() const;

    // Forgets every cached character width (the article font changed).
    static void ClearWidthCache() { CTavloCharWidths::Clear(); }

protected:
    bool event(QEvent* e) override;
    bool viewportEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    // After the whole text was replaced: back to its top, nothing selected.
    void textReplaced();
    template <typename Handle> bool hooked(QEvent* e, Handle&& handle);
    static int measure(char16_t c, void* context);
    int measureChar(char16_t c) const;
    void applyParams();
    void relayoutKeepingTop();
    void updateScrollBars();
    void paintLine(QPainter& p, int line);
    void moveCaret(size_t pos, bool extend);
    void editReplace(size_t pos, size_t len, std::u16string_view text);
    void topChanged();

    CTavloTextLayout m_layout;
    QFont m_font;
    std::unique_ptr<QFontMetrics> m_metrics;
    // The resolved face: glyphs are placed one by one at the cached advances.
    QRawFont m_raw;
    int m_lineHeight = 16;
    int m_ascent = 12;
    int m_averageWidth = 8;
    int m_lineSpacing = 0;
    int m_top = 0;
    int m_hOffset = 0; // in average character widths
    int m_width = -1;  // client width of the last layout
    bool m_wrap = true;
    bool m_readOnly = false;
    bool m_modified = false;
    size_t m_anchor = 0;
    size_t m_caret = 0;
    bool m_dragging = false;
    int m_wheelRemainder = 0;
    bool m_inHook = false;
    QPixmap m_surface; // the one-line drawing surface
    Painter m_painter;
    ColorProvider m_colors;
    BeforeHook m_before;
    AfterHook m_after;
    RelayoutHook m_relayout;
    ScrollHook m_scrolled;
    bool m_byUser = false; // within a handler of the reader's input
};
