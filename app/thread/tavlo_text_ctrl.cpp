#include "tavlo_text_ctrl.h"

#include <QClipboard>
#include <QGlyphRun>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QVarLengthArray>
#include <QWheelEvent>

#include <algorithm>

namespace {

inline bool isControl(char16_t c) {
    return c < 0x20 || c == 0x7F;
}
inline bool isSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

int wordClass(char16_t c) {
    if (c <= u' ' || c == 0x3000)
        return 0;
    if (c < 0x80)
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z') ||
                       c == u'_'
                   ? 1
                   : 2;
    if (c >= 0x3040 && c <= 0x309F)
        return 3; // hiragana
    if ((c >= 0x30A0 && c <= 0x30FF) || (c >= 0xFF66 && c <= 0xFF9F))
        return 4; // katakana
    return 5;
}

} // namespace

CTavloTextCtrl::CTavloTextCtrl(QWidget* parent, bool wrap) : QAbstractScrollArea(parent) {
    m_wrap = wrap;
    setFocusPolicy(Qt::StrongFocus);
    setFrameShape(QFrame::NoFrame);
    viewport()->setCursor(Qt::ArrowCursor);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setAttribute(Qt::WA_NoSystemBackground);
    setHorizontalScrollBarPolicy(wrap ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    verticalScrollBar()->setSingleStep(1);
    QFont f = font();
    SetTextFont(f);
}

CTavloTextCtrl::~CTavloTextCtrl() = default;

int CTavloTextCtrl::measure(char16_t c, void* context) {
    return static_cast<const CTavloTextCtrl*>(context)->measureChar(c);
}

// The advance the glyph is drawn with: the face's own, rounded to a pixel. A surrogate (one
// half of a pair, or an undecodable byte of the log) takes the replacement character's.
int CTavloTextCtrl::measureChar(char16_t c) const {
    if (isControl(c))
        return 0;
    QChar ch(isSurrogate(c) ? char16_t(0xFFFD) : c);
    if (m_raw.isValid()) {
        quint32 glyph = 0;
        int n = 1;
        if (m_raw.glyphIndexesForChars(&ch, 1, &glyph, &n) && n == 1 && glyph) {
            QList<QPointF> adv = m_raw.advancesForGlyphIndexes(QList<quint32>{glyph});
            if (!adv.isEmpty())
                return qRound(adv.first().x());
        }
    }
    return m_metrics->horizontalAdvance(ch);
}

int CTavloTextCtrl::GetPageLines() const {
    return std::max(1, viewport()->height() / std::max(1, m_lineHeight));
}

std::u16string CTavloTextCtrl::GetLineText(int line) const {
    if (line < 0 || line >= m_layout.LineCount())
        return {};
    return m_layout.Substr(m_layout.LineStart(line), m_layout.LineLength(line));
}

void CTavloTextCtrl::SetTextFont(const QFont& font) {
    m_font = font;
    // Glyphs are placed by the cached advances, so no kerning or shaping may move them.
    m_font.setKerning(false);
    m_font.setStyleStrategy(QFont::PreferNoShaping);
    Recalc();
}

void CTavloTextCtrl::applyParams() {
    TavloLayoutParams p;
    p.clientWidth = viewport()->width();
    p.marginLeft = kMargin;
    p.marginRight = kMargin;
    p.averageWidth = std::max(1, m_averageWidth);
    p.tabWidth = 8 * p.averageWidth;
    p.wrap = m_wrap;
    p.lineLimit = kLineLimit;
    m_layout.SetParams(p);
    m_width = p.clientWidth;
}

void CTavloTextCtrl::Recalc() {
    m_metrics = std::make_unique<QFontMetrics>(m_font);
    m_lineHeight = std::max(1, m_metrics->height() + m_lineSpacing);
    m_ascent = m_metrics->ascent();
    m_averageWidth = std::max(1, m_metrics->averageCharWidth());
    m_raw = QRawFont::fromFont(m_font);
    // The width cache is one for the process: widths of another font must not stay in it.
    static QString cachedFont;
    if (m_font.key() != cachedFont) {
        CTavloCharWidths::Clear();
        cachedFont = m_font.key();
    }
    m_layout.SetMeasure(&CTavloTextCtrl::measure, this);
    relayoutKeepingTop();
}

void CTavloTextCtrl::relayoutKeepingTop() {
    size_t topChar = m_top < m_layout.LineCount() ? m_layout.LineStart(m_top) : 0;
    applyParams();
    m_layout.Relayout();
    m_top = m_layout.LineFromChar(topChar);
    updateScrollBars();
    viewport()->update();
}

void CTavloTextCtrl::SetWrap(bool on) {
    m_wrap = on;
    setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    if (on)
        m_hOffset = 0;
    Recalc();
}

void CTavloTextCtrl::SetText(std::u16string_view text) {
    // Emptying what is empty and at its start changes nothing on screen: no repaint (a
    // thread fetched afresh is emptied more than once before its first lines come).
    if (text.empty() && m_layout.Length() == 0 && m_top == 0 && m_hOffset == 0 && m_caret == 0 &&
        m_anchor == 0) {
        m_modified = false;
        return;
    }
    m_layout.SetText(text);
    textReplaced();
}

void CTavloTextCtrl::AdoptText(TavloTextRoom&& room, size_t length) {
    m_layout.AdoptText(std::move(room), length);
    textReplaced();
}

void CTavloTextCtrl::textReplaced() {
    m_top = 0;
    m_hOffset = 0;
    m_anchor = m_caret = 0;
    m_modified = false;
    updateScrollBars();
    viewport()->update();
}

void CTavloTextCtrl::AppendText(std::u16string_view text) {
    if (text.empty())
        return;
    int oldCount = m_layout.LineCount();
    m_layout.Append(text);
    updateScrollBars();
    // Only lines from the old last one on changed; repaint only when they can be seen.
    if (oldCount - 1 < m_top + GetPageLines() + 1)
        viewport()->update();
}

void CTavloTextCtrl::SetCharInPlace(size_t pos, char16_t c) {
    m_layout.SetCharInPlace(pos, c);
    viewport()->update();
}

void CTavloTextCtrl::topChanged() {
    if (m_scrolled)
        m_scrolled(m_top, m_byUser);
}

void CTavloTextCtrl::editReplace(size_t pos, size_t len, std::u16string_view text) {
    m_layout.Replace(pos, len, text);
    m_anchor = m_caret = pos + text.size();
    m_modified = true;
    m_top = std::min(m_top, m_layout.LineCount() - 1);
    updateScrollBars();
    viewport()->update();
}

void CTavloTextCtrl::ReplaceSel(std::u16string_view text) {
    size_t a = 0, b = 0;
    GetSel(&a, &b);
    editReplace(a, b - a, text);
}

void CTavloTextCtrl::SetSel(size_t anchor, size_t caret) {
    size_t n = m_layout.Length();
    m_anchor = std::min(anchor, n);
    m_caret = std::min(caret, n);
    viewport()->update();
}

void CTavloTextCtrl::GetSel(size_t* start, size_t* end) const {
    *start = std::min(m_anchor, m_caret);
    *end = std::max(m_anchor, m_caret);
}

std::u16string CTavloTextCtrl::GetSelText() const {
    size_t a = 0, b = 0;
    GetSel(&a, &b);
    return m_layout.Substr(a, b - a);
}

std::u16string CTavloTextCtrl::StripControls(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text)
        if (c >= 0x20 || c == u'\t' || c == u'\n' || c == u'\r')
            out += c;
    return out;
}

