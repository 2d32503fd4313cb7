#include "tavlo_list_view.h"

#include "tavlo_icons.h"
#include "tavlo_list_ctrl.h"
#include "tavlo_list_item.h"
#include "tavlo_list_model.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "vorn_log.h"
#include "vorn_regex.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QHeaderView>
#include <QPainter>
#include <QScrollBar>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// Pixels between a cell's edge and its text, and the icon cell at the start of column 0.
constexpr int kCellPad = 4;
constexpr int kIconLeft = 2;
constexpr int kLabelLeft = kIconLeft + kTavloIconSize + 2;

Qt::Alignment alignmentOf(int format) {
    switch (format) {
    case TAVLO_LVCFMT_RIGHT:
        return Qt::AlignRight;
    case TAVLO_LVCFMT_CENTER:
        return Qt::AlignHCenter;
    default:
        return Qt::AlignLeft;
    }
}

// The text cut from its end until it fits the width (no ellipsis mark).
QString cutToWidth(const QFontMetrics& fm, const QString& text, int width) {
    if (width <= 0)
        return QString();
    if (fm.horizontalAdvance(text) <= width)
        return text;
    // The longest prefix that fits, by bisection over the length.
    qsizetype lo = 0, hi = text.size();
    while (lo < hi) {
        qsizetype mid = (lo + hi + 1) / 2;
        if (fm.horizontalAdvance(text.left(mid)) <= width)
            lo = mid;
        else
            hi = mid - 1;
    }
    // Never end between the two halves of a surrogate pair.
    if (lo > 0 && text.at(lo - 1).isHighSurrogate())
        --lo;
    return text.left(lo);
}

} // namespace

CTavloListView::CTavloListView(QWidget* host, CTavloWindow* frame, int listSetting, int fontSlot)
    : m_listFrame(frame), m_host(host), m_listSetting(listSetting), m_fontSlot(fontSlot) {
    m_model = new CTavloListModel(this, host);
    m_ctrl = new CTavloListCtrl(this, host);
    m_ctrl->setObjectName("list");
    m_ctrl->setModel(m_model);
    auto* layout = new QVBoxLayout(host);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(m_ctrl);
    host->setFocusPolicy(Qt::StrongFocus);
    host->setFocusProxy(m_ctrl);
    ApplyFonts();
}

CTavloListView::~CTavloListView() {
    if (!m_ctrl || !m_model)
        return;
    StoreColumnWidths();
    // The control and the model go now: from here on the subclass cannot answer them.
    delete m_ctrl.data();
    delete m_model.data();
}

CTavloListCtrl* CTavloListView::GetListCtrl() const {
    return m_ctrl;
}

// ---- what the subclass may override ----------------------------------------------------------

CTavloListItem* CTavloListView::GetSelectedItem() {
    const int row = GetSelectedRow();
    return row < 0 ? nullptr : GetItem(row);
}

void CTavloListView::CopyInformation() {
    CTavloListItem* item = GetSelectedItem();
    if (!item)
        return;
    CVornRegex re;
    re.Compile("://([^/]+)/([^/]+)/([0-9]+)");
    CVornString host, board, key;
    if (re.Match(item->GetThreadUrl()) >= 0) {
        host = re.GetGroup(1);
        board = re.GetGroup(2);
        key = re.GetGroup(3);
    }
    CVornString text;
    text.Format("%s\r\nhttp://%s/test/read.cgi/%s/%s\r\n", item->GetTitle().c_str(), host.c_str(),
                board.c_str(), key.c_str());
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(TavloQString(text));
}

