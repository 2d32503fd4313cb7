#pragma once

#include "tavlo_info_file.h"
#include "tavlo_list_item.h"
#include "vorn_array.h"
#include "vorn_string.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string_view>

// A bookmarked thread. Its post count and updated state come from the thread's info file.
// Titles and board names are kept as given: they were cleaned when first shown, and cleaning
// them again would decode a stored "&lt;" or drop a stored "<...>".
class CTavloBookmarkItem : public CTavloListItem {
public:
    // Reads the info record and refreshes itself.
    CTavloBookmarkItem(const CVornString& boardId, const CVornString& boardName, int index,
                       const CVornString& title, const CVornString& key,
                       const CVornString& boardUrl);

    int GetCount() const override { return m_count; }
    int IsUpdated() const override { return m_updated; }
    // 0x01, plus 0x10 when selected, 0x08 when updated, 0x02 while being checked.
    int GetMark() const override;

    // Re-reads the info record when its file changed since the last read.
    virtual void Refresh();
    int GetNewCount() const { return m_newCount; }
    void SetChecking(int on) { m_checking = on; }
    int IsChecking() const { return m_checking; }
    void SetSelected(int on) { m_selected = on; }
    int IsSelected() const { return m_selected; }
    // A copy of the record as last read.
    CTavloInfoFile GetInfo() const;

private:
    std::atomic<int> m_count{0};
    int64_t m_infoTime = 0; // last-write time of the info file when read, in nanoseconds
    std::atomic<int> m_newCount{0};
    CTavloInfoFile m_info;
    std::atomic<int> m_checking{0};
    std::atomic<int> m_selected{0};
    mutable std::mutex m_lock; // Refresh may run on a checking worker and the window thread
};

// The bookmark list, bookmark2.txt in the root, in navi2ch's form. One instance serves the
// program; every change is saved by the caller.
class CTavloBookmarkFile : public CVornAllocPtrArray<CTavloBookmarkItem> {
public:
    // Sort keys of the bookmark view.
    enum {
        SORT_INDEX,
        SORT_COUNT,
        SORT_TITLE,
        SORT_SPEED,
        SORT_BOARD,
        SORT_KEY,
        SORT_UPDATED,
        SORT_SEARCH,
    };

    CTavloBookmarkFile();
    using CVornAllocPtrArray<CTavloBookmarkItem>::Add;
    using CVornAllocPtrArray<CTavloBookmarkItem>::Sort;

    static CTavloBookmarkFile& Instance();
    static void Destroy();
    // root + "/bookmark2.txt".
    static CVornString GetDefaultPath();

    // Replaces the entries with the file's, numbered 1, 2, ... in file order. False when the
    // file cannot be read; a file that exists but cannot be read is then never overwritten.
    virtual bool Load(const CVornString& path);
    // Writes the entries in index order; 1, or 0 when nothing could be written (old file
    // kept).
    virtual int Save();
    // A new first entry with index 1 (the others move up by one); false when the thread is
    // bookmarked already.
    virtual bool Add(const CVornString& boardUrl, const CVornString& title, const CVornString& key,
                     const CVornString& boardName, const CVornString& boardId);
    // Deletes the entry at position; larger indexes move down by one.
    int Remove(int position) override;
    int FindThreadUrl(const CVornString& threadUrl) const;
    CTavloBookmarkItem* FindLogPath(const CVornString& logPath) const;
    // Refreshes the entry of a log path; the entry, or null.
    CTavloBookmarkItem* RefreshLogPath(const CVornString& logPath);
    // The first updated entry after the one of logPath, or null.
    CTavloBookmarkItem* NextUpdated(const CVornString& logPath) const;
    void ReplaceBoardUrl(const CVornString& oldUrl, const CVornString& newUrl);
    // Sorts by a key of the bookmark view and remembers it for Save.
    virtual void Sort(int column, bool ascending);
    int GetSortColumn() const { return m_sortColumn; }
    int GetSortAsc() const { return m_sortAsc; }

    // Entries from the file's text, appended; the file's text of the entries.
    void Parse(std::string_view text);
    CVornString Format() const;
    const CVornString& GetPath() const { return m_path; }

private:
    void sortBy(int column, bool ascending);

    CVornString m_path;
    int m_sortColumn = 0;
    int m_sortAsc = 1;
    bool m_unreadable = false;
};
