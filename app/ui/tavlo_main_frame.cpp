#include "tavlo_main_frame.h"
#include "tavlo_config_dialog.h"

#include "tavlo_bar_util.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_errors.h"
#include "tavlo_find2ch_dialog.h"
#include "tavlo_jump_dialog.h"
#include "tavlo_keys.h"
#include "tavlo_list_item.h"
#include "tavlo_menu.h"
#include "tavlo_message.h"
#include "tavlo_net_hooks.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_post.h"
#include "tavlo_process.h"
#include "tavlo_search_dialog.h"
#include "tavlo_settings.h"
#include "tavlo_state_dump.h"
#include "tavlo_status_dialog.h"
#include "tavlo_tab_view.h"
#include "tavlo_url.h"
#include "tavlo_views.h"
#include "vorn_async_socket.h"
#include "vorn_kcode.h"
#include "vorn_log.h"
#include "vorn_winsock.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMetaObject>

#include <chrono>
#include <climits>

namespace {

// The frame that is alive, for the socket callback: a worker may report after it is gone.
std::atomic<CTavloWindow*> g_liveFrame{nullptr};

bool keyIs(int command, int vk) {
    return CTavloSettings::Instance().IsKey(command, vk);
}

// ASCII and full-width digits only; the value saturates instead of overflowing (a number that
// large names no post anyway).
bool parsePostNumber(const CVornString& text, int* number) {
    std::u16string w = VornSjisToUtf16(text.view());
    if (w.empty())
        return false;
    long long value = 0;
    for (char16_t c : w) {
        int digit;
        if (c >= u'0' && c <= u'9')
            digit = c - u'0';
        else if (c >= u'０' && c <= u'９')
            digit = c - u'０';
        else
            return false;
        value = std::min<long long>(value * 10 + digit, INT_MAX);
    }
    *number = static_cast<int>(value);
    return true;
}

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

const char* utf8Caption() {
    return kTavloCaption;
}

} // namespace

