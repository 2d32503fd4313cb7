#include "tavlo_list_select.h"

#include "tavlo_errors.h"
#include "tavlo_platform.h"

#include <algorithm>

bool TavloAskYes(QWidget* parent, const char* text) {
    return TavloMessageBox(parent, text, kTavloCaption, TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) ==
           TAVLO_IDYES;
}

void TavloShowAfterDelete(CTavloListView* view, int row, int count) {
    view->SetItemCount(count);
    view->RedrawItems();
    if (row >= 0)
        view->SelectRow(std::min(row, count - 1));
}
