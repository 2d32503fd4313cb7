#pragma once

#include <QTreeWidget>

class CTavloBoardView;

// The tree control of the board view. Items are painted by the board view's rules: the
// category folders, ColorActive for the selected item and ColorFore for the others on
// ColorBack, and a board's id in a second column 24 blanks from its name. A click on an item's
// icon or label opens it.
class CTavloBoardTree : public QTreeWidget {
public:
    explicit CTavloBoardTree(CTavloBoardView* owner, QWidget* parent = nullptr);

    // The font of the items, the colours of the settings.
    void ApplySettings(const QFont& font);
    // A page-up or page-down key press, as the platform's keys do it.
    void PageKey(bool down);
    // The part of an item's row its icon and label take, in viewport coordinates.
    QRect LabelRect(const QTreeWidgetItem* item) const;
    // The item gets the folder icon (a category, or any item with children).
    static bool HasFolder(const QTreeWidgetItem* item);
    // Where the board ids start, from the start of the labels: the width of 24 blanks, or
    // more when a name is wider, so that ids never run into names (a blank is narrower in the
    // fonts here than in the one the width was chosen for). Measured again by UpdateIdColumn
    // after the labels or the font changed.
    int IdOffset() const { return m_idOffset; }
    void UpdateIdColumn();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    CTavloBoardView* m_owner;
    int m_idOffset = 0;
};
