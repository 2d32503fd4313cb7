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

namespace {

// The view a show command brings up; -1 for other commands.
int viewOfShowCommand(int id) {
    switch (id) {
    case ID_SHOW_BOARD:
        return TAVLO_VIEW_BOARD;
    case ID_SHOW_SUBJECT:
        return TAVLO_VIEW_SUBJECT;
    case ID_SHOW_THREAD:
        return TAVLO_VIEW_THREAD;
    case ID_SHOW_BOOKMARK:
        return TAVLO_VIEW_BOOKMARK;
    case ID_SHOW_CACHE:
        return TAVLO_VIEW_CACHE;
    case ID_SHOW_IMAGE:
        return TAVLO_VIEW_IMAGE;
    default:
        return -1;
    }
}

} // namespace

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
    if (const int view = viewOfShowCommand(id); view >= 0) {
        SwitchView(view);
        return true;
    }
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
        const int n = viewOfShowCommand(id);
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
    TavloAddCommands(a, {{ID_VIEW_BACK, "戻る"},
                         {ID_VIEW_FORWARD, "進む"},
                         {ID_CANCEL, "中止"},
                         {ID_RELOAD, "リロード"},
                         {ID_TOP, "上"},
                         {ID_BOTTOM, "下"},
                         {ID_DELETE, "削除"},
                         {ID_ADD_BOOKMARK, "ブックマーク追加"},
                         {ID_JUMP, "直接入力"},
                         {ID_SEARCH, "検索"},
                         {ID_FIND2CH, "２ちゃんねる検索"}});
    TavloAddSubmenu(a, "スレッド操作",
                    {{ID_JUMP_BACK, "ジャンプ元に戻る"},
                     {ID_TOGGLE_ABONE, "透明あぼーん"},
                     {ID_TOGGLE_WRAP, "折り返し"},
                     {ID_REOPEN, "再読み込み"},
                     {ID_CURRENT_SUBJECT, "表示スレッドの板を開く"},
                     {ID_SEARCH_RELATED, "次スレ検索"},
                     {ID_OPEN_BROWSER, "ブラウザで開く"}});
    TavloAddSubmenu(a, "書き込み",
                    {{ID_EDIT_NEW, "新規"},
                     {ID_EDIT_REPLY, "返信"},
                     {ID_EDIT_REPLY_ALL, "返信(本文引用)"},
                     {ID_EDIT_THREAD, "スレ立て"}});
    TavloAddSubmenu(a, "抽出",
                    {{ID_GREP_ID, "ID"}, {ID_GREP_NAME, "名前"}, {ID_GREP_REFER, "被レス"}});
    TavloAddSubmenu(a, "コピー",
                    {{ID_COPY_INFORMATION, "情報コピー"},
                     {ID_COPY_MESSAGE, "レスコピー"},
                     {ID_COPY_SELECTION, "選択範囲コピー"},
                     {ID_ADD_TEMPLATE, "定型文に追加"},
                     {ID_ADD_NGWORD, "NGワードに追加"}});
    TavloAddSubmenu(a, "ソート",
                    {{ID_SORT_NEW, "新着"},
                     {ID_SORT_SEARCH, "検索"},
                     {ID_SORT_CACHE, "キャッシュ"},
                     {ID_SORT_SPEED, "勢い"},
                     {ID_SORT_NO, "No"},
                     {ID_SORT_RES, "レス"},
                     {ID_SORT_THREAD, "スレッド"},
                     {ID_SORT_THREADID, "スレッドID"},
                     {ID_SORT_BOARD, "板名"},
                     {ID_SORT_DATE, "更新日"},
                     {ID_FIT_HEADER, "リストビューヘッダ調節"}});
    TavloAddSubmenu(a, "選択", {{ID_CHECK_ONOFF, "On/Off"}, {ID_CHECK_TOOL, "ツール"}});
    TavloAddCommand(a, ID_DETECT_MOVE, "移転先検出");

    QMenu* m = m_mainMenu;
    m_viewMenu = TavloAddSubmenu(m, "ビュー",
                                 {{ID_SHOW_BOARD, "板一覧", true},
                                  {ID_SHOW_SUBJECT, "スレッド一覧", true},
                                  {ID_SHOW_THREAD, "スレッド", true},
                                  {ID_SHOW_BOOKMARK, "ブックマーク", true},
                                  {ID_SHOW_CACHE, "キャッシュ", true},
                                  {ID_SHOW_IMAGE, "画像", true}});
    m_viewMenu->addSeparator();
    TavloAddCommand(m_viewMenu, ID_DESKTOP_LAYOUT, "3ペイン表示")->setCheckable(true);
    m_tabMenu = TavloAddSubmenu(
        m, "タブ",
        {{ID_NEXT_TAB, "次のタブ"}, {ID_PREV_TAB, "前のタブ"}, {ID_CLOSE_TAB, "タブを閉じる"}});
    m_tabMenuFixed = static_cast<int>(m_tabMenu->actions().size());
    TavloAddCommands(m, {{ID_ONLINE, "オンライン", true},
                         {ID_CONNECT, "接続"},
                         {ID_DISCONNECT, "切断"},
                         {ID_CONFIG, "設定..."},
                         {ID_APP_ABOUT, "バージョン情報 tavlo..."},
                         {ID_APP_EXIT, "終了"}});

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
