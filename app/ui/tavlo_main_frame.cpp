#include "tavlo_main_frame.h"

#include "tavlo_bar_util.h"
#include "tavlo_desktop_layout.h"
#include "tavlo_errors.h"
#include "tavlo_find2ch_dialog.h"
#include "tavlo_jump_dialog.h"
#include "tavlo_keys.h"
#include "tavlo_message.h"
#include "tavlo_net_hooks.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_post.h"
#include "tavlo_search_dialog.h"
#include "tavlo_settings.h"
#include "tavlo_state_dump.h"
#include "tavlo_status_dialog.h"
#include "tavlo_status_line.h"
#include "tavlo_tab_view.h"
#include "tavlo_views.h"
#include "tavlo_window_placement.h"
#include "vorn_async_socket.h"
#include "vorn_log.h"
#include "vorn_winsock.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>

#include <algorithm>
#include <chrono>

namespace {

// The frame that is alive, for the socket callback: a worker may report after it is gone.
std::atomic<CTavloWindow*> g_liveFrame{nullptr};

CTavloMainView* viewOf(const CTavloFrameViews& views, int number) {
    switch (number) {
    case TAVLO_VIEW_BOARD:
        return views.board;
    case TAVLO_VIEW_SUBJECT:
        return views.subject;
    case TAVLO_VIEW_THREAD:
        return views.thread;
    case TAVLO_VIEW_BOOKMARK:
        return views.bookmark;
    case TAVLO_VIEW_CACHE:
        return views.cache;
    case TAVLO_VIEW_IMAGE:
        return views.image;
    default:
        return nullptr;
    }
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent), m_windowThread(std::this_thread::get_id()),
      m_handOff(
          this, [this](const CTavloHandOff::Item& m) { onMessage(m.message, m.wParam, m.lParam); },
          [](const CTavloHandOff::Item& m) { dropMessage(m.message, m.lParam); }) {
    setObjectName("tavlo");
    setWindowTitle(QString::fromUtf8(kTavloCaption));
    resize(640, 480);
    m_client = new QWidget(this);
    m_client->setObjectName("client");
    setCentralWidget(m_client);
    m_client->installEventFilter(this);

    m_status = new CTavloStatusDialog(this, m_client);
    m_search = new CTavloSearchDialog(this, m_client);
    m_find2ch = new CTavloFind2chDialog(this, m_client);
    m_jump = new CTavloJumpDialog(this, m_client);
    for (QWidget* bar : {static_cast<QWidget*>(m_status), static_cast<QWidget*>(m_search),
                         static_cast<QWidget*>(m_find2ch), static_cast<QWidget*>(m_jump)})
        bar->hide();
    m_statusLine = new CTavloStatusLine(this);
    setStatusBar(m_statusLine);

    buildMenus();
    m_back.push_back(TAVLO_VIEW_BOARD);
    qApp->installEventFilter(this);
    TavloWatchState(this);
    g_liveFrame = this;
    TavloSetSocketCallback(&CMainFrame::SocketCallback);
    // Transfers on the window thread call back often enough for input to be handled promptly.
    CVornAsyncSocket::SetCallbackInterval(kCallbackIntervalMs);
}

CMainFrame::~CMainFrame() {
    Shutdown();
    if (g_liveFrame.load() == this) {
        g_liveFrame = nullptr;
        TavloSetSocketCallback(nullptr);
        CVornAsyncSocket::SetCallbackInterval(1000);
    }
}

// ---- messages ------------------------------------------------------------------------------

intptr_t CMainFrame::SendMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (IsWindowThread())
        return onMessage(message, wParam, lParam);
    ++m_inflight;
    if (m_closing) {
        --m_inflight;
        dropMessage(message, lParam);
        return 0;
    }
    intptr_t result = 0;
    // Never to the calling thread itself (that would deadlock): this is a worker.
    QMetaObject::invokeMethod(
        this, [&] { result = onMessage(message, wParam, lParam); }, Qt::BlockingQueuedConnection);
    --m_inflight;
    return result;
}

// One wait on the window thread for all of them: a fetch sends its progress and its lines
// per block, and each wait is a round trip through the event loop.
void CMainFrame::SendMessages(const Message* messages, int count) {
    if (IsWindowThread()) {
        for (int i = 0; i < count; ++i)
            onMessage(messages[i].message, messages[i].wParam, messages[i].lParam);
        return;
    }
    ++m_inflight;
    if (m_closing) {
        --m_inflight;
        for (int i = 0; i < count; ++i)
            dropMessage(messages[i].message, messages[i].lParam);
        return;
    }
    QMetaObject::invokeMethod(
        this,
        [&] {
            for (int i = 0; i < count; ++i)
                onMessage(messages[i].message, messages[i].wParam, messages[i].lParam);
        },
        Qt::BlockingQueuedConnection);
    --m_inflight;
}

