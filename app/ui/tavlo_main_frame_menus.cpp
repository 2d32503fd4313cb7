// The frame's commands and its menus: the action menu, the main menu with its view and tab
// submenus, and the enabled/checked state they show.
#include "tavlo_main_frame.h"

#include "tavlo_config_dialog.h"
#include "tavlo_menu.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_views.h"

#include <QMenu>
#include <QMenuBar>

#include <functional>

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
    case ID_DESKTOP_LAYOUT: {
        // Written through first, so that the next start comes up the same way.
        const bool on = m_desktop == nullptr;
        CTavloSettings::Instance().SetInt("DesktopLayout", on ? 1 : 0);
        SetDesktopLayout(on);
        break;
    }
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
    case ID_DESKTOP_LAYOUT:
        *checked = m_desktop != nullptr;
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
    m_viewMenu->addSeparator();
    TavloAddCommand(m_viewMenu, ID_DESKTOP_LAYOUT, "3ペイン表示");
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
                   ID_SHOW_IMAGE, ID_DESKTOP_LAYOUT})
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
