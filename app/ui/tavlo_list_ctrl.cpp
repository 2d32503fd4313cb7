#include "tavlo_list_ctrl.h"

#include "tavlo_list_view.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

// Gives every row the list view's height; the header gives the widths.
class CTavloRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(1, height);
    }
    int height = 20;
};

CTavloListCtrl::CTavloListCtrl(CTavloListView* owner, QWidget* parent)
    : QTreeView(parent), m_owner(owner), m_delegate(new CTavloRowDelegate(this)) {
    setItemDelegate(m_delegate);
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setExpandsOnDoubleClick(false);
    setIndentation(0);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    setTextElideMode(Qt::ElideNone);
    setFrameShape(QFrame::NoFrame);
    setSortingEnabled(false);
    header()->setStretchLastSection(false);
    header()->setSectionsMovable(false);
    header()->setSectionResizeMode(QHeaderView::Interactive);
    header()->setMinimumSectionSize(0);
    viewport()->setAutoFillBackground(true);
}

void CTavloListCtrl::SetRowHeight(int height) {
    if (height < 1)
        height = 1;
    if (height == m_delegate->height)
        return;
    m_delegate->height = height;
    doItemsLayout();
}

int CTavloListCtrl::GetRowHeight() const {
    return m_delegate->height;
}

QRect CTavloListCtrl::RowRect(int row) const {
    if (!model() || row < 0 || row >= model()->rowCount())
        return QRect();
    QRect cell = visualRect(model()->index(row, 0));
    if (!cell.isValid())
        return QRect();
    return QRect(0, cell.top(), viewport()->width(), cell.height());
}

void CTavloListCtrl::RedrawRow(int row) {
    QRect r = RowRect(row);
    if (r.isValid())
        viewport()->update(r);
}

void CTavloListCtrl::PageKey(bool down) {
    QModelIndex next = moveCursor(down ? MovePageDown : MovePageUp, Qt::NoModifier);
    if (!next.isValid())
        return;
    selectionModel()->setCurrentIndex(next, QItemSelectionModel::ClearAndSelect |
                                                QItemSelectionModel::Rows);
    scrollTo(next);
}

void CTavloListCtrl::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const bool selected =
        selectionModel() && selectionModel()->isRowSelected(index.row(), QModelIndex());
    m_owner->DrawItem(*painter, index.row(),
                      QRect(0, option.rect.top(), viewport()->width(), option.rect.height()),
                      selected);
}

void CTavloListCtrl::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        m_owner->OpenSelectedItem();
        event->accept();
        return;
    }
    QTreeView::keyPressEvent(event);
}

void CTavloListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    QModelIndex at = indexAt(event->position().toPoint());
    QTreeView::mouseDoubleClickEvent(event);
    if (at.isValid() && event->button() == Qt::LeftButton)
        m_owner->OpenSelectedItem();
}