CMainFrame::CMainFrame(QWidget* parent)
    : QMainWindow(parent), m_windowThread(std::this_thread::get_id()) {
    setObjectName("tavlo");
    setWindowTitle(QStringLiteral("tavlo/0.0.15"));
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

    buildMenus();
    m_back.push_back(TAVLO_VIEW_BOARD);
    qApp->installEventFilter(this);
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

intptr_t CMainFrame::onMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
    if (m_closing && message != TAVLO_WM_VIEWMESSAGE) {
        // Only the bookkeeping of view messages still matters; nothing is shown any more.
        dropMessage(message, lParam);
        return 0;
    }
    switch (message) {
    case TAVLO_WM_CANCEL:
        OnCancel();
        return 0;
    case TAVLO_WM_OPENBOARD:
        if (auto* board = reinterpret_cast<const CTavloBoardRef*>(lParam)) {
            clearCancelIfIdle();
            openBoard(board->Name, board->BoardUrl, board->Board);
        }
        return 0;
    case TAVLO_WM_OPENSUBJECT:
    case TAVLO_WM_OPENBOOKMARK:
    case TAVLO_WM_OPENCACHE:
        clearCancelIfIdle();
        openListItem(lParam);
        return 0;
    case TAVLO_WM_VIEWBACK:
        ViewBack();
        return 0;
    case TAVLO_WM_VIEWFORWARD:
        ViewForward();
        return 0;
    case TAVLO_WM_OPENLINK:
        if (auto* url = reinterpret_cast<const CVornString*>(lParam)) {
            clearCancelIfIdle();
            return OpenUrl(*url);
        }
        return 0;
    case TAVLO_WM_OPENURL: {
        // Posted: the URL is ours.
        std::unique_ptr<CVornString> url(reinterpret_cast<CVornString*>(lParam));
        if (!url)
            return 0;
        clearCancelIfIdle();
        return OpenUrl(*url);
    }
    case TAVLO_WM_SHOWBOOKMARKS:
        clearCancelIfIdle();
        if (m_views.bookmarkList)
            m_views.bookmarkList->ClearMarks();
        if (m_views.boardList)
            m_views.boardList->ClearMarks();
        SwitchView(TAVLO_VIEW_BOOKMARK);
        if (m_views.bookmarkList)
            m_views.bookmarkList->Reload();
        return 0;
    case TAVLO_WM_ADDBOOKMARK:
        if (auto* item = reinterpret_cast<const CTavloListItem*>(lParam)) {
            CTavloBookmarkFile& bookmarks = CTavloBookmarkFile::Instance();
            if (bookmarks.Add(item->GetBoardUrl(), item->GetTitle(), item->GetKey(),
                              item->GetBoardName(), item->GetBoardId()) &&
                !bookmarks.Save())
                ShowErrorCode(-203);
            if (m_views.bookmarkList)
                m_views.bookmarkList->Reload();
        }
        return 0;
    case TAVLO_WM_SHOWCACHE:
        if (m_views.cacheList)
            m_views.cacheList->ClearMarks();
        if (m_views.imageList)
            m_views.imageList->ClearMarks();
        SwitchView(TAVLO_VIEW_CACHE);
        return 0;
    case TAVLO_WM_STATUSBAR:
        if (lParam) {
            m_cancel = 0;
            m_status->SetText(CVornString());
            m_status->SetProgress(0, 0);
        }
        ShowBar(BAR_STATUS, lParam != 0);
        return 0;
    case TAVLO_WM_SEARCHBAR:
        ShowBar(BAR_SEARCH, lParam != 0);
        return 0;
    case TAVLO_WM_FIND2CHBAR:
        if (lParam)
            m_find2ch->ReloadList();
        ShowBar(BAR_FIND2CH, lParam != 0);
        return 0;
    case TAVLO_WM_SEARCH:
        if (auto* word = reinterpret_cast<const CVornString*>(lParam))
            onSearch(static_cast<int>(wParam), *word);
        return 0;
    case TAVLO_WM_SHOWFIND2CH:
        if (m_views.subject)
            m_views.subject->ShowFind2ch();
        SwitchView(TAVLO_VIEW_SUBJECT);
        return 0;
    case TAVLO_WM_FIND2CH:
        if (auto* words = reinterpret_cast<const CVornString*>(lParam)) {
            auto* url = reinterpret_cast<const CVornString*>(wParam);
            clearCancelIfIdle();
            onFind2ch(url ? *url : CVornString(), *words);
        }
        return 0;
    case TAVLO_WM_ACTIONMENU:
        TavloApplyMenuNumber(m_actionMenu, CTavloSettings::Instance().MenuNumber);
        popupMenu(m_actionMenu);
        return 0;
    case TAVLO_WM_VIEWMENU:
        TavloApplyMenuNumber(m_viewMenu, CTavloSettings::Instance().MenuNumber);
        popupMenu(m_viewMenu);
        return 0;
    case TAVLO_WM_REFRESHBOOKMARK:
        if (auto* path = reinterpret_cast<const CVornString*>(lParam))
            refreshThread(*path, false);
        else if (m_views.bookmarkList) // a bookmark was added: the whole list
            m_views.bookmarkList->Reload();
        return 0;
    case TAVLO_WM_READTOEND: {
        std::unique_ptr<CVornString> path(reinterpret_cast<CVornString*>(lParam));
        if (path)
            onReadToEnd(*path);
        return 0;
    }
    case TAVLO_WM_PROGRESS: {
        // The bookmark check reports progress after every start: one arriving just after a
        // cancel must not clear it, or the check would go on starting fetches.
        if (!(m_views.bookmarkList && m_views.bookmarkList->IsChecking()))
            m_cancel = 0;
        if (!IsBarShown(BAR_STATUS))
            ShowBar(BAR_STATUS, true);
        CVornString text;
        text.Format("%d/%d", static_cast<int>(wParam), static_cast<int>(lParam));
        m_status->SetText(text);
        m_status->SetProgress(static_cast<int>(wParam), static_cast<int>(lParam));
        return 0;
    }
    case TAVLO_WM_REFRESHTHREAD:
    case TAVLO_WM_LOGCLOSED:
    case TAVLO_WM_LOGDELETED:
        if (auto* path = reinterpret_cast<const CVornString*>(lParam))
            refreshThread(*path, true);
        return 0;
    case TAVLO_WM_JUMP:
        if (auto* text = reinterpret_cast<const CVornString*>(lParam)) {
            clearCancelIfIdle();
            OnJump(*text);
        }
        return 0;
    case TAVLO_WM_JUMPBAR:
        if (lParam)
            m_jump->ReloadList();
        ShowBar(BAR_JUMP, lParam != 0);
        return 0;
    case TAVLO_WM_REFRESHIMAGES:
        // lParam: the path of a cached image that was saved or deleted.
        if (m_views.imageList && lParam)
            m_views.imageList->RefreshLogPath(*reinterpret_cast<const CVornString*>(lParam));
        else if (m_views.imageList)
            m_views.imageList->Reload();
        return 0;
    case TAVLO_WM_ADDBOARD:
        if (m_views.boardList)
            m_views.boardList->Reload();
        return 0;
    case TAVLO_WM_IMAGEDONE:
        onImageDone(lParam);
        return 0;
    case TAVLO_WM_SHOWERROR: {
        const int code = static_cast<int>(static_cast<intptr_t>(wParam));
        // After a cancel, the failed connects and transfers of the stopped work are the
        // cancel's doing: nothing to report.
        if (m_cancel.load() && code >= -102 && code <= -100)
            return 0;
        ShowErrorCode(code, reinterpret_cast<const CVornString*>(lParam));
        return 0;
    }
    case TAVLO_WM_COMMAND:
        return runFrameCommand(static_cast<int>(wParam)) ? 1 : 0;
    case TAVLO_WM_VIEWMESSAGE:
        onViewMessage(lParam);
        return 0;
    default:
        return 0;
    }
}