void CTavloTextCtrl::Copy() {
    if (!HasSelection())
        return;
    std::u16string text = StripControls(GetSelText());
    if (QClipboard* cb = QGuiApplication::clipboard())
        cb->setText(QString(reinterpret_cast<const QChar*>(text.data()),
                            static_cast<qsizetype>(text.size())));
}

void CTavloTextCtrl::updateScrollBars() {
    QScrollBar* v = verticalScrollBar();
    v->blockSignals(true);
    v->setRange(0, std::max(0, m_layout.LineCount() - 1));
    v->setPageStep(GetPageLines());
    v->setValue(m_top);
    v->blockSignals(false);
    QScrollBar* h = horizontalScrollBar();
    h->blockSignals(true);
    if (m_wrap) {
        h->setRange(0, 0);
        m_hOffset = 0;
    } else {
        int extra = m_layout.MaxLineWidth() - viewport()->width();
        int columns = extra > 0 ? (extra + m_averageWidth - 1) / m_averageWidth : 0;
        h->setRange(0, columns);
        h->setPageStep(std::max(1, viewport()->width() / m_averageWidth));
        m_hOffset = std::clamp(m_hOffset, 0, columns);
        h->setValue(m_hOffset);
    }
    h->blockSignals(false);
}

void CTavloTextCtrl::SetTopLine(int line) {
    int top = std::clamp(line, 0, std::max(0, m_layout.LineCount() - 1));
    if (top == m_top)
        return;
    m_top = top;
    QScrollBar* v = verticalScrollBar();
    v->blockSignals(true);
    v->setValue(m_top);
    v->blockSignals(false);
    viewport()->update();
    topChanged();
}