void CTavloListView::DrawItem(QPainter& painter, int row, const QRect& rect, bool selected) {
    CTavloListItem* item = GetItem(row);
    if (!item) {
        VLOG(2, "CTavloListView::DrawItem", "ListCtrl.GetItem returned FALSE");
        return;
    }
    QString label;
    if (!GetItemText(label, row, 0)) {
        VLOG(2, "CTavloListView::DrawItem", "GetItemText returned FALSE");
        return;
    }
    const CTavloSettings& s = CTavloSettings::Instance();
    QColor text = selected                   ? TavloColor(s.ColorActive)
                  : item->IsSearchHit() == 1 ? TavloColor(s.ColorSearch)
                                             : TavloColor(s.ColorFore);
    QColor back = item->HasLog()           ? TavloColor(s.ColorCache)
                  : item->IsUpdated() == 1 ? TavloColor(s.ColorNew)
                  : item->IsError() == 1   ? TavloColor(s.ColorError)
                                           : TavloColor(s.ColorBack);

    const QHeaderView* header = m_ctrl->header();
    const int columns = GetColumnCount();
    const int rowLeft = columns > 0 ? header->sectionViewportPosition(0) : 0;
    const int rowRight = rowLeft + header->length();
    QRect fill(rowLeft, rect.top(), rowRight - rowLeft, rect.height());
    if (m_fillToWidth && fill.right() < rect.right())
        fill.setRight(rect.right());
    painter.fillRect(fill, back);
    if (columns == 0)
        return;

    painter.save();
    painter.setFont(m_font);
    painter.setPen(text);

    // The icon cell and the marks, newest kinds first; tall rows stack them.
    const int mark = item->GetMark();
    QRect iconCell(rowLeft + kIconLeft, rect.top(), kTavloIconSize, rect.height());
    painter.fillRect(iconCell, (mark & CTavloListItem::MARK_SELECTED)
                                   ? m_host->palette().color(QPalette::Highlight)
                                   : back);
    const int stack = rect.height() > 31 ? kTavloIconSize : 0;
    int iconTop = rect.top() + std::max(0, std::min(2, rect.height() - kTavloIconSize));
    bool first = true;
    const std::pair<int, int> marks[] = {
        {CTavloListItem::MARK_NEW, TAVLO_MARK_ICON_NEW},
        {CTavloListItem::MARK_UPDATED, TAVLO_MARK_ICON_UPDATED},
        {CTavloListItem::MARK_BOOKMARKED, TAVLO_MARK_ICON_BOOKMARK},
        {CTavloListItem::MARK_CHECKING, TAVLO_MARK_ICON_CHECKING}};
    painter.save();
    painter.setClipRect(iconCell.intersected(rect));
    for (auto [bit, icon] : marks) {
        if (!(mark & bit))
            continue;
        if (!first)
            iconTop += stack;
        first = false;
        painter.drawPixmap(iconCell.left(), iconTop, TavloMarkIcon(icon));
    }
    painter.restore();

    // Column 0: the label beside the icon, cut to fit.
    {
        const int left = rowLeft + kLabelLeft;
        const int right = rowLeft + header->sectionSize(0) - m_firstColumnMargin;
        QRect cell(left, rect.top(), std::max(0, right - left), rect.height());
        QString line = label.section(QLatin1Char('\n'), 0, 0);
        QFontMetrics fm(m_font);
        drawCellText(painter, cell, cutToWidth(fm, line, cell.width() - kCellPad),
                     TAVLO_LVCFMT_LEFT);
    }
    for (int c = 1; c < columns; ++c) {
        QString value;
        if (!GetItemText(value, row, c))
            continue;
        const int x = header->sectionViewportPosition(c);
        QRect cell(x + kCellPad, rect.top(), std::max(0, header->sectionSize(c) - 2 * kCellPad),
                   rect.height());
        drawCellText(painter, cell, value, m_formats[static_cast<size_t>(c)]);
    }
    painter.restore();
}

void CTavloListView::drawCellText(QPainter& painter, const QRect& cell, const QString& text,
                                  int format) {
    if (cell.width() <= 0 || text.isEmpty())
        return;
    const int h = GetFontHeight();
    // Lines are one font height apart, as the row height assumes; the baseline sits where the
    // font's em box ends above it.
    QFontMetrics fm(m_font);
    const int ascent = std::min(fm.ascent(), static_cast<int>(std::lround(h * 0.88)));
    const int top = cell.top() + 2 + CTavloSettings::Instance().ListMargin / 2;
    painter.save();
    painter.setClipRect(cell);
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString& line = lines[i];
        const int w = fm.horizontalAdvance(line);
        int x = cell.left();
        if (format == TAVLO_LVCFMT_RIGHT)
            x = cell.right() + 1 - w;
        else if (format == TAVLO_LVCFMT_CENTER)
            x = cell.left() + (cell.width() - w) / 2;
        const int baseline = top + static_cast<int>(i) * h + ascent;
        if (baseline - ascent > cell.bottom())
            break;
        painter.drawText(QPoint(x, baseline), line);
    }
    painter.restore();
}

// ---- columns -------------------------------------------------------------------------------

void CTavloListView::InsertColumns(const std::vector<CTavloListColumn>& columns) {
    std::vector<CTavloListModel::Column> model;
    m_defaultWidths.clear();
    m_formats.clear();
    for (const CTavloListColumn& c : columns) {
        model.push_back({QString::fromUtf8(c.header), alignmentOf(c.format)});
        m_defaultWidths.push_back(c.width);
        m_formats.push_back(c.format);
    }
    m_model->SetColumns(std::move(model));
    const std::vector<int>& stored =
        CTavloSettings::Instance().ColumnWidth[static_cast<size_t>(m_listSetting)];
    for (size_t c = 0; c < columns.size(); ++c) {
        int w = c < stored.size() ? stored[c] : 0;
        if (w <= 0)
            w = columns[c].width;
        m_ctrl->header()->resizeSection(static_cast<int>(c), w);
    }
}

