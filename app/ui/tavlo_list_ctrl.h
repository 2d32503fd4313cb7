#pragma once

#include <QTreeView>

class CTavloListView;
class CTavloRowDelegate;

// The list control of a list view: a flat, report-style item view whose rows are drawn whole
// by the list view (DrawItem). Rows are all one height, set by the list view from its font.
// Enter and a double click open the selected entry.
class CTavloListCtrl : public QTreeView {
public:
    CTavloListCtrl(CTavloListView* owner, QWidget* parent = nullptr);

    void SetRowHeight(int height);
    int GetRowHeight() const;

    // The row's rectangle in the viewport, across every column (empty when not laid out).
    QRect RowRect(int row) const;
    // Repaints one row (window thread).
    void RedrawRow(int row);
    // A page-up or page-down key press, as the platform's keys do it.
    void PageKey(bool down);

protected:
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void drawBranches(QPainter*, const QRect&, const QModelIndex&) const override {}
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    CTavloListView* m_owner;
    CTavloRowDelegate* m_delegate;
};