void CTavloTextCtrl::LineScroll(int lines, int columns) {
    SetTopLine(m_top + lines);
    if (columns && !m_wrap) {
        m_hOffset = std::clamp(m_hOffset + columns, 0, horizontalScrollBar()->maximum());
        horizontalScrollBar()->setValue(m_hOffset);
        viewport()->update();
    }
}

void CTavloTextCtrl::scrollContentsBy(int, int) {
    int top = std::clamp(verticalScrollBar()->value(), 0, std::max(0, m_layout.LineCount() - 1));
    bool moved = top != m_top;
    m_top = top;
    m_hOffset = m_wrap ? 0 : horizontalScrollBar()->value();
    viewport()->update();
    if (moved) {
        // Only the scroll bar's own signal gets here; the program's moves block it.
        bool was = m_byUser;
        m_byUser = true;
        topChanged();
        m_byUser = was;
    }
}

void CTavloTextCtrl::ScrollCaret() {
    int line = m_layout.LineFromChar(m_caret);
    int page = GetPageLines();
    if (line < m_top)
        SetTopLine(line);
    else if (line >= m_top + page)
        SetTopLine(line - page + 1);
}

size_t CTavloTextCtrl::CharFromPoint(const QPoint& pos) const {
    int row = pos.y() < 0 ? -1 - (-pos.y() - 1) / m_lineHeight : pos.y() / m_lineHeight;
    int line = std::clamp(m_top + row, 0, std::max(0, m_layout.LineCount() - 1));
    return m_layout.CharFromX(line, pos.x() + m_hOffset * m_averageWidth);
}

QPoint CTavloTextCtrl::PosFromChar(size_t pos) const {
    int line = m_layout.LineFromChar(pos);
    return QPoint(m_layout.XOfChar(line, pos) - m_hOffset * m_averageWidth,
                  (line - m_top) * m_lineHeight);
}

QColor CTavloTextCtrl::TextColor() const {
    QColor c;
    if (m_colors && m_colors(0, &c))
        return c;
    return palette().color(QPalette::Text);
}

QColor CTavloTextCtrl::BackgroundColor() const {
    QColor c;
    if (m_colors && m_colors(1, &c))
        return c;
    return palette().color(QPalette::Base);
}

int CTavloTextCtrl::RunWidth(const char16_t* text, int count) const {
    int w = 0;
    for (int i = 0; i < count; ++i)
        w += m_layout.CharWidth(text[i]);
    return w;
}

