#pragma once

#include "tavlo_hand_off.h"
#include "tavlo_main_view.h"
#include "tavlo_state_dump.h"
#include "tavlo_vent.h"
#include "tavlo_window.h"
#include "vorn_string.h"

#include <QMainWindow>
#include <QPointer>

#include <array>
#include <atomic>
#include <functional>
#include <thread>
#include <vector>

class CTavloBoardViewBase;
class CTavloDesktopLayout;
class CTavloStatusLine;
class CTavloFind2chDialog;
class CTavloImageViewBase;
class CTavloJumpDialog;
class CTavloListViewBase;
class CTavloMainView;
class CTavloSearchDialog;
class CTavloStatusDialog;
class CTavloSubjectViewBase;
class CTavloTabView;
class CTavloThreadViewBase;
class QKeyEvent;
class QMenu;
struct CVornSocketMessage;

// The ten views the frame owns (the six main views and the four lists inside the two
// containers).
struct CTavloFrameViews {
    CTavloBoardViewBase* board = nullptr;       // view 0
    CTavloSubjectViewBase* subject = nullptr;   // view 1
    CTavloThreadViewBase* thread = nullptr;     // view 2
    CTavloTabView* bookmark = nullptr;          // view 3
    CTavloTabView* cache = nullptr;             // view 4
    CTavloImageViewBase* image = nullptr;       // view 5
    CTavloListViewBase* bookmarkList = nullptr; // inside view 3: "スレッド"
    CTavloListViewBase* boardList = nullptr;    // inside view 3: "その他"
    CTavloListViewBase* cacheList = nullptr;    // inside view 4: "スレッド"
    CTavloListViewBase* imageList = nullptr;    // inside view 4: "画像"
};

// The single top-level window. It shows one of the six main views at a time, keeps the view
// history, hosts the four one-line bars at its bottom edge, turns keys into commands, and
// handles the private messages by which views and worker threads ask for actions. Workers
// reach it only through SendMessage/PostMessage and the socket callback.
class CMainFrame : public QMainWindow, public CTavloWindow {
public:
    enum Bar { BAR_STATUS, BAR_SEARCH, BAR_FIND2CH, BAR_JUMP, BAR_COUNT };
    static constexpr int kBarHeight = 46;
    // The longest wait of a window-thread transfer between two looks at the window's events.
    static constexpr int kCallbackIntervalMs = 10;

    explicit CMainFrame(QWidget* parent = nullptr);
    ~CMainFrame() override;

