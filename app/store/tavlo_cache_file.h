#pragma once

#include "tavlo_list_item.h"
#include "vorn_array.h"
#include "vorn_string.h"

#include <cstdint>
#include <string>
#include <unordered_map>

// "%04d/%02d/%02d %02d:%02d:%02d" of a last-write time (seconds since 1970) in local time; its
// byte order is time order.
CVornString TavloFileTimeText(int64_t time);

// A stored thread log in the thread cache.
class CTavloCacheItem : public CTavloListItem {
public:
    CTavloCacheItem(int index, const CVornString& title, const CVornString& key,
                    const CVornString& boardName, const CVornString& boardId,
                    const CVornString& boardUrl, const CVornString& timeText);
    // 0x04 when bookmarked, else 0x01; plus 0x10 when marked.
    int GetMark() const override;
    const CVornString& GetTimeText() const { return m_time; }
    void SetTimeText(const CVornString& text) { m_time = text; }
    int IsSelected() const { return m_selected; }
    void SetSelected(int on) { m_selected = on; }
    int IsBookmarked() const { return m_bookmarked; }
    void SetBookmarked(int on) { m_bookmarked = on; }

private:
    CVornString m_time;
    int m_selected = 0;
    int m_bookmarked = 0;
};

// Every thread log under the root, found by walking the tree. Owns its entries.
class CTavloCacheFile : public CVornAllocPtrArray<CTavloCacheItem> {
public:
    // Walks dir (the root, or a directory below it) and appends its logs with indexes from
    // firstIndex on; the number of logs found.
    int Build(const CVornString& dir, int firstIndex = 1);
    // A log fetched for the first time: entry with index 1 at the front, the others shift.
    // 1, or 0 when the file is missing or no log of a board.
    int AddLog(const CVornString& logPath);
    // Follows the file of an entry: gone removes it, else its time text is read again. 1 when
    // the entry stays.
    int Refresh(int position);
    int FindLogPath(const CVornString& logPath) const;
    // Deletes an entry; later indexes lose 1.
    int Remove(int position) override;
    // Bookmark marks from the bookmark list (all entries).
    void RefreshBookmarks();

    const CVornString& GetRoot() const { return m_root; }
    void SetRoot(const CVornString& root) { m_root = root; }

private:
    struct Names {
        std::unordered_map<std::string, std::string> byId, byUrl;
        bool loaded = false;
    };
    void walk(const std::string& dir, int depth, int& counter);
    CTavloCacheItem* offer(const std::string& path, int64_t time, int index);
    void loadNames();

    CVornString m_root;
    Names m_names;
};