void CTavloTextCtrl::DrawRunPart(QPainter& p, const TavloTextRun& run, int from, int to,
                                 const QColor& color) const {
    from = std::clamp(from, 0, run.count);
    to = std::clamp(to, from, run.count);
    if (from == to)
        return;
    p.setPen(color);
    const int n = to - from;
    const char16_t* t = run.text + from;
    // Glyphs go exactly where the layout put them, so links, selection and caret line up.
    QVarLengthArray<QChar, 256> chars(n);
    for (int i = 0; i < n; ++i)
        chars[i] = QChar(isSurrogate(t[i]) ? char16_t(0xFFFD) : t[i]);
    QVarLengthArray<quint32, 256> glyphs(n);
    int count = n;
    bool haveGlyphs = m_raw.isValid() &&
                      m_raw.glyphIndexesForChars(chars.data(), n, glyphs.data(), &count) &&
                      count == n;
    QList<quint32> indexes;
    QList<QPointF> positions;
    indexes.reserve(n);
    positions.reserve(n);
    int x = run.x + RunWidth(run.text, from);
    for (int i = 0; i < n; ++i) {
        char16_t c = t[i];
        int w = m_layout.CharWidth(c);
        if (!isControl(c)) {
            bool pair =
                c >= 0xD800 && c <= 0xDBFF && i + 1 < n && t[i + 1] >= 0xDC00 && t[i + 1] <= 0xDFFF;
            if (pair) {
                // Outside the plane the face covers: the painter's own fallback draws it.
                p.drawText(QPoint(x, run.baseline), QString(QChar(c)) + QChar(t[i + 1]));
                x += w + m_layout.CharWidth(t[i + 1]);
                ++i;
                continue;
            }
            if (haveGlyphs && glyphs[i]) {
                indexes.append(glyphs[i]);
                positions.append(QPointF(x, run.baseline));
            } else {
                p.drawText(QPoint(x, run.baseline), QString(chars[i]));
            }
        }
        x += w;
    }
    if (!indexes.isEmpty()) {
        QGlyphRun glyphRun;
        glyphRun.setRawFont(m_raw);
        glyphRun.setGlyphIndexes(indexes);
        glyphRun.setPositions(positions);
        p.drawGlyphRun(QPointF(0, 0), glyphRun);
    }
}

// Runs of a line: cut at tabs, the selection bounds, every 256th character and the gap.
void CTavloTextCtrl::paintLine(QPainter& p, int line) {
    const size_t a = m_layout.LineStart(line);
    const size_t e = a + m_layout.LineLength(line);
    const int width = viewport()->width();
    size_t selA = 0, selB = 0;
    GetSel(&selA, &selB);
    const size_t gap = m_layout.Buffer().GapPosition();
    const QColor highlight = palette().color(QPalette::Highlight);
    const QColor highlightText = palette().color(QPalette::HighlightedText);
    const QColor text = TextColor();
    int x = kMargin - m_hOffset * m_averageWidth;
    size_t s = a;
    while (s < e && x < width) {
        bool selected = s >= selA && s < selB;
        if (m_layout.At(s) == u'\t') {
            int w = m_layout.TabAdvance(x + m_hOffset * m_averageWidth);
            if (selected)
                p.fillRect(QRect(x, 0, w, m_lineHeight), highlight);
            x += w;
            ++s;
            continue;
        }
        size_t t = std::min(e, s + kRunLength - (s - a) % kRunLength);
        if (gap > s && gap < t)
            t = gap;
        if (selA > s && selA < t)
            t = selA;
        if (selB > s && selB < t)
            t = selB;
        const char16_t* ptr = m_layout.Buffer().Data(s);
        for (size_t k = s; k < t; ++k) {
            if (ptr[k - s] == u'\t') {
                t = k;
                break;
            }
        }
        int count = static_cast<int>(t - s);
        int w = RunWidth(ptr, count);
        if (x + w > 0) {
            TavloTextRun run;
            run.text = ptr;
            run.count = count;
            run.offset = s;
            run.line = line;
            run.x = x;
            run.baseline = m_ascent;
            run.clip = QRect(x, 0, w, m_lineHeight);
            run.selected = selected;
            // Not clipped: a glyph may reach a little past its advance.
            p.save();
            bool drawn = !selected && m_painter && m_painter(p, run);
            if (!drawn) {
                if (selected)
                    p.fillRect(run.clip, highlight);
                DrawRunPart(p, run, 0, count, selected ? highlightText : text);
            }
            p.restore();
        }
        x += w;
        s = t;
    }
    // A selected line break shows as a little block, as edit controls do.
    if (selB > e && selA <= e && e < m_layout.LineStart(line + 1) && x < width)
        p.fillRect(QRect(x, 0, m_averageWidth / 2 + 1, m_lineHeight), highlight);
}