// Without a wait: a fetch goes on reading while the window shows what came before.
void CMainFrame::QueueMessages(const Message* messages, int count) {
    if (m_closing) {
        for (int i = 0; i < count; ++i)
            dropMessage(messages[i].message, messages[i].lParam);
        return;
    }
    CTavloHandOff::Item items[8];
    for (int at = 0; at < count; at += 8) {
        int n = std::min(count - at, 8);
        for (int i = 0; i < n; ++i)
            items[i] = {messages[at + i].message, messages[at + i].wParam, messages[at + i].lParam};
        m_handOff.Queue(items, n);
    }
}

void CMainFrame::PostMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (m_closing) {
        dropMessage(message, lParam);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, message, wParam, lParam] { onMessage(message, wParam, lParam); },
        Qt::QueuedConnection);
}

void CMainFrame::dropMessage(unsigned message, intptr_t lParam) {
    switch (message) {
    case TAVLO_WM_VIEWMESSAGE:
        delete reinterpret_cast<CTavloMessage*>(lParam);
        break;
    case TAVLO_WM_OPENURL:
    case TAVLO_WM_READTOEND:
        delete reinterpret_cast<CVornString*>(lParam);
        break;
    default:
        break;
    }
}

// ---- views and history ---------------------------------------------------------------------

void CMainFrame::SetViews(const CTavloFrameViews& views) {
    const CTavloFrameViews old = m_views;
    if (m_desktop)
        m_desktop->Release(m_client);
    m_views = views;
    // A view that was replaced goes (the containers keep their own lists).
    for (int n = TAVLO_VIEW_BOARD; n <= TAVLO_VIEW_IMAGE; ++n) {
        CTavloMainView* before = viewOf(old, n);
        bool kept = false;
        for (int k = TAVLO_VIEW_BOARD; k <= TAVLO_VIEW_IMAGE; ++k)
            kept = kept || GetView(k) == before;
        if (before && !kept)
            delete before;
    }
    for (int n = TAVLO_VIEW_BOARD; n <= TAVLO_VIEW_IMAGE; ++n)
        if (CTavloMainView* v = GetView(n)) {
            v->setParent(m_client);
            v->hide();
        }
    setShown(-1);
    if (m_desktop)
        m_desktop->Adopt(-1);
}

CTavloMainView* CMainFrame::GetView(int number) const {
    return viewOf(m_views, number);
}

void CMainFrame::ShowView(int number) {
    CTavloMainView* target = GetView(number);
    if (!target)
        return;
    if (m_desktop) {
        showInPane(number);
        return;
    }
    CTavloMainView* current = GetView(m_shown);
    if (current != target) {
        if (current) {
            current->hide();
            current->OnHideView();
        }
        setShown(number);
        RecalcLayout();
        target->show();
        target->OnShowView();
    }
    afterShowing(target, number);
}

void CMainFrame::afterShowing(CTavloMainView* target, int number) {
    const QString title = target->Title();
    if (!title.isEmpty())
        setWindowTitle(title);
    if (number == TAVLO_VIEW_THREAD)
        m_views.thread->Refresh();
    if (PlacedBar() < 0 || !isBarArea(QApplication::focusWidget()))
        focusShownView();
}

void CMainFrame::RecordView(int number) {
    m_forward.clear();
    if (!m_back.empty() && m_back.back() == number)
        return;
    std::erase(m_back, number);
    m_back.push_back(number);
}

void CMainFrame::SwitchView(int number) {
    if (!GetView(number))
        return;
    ShowView(number);
    RecordView(number);
}

void CMainFrame::ViewBack() {
    if (m_back.size() <= 1)
        return;
    m_forward.push_back(m_back.back());
    m_back.pop_back();
    ShowView(m_back.back());
}

void CMainFrame::ViewForward() {
    if (m_forward.empty())
        return;
    int number = m_forward.back();
    m_back.push_back(number);
    ShowView(number);
    m_forward.pop_back();
}

