#pragma once

#include "tavlo_list_view.h"

#include <vector>

// The multi-selection and delete steps the stored lists share (bookmarks, extra boards, cached
// threads, cached images). A List has GetCount(), Get(row) (nullptr out of range) and iterates
// over items with IsSelected()/SetSelected().

// A yes/no question in the views' caption; true for yes.
bool TavloAskYes(QWidget* parent, const char* text);

// Asks, then gives the rows the delete command removes, highest first: with multi-selection
// every selected one ("選択アイテムを全て削除しますか？"), else row ("削除しますか？"). Empty when
// there is nothing to delete or the answer was no.
template <class List>
std::vector<int> TavloAskRowsToDelete(QWidget* parent, const List& list, int row, bool multi) {
    std::vector<int> rows;
    if (multi) {
        if (!TavloAskYes(parent, "選択アイテムを全て削除しますか？"))
            return rows;
        for (int i = list.GetCount() - 1; i >= 0; --i)
            if (list.Get(i)->IsSelected())
                rows.push_back(i);
    } else if (row >= 0 && list.Get(row) && TavloAskYes(parent, "削除しますか？")) {
        rows.push_back(row);
    }
    return rows;
}

// After a delete: the new row count, every row repainted, the selection at row or, when the
// list got shorter than that, at its last row.
void TavloShowAfterDelete(CTavloListView* view, int row, int count);

// Leaving multi-selection: no item stays selected.
template <class List> void TavloUnselectAll(CTavloListView* view, List& list) {
    for (auto* item : list)
        item->SetSelected(0);
    view->RedrawItems();
}