void CTavloListView::SetColumnHeader(int column, const char* utf8) {
    m_model->SetHeader(column, QString::fromUtf8(utf8));
}

QString CTavloListView::GetColumnHeader(int column) const {
    return m_model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
}

int CTavloListView::GetColumnCount() const {
    return m_model->columnCount();
}

int CTavloListView::GetColumnWidth(int column) const {
    if (column < 0 || column >= GetColumnCount())
        return 0;
    return m_ctrl->header()->sectionSize(column);
}

void CTavloListView::SetColumnWidth(int column, int width) {
    if (column < 0 || column >= GetColumnCount())
        return;
    m_ctrl->header()->resizeSection(column, std::max(0, width));
}

std::vector<int> CTavloListView::GetColumnWidths() const {
    std::vector<int> widths;
    for (int c = 0; c < GetColumnCount(); ++c)
        widths.push_back(GetColumnWidth(c));
    return widths;
}

void CTavloListView::FitColumns() {
    QFontMetrics fm(m_font);
    QFontMetrics headerFm(m_ctrl->header()->font());
    const int rows = GetItemCount();
    for (int c = 0; c < GetColumnCount(); ++c) {
        int width = headerFm.horizontalAdvance(GetColumnHeader(c)) + 4 * kCellPad;
        for (int r = 0; r < rows; ++r) {
            QString text;
            if (!GetItemText(text, r, c))
                continue;
            int w = 0;
            for (const QString& line : text.split(QLatin1Char('\n')))
                w = std::max(w, fm.horizontalAdvance(line));
            w += c == 0 ? kLabelLeft + kCellPad : 2 * kCellPad;
            width = std::max(width, w);
        }
        SetColumnWidth(c, width);
    }
    if (GetColumnCount() > 1 && CTavloSettings::Instance().ListSingleLine == 0)
        SetColumnWidth(1, GetColumnWidth(1) / 2);
    if (GetColumnCount() > 2)
        SetColumnWidth(2, GetColumnWidth(2) / 2);
}

void CTavloListView::StoreColumnWidths() {
    if (GetColumnCount() == 0)
        return;
    CTavloSettings::Instance().SetColumnWidth(m_listSetting, GetColumnWidths());
}

// ---- rows and selection --------------------------------------------------------------------

void CTavloListView::SetItemCount(int count) {
    const int selected = GetSelectedRow();
    m_model->SetRowCount(count);
    if (selected >= 0 && selected < m_model->GetRowCount())
        m_ctrl->selectionModel()->setCurrentIndex(m_model->index(selected, 0),
                                                  QItemSelectionModel::ClearAndSelect |
                                                      QItemSelectionModel::Rows);
}

int CTavloListView::GetItemCount() const {
    return m_model->GetRowCount();
}

void CTavloListView::RedrawItems() {
    m_model->RowsChanged();
    m_ctrl->viewport()->update();
}

void CTavloListView::RedrawItem(int row) {
    CTavloListCtrl* ctrl = m_ctrl;
    if (QThread::currentThread() == ctrl->thread()) {
        ctrl->RedrawRow(row);
        return;
    }
    // Dropped by Qt when the control is gone before the window thread gets to it.
    QMetaObject::invokeMethod(
        ctrl, [ctrl, row] { ctrl->RedrawRow(row); }, Qt::QueuedConnection);
}

int CTavloListView::GetSelectedRow() const {
    QItemSelectionModel* sel = m_ctrl->selectionModel();
    if (!sel)
        return -1;
    const QModelIndexList rows = sel->selectedRows();
    if (rows.isEmpty())
        return -1;
    const int row = rows.first().row();
    return row < GetItemCount() ? row : -1;
}

void CTavloListView::SelectRow(int row) {
    if (row < 0 || row >= GetItemCount() || GetColumnCount() == 0) {
        ClearSelection();
        return;
    }
    QModelIndex index = m_model->index(row, 0);
    m_ctrl->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect |
                                                         QItemSelectionModel::Rows);
    m_ctrl->scrollTo(index);
}

void CTavloListView::ClearSelection() {
    if (QItemSelectionModel* sel = m_ctrl->selectionModel())
        sel->clear();
}