void CMainFrame::focusShownView() {
    CTavloMainView* v = GetView(m_shown);
    if (!v)
        return;
    if (auto* tabs = dynamic_cast<CTavloTabView*>(v))
        if (CTavloMainView* child = tabs->GetSelectedView()) {
            child->setFocus();
            return;
        }
    v->setFocus();
}

// ---- layout and bars -----------------------------------------------------------------------

int CMainFrame::PlacedBar() const {
    for (int i = 0; i < BAR_COUNT; ++i)
        if (m_barShown[static_cast<size_t>(i)])
            return i;
    return -1;
}

void CMainFrame::RecalcLayout() {
    const int w = m_client->width();
    const int h = m_client->height();
    const int placed = PlacedBar();
    QWidget* bars[BAR_COUNT] = {m_status, m_search, m_find2ch, m_jump};
    for (int i = 0; i < BAR_COUNT; ++i) {
        if (i == placed) {
            bars[i]->setGeometry(0, h - kBarHeight, w, kBarHeight);
            bars[i]->show();
            bars[i]->raise();
        } else {
            bars[i]->hide();
        }
    }
    if (QWidget* v = m_desktop ? static_cast<QWidget*>(m_desktop) : GetView(m_shown)) {
        // Without a bar the view reaches two pixels past the bottom (its border is hidden).
        if (placed >= 0)
            v->setGeometry(0, 0, w, std::max(0, h - kBarHeight));
        else
            v->setGeometry(0, 0, w, h + 2);
    }
}

void CMainFrame::ShowBar(int bar, bool show) {
    if (bar < 0 || bar >= BAR_COUNT)
        return;
    QWidget* bars[BAR_COUNT] = {m_status, m_search, m_find2ch, m_jump};
    const bool hadFocus = isBarArea(QApplication::focusWidget());
    m_barShown[static_cast<size_t>(bar)] = show;
    RecalcLayout();
    if (bar == BAR_STATUS)
        RefreshStatusLine();
    const int placed = PlacedBar();
    if (show && placed == bar && bar != BAR_STATUS) {
        bars[bar]->setFocus();
        if (auto* combo = bars[bar]->findChild<QComboBox*>("1007")) {
            combo->setFocus();
            // The last entry stands as the text: typing replaces it instead of joining it.
            TavloSelectAll(combo);
        }
    } else if (!show && hadFocus && (placed < 0 || placed == BAR_STATUS)) {
        focusShownView();
    }
}

bool CMainFrame::isBarArea(const QWidget* widget) const {
    if (!widget)
        return false;
    for (const QWidget* bar :
         {static_cast<const QWidget*>(m_status), static_cast<const QWidget*>(m_search),
          static_cast<const QWidget*>(m_find2ch), static_cast<const QWidget*>(m_jump)})
        if (bar == widget || bar->isAncestorOf(widget))
            return true;
    return false;
}

bool CMainFrame::isViewArea(QObject* object) const {
    auto* w = qobject_cast<QWidget*>(object);
    if (!w)
        return false;
    if (w == this || w == m_client)
        return true;
    if (isBarArea(w))
        return false;
    return m_client->isAncestorOf(w);
}

// ---- keys ----------------------------------------------------------------------------------

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_client && event->type() == QEvent::Resize) {
        RecalcLayout();
        return false;
    }
    if (m_transferDepth > 0 && duringTransfer(watched, event))
        return true;
    if (event->type() == QEvent::KeyRelease) {
        m_lastKey = nullptr;
        if (m_dumpState)
            noteKeyRelease(static_cast<QKeyEvent*>(event));
        return false;
    }
    if (watched == this && event->type() == QEvent::WindowTitleChange)
        RefreshStatusLine(); // a thread tab was chosen or a view shown
    if (m_dumpState && watched == this && event->type() == QEvent::WindowTitleChange)
        QMetaObject::invokeMethod(
            this, [this] { TavloDumpState(this); }, Qt::QueuedConnection);
    if (event->type() != QEvent::KeyPress || m_closing)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (auto* bar = qobject_cast<QWidget*>(watched); bar && isBarArea(bar)) {
        // A key the bar left unused travels on to the client area; it was typed into the bar
        // (Return after a word), so it is no command for the view.
        if (key != m_lastKey || !m_lastKeyReceiver || !isBarArea(m_lastKeyReceiver)) {
            m_lastKey = key;
            m_lastKeyReceiver = bar;
        }
        return false;
    }
    if (!isViewArea(watched))
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    // Qt offers an unused key to each parent in turn; it was offered once already.
    if (key == m_lastKey && m_lastKeyReceiver && widget != m_lastKeyReceiver &&
        widget->isAncestorOf(m_lastKeyReceiver))
        return false;
    m_lastKey = key;
    m_lastKeyReceiver = widget;
    return DispatchKey(TavloEventVirtualKey(key), key->modifiers());
}

