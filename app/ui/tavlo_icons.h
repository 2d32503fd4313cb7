#pragma once

#include <QPixmap>

// The small pictures of the list views and the board tree, drawn in code at 16 by 16 pixels.

// The five mark icons of the list views, in image-list order: normal, checking, bookmarked,
// updated, new.
enum {
    TAVLO_MARK_ICON_NORMAL = 0,
    TAVLO_MARK_ICON_CHECKING = 1,
    TAVLO_MARK_ICON_BOOKMARK = 2,
    TAVLO_MARK_ICON_UPDATED = 3,
    TAVLO_MARK_ICON_NEW = 4,
    TAVLO_MARK_ICON_COUNT = 5,
};
constexpr int kTavloIconSize = 16;

// A mark icon (a null pixmap for an index out of range). Needs the GUI application.
const QPixmap& TavloMarkIcon(int index);
// The board tree's category folder, open or closed.
const QPixmap& TavloFolderIcon(bool open);
