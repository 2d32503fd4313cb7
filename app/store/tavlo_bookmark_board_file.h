#pragma once

#include "tavlo_list_item.h"
#include "vorn_array.h"
#include "vorn_string.h"

#include <atomic>

// A board of the extra-board list: name, id and URL; no title or key.
class CTavloBookmarkBoardItem : public CTavloListItem {
public:
    CTavloBookmarkBoardItem(int index, const CVornString& name, const CVornString& id,
                            const CVornString& url);
    // 0x11 when selected, else 0x01.
    int GetMark() const override { return m_selected ? 0x11 : 0x01; }
    void SetSelected(int on) { m_selected = on; }
    int IsSelected() const { return m_selected; }

private:
    std::atomic<int> m_selected{0};
};

// The boards the user added by hand, backed by etc.txt.
class CTavloBookmarkBoardFile : public CVornAllocPtrArray<CTavloBookmarkBoardItem> {
public:
    CTavloBookmarkBoardFile() : CVornAllocPtrArray<CTavloBookmarkBoardItem>(64) {}
    using CVornAllocPtrArray<CTavloBookmarkBoardItem>::Insert;

    // Replaces the items with the rows of etc.txt (index = row + 1); 1, or 0 when it cannot
    // be read.
    virtual int Load();
    // Writes the items, in list order, over etc.txt; 1 or 0.
    virtual int Save();
    // A new item with index position + 1 at position; items from that index on move up.
    virtual void Insert(int position, const CVornString& name, const CVornString& id,
                        const CVornString& url);
    // Deletes the item at position; larger indexes move down by one.
    int Remove(int position) override;
};