    // From the window thread Send calls the handler directly; from another thread it runs it
    // on the window thread and waits. Once the frame shuts down, messages from workers are
    // dropped (view messages and owned payloads deleted) so that no worker waits on it.
    intptr_t SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;
    void PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) override;
    void SendMessages(const Message* messages, int count) override;
    void QueueMessages(const Message* messages, int count) override;

    // Takes the views as children and hides them all; views it held before and does not get
    // again are deleted. The parent for views is GetClient().
    void SetViews(const CTavloFrameViews& views);
    const CTavloFrameViews& Views() const { return m_views; }
    CTavloMainView* GetView(int number) const;
    QWidget* GetClient() const { return m_client; }

    // View switching and history.
    void ShowView(int number);   // 0 to 5, without recording
    void RecordView(int number); // clears forward, moves number to the newest back entry
    void SwitchView(int number); // shows and records
    void ViewBack();
    void ViewForward();
    int GetShownView() const { return m_shown; }
    int NewestView() const { return m_back.empty() ? -1 : m_back.back(); }
    const std::vector<int>& BackList() const { return m_back; }
    const std::vector<int>& ForwardList() const { return m_forward; }

    // The desktop layout (tree, list and thread at once) on or off, at once; the shown view
    // is then the view of the pane with the focus (tavlo_main_frame_desktop.cpp).
    void SetDesktopLayout(bool on);
    CTavloDesktopLayout* GetDesktopLayout() const { return m_desktop; }
    // The focus went into a pane (a click): its view becomes the shown one, recorded.
    void OnPaneFocused(int number);
    CTavloStatusLine* GetStatusLine() const { return m_statusLine; }
    void RefreshStatusLine();

    // A key (virtual-key code): the container keys, then the frame's, then the shown view's.
    // true when consumed.
    bool DispatchKey(int vk, Qt::KeyboardModifiers modifiers = Qt::NoModifier);

    // A command as a menu choice gives it: the shown view first, then the frame and the
    // application. true when handled.
    bool OnCommand(int id);
    // Enabled and checked state of a command as the menus show it.
    void GetCommandState(int id, bool* enabled, bool* checked);

    // The bars. At most one is placed: the first shown one in the order of Bar.
    void ShowBar(int bar, bool show);
    bool IsBarShown(int bar) const { return m_barShown[static_cast<size_t>(bar)]; }
    int PlacedBar() const;
    CTavloStatusDialog* GetStatusBar() const { return m_status; }
    CTavloSearchDialog* GetSearchBar() const { return m_search; }
    CTavloFind2chDialog* GetFind2chBar() const { return m_find2ch; }
    CTavloJumpDialog* GetJumpBar() const { return m_jump; }
    void RecalcLayout();

    // Cancel (command 32801): asks, then stops all network work.
    void OnCancel();
    int GetCancelFlag() const { return m_cancel.load(); }
    // The cancel flag as a stop request for fetches run by the views (true: stop).
    std::function<bool()> GetStopRequest() {
        return [this] { return m_cancel.load() != 0; };
    }
    // Network work of the newest view (0 to 3) or image downloads run.
    bool IsWorkRunning() const;

    // The open-URL request; 1 handled, 0 not.
    int OpenUrl(const CVornString& url);
    // Direct input (message 36).
    void OnJump(const CVornString& text);
    // An error by code: the code's message, or text when it is not empty (caption "tavlo").
    void ShowErrorCode(int code, const CVornString* text = nullptr);

    QMenu* GetActionMenu() const { return m_actionMenu; }
    QMenu* GetMainMenu() const { return m_mainMenu; }
    QMenu* GetViewMenu() const { return m_viewMenu; }
    QMenu* GetTabMenu() const { return m_tabMenu; }
    // MenuNumber applied to the two menus of the menu bar.
    void ApplyMenuNumber();
    // Enabled/checked state of every entry of a menu, and the open-thread entries.
    void UpdateMenu(QMenu* menu);

    // Stops the network work, lets workers that wait on the frame go on, and destroys the
    // views (whose workers end) while the frame is still whole. Called on close.
    void Shutdown();
    // Also once a close waits for a window-thread transfer to return.
    bool IsShuttingDown() const { return m_closing.load() || m_closeWanted.load(); }
    // true while a window-thread transfer lets the window handle its events.
    bool InTransfer() const { return m_transferDepth > 0; }
    bool IsWindowThread() const { return std::this_thread::get_id() == m_windowThread; }

    // The network progress callback installed for every transfer (user: the CTavloWindow).
    static int SocketCallback(CVornSocketMessage& message, void* user);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // One handler per message number (tavlo_main_frame_messages.cpp).
    friend struct CTavloFrameMessages;
    intptr_t onMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
    static void dropMessage(unsigned message, intptr_t lParam);
    bool runFrameCommand(int id);
    bool frameCommandState(int id, bool* enabled, bool* checked);
    void buildMenus();
    void rebuildTabMenu();
    void popupMenu(QMenu* menu);
    void openMenuBar();
    void noteKeyRelease(const QKeyEvent* key);
    bool duringTransfer(QObject* watched, QEvent* event);
    bool isBoundKey(int vk) const;
    bool isViewArea(QObject* object) const;
    bool isBarArea(const QWidget* widget) const;
    void focusShownView();
    void showInPane(int number);
    // The title, the thread's refresh and the focus once a view is shown.
    void afterShowing(CTavloMainView* target, int number);
    // In the desktop layout, a thread opened while the list pane has no board brings its
    // board's list into that pane (the shown view and the history stay).
    void fillListPane();
    void clearCancelIfIdle();
    bool anyBusy() const;
    void toggleOnline();
    void openListItem(intptr_t item);
    void openBoard(const CVornString& name, const CVornString& boardUrl, const CVornString& board);
    void onSearch(int direction, const CVornString& word);
    void onFind2ch(const CVornString& url, const CVornString& words);
    void onReadToEnd(const CVornString& logPath);
    void onImageDone(intptr_t result);
    void onViewMessage(intptr_t message);
    void refreshThread(const CVornString& logPath, bool cache);
    void openCurrentSubject();
    void searchNextThread();

    std::atomic<int> m_cancel{0};
    // Always connected in this build; the connect commands go through it.
    CTavloConnectionManager m_connection;
    std::vector<int> m_back;
    std::vector<int> m_forward;
    CTavloStatusDialog* m_status = nullptr;
    CTavloSearchDialog* m_search = nullptr;
    CTavloFind2chDialog* m_find2ch = nullptr;
    std::thread::id m_windowThread;
    CTavloJumpDialog* m_jump = nullptr;
    CTavloDesktopLayout* m_desktop = nullptr;
    CTavloStatusLine* m_statusLine = nullptr;

    QWidget* m_client = nullptr;
    CTavloFrameViews m_views;
    int m_shown = -1;
    void setShown(int number) {
        m_shown = number;
        setProperty(CTavloMainView::kShownViewProperty, number);
    }
    std::array<bool, BAR_COUNT> m_barShown{};
    QMenu* m_actionMenu = nullptr;
    QMenu* m_mainMenu = nullptr;
    QMenu* m_viewMenu = nullptr;
    QMenu* m_tabMenu = nullptr;
    int m_tabMenuFixed = 0;
    // The key event last offered, so that its propagation to parents is not offered again.
    const QKeyEvent* m_lastKey = nullptr;
    QPointer<QWidget> m_lastKeyReceiver;
    std::atomic<bool> m_closing{false};
    // Inside the network callback's event processing (a transfer of the window thread waits).
    int m_transferDepth = 0;
    std::atomic<bool> m_closeWanted{false};
    // Tests driving the program from outside read its state from a file (TAVLO_STATE_FILE).
    const bool m_dumpState = TavloStateDumpWanted();
    std::pair<quint64, int> m_lastRelease{0, 0};
    std::atomic<int> m_inflight{0};
    // Workers' block messages on their way to the window thread (QueueMessages).
    CTavloHandOff m_handOff;
};
