#pragma once

#include "tavlo_main_view.h"
#include "tavlo_window.h"
#include "vorn_string.h"

#include <QString>

#include <vector>

class CTavloMessage;
class CTavloListItem;

// A board as the board tree and the bookmarked-board list name it: messages 2 and 39.
struct CTavloBoardRef {
    CVornString Name;
    CVornString BoardUrl;
    CVornString Board;
};

// The result of an image download: message 40.
struct CTavloImageResult {
    CVornString Text; // shown by the image viewer when not empty
    CVornString Url;
    int Error = 0;
};

// What the frame asks of each kind of main view. Every operation has a harmless default, so a
// view that is not built yet is one of these classes as it is; the real view derives from its
// base and overrides what it does.

// Keys that every list view and the board tree handle the same way: Cancel (message 1),
// ViewBack (6), ViewForward (7) and ChangeView (the view menu). true when used.
bool TavloCommonViewKey(CTavloWindow* frame, int vk);

// A close message of a fetch the user stopped: the cut-off log's last-write time becomes
// 1970-01-01 00:00:00 UTC, so that it counts as out of date.
void TavloMarkCancelledLog(const CTavloMessage* message, int cancelFlag);

// View 0: the board tree.
class CTavloBoardViewBase : public CTavloMainView {
public:
    explicit CTavloBoardViewBase(CTavloWindow* frame, QWidget* parent = nullptr)
        : CTavloMainView(parent), m_frame(frame) {}
    int ViewNumber() const override { return TAVLO_VIEW_BOARD; }
    QString Title() const override;
    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    // A board by its id: the extra boards (etc.txt) first, then the board menu (board.txt).
    // The default reads both files from the store.
    virtual bool FindBoardId(const CVornString& id, CVornString* name, CVornString* boardUrl);
    // Display name of a board name, empty when no list has it (rule 10 of the open-URL
    // request).
    virtual CVornString FindBoardName(const CVornString& board);
    // Where a board went, read from the redirect script of its old page; 1 with newUrl set
    // when a new address was found and applied (store, bookmarks, board lists), else 0 (also
    // while the board view is busy).
    virtual int DetectMove(const CVornString& oldUrl, CVornString* newUrl) { return 0; }

protected:
    CTavloWindow* m_frame;
};

// View 1: the subject list.
class CTavloSubjectViewBase : public CTavloMainView {
public:
    explicit CTavloSubjectViewBase(CTavloWindow* frame, QWidget* parent = nullptr)
        : CTavloMainView(parent), m_frame(frame) {}
    int ViewNumber() const override { return TAVLO_VIEW_SUBJECT; }
    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    // Opens a board's thread list; 1 shown, 0 failed.
    virtual int OpenBoard(const CVornString& name, const CVornString& boardUrl,
                          const CVornString& board) {
        return 0;
    }
    // A board was opened in it (command 32833 is enabled from then on).
    virtual bool HasBoard() const { return false; }
    // Shows a board's list beside a thread, asking nothing: as opening the board does when
    // online; offline only what is stored (the board's empty list when nothing is). 1 shown.
    virtual int ShowBoardBeside(const CVornString& name, const CVornString& boardUrl,
                                const CVornString& board) {
        return 0;
    }
    // Clears the new-post marks of the list.
    virtual void ClearNewMarks() {}
    // Title search: the results of the search URL the bar built for the words (message 30);
    // a result code, its message shown already.
    virtual int Find2ch(const CVornString& url, const CVornString& words) { return 0; }
    // Shows the list of the last title search (message 29).
    virtual void ShowFind2ch() {}
    // Next-thread search for the thread of the thread view (command 32920).
    virtual void SearchNextThread(const CVornString& title, const CVornString& boardUrl) {}
    // The same for the selected entry of the list.
    virtual void SearchNextThreadOfSelection() {}

protected:
    CTavloWindow* m_frame;
};

// View 2: the thread view with its tabs.
class CTavloThreadViewBase : public CTavloMainView {
public:
    explicit CTavloThreadViewBase(CTavloWindow* frame, QWidget* parent = nullptr)
        : CTavloMainView(parent), m_frame(frame) {}
    int ViewNumber() const override { return TAVLO_VIEW_THREAD; }
    // Opens a thread into a tab; 1 shown, 0 failed.
    virtual int OpenThread(const CVornString& title, const CVornString& key,
                           const CVornString& boardUrl, const CVornString& board, int number) {
        return 0;
    }
    // Step 1 of the frame's handling of a view message; the message stays the frame's. The
    // default marks a log cut short by a cancel as out of date.
    virtual void OnViewMessage(CTavloMessage* message, int cancelFlag);
    virtual int GetTabCount() const { return 0; }
    // Direct input: jump in the current thread (recording history); false when nothing moved.
    virtual bool JumpNumber(int number) { return false; }
    // Board of the current thread (command 32917); false when no thread is shown.
    virtual bool GetCurrentBoard(CVornString* name, CVornString* boardUrl, CVornString* board) {
        return false;
    }
    // Title of the current thread, empty when none.
    virtual CVornString GetCurrentTitle() const { return CVornString(); }
    // The menu of open threads: titles in tab order, and selecting one.
    virtual std::vector<QString> ThreadTitles() const { return {}; }
    virtual void SelectTab(int index) {}
    // Shown by number (the frame's view switch): repaint what it shows.
    virtual void Refresh() { update(); }

protected:
    CTavloWindow* m_frame;
};

// A list inside one of the two containers: bookmarks, bookmarked boards, cached threads,
// cached images. Its view number is its container's.
class CTavloListViewBase : public CTavloMainView {
public:
    CTavloListViewBase(int container, CTavloWindow* frame, QWidget* parent = nullptr)
        : CTavloMainView(parent), m_container(container), m_frame(frame) {}
    int ViewNumber() const override { return m_container; }
    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    // Clears the new-post (or update) marks.
    virtual void ClearMarks() {}
    // Reads the list again.
    virtual void Reload() {}
    // The entry of a thread's log changed (fetched, closed, deleted).
    virtual void RefreshLogPath(const CVornString& logPath) {}
    // Bookmark checking runs (the bookmark list only).
    virtual bool IsChecking() const { return false; }

protected:
    int m_container;
    CTavloWindow* m_frame;
};

// View 5: the image viewer.
class CTavloImageViewBase : public CTavloMainView {
public:
    explicit CTavloImageViewBase(CTavloWindow* frame, QWidget* parent = nullptr)
        : CTavloMainView(parent), m_frame(frame) {}
    int ViewNumber() const override { return TAVLO_VIEW_IMAGE; }
    QString Title() const override;
    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    // Rule 1 of the open-URL request: -1 when the URL is no image link (the next rules
    // apply), else 1 when the image was shown or its download started, 0 when not.
    virtual int OpenImageUrl(const CVornString& url) { return -1; }
    // Image downloads are running.
    virtual bool IsDownloading() const { return false; }
    // Shows a text instead of an image (message 40 with a text).
    virtual void ShowText(const CVornString& text) {}
    // Whether the image of url can be shown now (it is in the cache).
    virtual bool CanShow(const CVornString& url) { return false; }
    // Shows the image of url.
    virtual void ShowImage(const CVornString& url) {}

protected:
    CTavloWindow* m_frame;
};