void CMainFrame::onViewMessage(intptr_t lParam) {
    std::unique_ptr<CTavloMessage> message(reinterpret_cast<CTavloMessage*>(lParam));
    if (!message)
        return;
    if (m_views.thread)
        m_views.thread->OnViewMessage(message.get(), m_cancel.load());
    else // without a thread view the cut-off log must still count as out of date
        TavloMarkCancelledLog(message.get(), m_cancel.load());
    if (m_closing)
        return;
    if (m_dumpState && message->Type == CTavloMessage::TYPE_CLOSEFILE)
        QMetaObject::invokeMethod(
            this, [this] { TavloDumpState(this); }, Qt::QueuedConnection);
    if (message->Type == CTavloMessage::TYPE_CLOSEFILE &&
        static_cast<CTavloCloseFileMessage*>(message.get())->Written > 0)
        refreshThread(message->DatPath, true);
}

void CMainFrame::refreshThread(const CVornString& logPath, bool cache) {
    if (logPath.IsEmpty())
        return;
    CTavloBookmarkFile::Instance().RefreshLogPath(logPath);
    if (m_views.bookmarkList)
        m_views.bookmarkList->RefreshLogPath(logPath);
    if (cache && m_views.cacheList)
        m_views.cacheList->RefreshLogPath(logPath);
}

// ---- views and history ---------------------------------------------------------------------

void CMainFrame::SetViews(const CTavloFrameViews& views) {
    const CTavloFrameViews old = m_views;
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
    m_shown = -1;
}

CTavloMainView* CMainFrame::GetView(int number) const {
    return viewOf(m_views, number);
}