void CTavloListView::ScrollToTop() {
    m_ctrl->scrollToTop();
}

// ---- sort state ----------------------------------------------------------------------------

void CTavloListView::StoreSort() {
    CTavloSettings& s = CTavloSettings::Instance();
    const auto v = static_cast<size_t>(m_listSetting);
    if (s.SortColumn[v] != m_sortColumn)
        s.SetSortColumn(m_listSetting, m_sortColumn);
    if (s.SortAsc[v] != m_sortAsc)
        s.SetSortAsc(m_listSetting, m_sortAsc);
    ShowSortIndicator();
}

int CTavloListView::SortIndicatorColumn() const {
    return m_sortColumn >= 0 && m_sortColumn < GetColumnCount() ? m_sortColumn : -1;
}

void CTavloListView::ShowSortIndicator() {
    QHeaderView* header = m_ctrl->header();
    const int column = SortIndicatorColumn();
    // Keys that belong to no column (marks, search hits) show no arrow.
    header->setSortIndicatorShown(column >= 0);
    if (column >= 0)
        header->setSortIndicator(column, m_sortAsc ? Qt::AscendingOrder : Qt::DescendingOrder);
}

// ---- font and row height -------------------------------------------------------------------

void CTavloListView::ApplyFonts() {
    const CTavloSettings& s = CTavloSettings::Instance();
    const auto f = static_cast<size_t>(m_fontSlot);
    m_font = TavloFont(s.FontName[f], s.FontSize[f], s.FontBold[f]);
    m_ctrl->setFont(m_font);
    m_ctrl->header()->setFont(m_font);
    QPalette palette = m_ctrl->viewport()->palette();
    palette.setColor(QPalette::Base, TavloColor(s.ColorBack));
    palette.setColor(QPalette::Window, TavloColor(s.ColorBack));
    m_ctrl->viewport()->setPalette(palette);
    m_ctrl->SetRowHeight(GetRowHeight());
    m_ctrl->viewport()->update();
}

int CTavloListView::GetFontHeight() const {
    const int pixels = m_font.pixelSize();
    return std::abs(pixels > 0 ? pixels : QFontInfo(m_font).pixelSize());
}

int CTavloListView::GetRowHeight() const {
    const CTavloSettings& s = CTavloSettings::Instance();
    const int h = GetFontHeight();
    return s.ListMargin + (s.ListSingleLine == 1 ? h : 2 * h) + 4;
}

// ---- keys and commands ---------------------------------------------------------------------

bool CTavloListView::ListKeyDown(int vk) {
    if (vk == 0)
        return false;
    CTavloWindow* frame = m_listFrame;
    if (TavloKeyIs(CTavloSettings::CMD_CANCEL, vk)) {
        if (frame)
            frame->SendMessage(TAVLO_WM_CANCEL, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_VIEWBACK, vk)) {
        if (frame)
            frame->SendMessage(TAVLO_WM_VIEWBACK, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_VIEWFORWARD, vk)) {
        if (frame)
            frame->SendMessage(TAVLO_WM_VIEWFORWARD, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_BOTTOM, vk)) {
        SelectRow(GetItemCount() - 1);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_TOP, vk)) {
        SelectRow(0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_FIND2CH, vk)) {
        if (frame)
            frame->SendMessage(TAVLO_WM_COMMAND, ID_FIND2CH, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_MENU, vk)) {
        if (frame)
            frame->SendMessage(TAVLO_WM_ACTIONMENU, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_PAGEUP, vk)) {
        m_ctrl->PageKey(false);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_PAGEDOWN, vk)) {
        m_ctrl->PageKey(true);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_CHANGEVIEW, vk)) {
        if (frame)
            frame->SendMessage(TAVLO_WM_VIEWMENU, 0, 0);
        return true;
    }
    return false;
}

bool CTavloListView::ListCommand(int id) {
    switch (id) {
    case ID_TOP:
        SelectRow(0);
        return true;
    case ID_BOTTOM:
        SelectRow(GetItemCount() - 1);
        return true;
    case ID_FIT_HEADER:
        FitColumns();
        return true;
    case ID_COPY_INFORMATION:
        CopyInformation();
        return true;
    default:
        return false;
    }
}

bool CTavloListView::ListUpdateCommand(int id, bool* enabled, bool* checked) {
    switch (id) {
    case ID_TOP:
    case ID_BOTTOM:
    case ID_FIT_HEADER:
        *enabled = true;
        *checked = false;
        return true;
    case ID_COPY_INFORMATION:
        *enabled = GetSelectedRow() >= 0;
        *checked = false;
        return true;
    default:
        return false;
    }
}
