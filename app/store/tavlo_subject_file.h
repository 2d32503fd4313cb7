#pragma once

#include "tavlo_http_fetch.h"
#include "tavlo_subject_item.h"
#include "tavlo_window.h"
#include "vorn_array.h"
#include "vorn_string.h"
#include "vorn_table.h"

#include <functional>

// A board's thread list in memory, in file order, loaded from the board's subject.txt. It owns
// its entries; an entry stays at one address until the list is emptied or reloaded, so views
// may hold pointers to entries (sorting only reorders the pointers).
class CTavloSubjectFile : public CVornAllocPtrArray<CTavloSubjectItem> {
public:
    // The board name of a board URL, looked up in the board lists (etc.txt first, then
    // board.txt); empty when unknown.
    using BoardNameLookup = std::function<CVornString(const CVornString& boardUrl)>;

    CTavloSubjectFile() : CVornAllocPtrArray<CTavloSubjectItem>(1024) {}

    // Replaces the entries with the lines of a subject.txt. The board URL and id come from the
    // path (root/host/board/subject.txt); lines that are no entry are skipped but counted for
    // the index. 0, or -200 when the file cannot be opened (the list stays as it was).
    virtual int CreateFromFile(const CVornString& path);
    // Fetches subjectUrl to localPath and reloads from it. The new file replaces the stored one
    // only when the whole list arrived. 0; -103 when the server answered "not modified" (list
    // not loaded); -100, -101, -102, -200, -203, or -1 when the stop request ended the
    // transfer. Progress goes to window as TAVLO_WM_PROGRESS.
    virtual int CreateFromHttp(const CVornString& localPath, const CVornString& subjectUrl,
                               CTavloWindow* window = nullptr, TavloStopRequest stop = {});
    // Deletes every entry and empties the key index.
    void RemoveAll() override;
    int Remove(int i) override;

    // The entry of a thread key, or null.
    CTavloSubjectItem* FindKey(const CVornString& key) const;
    const CVornString& GetBoardUrl() const { return m_boardUrl; }
    void SetBoardUrl(const CVornString& url) { m_boardUrl = url; }
    // The title-search results list (its board URL begins with "http://.tmp").
    bool IsSearchList() const { return m_boardUrl.StartsWith("http://.tmp"); }

    // Marks threads against the list as it was before the fetch: a thread missing there is
    // new, one with more posts is updated (with the difference as its new-post count). With an
    // empty previous list nothing is marked. Returns the number of entries marked.
    int Mark(const CTavloSubjectFile& previous);

    // Replaces the board-name lookup (the board view plugs in its tables); an empty function
    // restores the default, which reads etc.txt and board.txt.
    static void SetBoardNameLookup(BoardNameLookup lookup);
    // Board URL, board id of a subject.txt path under the root; false when it is not one.
    static bool BoardOfPath(const CVornString& path, const CVornString& root, CVornString& url,
                            CVornString& id);

private:
    void addEntry(CTavloSubjectItem* item);

    CVornTree<CTavloSubjectItem*> m_index;
    CVornString m_boardUrl;
};