void CMainFrame::ShowView(int number) {
    CTavloMainView* target = GetView(number);
    if (!target)
        return;
    CTavloMainView* current = GetView(m_shown);
    if (current != target) {
        if (current) {
            current->hide();
            current->OnHideView();
        }
        m_shown = number;
        RecalcLayout();
        target->show();
        target->OnShowView();
    }
    QString title = target->Title();
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
    if (CTavloMainView* v = GetView(m_shown)) {
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
    TavloCountKey();
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
    if (keyIs(CTavloSettings::CMD_FIND2CH, vk)) {
        runFrameCommand(ID_FIND2CH);
        return true;
    }
    if (keyIs(CTavloSettings::CMD_MENU, vk)) {
        onMessage(TAVLO_WM_ACTIONMENU, 0, 0);
        return true;
    }
    if (keyIs(CTavloSettings::CMD_SEARCH, vk)) {
        onMessage(TAVLO_WM_SEARCHBAR, 0, 1);
        return true;
    }
    if (keyIs(CTavloSettings::CMD_ONLINE, vk)) {
        toggleOnline();
        return true;
    }
    if (keyIs(CTavloSettings::CMD_OPENBOOKMARK, vk)) {
        onMessage(TAVLO_WM_SHOWBOOKMARKS, 0, 0);
        return true;
    }
    if (keyIs(CTavloSettings::CMD_JUMP, vk)) {
        onMessage(TAVLO_WM_JUMPBAR, 0, 1);
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

// ---- commands and menus --------------------------------------------------------------------

bool CMainFrame::OnCommand(int id) {
    if (id != ID_CANCEL)
        clearCancelIfIdle();
    if (id >= ID_THREAD_FIRST && id < ID_THREAD_FIRST + 1000) {
        if (!m_views.thread)
            return false;
        SwitchView(TAVLO_VIEW_THREAD);
        m_views.thread->SelectTab(id - ID_THREAD_FIRST);
        return true;
    }
    if (CTavloMainView* v = GetView(m_shown))
        if (v->OnCommand(id))
            return true;
    return runFrameCommand(id);
}

bool CMainFrame::runFrameCommand(int id) {
    bool enabled = false;
    bool checked = false;
    if (!frameCommandState(id, &enabled, &checked))
        return false;
    if (!enabled)
        return true;
    switch (id) {
    case ID_VIEW_BACK:
        ViewBack();
        break;
    case ID_VIEW_FORWARD:
        ViewForward();
        break;
    case ID_CANCEL:
        OnCancel();
        break;
    case ID_CONNECT: {
        const int index = CTavloSettings::Instance().Connection;
        if (!m_connection.IsConnected(index))
            m_connection.Connect(
                index, [](void* frame) { return static_cast<CMainFrame*>(frame)->GetCancelFlag(); },
                this);
        break;
    }
    case ID_DISCONNECT:
        if (m_connection.IsConnected(CTavloSettings::Instance().Connection) == 1)
            m_connection.Disconnect();
        break;
    case ID_SHOW_BOARD:
        SwitchView(TAVLO_VIEW_BOARD);
        break;
    case ID_SHOW_SUBJECT:
        SwitchView(TAVLO_VIEW_SUBJECT);
        break;
    case ID_SHOW_THREAD:
        SwitchView(TAVLO_VIEW_THREAD);
        break;
    case ID_SHOW_BOOKMARK:
        SwitchView(TAVLO_VIEW_BOOKMARK);
        break;
    case ID_SHOW_CACHE:
        SwitchView(TAVLO_VIEW_CACHE);
        break;
    case ID_SHOW_IMAGE:
        SwitchView(TAVLO_VIEW_IMAGE);
        break;
    case ID_CURRENT_SUBJECT:
        openCurrentSubject();
        break;
    case ID_SEARCH_RELATED:
        searchNextThread();
        break;
    case ID_ONLINE:
        toggleOnline();
        break;
    case ID_JUMP:
        onMessage(TAVLO_WM_JUMPBAR, 0, 1);
        break;
    case ID_SEARCH:
        onMessage(TAVLO_WM_SEARCHBAR, 0, 1);
        break;
    case ID_FIND2CH:
        onMessage(TAVLO_WM_FIND2CHBAR, 0, 1);
        break;
    case ID_CONFIG:
        TavloRunConfigDialog(this);
        break;
    case ID_APP_ABOUT:
        TavloMessageBox(this, "tavlo Version 0.0.15", "バージョン情報 tavlo",
                        TAVLO_MB_OK | TAVLO_MB_ICONINFORMATION);
        break;
    case ID_APP_EXIT:
        close();
        break;
    default:
        break;
    }
    return true;
}

bool CMainFrame::frameCommandState(int id, bool* enabled, bool* checked) {
    *checked = false;
    *enabled = true;
    const bool checking = m_views.bookmarkList && m_views.bookmarkList->IsChecking();
    switch (id) {
    case ID_VIEW_BACK:
        *enabled = m_back.size() > 1;
        return true;
    case ID_VIEW_FORWARD:
        *enabled = !m_forward.empty();
        return true;
    case ID_CANCEL:
        *enabled = IsWorkRunning();
        return true;
    case ID_SHOW_BOARD:
    case ID_SHOW_BOOKMARK:
    case ID_SHOW_CACHE:
    case ID_SHOW_IMAGE: {
        const int n = id == ID_SHOW_BOARD      ? TAVLO_VIEW_BOARD
                      : id == ID_SHOW_BOOKMARK ? TAVLO_VIEW_BOOKMARK
                      : id == ID_SHOW_CACHE    ? TAVLO_VIEW_CACHE
                                               : TAVLO_VIEW_IMAGE;
        *enabled = GetView(n) != nullptr;
        *checked = m_shown == n;
        return true;
    }
    case ID_SHOW_SUBJECT:
        *enabled = m_views.subject && m_views.subject->HasBoard();
        *checked = m_shown == TAVLO_VIEW_SUBJECT;
        return true;
    case ID_SHOW_THREAD:
        *enabled = m_views.thread && m_views.thread->GetTabCount() > 0;
        *checked = m_shown == TAVLO_VIEW_THREAD;
        return true;
    case ID_CURRENT_SUBJECT:
        *enabled = m_shown == TAVLO_VIEW_THREAD;
        return true;
    case ID_SEARCH_RELATED:
        *enabled = m_shown == TAVLO_VIEW_SUBJECT || m_shown == TAVLO_VIEW_THREAD;
        return true;
    case ID_ONLINE:
        *checked = CTavloSettings::Instance().Online == 1;
        return true;
    case ID_JUMP:
    case ID_SEARCH:
    case ID_FIND2CH:
    case ID_APP_ABOUT:
        return true;
    case ID_CONFIG:
        *enabled = !checking;
        return true;
    case ID_CONNECT:
    case ID_DISCONNECT:
        *enabled = true;
        return true;
    case ID_APP_EXIT:
        *enabled = !checking;
        return true;
    default:
        return false;
    }
}

void CMainFrame::GetCommandState(int id, bool* enabled, bool* checked) {
    *enabled = false;
    *checked = false;
    if (id >= ID_THREAD_FIRST && id < ID_THREAD_FIRST + 1000) {
        *enabled = true;
        return;
    }
    if (frameCommandState(id, enabled, checked))
        return;
    *enabled = false;
    *checked = false;
    if (CTavloMainView* v = GetView(m_shown))
        if (!v->UpdateCommand(id, enabled, checked)) {
            *enabled = false;
            *checked = false;
        }
}

void CMainFrame::buildMenus() {
    m_actionMenu = menuBar()->addMenu(QString::fromUtf8("アクション"));
    m_mainMenu = menuBar()->addMenu(QString::fromUtf8("メニュー"));

    QMenu* a = m_actionMenu;
    TavloAddCommand(a, ID_VIEW_BACK, "戻る");
    TavloAddCommand(a, ID_VIEW_FORWARD, "進む");
    TavloAddCommand(a, ID_CANCEL, "中止");
    TavloAddCommand(a, ID_RELOAD, "リロード");
    TavloAddCommand(a, ID_TOP, "上");
    TavloAddCommand(a, ID_BOTTOM, "下");
    TavloAddCommand(a, ID_DELETE, "削除");
    TavloAddCommand(a, ID_ADD_BOOKMARK, "ブックマーク追加");
    TavloAddCommand(a, ID_JUMP, "直接入力");
    TavloAddCommand(a, ID_SEARCH, "検索");
    TavloAddCommand(a, ID_FIND2CH, "２ちゃんねる検索");
    QMenu* thread = a->addMenu(QString::fromUtf8("スレッド操作"));
    TavloAddCommand(thread, ID_JUMP_BACK, "ジャンプ元に戻る");
    TavloAddCommand(thread, ID_TOGGLE_ABONE, "透明あぼーん");
    TavloAddCommand(thread, ID_TOGGLE_WRAP, "折り返し");
    TavloAddCommand(thread, ID_REOPEN, "再読み込み");
    TavloAddCommand(thread, ID_CURRENT_SUBJECT, "表示スレッドの板を開く");
    TavloAddCommand(thread, ID_SEARCH_RELATED, "次スレ検索");
    TavloAddCommand(thread, ID_OPEN_BROWSER, "ブラウザで開く");
    QMenu* write = a->addMenu(QString::fromUtf8("書き込み"));
    TavloAddCommand(write, ID_EDIT_NEW, "新規");
    TavloAddCommand(write, ID_EDIT_REPLY, "返信");
    TavloAddCommand(write, ID_EDIT_REPLY_ALL, "返信(本文引用)");
    TavloAddCommand(write, ID_EDIT_THREAD, "スレ立て");
    QMenu* grep = a->addMenu(QString::fromUtf8("抽出"));
    TavloAddCommand(grep, ID_GREP_ID, "ID");
    TavloAddCommand(grep, ID_GREP_NAME, "名前");
    TavloAddCommand(grep, ID_GREP_REFER, "被レス");
    QMenu* copy = a->addMenu(QString::fromUtf8("コピー"));
    TavloAddCommand(copy, ID_COPY_INFORMATION, "情報コピー");
    TavloAddCommand(copy, ID_COPY_MESSAGE, "レスコピー");
    TavloAddCommand(copy, ID_COPY_SELECTION, "選択範囲コピー");
    TavloAddCommand(copy, ID_ADD_TEMPLATE, "定型文に追加");
    TavloAddCommand(copy, ID_ADD_NGWORD, "NGワードに追加");
    QMenu* sort = a->addMenu(QString::fromUtf8("ソート"));
    TavloAddCommand(sort, ID_SORT_NEW, "新着");
    TavloAddCommand(sort, ID_SORT_SEARCH, "検索");
    TavloAddCommand(sort, ID_SORT_CACHE, "キャッシュ");
    TavloAddCommand(sort, ID_SORT_SPEED, "勢い");
    TavloAddCommand(sort, ID_SORT_NO, "No");
    TavloAddCommand(sort, ID_SORT_RES, "レス");
    TavloAddCommand(sort, ID_SORT_THREAD, "スレッド");
    TavloAddCommand(sort, ID_SORT_THREADID, "スレッドID");
    TavloAddCommand(sort, ID_SORT_BOARD, "板名");
    TavloAddCommand(sort, ID_SORT_DATE, "更新日");
    TavloAddCommand(sort, ID_FIT_HEADER, "リストビューヘッダ調節");
    QMenu* check = a->addMenu(QString::fromUtf8("選択"));
    TavloAddCommand(check, ID_CHECK_ONOFF, "On/Off");
    TavloAddCommand(check, ID_CHECK_TOOL, "ツール");
    TavloAddCommand(a, ID_DETECT_MOVE, "移転先検出");

    QMenu* m = m_mainMenu;
    m_viewMenu = m->addMenu(QString::fromUtf8("ビュー"));
    TavloAddCommand(m_viewMenu, ID_SHOW_BOARD, "板一覧");
    TavloAddCommand(m_viewMenu, ID_SHOW_SUBJECT, "スレッド一覧");
    TavloAddCommand(m_viewMenu, ID_SHOW_THREAD, "スレッド");
    TavloAddCommand(m_viewMenu, ID_SHOW_BOOKMARK, "ブックマーク");
    TavloAddCommand(m_viewMenu, ID_SHOW_CACHE, "キャッシュ");
    TavloAddCommand(m_viewMenu, ID_SHOW_IMAGE, "画像");
    m_tabMenu = m->addMenu(QString::fromUtf8("タブ"));
    TavloAddCommand(m_tabMenu, ID_NEXT_TAB, "次のタブ");
    TavloAddCommand(m_tabMenu, ID_PREV_TAB, "前のタブ");
    TavloAddCommand(m_tabMenu, ID_CLOSE_TAB, "タブを閉じる");
    m_tabMenuFixed = static_cast<int>(m_tabMenu->actions().size());
    TavloAddCommand(m, ID_ONLINE, "オンライン");
    TavloAddCommand(m, ID_CONNECT, "接続");
    TavloAddCommand(m, ID_DISCONNECT, "切断");
    TavloAddCommand(m, ID_CONFIG, "設定...");
    TavloAddCommand(m, ID_APP_ABOUT, "バージョン情報 tavlo...");
    TavloAddCommand(m, ID_APP_EXIT, "終了");

    for (QAction* action : menuBar()->actions())
        if (QMenu* menu = action->menu()) {
            connect(menu, &QMenu::triggered, this, [this](QAction* chosen) {
                if (int id = TavloCommandId(chosen))
                    OnCommand(id);
            });
        }
    // Submenus report their own choices to the top menu's triggered signal as well; their
    // state is set when they open.
    std::function<void(QMenu*)> hook = [&](QMenu* menu) {
        connect(menu, &QMenu::aboutToShow, this, [this, menu] { UpdateMenu(menu); });
        for (QAction* action : menu->actions())
            if (action->menu())
                hook(action->menu());
    };
    hook(m_actionMenu);
    hook(m_mainMenu);
    for (int id : {ID_SHOW_BOARD, ID_SHOW_SUBJECT, ID_SHOW_THREAD, ID_SHOW_BOOKMARK, ID_SHOW_CACHE,
                   ID_SHOW_IMAGE})
        for (QAction* action : m_viewMenu->actions())
            if (TavloCommandId(action) == id)
                action->setCheckable(true);
    for (QAction* action : m_mainMenu->actions())
        if (TavloCommandId(action) == ID_ONLINE)
            action->setCheckable(true);
}

void CMainFrame::rebuildTabMenu() {
    QList<QAction*> actions = m_tabMenu->actions();
    for (qsizetype i = m_tabMenuFixed; i < actions.size(); ++i) {
        m_tabMenu->removeAction(actions[i]);
        actions[i]->deleteLater();
    }
    if (!m_views.thread)
        return;
    std::vector<QString> titles = m_views.thread->ThreadTitles();
    if (titles.empty())
        return;
    m_tabMenu->addSeparator();
    for (size_t i = 0; i < titles.size(); ++i) {
        QAction* action = m_tabMenu->addAction(titles[i]);
        action->setData(ID_THREAD_FIRST + static_cast<int>(i));
    }
    TavloApplyMenuNumber(m_tabMenu, CTavloSettings::Instance().MenuNumber);
}

void CMainFrame::UpdateMenu(QMenu* menu) {
    if (!menu)
        return;
    if (menu == m_tabMenu)
        rebuildTabMenu();
    for (QAction* action : menu->actions()) {
        int id = TavloCommandId(action);
        if (id == 0)
            continue;
        bool enabled = false;
        bool checked = false;
        GetCommandState(id, &enabled, &checked);
        action->setEnabled(enabled);
        if (checked && !action->isCheckable())
            action->setCheckable(true);
        if (action->isCheckable())
            action->setChecked(checked);
    }
}

void CMainFrame::ApplyMenuNumber() {
    const int on = CTavloSettings::Instance().MenuNumber;
    TavloApplyMenuNumber(m_actionMenu, on);
    TavloApplyMenuNumber(m_mainMenu, on);
}

void CMainFrame::popupMenu(QMenu* menu) {
    UpdateMenu(menu);
    menu->popup(mapToGlobal(QPoint(0, 0)));
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
    if (TavloMessageBox(this, "キャンセルしますか？", utf8Caption(),
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
        if (keyIs(CTavloSettings::CMD_CANCEL, TavloEventVirtualKey(k))) {
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

// ---- opening things ------------------------------------------------------------------------

void CMainFrame::openListItem(intptr_t lParam) {
    auto* item = reinterpret_cast<const CTavloListItem*>(lParam);
    if (!item || !m_views.thread)
        return;
    SwitchView(TAVLO_VIEW_THREAD);
    m_views.thread->OpenThread(item->GetTitle(), item->GetKey(), item->GetBoardUrl(),
                               item->GetBoardId(), -1);
}

void CMainFrame::openBoard(const CVornString& name, const CVornString& boardUrl,
                           const CVornString& board) {
    if (!m_views.subject)
        return;
    SwitchView(TAVLO_VIEW_SUBJECT);
    m_views.subject->OpenBoard(name, boardUrl, board);
    // The list sets the title once it has the board.
    QString title = m_views.subject->Title();
    if (!title.isEmpty() && m_shown == TAVLO_VIEW_SUBJECT)
        setWindowTitle(title);
}

void CMainFrame::openCurrentSubject() {
    if (m_shown != TAVLO_VIEW_THREAD || !m_views.thread || !m_views.subject)
        return;
    CVornString name, boardUrl, board;
    if (!m_views.thread->GetCurrentBoard(&name, &boardUrl, &board))
        return;
    m_views.subject->ClearNewMarks();
    if (name.IsEmpty() && m_views.board)
        name = m_views.board->FindBoardName(board);
    openBoard(name, boardUrl, board);
}

int CMainFrame::OpenUrl(const CVornString& url) {
    VLOG(1, "CMainFrame::OpenUrl", "%s", url.c_str());
    CTavloSettings& s = CTavloSettings::Instance();
    if (s.UseImageView == 1 && m_views.image) {
        int r = m_views.image->OpenImageUrl(url);
        if (r >= 0)
            return r;
    }
    CTavloUrlTarget target = TavloClassifyUrl(url, s.UseYoutube);
    switch (target.kind) {
    case CTavloUrlTarget::KIND_THREAD:
        if (!m_views.thread)
            return 0;
        SwitchView(TAVLO_VIEW_THREAD);
        return m_views.thread->OpenThread(target.title, target.key, target.boardUrl, target.board,
                                          target.number);
    case CTavloUrlTarget::KIND_BOARD: {
        CVornString name;
        if (m_views.board)
            name = m_views.board->FindBoardName(target.board);
        openBoard(name, target.boardUrl, target.board);
        return 1;
    }
    case CTavloUrlTarget::KIND_VIDEO:
        if (s.YoutubeBrowser.IsEmpty()) {
            ShowErrorCode(-300);
            return 1;
        }
        if (!TavloStartProcess(s.YoutubeBrowser.c_str(), ("youtube://" + target.videoId).c_str()))
            TavloMessageBox(this, "Youtubeブラウザの起動に失敗しました", utf8Caption(),
                            TAVLO_MB_OK | TAVLO_MB_ICONERROR);
        return 1;
    default:
        break;
    }
    if (s.Browser.IsEmpty()) {
        ShowErrorCode(-300);
        return 0;
    }
    CVornString complete = target.url.IsEmpty() ? TavloCompleteUrl(url) : target.url;
    if (!TavloStartProcess(s.Browser.c_str(), complete.c_str()))
        TavloMessageBox(this, "ブラウザの起動に失敗しました", utf8Caption(),
                        TAVLO_MB_OK | TAVLO_MB_ICONERROR);
    return 1;
}

void CMainFrame::OnJump(const CVornString& text) {
    CTavloSettings& s = CTavloSettings::Instance();
    VLOG(1, "CMainFrame::OnJump", "%s", text.c_str());
    if (text.Find("://") >= 0) {
        ShowBar(BAR_JUMP, false);
        OpenUrl(text);
        s.AddHistory(CTavloSettings::HISTORY_JUMP, text);
        m_jump->ReloadList();
        return;
    }
    CVornString name, boardUrl;
    if (m_views.board && m_views.board->FindBoardId(text, &name, &boardUrl)) {
        ShowBar(BAR_JUMP, false);
        openBoard(name, boardUrl, text);
        s.AddHistory(CTavloSettings::HISTORY_JUMP, text);
        m_jump->ReloadList();
        return;
    }
    int number = 0;
    if (parsePostNumber(text, &number) && NewestView() == TAVLO_VIEW_THREAD && m_views.thread) {
        ShowBar(BAR_JUMP, false);
        m_views.thread->JumpNumber(number);
        return;
    }
    TavloMessageBox(this, "直接入力にはURL/板ID/レス番号のみ入力可能です", utf8Caption(),
                    TAVLO_MB_OK | TAVLO_MB_ICONERROR);
    if (IsBarShown(BAR_JUMP))
        m_jump->GetCombo()->setFocus();
}

void CMainFrame::ShowErrorCode(int code, const CVornString* text) {
    const bool hasText = text && !text->IsEmpty();
    // A transfer the user stopped has nothing to report.
    if (code == -1 && !hasText)
        return;
    QByteArray message =
        hasText ? TavloQString(*text).toUtf8() : QByteArray(TavloErrorMessage(code));
    VLOG(0, "CMainFrame::ShowErrorCode", "%d %s", code, message.constData());
    TavloMessageBox(this, message.constData(), kTavloErrorCaption,
                    TAVLO_MB_OK | TAVLO_MB_ICONERROR);
}

void CMainFrame::onSearch(int direction, const CVornString& word) {
    CTavloSettings::Instance().AddHistory(CTavloSettings::HISTORY_SEARCHWORD, word);
    m_search->ReloadList();
    m_find2ch->ReloadList();
    const int newest = NewestView();
    CTavloMainView* view = GetView(newest);
    if (!view)
        return;
    view->Search(word, direction);
    // The board tree and the thread view keep the bar for the next hit; the lists show the
    // result.
    if (newest == TAVLO_VIEW_SUBJECT || newest == TAVLO_VIEW_BOOKMARK ||
        newest == TAVLO_VIEW_CACHE) {
        ShowBar(BAR_SEARCH, false);
        focusShownView();
    } else if (IsBarShown(BAR_SEARCH)) {
        m_search->GetCombo()->setFocus();
    }
}

void CMainFrame::onFind2ch(const CVornString& url, const CVornString& words) {
    CTavloSettings::Instance().AddHistory(CTavloSettings::HISTORY_SEARCHWORD, words);
    m_search->ReloadList();
    m_find2ch->ReloadList();
    if (!m_views.subject)
        return;
    SwitchView(TAVLO_VIEW_SUBJECT);
    ShowBar(BAR_FIND2CH, false);
    onMessage(TAVLO_WM_STATUSBAR, 0, 1);
    m_views.subject->Find2ch(url, words);
    if (!m_closing)
        ShowBar(BAR_STATUS, false);
}

void CMainFrame::searchNextThread() {
    if (!m_views.subject)
        return;
    if (m_shown == TAVLO_VIEW_THREAD && m_views.thread) {
        // The thread's board first, so that its list is the one searched.
        CVornString name, boardUrl, board;
        if (!m_views.thread->GetCurrentBoard(&name, &boardUrl, &board))
            return;
        const CVornString title = m_views.thread->GetCurrentTitle();
        openCurrentSubject();
        if (m_shown == TAVLO_VIEW_SUBJECT && m_views.subject)
            m_views.subject->SearchNextThread(title, boardUrl);
    } else if (m_shown == TAVLO_VIEW_SUBJECT) {
        m_views.subject->SearchNextThreadOfSelection();
    }
}

void CMainFrame::onReadToEnd(const CVornString& logPath) {
    if (m_back.size() < 2 || m_back[m_back.size() - 2] != TAVLO_VIEW_BOOKMARK)
        return;
    CTavloBookmarkFile& bookmarks = CTavloBookmarkFile::Instance();
    if (!bookmarks.FindLogPath(logPath))
        return;
    CTavloBookmarkItem* next = bookmarks.NextUpdated(logPath);
    if (!next || !m_views.thread)
        return;
    if (TavloMessageBox(this, "次の新着ブックマークを開きますか？", utf8Caption(),
                        TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) != TAVLO_IDYES)
        return;
    SwitchView(TAVLO_VIEW_THREAD);
    m_views.thread->OpenThread(next->GetTitle(), next->GetKey(), next->GetBoardUrl(),
                               next->GetBoardId(), -1);
}

void CMainFrame::onImageDone(intptr_t lParam) {
    auto* result = reinterpret_cast<const CTavloImageResult*>(lParam);
    if (!result)
        return;
    if (!result->Text.IsEmpty()) {
        if (m_views.image) {
            m_views.image->ShowText(result->Text);
            SwitchView(TAVLO_VIEW_IMAGE);
        }
    } else if (result->Error != 0) {
        ShowErrorCode(result->Error);
        return;
    }
    if (m_views.imageList)
        m_views.imageList->RefreshLogPath(CTavloPath::GetImageCachePath(result->Url));
    const CTavloSettings& s = CTavloSettings::Instance();
    if (s.ViewAfterDownload == 1) {
        if (NewestView() == TAVLO_VIEW_THREAD && m_views.image &&
            m_views.image->CanShow(result->Url)) {
            m_views.image->ShowImage(result->Url);
            SwitchView(TAVLO_VIEW_IMAGE);
        }
    } else if (m_views.thread) {
        m_views.thread->Refresh();
    }
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
    // Workers already waiting in SendMessage get their answer; later ones are refused at once.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (m_inflight.load() > 0 && std::chrono::steady_clock::now() < deadline)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    // The views go while the frame is whole: their workers may still report to it.
    for (int n = TAVLO_VIEW_IMAGE; n >= TAVLO_VIEW_BOARD; --n)
        delete GetView(n);
    m_views = CTavloFrameViews();
    m_shown = -1;
}
