#include "tavlo_subject_item.h"

#include "tavlo_bookmark_file.h"
#include "tavlo_path.h"

CTavloSubjectItem::CTavloSubjectItem(int index, const CVornString& title, const CVornString& key,
                                     const CVornString& boardName, const CVornString& boardId,
                                     const CVornString& boardUrl, const CVornString& count)
    : CTavloListItem(index, title, key, boardName, boardId, boardUrl), m_count(count),
      m_countValue(count.Atoi()) {}

int CTavloSubjectItem::HasLog() const {
    const CVornString& path = GetLogPath();
    return !path.IsEmpty() && CTavloPath::GetFileStatus(path) ? 1 : 0;
}

int CTavloSubjectItem::GetMark() const {
    int mark = MARK_NORMAL;
    if (CTavloBookmarkFile::Instance().FindThreadUrl(GetThreadUrl()) >= 0)
        mark |= MARK_BOOKMARKED;
    if (IsUpdated())
        mark |= MARK_UPDATED;
    if (IsNew())
        mark |= MARK_NEW;
    return mark;
}
