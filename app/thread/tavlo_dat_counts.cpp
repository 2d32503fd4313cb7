#include "tavlo_dat_ctrl.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"

#include <QPainter>

// The counts go after the last character of a header or date line, so that nothing of the
// post's own text moves and clicks and selection keep their places.
void CTavloDatCtrl::paintCounts(QPainter& p, const TavloTextRun& run, char16_t first, size_t ls) {
    const CTavloSettings& s = CTavloSettings::Instance();
    const bool header = TavloIsHeaderMark(first);
    if (header ? !s.PopupRefer : !s.PopupIdCount)
        return;
    const CTavloTextLayout& layout = m_text->Layout();
    const size_t lineEnd = layout.LineStart(run.line) + layout.LineLength(run.line);
    if (run.offset + static_cast<size_t>(run.count) != lineEnd ||
        !m_text->IsLastLineOfLogical(run.line))
        return;
    size_t headerStart = ls;
    if (!header) {
        int line = m_index.GetLine(m_index.PostOfLine(run.line));
        if (line < 0)
            return;
        headerStart = layout.LineStart(line);
    }
    const int number = TavloHeaderNumber(layout.Substr(headerStart, 16));
    if (!number)
        return;
    const CTavloAnchorIndex& index = m_anchorSource->GetAnchors();
    std::u16string text;
    int color = s.ColorLink;
    if (header) {
        int count = index.ReferredCount(number);
        if (count == 0)
            return;
        text = TavloReferCountText(count);
    } else {
        int total = index.IdTotal(number);
        if (total == 0)
            return;
        text = TavloIdCountText(index.IdOrdinal(number), total);
        if (total < 2)
            color = first == TAVLO_MARK_DATE_NEW ? s.ColorDateNew : s.ColorDate;
    }
    p.setFont(m_text->GetTextFont());
    p.setPen(TavloColor(color));
    p.drawText(run.x + m_text->RunWidth(run.text, run.count), run.baseline,
               QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size())));
}
