#pragma once

#include "tavlo_list_item.h"
#include "vorn_string.h"

#include <atomic>

// One thread of a board's thread list.
class CTavloSubjectItem : public CTavloListItem {
public:
    // Cleans title and board name like every list entry; count is the text of the line.
    CTavloSubjectItem(int index, const CVornString& title, const CVornString& key,
                      const CVornString& boardName, const CVornString& boardId,
                      const CVornString& boardUrl, const CVornString& count);

    // Asks the file system on every call: logs come and go while the list is shown.
    int HasLog() const override;
    // The count text as a number.
    int GetCount() const override { return m_countValue; }
    // 0x01, plus 0x04 when bookmarked, 0x08 when updated, 0x20 when new.
    int GetMark() const override;

    const CVornString& GetCountText() const { return m_count; }
    int GetNewCount() const { return m_newCount; }
    void SetNewCount(int count) { m_newCount = count; }

private:
    CVornString m_count;
    int m_countValue;
    std::atomic<int> m_newCount{0};
};