void CTavloTextCtrl::paintEvent(QPaintEvent*) {
    QPainter wp(viewport());
    const int width = viewport()->width();
    const int height = viewport()->height();
    const QColor background = BackgroundColor();
    const qreal dpr = devicePixelRatioF();
    if (m_surface.width() != qRound(width * dpr) ||
        m_surface.height() != qRound(m_lineHeight * dpr)) {
        m_surface =
            QPixmap(std::max(1, qRound(width * dpr)), std::max(1, qRound(m_lineHeight * dpr)));
        m_surface.setDevicePixelRatio(dpr);
    }
    int y = 0;
    for (int line = m_top; line < m_layout.LineCount() && y < height; ++line, y += m_lineHeight) {
        m_surface.fill(background);
        {
            QPainter sp(&m_surface);
            sp.setFont(m_font);
            paintLine(sp, line);
        }
        wp.drawPixmap(0, y, m_surface);
    }
    if (y < height)
        wp.fillRect(QRect(0, y, width, height - y), background);
    if (hasFocus()) {
        QPoint c = PosFromChar(m_caret);
        if (c.y() >= 0 && c.y() < height)
            wp.fillRect(QRect(c.x(), c.y(), 1, m_lineHeight), TextColor());
    }
}

void CTavloTextCtrl::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    if (m_wrap && viewport()->width() != m_width) {
        if (m_relayout)
            m_relayout(false);
        relayoutKeepingTop();
        if (m_relayout)
            m_relayout(true);
    } else {
        applyParams();
        updateScrollBars();
    }
}

template <typename Handle> bool CTavloTextCtrl::hooked(QEvent* e, Handle&& handle) {
    if (m_inHook)
        return handle();
    if (m_before) {
        m_inHook = true;
        bool pass = m_before(e);
        m_inHook = false;
        if (pass)
            return e->isAccepted();
    }
    bool r = handle();
    if (m_after) {
        m_inHook = true;
        m_after(e);
        m_inHook = false;
    }
    return r;
}

bool CTavloTextCtrl::event(QEvent* e) {
    return hooked(e, [&] { return QAbstractScrollArea::event(e); });
}

bool CTavloTextCtrl::viewportEvent(QEvent* e) {
    return hooked(e, [&] { return QAbstractScrollArea::viewportEvent(e); });
}

void CTavloTextCtrl::moveCaret(size_t pos, bool extend) {
    m_caret = std::min(pos, m_layout.Length());
    if (!extend)
        m_anchor = m_caret;
    ScrollCaret();
    viewport()->update();
}