void CMainFrame::noteKeyRelease(const QKeyEvent* key) {
    // The filter sees a release once for every parent it travels to: count it once.
    const auto id = std::make_pair(key->timestamp(), key->key());
    if (key->isAutoRepeat() || id == m_lastRelease)
        return;
    m_lastRelease = id;
    TavloCountKey(key->key());
    QMetaObject::invokeMethod(
        this, [this] { TavloDumpState(this); }, Qt::QueuedConnection);
}

bool CMainFrame::DispatchKey(int vk, Qt::KeyboardModifiers modifiers) {
    if (vk == 0)
        return false;
    clearCancelIfIdle();
    CTavloMainView* view = GetView(m_shown);
    if (auto* container = dynamic_cast<CTavloTabView*>(view))
        if (container->OnContainerKey(vk))
            return true;
    if (TavloKeyIs(CTavloSettings::CMD_FIND2CH, vk)) {
        runFrameCommand(ID_FIND2CH);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_MENU, vk)) {
        onMessage(TAVLO_WM_ACTIONMENU, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_SEARCH, vk)) {
        onMessage(TAVLO_WM_SEARCHBAR, 0, 1);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_ONLINE, vk)) {
        toggleOnline();
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_OPENBOOKMARK, vk)) {
        onMessage(TAVLO_WM_SHOWBOOKMARKS, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_JUMP, vk)) {
        onMessage(TAVLO_WM_JUMPBAR, 0, 1);
        return true;
    }
    if (m_desktop && TavloKeyIs(CTavloSettings::CMD_FOCUSPANE, vk)) {
        // Shift goes the other way round.
        SwitchView(m_desktop->NextPaneView(m_shown, (modifiers & Qt::ShiftModifier) != 0));
        return true;
    }
    if (vk == TAVLO_VK_F1 + 9 && !isBoundKey(vk)) {
        // The desktop's way to the menu bar, for keyboard-only use; a binding wins.
        openMenuBar();
        return true;
    }
    return view && view->OnKeyDown(vk, modifiers);
}

bool CMainFrame::isBoundKey(int vk) const {
    const CTavloSettings& s = CTavloSettings::Instance();
    for (int c = 0; c < CTavloSettings::CMD_COUNT; ++c)
        if (s.IsKey(c, vk))
            return true;
    return false;
}

void CMainFrame::openMenuBar() {
    QList<QAction*> menus = menuBar()->actions();
    if (menus.isEmpty())
        return;
    ApplyMenuNumber();
    // No focus to the menu bar: leaving it with Escape gives the focus back to the view.
    menuBar()->setActiveAction(menus.first());
}

// ---- cancel and the network callback -------------------------------------------------------

bool CMainFrame::IsWorkRunning() const {
    if (m_views.image && m_views.image->IsDownloading())
        return true;
    const int newest = NewestView();
    if (newest < TAVLO_VIEW_BOARD || newest > TAVLO_VIEW_BOOKMARK)
        return false;
    CTavloMainView* v = GetView(newest);
    return v && v->IsBusy();
}

bool CMainFrame::anyBusy() const {
    if (m_views.image && m_views.image->IsDownloading())
        return true;
    for (int n = TAVLO_VIEW_BOARD; n <= TAVLO_VIEW_IMAGE; ++n)
        if (CTavloMainView* v = GetView(n); v && v->IsBusy())
            return true;
    return false;
}

void CMainFrame::clearCancelIfIdle() {
    // A cancel stays in force while the cancelled work winds down; new work the user starts
    // afterwards must not be stopped by it.
    if (m_cancel.load() && !anyBusy())
        m_cancel = 0;
}

void CMainFrame::OnCancel() {
    if (!IsWorkRunning())
        return;
    if (TavloMessageBox(this, "キャンセルしますか？", kTavloCaption,
                        TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) != TAVLO_IDYES)
        return;
    // The flag first, so that a worker between two socket calls stops as well instead of
    // reporting the failed call as an error.
    m_cancel = 1;
    VLOG(1, "CMainFrame::OnCancel", "restarting the socket layer");
    CVornWinSock::CleanupSocket();
    CVornWinSock::InitSocket(2, 2);
}

