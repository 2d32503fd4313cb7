#include "tavlo_bookmark_board_file.h"

#include "tavlo_board_file.h"

CTavloBookmarkBoardItem::CTavloBookmarkBoardItem(int index, const CVornString& name,
                                                 const CVornString& id, const CVornString& url)
    : CTavloListItem(index, CVornString(), CVornString(), name, id, url, false) {}

int CTavloBookmarkBoardFile::Load() {
    RemoveAll();
    CTavloBoardFileEtc etc;
    if (etc.Load() != 0)
        return 0;
    for (int row = 0; row < etc.GetRowCount(); ++row)
        Add(new CTavloBookmarkBoardItem(row + 1, etc.Get(row, CTavloBoardFile::COL_NAME),
                                        etc.Get(row, CTavloBoardFile::COL_ID),
                                        etc.Get(row, CTavloBoardFile::COL_URL)));
    return 1;
}

int CTavloBookmarkBoardFile::Save() {
    CTavloBoardFileEtc etc;
    for (const CTavloBookmarkBoardItem* item : *this)
        etc.AddRow({item->GetBoardName(), item->GetBoardUrl(), item->GetBoardId()});
    return etc.Save() == 0 ? 1 : 0;
}

void CTavloBookmarkBoardFile::Insert(int position, const CVornString& name, const CVornString& id,
                                     const CVornString& url) {
    if (position < 0)
        position = 0;
    if (position > GetCount())
        position = GetCount();
    for (CTavloBookmarkBoardItem* item : *this)
        if (item->GetIndex() >= position + 1)
            item->SetIndex(item->GetIndex() + 1);
    CVornAllocPtrArray<CTavloBookmarkBoardItem>::Insert(
        position, new CTavloBookmarkBoardItem(position + 1, name, id, url));
}

int CTavloBookmarkBoardFile::Remove(int position) {
    CTavloBookmarkBoardItem* gone = Get(position);
    if (!gone)
        return 0;
    int index = gone->GetIndex();
    for (CTavloBookmarkBoardItem* item : *this)
        if (item->GetIndex() > index)
            item->SetIndex(item->GetIndex() - 1);
    return CVornAllocPtrArray<CTavloBookmarkBoardItem>::Remove(position);
}