void CTavloTextCtrl::keyPressEvent(QKeyEvent* e) {
    const bool shift = e->modifiers() & Qt::ShiftModifier;
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    const int line = m_layout.LineFromChar(m_caret);
    const int count = m_layout.LineCount();
    const int page = GetPageLines();
    auto lineMove = [&](int target) {
        target = std::clamp(target, 0, count - 1);
        int x = m_layout.XOfChar(line, m_caret);
        moveCaret(m_layout.CharFromX(target, x), shift);
    };
    if (e->matches(QKeySequence::Copy) || (ctrl && e->key() == Qt::Key_Insert)) {
        Copy();
        return;
    }
    if (e->matches(QKeySequence::SelectAll)) {
        m_anchor = 0;
        m_caret = m_layout.Length();
        viewport()->update();
        return;
    }
    switch (e->key()) {
    case Qt::Key_Left:
        moveCaret(m_caret > 0 ? m_caret - 1 : 0, shift);
        return;
    case Qt::Key_Right:
        moveCaret(m_caret + 1, shift);
        return;
    case Qt::Key_Up:
        lineMove(line - 1);
        return;
    case Qt::Key_Down:
        lineMove(line + 1);
        return;
    case Qt::Key_PageUp:
        SetTopLine(m_top - page);
        lineMove(line - page);
        return;
    case Qt::Key_PageDown:
        SetTopLine(m_top + page);
        lineMove(line + page);
        return;
    case Qt::Key_Home:
        moveCaret(ctrl ? 0 : m_layout.LineStart(line), shift);
        return;
    case Qt::Key_End:
        moveCaret(ctrl ? m_layout.Length() : m_layout.LineStart(line) + m_layout.LineLength(line),
                  shift);
        return;
    default:
        break;
    }
    if (m_readOnly) {
        e->ignore();
        return;
    }
    size_t a = 0, b = 0;
    GetSel(&a, &b);
    if (e->key() == Qt::Key_Backspace) {
        if (a == b && a > 0)
            --a;
        editReplace(a, b - a, {});
    } else if (e->key() == Qt::Key_Delete) {
        if (a == b && b < m_layout.Length())
            ++b;
        editReplace(a, b - a, {});
    } else if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        editReplace(a, b - a, u"\n");
    } else if (!e->text().isEmpty() && !ctrl && e->text().at(0) >= QChar(0x20)) {
        QString t = e->text();
        editReplace(a, b - a,
                    std::u16string_view(reinterpret_cast<const char16_t*>(t.utf16()),
                                        static_cast<size_t>(t.size())));
    } else {
        e->ignore();
        return;
    }
    ScrollCaret();
}

void CTavloTextCtrl::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    setFocus(Qt::MouseFocusReason);
    size_t pos = CharFromPoint(e->position().toPoint());
    m_caret = pos;
    if (!(e->modifiers() & Qt::ShiftModifier))
        m_anchor = pos;
    m_dragging = true;
    viewport()->update();
}

void CTavloTextCtrl::mouseMoveEvent(QMouseEvent* e) {
    if (!m_dragging)
        return;
    QPoint pt = e->position().toPoint();
    if (pt.y() < 0)
        LineScroll(-1);
    else if (pt.y() >= viewport()->height())
        LineScroll(1);
    m_caret = CharFromPoint(pt);
    viewport()->update();
}

void CTavloTextCtrl::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton)
        m_dragging = false;
}

void CTavloTextCtrl::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton)
        return;
    size_t pos = CharFromPoint(e->position().toPoint());
    int line = m_layout.LineFromChar(pos);
    size_t a = m_layout.LineStart(line);
    size_t b = a + m_layout.LineLength(line);
    if (pos >= b) {
        if (pos == a)
            return;
        --pos;
    }
    int cls = wordClass(m_layout.At(pos));
    size_t s = pos, t = pos + 1;
    while (s > a && wordClass(m_layout.At(s - 1)) == cls)
        --s;
    while (t < b && wordClass(m_layout.At(t)) == cls)
        ++t;
    m_anchor = s;
    m_caret = t;
    m_dragging = false;
    viewport()->update();
}

void CTavloTextCtrl::wheelEvent(QWheelEvent* e) {
    m_wheelRemainder += e->angleDelta().y();
    int notches = m_wheelRemainder / 120;
    m_wheelRemainder -= notches * 120;
    if (notches) {
        bool was = m_byUser;
        m_byUser = true;
        LineScroll(-3 * notches);
        m_byUser = was;
    }
    e->accept();
}

void CTavloTextCtrl::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void CTavloTextCtrl::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}