int CMainFrame::SocketCallback(CVornSocketMessage& message, void* user) {
    auto* window = static_cast<CTavloWindow*>(user);
    if (!window || window != g_liveFrame.load())
        return 0;
    auto* frame = static_cast<CMainFrame*>(window);
    if (frame->m_cancel.load())
        message.result = 1;
    // Before a connection is made, the numbered network connection must be up: the posting
    // one while a post is sent over another connection.
    if (message.message == MESSAGE_CONNECT_BEGIN && message.result != 1) {
        CTavloSettings& s = CTavloSettings::Instance();
        const int index =
            CTavloPoster::InProgress() && s.WriteChange == 1 ? s.WriteConnection : s.Connection;
        if (!frame->m_connection.IsConnected(index)) {
            frame->m_connection.Disconnect();
            if (!frame->m_connection.Connect(
                    index, [](void* f) { return static_cast<CMainFrame*>(f)->GetCancelFlag(); },
                    frame))
                message.result = 1;
        }
    }
    if (frame->IsWindowThread() && !frame->m_closing) {
        // A transfer of the window thread keeps the window alive; the input that arrives
        // meanwhile is sorted by the event filter (see duringTransfer).
        ++frame->m_transferDepth;
        QCoreApplication::processEvents();
        --frame->m_transferDepth;
        if (frame->m_closeWanted && frame->m_transferDepth == 0)
            message.result = 1;
    }
    return 0;
}

bool CMainFrame::duringTransfer(QObject* watched, QEvent* event) {
    // The view that runs the transfer is in the middle of changing; input for this window may
    // only stop the work (the cancel key, the status bar's button) or edit a bar's text.
    // Anything else is refused now rather than acting late on whatever is shown by then.
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::ShortcutOverride:
    case QEvent::Shortcut:
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
        break;
    default:
        return false;
    }
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || (widget->window() != this && !qobject_cast<QMenu*>(widget)))
        return false; // a message box or dialog of its own
    const bool key = event->type() == QEvent::KeyPress;
    if (key) {
        auto* k = static_cast<QKeyEvent*>(event);
        if (TavloKeyIs(CTavloSettings::CMD_CANCEL, TavloEventVirtualKey(k))) {
            OnCancel();
            return true;
        }
        if (isBarArea(widget) && k->key() != Qt::Key_Return && k->key() != Qt::Key_Enter)
            return false;
        return true;
    }
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::Shortcut &&
        (widget == m_status || m_status->isAncestorOf(widget)))
        return false;
    return true;
}

void CMainFrame::toggleOnline() {
    CTavloSettings& s = CTavloSettings::Instance();
    s.SetOnline(s.Online == 1 ? 0 : 1);
}

// ---- shutting down -------------------------------------------------------------------------

void CMainFrame::closeEvent(QCloseEvent* event) {
    if (m_transferDepth > 0) {
        // The transfer's view is still on the stack: it is stopped first, the window closed
        // once it has returned.
        m_closeWanted = true;
        m_cancel = 1;
        event->ignore();
        QMetaObject::invokeMethod(
            this, [this] { close(); }, Qt::QueuedConnection);
        return;
    }
    Shutdown();
    event->accept();
}

void CMainFrame::Shutdown() {
    if (m_closing.exchange(true))
        return;
    qApp->removeEventFilter(this);
    // Every blocking socket call fails; the workers end.
    m_cancel = 1;
    if (CVornWinSock::IsSocketStarted()) {
        CVornWinSock::CleanupSocket();
        CVornWinSock::InitSocket(2, 2);
    }
    // Workers already waiting in SendMessage get their answer, and what they queued before is
    // handled; later ones are refused at once.
    m_handOff.Close();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((m_inflight.load() > 0 || m_handOff.Pending() > 0) &&
           std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // The panes are not emptied: handing the views back would show each pane's next page on
    // the way out. The window is hidden whole, at once, rather than its panes' shown views
    // one by one; where it was is written first.
    if (m_desktop) {
        for (QObject* child : children())
            if (auto* placement = dynamic_cast<CTavloWindowPlacement*>(child))
                placement->Flush();
        hide();
    }
    // The views go while the frame is whole: their workers may still report to it.
    for (int n = TAVLO_VIEW_IMAGE; n >= TAVLO_VIEW_BOARD; --n)
        delete GetView(n);
    delete m_desktop;
    m_desktop = nullptr;
    m_views = CTavloFrameViews();
    setShown(-1);
}
