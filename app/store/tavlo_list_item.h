#pragma once

#include "vorn_object.h"
#include "vorn_string.h"

#include <atomic>
#include <cstdint>

// Title cleaning for thread titles and board names: "<br>" to a line break, tags removed, then
// "&gt;", "&lt;", "&amp;", "&quot;", "&nbsp;" decoded in that order (one pass each).
void TavloCleanTitle(CVornString& text);

// The entry of every list view (thread list, bookmarks, extra boards, caches). Flags and the
// speed may be written by worker threads while the window thread draws, hence atomic.
class CTavloListItem : public CVornObject {
public:
    // Mark bits drawn by the list views.
    enum {
        MARK_NORMAL = 0x01,
        MARK_CHECKING = 0x02,
        MARK_BOOKMARKED = 0x04,
        MARK_UPDATED = 0x08,
        MARK_SELECTED = 0x10,
        MARK_NEW = 0x20,
    };

    // Cleans title and board name; every flag 0, speed not computed.
    CTavloListItem(int index, const CVornString& title, const CVornString& key,
                   const CVornString& boardName, const CVornString& boardId,
                   const CVornString& boardUrl);
    ~CTavloListItem() override = default;
    CTavloListItem(const CTavloListItem&) = delete;
    CTavloListItem& operator=(const CTavloListItem&) = delete;

    virtual int HasLog() const { return m_hasLog; }
    virtual int IsUpdated() const { return m_updated; }
    virtual int IsNew() const { return m_new; }
    virtual int IsSearchHit() const { return m_searchHit; }
    virtual int IsError() const { return m_error; }
    virtual int GetMark() const = 0;
    virtual void SetIndex(int index) { m_index = index; }
    virtual void SetTitle(const CVornString& title);
    // Also rebuilds the thread URL and the log path.
    virtual void SetBoardUrl(const CVornString& boardUrl);
    virtual int GetIndex() const { return m_index; }
    virtual const CVornString& GetTitle() const { return m_title; }
    // Board URL followed directly by the key.
    virtual const CVornString& GetThreadUrl() const { return m_threadUrl; }
    virtual const CVornString& GetKey() const { return m_key; }
    virtual const CVornString& GetBoardName() const { return m_boardName; }
    virtual const CVornString& GetBoardUrl() const { return m_boardUrl; }
    virtual const CVornString& GetBoardId() const { return m_boardId; }
    // Board directory + "/" + key + ".dat"; empty for a URL outside the store.
    virtual const CVornString& GetLogPath() const { return m_logPath; }
    virtual int GetCount() const { return 0; }
    // Posts per day since the thread was made (the key is its creation time).
    virtual double GetSpeed() const;
    virtual void ResetSpeed() { m_speed = -1.0; }

    void SetHasLog(int on) { m_hasLog = on; }
    void SetUpdated(int on) { m_updated = on; }
    void SetNew(int on) { m_new = on; }
    void SetSearchHit(int on) { m_searchHit = on; }
    void SetError(int on) { m_error = on; }

protected:
    // For text that was cleaned before it was stored: clean false keeps it as given.
    CTavloListItem(int index, const CVornString& title, const CVornString& key,
                   const CVornString& boardName, const CVornString& boardId,
                   const CVornString& boardUrl, bool clean);
    void buildPaths();

    std::atomic<int> m_hasLog{0};
    std::atomic<int> m_updated{0};
    std::atomic<int> m_new{0};
    std::atomic<int> m_searchHit{0};
    std::atomic<int> m_error{0};
    CVornString m_title;
    CVornString m_threadUrl;
    CVornString m_key;
    CVornString m_boardName;
    CVornString m_boardUrl;
    CVornString m_boardId;
    CVornString m_logPath;
    int m_index;
    mutable std::atomic<double> m_speed{-1.0};
};

// The search order every list shares, larger first: search hit x 100000000 - index x 10000.
int64_t TavloSearchRank(const CTavloListItem& item);
