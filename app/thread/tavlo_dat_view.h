#pragma once

#include "tavlo_dat_ctrl.h"
#include "tavlo_main_view.h"
#include "tavlo_window.h"
#include "vorn_string.h"
#include "vorn_thread.h"

#include <QString>

#include <list>
#include <memory>
#include <vector>

class CTavloMessage;
class CTavloMessageDialog;
class CTavloGrepDialog;
class QStackedLayout;
class QTabBar;

// The thread view: open threads as tabs, each owning a thread control whose text fills the
// area below the tab strip. Opening, the tab limit, switching and closing tabs, the keys and
// commands of reading, fetch updates on worker threads and the routing of their messages.
class CTavloDatView : public CTavloMainView, public CTavloDatHost {
public:
    explicit CTavloDatView(CTavloWindow* frame, QWidget* parent = nullptr);
    ~CTavloDatView() override;

    int ViewNumber() const override { return TAVLO_VIEW_THREAD; }

    // Opens a thread into a tab (or selects it when open); 1 when shown, 0 on failure.
    int OpenThread(const CVornString& title, const CVornString& key, const CVornString& boardUrl,
                   const CVornString& board, int number);
    // A view message from a fetch: info file, progress and the open thread's control. The
    // caller deletes the message. cancelFlag is the frame's cancel flag.
    void OnViewMessage(CTavloMessage* message, int cancelFlag);

    CTavloDatCtrl* GetCurrentCtrl() const;
    int GetTabCount() const { return static_cast<int>(m_tabs.size()); }
    int GetCurrentTab() const;
    // The tab of (board URL, key), or -1.
    int FindThread(const CVornString& boardUrl, const CVornString& key) const;
    CTavloDatCtrl* GetCtrl(int index) const;
    void SelectTab(int index);
    void NextTab();
    void PrevTab();
    // Closes a tab; 0 when the index is out of range or its thread is being updated.
    int CloseTab(int index);
    // Jumps in the current thread (direct input), recording history; false without a thread.
    bool JumpNumber(int number);
    // The board of the current thread: display name, board URL, board id.
    bool GetCurrentBoard(CVornString* name, CVornString* boardUrl, CVornString* board) const;
    std::vector<QString> ThreadTitles() const;
    void Refresh();

    // Starts fetching the current (or given) thread on a worker; nothing when it runs already.
    void StartUpdate(CTavloDatCtrl* ctrl);
    // Deletes the current thread (after asking); false when it was not deleted.
    bool DeleteThread();
    void AddBookmark();
    void ExecBrowser();
    void AddSelectionToNg();
    // The post editor for the current thread: a new post, a reply to the top post (">>N"), or
    // a reply quoting it. The editor object stays while the same thread is replied to, so a
    // cancelled draft comes back; a successful post stores name and mail and reloads.
    enum { EDIT_NEW, EDIT_REPLY, EDIT_QUOTE };
    void OpenEditor(int mode);
    CTavloMessageDialog* GetEditor() const { return m_editor.get(); }
    // The selection as the first template (saved), with a notice.
    void AddSelectionToTemplates();
    // Finds text in the current thread from the selection on; direction 1 searches backward.
    bool SearchText(const CVornString& word, int direction);
    // Waits (pumping events) until no update worker runs; cancels them first when asked.
    void WaitForWorkers(bool cancel);

    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    bool OnCommand(int id) override;
    bool UpdateCommand(int id, bool* enabled, bool* checked) override;
    bool IsBusy() const override;
    void Search(const CVornString& word, int direction) override;
    void ApplySettings() override;
    QString Title() const override;
    void OnShowView() override;

    // CTavloDatHost
    void OpenUrl(const CVornString& url) override;
    void ShowGrep(CTavloDatCtrl* ctrl, const std::vector<int>& numbers) override;
    CTavloGrepDialog* GetGrepDialog() const { return m_grep.get(); }

private:
    struct Tab {
        std::unique_ptr<CTavloDatCtrl> ctrl;
        CVornString board;
    };
    struct Worker;

    int openInCtrl(CTavloDatCtrl* ctrl);
    CVornString movedBoardUrl() const;
    void removeTab(int index, bool save);
    void setWindowTitleFrom(CTavloDatCtrl* ctrl);
    void applyTabFont();
    void reapWorkers();
    intptr_t send(unsigned message, uintptr_t w, intptr_t l);

    CTavloWindow* m_frame;
    QTabBar* m_tabBar;
    QStackedLayout* m_stack;
    std::vector<Tab> m_tabs;
    std::list<std::unique_ptr<Worker>> m_workers;
    std::unique_ptr<CTavloGrepDialog> m_grep;
    std::unique_ptr<CTavloMessageDialog> m_editor;
    QFont m_articleFont;
};
