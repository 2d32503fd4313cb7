// The main frame driven as the user drives it: view history, key dispatch, bars, direct
// input, the open-URL request, messages from workers, errors by code.
#include "tavlo_board_file.h"
#include "tavlo_bookmark_board_view.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_bookmark_view.h"
#include "tavlo_find2ch_dialog.h"
#include "tavlo_image_view.h"
#include "tavlo_info_file.h"
#include "tavlo_jump_dialog.h"
#include "tavlo_menu.h"
#include "tavlo_message.h"
#include "tavlo_net_hooks.h"
#include "tavlo_path.h"
#include "tavlo_placeholder_views.h"
#include "tavlo_search_dialog.h"
#include "tavlo_status_dialog.h"
#include "tavlo_tab_ctrl.h"
#include "tavlo_tab_view.h"
#include "ui_test_util.h"
#include "vorn_async_socket.h"
#include "vorn_kcode.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <thread>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// A board tree that records the keys that reach it; its child passes keys on to it.
class RecordingBoard : public CTavloBoardPlaceholder {
public:
    RecordingBoard(CTavloWindow* frame, QWidget* parent) : CTavloBoardPlaceholder(frame, parent) {
        child = new QWidget(this);
        child->setFocusPolicy(Qt::StrongFocus);
    }
    bool OnKeyDown(int vk, Qt::KeyboardModifiers) override {
        keys.push_back(vk);
        return vk == 'R';
    }
    std::vector<int> keys;
    QWidget* child;
};

class Frame : public ::testing::Test {
protected:
    void SetUp() override {
        WriteIni(dir.file("tavlo.ini"), {"RootDirectory=" + root()});
        ASSERT_EQ(run.start(), 1);
        f = run.frame();
        ASSERT_NE(f, nullptr);
        // The frame's own logic, with stand-ins that note what the board tree, the thread list
        // and the thread view are asked.
        CTavloFrameViews v = f->Views();
        v.board = new CTavloBoardPlaceholder(f, f->GetClient());
        v.subject = new CTavloSubjectPlaceholder(f, f->GetClient());
        v.thread = new CTavloThreadPlaceholder(f, f->GetClient());
        f->SetViews(v);
        f->ShowView(TAVLO_VIEW_BOARD);
        boxes.boxes.clear();
    }
    std::string root() const { return dir.file("logs"); }
    CTavloSubjectPlaceholder* subject() {
        return static_cast<CTavloSubjectPlaceholder*>(f->Views().subject);
    }
    CTavloThreadPlaceholder* thread() {
        return static_cast<CTavloThreadPlaceholder*>(f->Views().thread);
    }
    void writeBoards(const char* file, const std::vector<std::vector<std::string>>& rows) {
        CTavloBoardFile list(CVornString(root() + "/" + file));
        for (auto& r : rows)
            list.AddRow({CVornString(VornUtf8ToSjis(r[0])), CVornString(r[1]), CVornString(r[2])});
        ASSERT_EQ(list.Save(), 0);
    }
    void jump(const char* utf8) {
        f->OnCommand(ID_JUMP);
        f->GetJumpBar()->GetCombo()->setEditText(U(utf8));
        f->GetJumpBar()->GetOkButton()->click();
    }
    QAction* action(QMenu* menu, int id) {
        for (QAction* a : menu->actions())
            if (TavloCommandId(a) == id)
                return a;
        return nullptr;
    }

    TempDir dir;
    BoxLog boxes;
    ShellRun run{dir.file("tavlo.ini")};
    CMainFrame* f = nullptr;
};

// ---- view history --------------------------------------------------------------------------

TEST_F(Frame, HistoryKeepsEachViewOnceNewestLastAndForwardIsClearedBySwitching) {
    EXPECT_EQ(f->BackList(), std::vector<int>{0});
    f->SwitchView(1);
    f->SwitchView(2);
    f->SwitchView(1);
    EXPECT_EQ(f->BackList(), (std::vector<int>{0, 2, 1}));
    EXPECT_EQ(f->GetShownView(), 1);

    f->ViewBack();
    EXPECT_EQ(f->GetShownView(), 2);
    EXPECT_EQ(f->BackList(), (std::vector<int>{0, 2}));
    EXPECT_EQ(f->ForwardList(), std::vector<int>{1});
    f->ViewForward();
    EXPECT_EQ(f->GetShownView(), 1);
    EXPECT_EQ(f->BackList(), (std::vector<int>{0, 2, 1}));
    EXPECT_TRUE(f->ForwardList().empty());

    // Recording a view clears forward: Forward then does nothing.
    f->ViewBack();
    f->SwitchView(3);
    EXPECT_TRUE(f->ForwardList().empty());
    f->ViewForward();
    EXPECT_EQ(f->GetShownView(), 3);
    EXPECT_EQ(f->BackList(), (std::vector<int>{0, 2, 3}));
    // Recording the newest view again changes nothing.
    f->SwitchView(3);
    EXPECT_EQ(f->BackList(), (std::vector<int>{0, 2, 3}));
}

TEST_F(Frame, BackWithOneEntryDoesNothingAndItsCommandIsDisabled) {
    f->ViewBack();
    EXPECT_EQ(f->GetShownView(), 0);
    EXPECT_EQ(f->BackList(), std::vector<int>{0});
    bool enabled = true, checked = false;
    f->GetCommandState(ID_VIEW_BACK, &enabled, &checked);
    EXPECT_FALSE(enabled);
    f->GetCommandState(ID_VIEW_FORWARD, &enabled, &checked);
    EXPECT_FALSE(enabled);
    f->SwitchView(4);
    f->GetCommandState(ID_VIEW_BACK, &enabled, &checked);
    EXPECT_TRUE(enabled);
    f->OnCommand(ID_VIEW_BACK);
    EXPECT_EQ(f->GetShownView(), 0);
    f->GetCommandState(ID_VIEW_FORWARD, &enabled, &checked);
    EXPECT_TRUE(enabled);
}

TEST_F(Frame, ShowingAViewSetsItsTitleAndTheViewMenuMarksIt) {
    f->SwitchView(3);
    EXPECT_EQ(f->windowTitle(), U("ブックマーク"));
    f->SwitchView(4);
    EXPECT_EQ(f->windowTitle(), U("キャッシュ"));
    f->SwitchView(5);
    EXPECT_EQ(f->windowTitle(), U("画像"));
    f->SwitchView(0);
    EXPECT_EQ(f->windowTitle(), U("tavlo/0.0.15"));
    f->UpdateMenu(f->GetViewMenu());
    EXPECT_TRUE(action(f->GetViewMenu(), ID_SHOW_BOARD)->isChecked());
    EXPECT_FALSE(action(f->GetViewMenu(), ID_SHOW_BOOKMARK)->isChecked());
    // The thread list and the thread view open only once they have something.
    EXPECT_FALSE(action(f->GetViewMenu(), ID_SHOW_SUBJECT)->isEnabled());
    EXPECT_FALSE(action(f->GetViewMenu(), ID_SHOW_THREAD)->isEnabled());
    f->OnCommand(ID_SHOW_SUBJECT); // disabled: nothing
    EXPECT_EQ(f->GetShownView(), 0);
    EXPECT_EQ(f->OpenUrl(CVornString("http://news.example-bbs.test/test/read.cgi/news/123/")), 1);
    f->UpdateMenu(f->GetViewMenu());
    EXPECT_TRUE(action(f->GetViewMenu(), ID_SHOW_THREAD)->isEnabled());
    EXPECT_TRUE(action(f->GetViewMenu(), ID_SHOW_THREAD)->isChecked());
}

TEST_F(Frame, ContainersHoldTheirListsInOrder) {
    CTavloTabView* bookmark = f->Views().bookmark;
    CTavloTabView* cache = f->Views().cache;
    ASSERT_EQ(bookmark->GetTabCount(), 2);
    EXPECT_EQ(bookmark->GetTabCtrl()->tabText(0), U("スレッド"));
    EXPECT_EQ(bookmark->GetTabCtrl()->tabText(1), U("その他"));
    EXPECT_EQ(bookmark->GetView(0), f->Views().bookmarkList);
    EXPECT_EQ(bookmark->GetView(1), f->Views().boardList);
    ASSERT_EQ(cache->GetTabCount(), 2);
    EXPECT_EQ(cache->GetTabCtrl()->tabText(0), U("スレッド"));
    EXPECT_EQ(cache->GetTabCtrl()->tabText(1), U("画像"));
    EXPECT_EQ(cache->GetView(0), f->Views().cacheList);
    EXPECT_EQ(cache->GetView(1), f->Views().imageList);
}

// ---- keys ----------------------------------------------------------------------------------

TEST_F(Frame, FrameKeysComeBeforeTheViewsAndCodeZeroNeverMatches) {
    CTavloFrameViews v = f->Views();
    auto* board = new RecordingBoard(f, f->GetClient());
    v.board = board;
    f->SetViews(v);
    f->ShowView(0);
    CTavloSettings& s = CTavloSettings::Instance();
    // 'S' opens the search bar and also stands for a view command: only the bar opens.
    s.SetSubKey(CTavloSettings::CMD_RELOAD, 'S');
    QTest::keyClick(board, Qt::Key_S);
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_SEARCH));
    EXPECT_TRUE(board->keys.empty());
    f->SendMessage(TAVLO_WM_SEARCHBAR, 0, 0);

    // A key the frame does not bind reaches the view once, also when it arrives at a child
    // that leaves it to its parents.
    QTest::keyClick(board->child, Qt::Key_R);
    QTest::keyClick(board->child, Qt::Key_K);
    EXPECT_EQ(board->keys, (std::vector<int>{'R', 'K'}));
    // Keys without a code (0) match nothing, not even unbound commands.
    QTest::keyClick(board, Qt::Key_Launch0);
    EXPECT_FALSE(f->DispatchKey(0));
    EXPECT_EQ(board->keys.size(), 2u);

    // The other frame keys: Jump 'G', Online 'T', OpenBookmark 'O'.
    QTest::keyClick(board, Qt::Key_G);
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_JUMP));
    f->SendMessage(TAVLO_WM_JUMPBAR, 0, 0);
    const int online = s.Online;
    QTest::keyClick(board, Qt::Key_T);
    EXPECT_EQ(s.Online, 1 - online);
    QTest::keyClick(board, Qt::Key_O);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOOKMARK);
    EXPECT_EQ(board->keys.size(), 2u);
    // Menu (Space) pops up the action menu.
    f->ShowView(TAVLO_VIEW_BOARD);
    QTest::keyClick(board, Qt::Key_Space);
    EXPECT_TRUE(f->GetActionMenu()->isVisible());
    f->GetActionMenu()->hide();
    EXPECT_EQ(board->keys.size(), 2u);
}

TEST_F(Frame, ContainerKeysComeFirstInsideAContainer) {
    CTavloSettings& s = CTavloSettings::Instance();
    s.SetSubKey(CTavloSettings::CMD_SEARCH, 'F'); // also NextTab
    f->SwitchView(TAVLO_VIEW_CACHE);
    CTavloTabView* cache = f->Views().cache;
    QWidget* list = cache->GetSelectedView();
    QTest::keyClick(list, Qt::Key_F);
    EXPECT_EQ(cache->GetCurSel(), 1);
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_SEARCH));
    QTest::keyClick(cache->GetSelectedView(), Qt::Key_F); // wraps
    EXPECT_EQ(cache->GetCurSel(), 0);
    // ViewBack (Escape) inside the container goes back in the history.
    QTest::keyClick(cache->GetSelectedView(), Qt::Key_Escape);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
    // Outside a container the same key is the frame's.
    QTest::keyClick(f->GetView(0), Qt::Key_F);
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_SEARCH));
}

TEST_F(Frame, ListKeysGoBackForwardAndCancelThroughTheFrame) {
    f->SwitchView(TAVLO_VIEW_IMAGE);
    QTest::keyClick(f->GetView(TAVLO_VIEW_IMAGE), Qt::Key_Escape);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
    CTavloSettings::Instance().SetKey(CTavloSettings::CMD_VIEWFORWARD, 'Y');
    QTest::keyClick(f->GetView(TAVLO_VIEW_BOARD), Qt::Key_Y);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_IMAGE);
    // Cancel with nothing running asks nothing and changes nothing.
    CTavloSettings::Instance().SetKey(CTavloSettings::CMD_CANCEL, 'C');
    QTest::keyClick(f->GetView(TAVLO_VIEW_IMAGE), Qt::Key_C);
    f->OnCommand(ID_CANCEL);
    EXPECT_EQ(boxes.count(), 0u);
    EXPECT_EQ(f->GetCancelFlag(), 0);
}

// ---- bars and layout -----------------------------------------------------------------------

TEST_F(Frame, OneBarAtATimeInTheBarAreaAndTheViewFillsTheRest) {
    f->resize(640, 480);
    QApplication::processEvents();
    const QSize client = f->GetClient()->size();
    QWidget* view = f->GetView(0);
    EXPECT_EQ(view->geometry(), QRect(0, 0, client.width(), client.height() + 2));

    f->SendMessage(TAVLO_WM_SEARCHBAR, 0, 1);
    f->SendMessage(TAVLO_WM_STATUSBAR, 0, 1);
    EXPECT_EQ(f->PlacedBar(), CMainFrame::BAR_STATUS);
    EXPECT_TRUE(f->GetStatusBar()->isVisible());
    EXPECT_FALSE(f->GetSearchBar()->isVisible());
    EXPECT_EQ(f->GetStatusBar()->geometry(), QRect(0, client.height() - 46, client.width(), 46));
    EXPECT_EQ(view->geometry(), QRect(0, 0, client.width(), client.height() - 46));

    // The status bar goes; the search bar was asked for and comes back.
    f->SendMessage(TAVLO_WM_STATUSBAR, 0, 0);
    EXPECT_EQ(f->PlacedBar(), CMainFrame::BAR_SEARCH);
    EXPECT_TRUE(f->GetSearchBar()->isVisible());
    f->SendMessage(TAVLO_WM_SEARCHBAR, 0, 0);
    EXPECT_EQ(f->PlacedBar(), -1);
    EXPECT_EQ(view->geometry(), QRect(0, 0, client.width(), client.height() + 2));

    f->resize(800, 600);
    QApplication::processEvents();
    EXPECT_EQ(view->width(), f->GetClient()->width());
}

TEST_F(Frame, ProgressShowsCountsInTheStatusBarAndClearsTheCancelFlag) {
    f->SendMessage(TAVLO_WM_PROGRESS, 1234, 5678);
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_STATUS));
    EXPECT_EQ(f->GetStatusBar()->GetText(), "1234/5678");
    EXPECT_EQ(f->GetStatusBar()->GetPosition(), 21);
    f->SendMessage(TAVLO_WM_PROGRESS, 10, 0); // no total yet
    EXPECT_EQ(f->GetStatusBar()->GetText(), "10/0");
    EXPECT_EQ(f->GetStatusBar()->GetPosition(), 0);
    f->SendMessage(TAVLO_WM_STATUSBAR, 0, 0);
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));
}

TEST_F(Frame, SearchWordGoesToTheNewestViewAndIntoTheHistory) {
    f->SwitchView(TAVLO_VIEW_SUBJECT);
    f->OnCommand(ID_SEARCH);
    ASSERT_TRUE(f->IsBarShown(CMainFrame::BAR_SEARCH));
    f->GetSearchBar()->GetCombo()->setEditText(U("表示"));
    f->GetSearchBar()->GetButton(1065)->click();
    // The thread list filters and takes the bar away.
    EXPECT_EQ(subject()->LastRequest(), U("絞り込み: 表示"));
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_SEARCH));
    const CVornDataArray& words =
        CTavloSettings::Instance().HistoryList[CTavloSettings::HISTORY_SEARCHWORD];
    ASSERT_EQ(words.GetCount(), 1);
    EXPECT_EQ(words.Get(0).str(), VornUtf8ToSjis("表示"));
    // Both bars show the new history.
    EXPECT_EQ(f->GetFind2chBar()->GetCombo()->itemText(0), U("表示"));

    // The board tree keeps the bar for the next hit.
    f->SwitchView(TAVLO_VIEW_BOARD);
    f->OnCommand(ID_SEARCH);
    f->GetSearchBar()->GetCombo()->setEditText(U("ソフト"));
    f->GetSearchBar()->GetButton(1066)->click();
    auto* board = static_cast<CTavloBoardPlaceholder*>(f->Views().board);
    EXPECT_EQ(board->LastRequest(), U("検索: ソフト (1)"));
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_SEARCH));
    EXPECT_EQ(f->GetSearchBar()->GetCombo()->count(), 2);

    // In a container the selected list gets the word.
    writeBoards("etc.txt", {{"趣味", "http://hobby.example-bbs.test/hobby/", "hobby"},
                            {"ソフトウェア", "http://hobby.example-bbs.test/soft/", "soft"}});
    f->SwitchView(TAVLO_VIEW_BOOKMARK);
    f->Views().bookmark->SetCurSel(1);
    f->OnCommand(ID_SEARCH);
    f->GetSearchBar()->GetButton(1065)->click();
    auto* boards = static_cast<CTavloBookmarkBoardView*>(f->Views().boardList);
    ASSERT_EQ(boards->GetItemCount(), 2);
    EXPECT_EQ(boards->GetItem(0)->GetBoardId(), CVornString("soft"));
    EXPECT_EQ(boards->GetItem(0)->IsSearchHit(), 1);
    EXPECT_EQ(boards->GetItem(1)->IsSearchHit(), 0);
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_SEARCH));
}

TEST_F(Frame, TitleSearchRunsInTheThreadListWithTheStatusBarShownMeanwhile) {
    // A thread list that notes whether the status bar was up while it searched.
    struct Subject : CTavloSubjectPlaceholder {
        using CTavloSubjectPlaceholder::CTavloSubjectPlaceholder;
        int Find2ch(const CVornString& url, const CVornString& words) override {
            statusShown = frame->IsBarShown(CMainFrame::BAR_STATUS);
            return CTavloSubjectPlaceholder::Find2ch(url, words);
        }
        CMainFrame* frame = nullptr;
        bool statusShown = false;
    };
    CTavloFrameViews v = f->Views();
    auto* list = new Subject(f, f->GetClient());
    list->frame = f;
    v.subject = list;
    f->SetViews(v);
    f->ShowView(0);

    f->OnCommand(ID_FIND2CH);
    ASSERT_TRUE(f->IsBarShown(CMainFrame::BAR_FIND2CH));
    f->GetFind2chBar()->GetCombo()->setEditText(U("天気"));
    f->GetFind2chBar()->GetSortCombo()->setCurrentIndex(3);
    QTest::keyClick(f->GetFind2chBar()->GetCombo()->lineEdit(), Qt::Key_Return);
    EXPECT_TRUE(list->statusShown);
    // The words go to EUC-JP and are URL-encoded; the query ends with sort index 3's text.
    EXPECT_EQ(list->LastRequest(), U("２ちゃんねる検索: 天気 http://find.5ch.net/index.php?TYPE="
                                     "TITLE&STR=%C5%B7%B5%A4&COUNT=50&SCEND=D&SORT=CREATED"));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_FIND2CH));
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));
    EXPECT_EQ(CTavloSettings::Instance().SortFind2ch, 3);
    EXPECT_EQ(
        CTavloSettings::Instance().HistoryList[CTavloSettings::HISTORY_SEARCHWORD].Get(0).str(),
        VornUtf8ToSjis("天気"));
}

// ---- direct input --------------------------------------------------------------------------

TEST_F(Frame, DirectInputOfABoardIdOpensTheThreadListExtraBoardsFirst) {
    writeBoards("board.txt", {{"ニュース", "", ""},
                              {"ニュース速報", "http://news.example-bbs.test/news/", "news"},
                              {"ソフトウェア", "http://hobby.example-bbs.test/soft/", "soft"}});
    writeBoards("etc.txt", {{"別のソフト", "http://other.example-bbs.test/soft/", "soft"}});
    jump("news");
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    EXPECT_EQ(subject()->LastRequest(),
              U("板: ニュース速報 http://news.example-bbs.test/news/ news"));
    EXPECT_EQ(f->windowTitle(), U("ニュース速報"));
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_JUMP));
    jump("soft");
    EXPECT_EQ(subject()->LastRequest(),
              U("板: 別のソフト http://other.example-bbs.test/soft/ soft"));
    // Both went into the history, newest first, and the bar's list shows it.
    const CVornDataArray& h = CTavloSettings::Instance().HistoryList[CTavloSettings::HISTORY_JUMP];
    ASSERT_EQ(h.GetCount(), 2);
    EXPECT_EQ(h.Get(0).str(), "soft");
    EXPECT_EQ(h.Get(1).str(), "news");
    EXPECT_EQ(f->GetJumpBar()->GetCombo()->itemText(0), "soft");
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(Frame, DirectInputOfAThreadUrlOpensItInTheThreadView) {
    jump("http://news.example-bbs.test/test/read.cgi/news/1600000000/50");
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    EXPECT_EQ(f->NewestView(), TAVLO_VIEW_THREAD);
    EXPECT_EQ(thread()->LastRequest(),
              U("スレッド: http://news.example-bbs.test/news/1600000000 (50)"));
    EXPECT_EQ(CTavloSettings::Instance().HistoryList[CTavloSettings::HISTORY_JUMP].Get(0).str(),
              "http://news.example-bbs.test/test/read.cgi/news/1600000000/50");
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_JUMP));
}

TEST_F(Frame, DirectInputOfFullWidthDigitsJumpsInTheCurrentThread) {
    f->OpenUrl(CVornString("http://news.example-bbs.test/test/read.cgi/news/1600000000/"));
    jump("１２３");
    EXPECT_EQ(thread()->LastRequest(), U("ジャンプ: 123"));
    jump("45");
    EXPECT_EQ(thread()->LastRequest(), U("ジャンプ: 45"));
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_JUMP));
    EXPECT_EQ(boxes.count(), 0u);
    // Numbers are no history entries.
    EXPECT_EQ(CTavloSettings::Instance().HistoryList[CTavloSettings::HISTORY_JUMP].GetCount(), 0);
}

TEST_F(Frame, DirectInputOfAnythingElseShowsTheErrorAndKeepsTheBar) {
    const QString error = U("直接入力にはURL/板ID/レス番号のみ入力可能です");
    jump("abc");
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, error);
    EXPECT_EQ(boxes.last().caption, "tavlo/0.0.15");
    EXPECT_EQ(boxes.last().flags & 0xF0, TAVLO_MB_ICONERROR);
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_JUMP));
    // A post number while the thread list is the newest view.
    f->SwitchView(TAVLO_VIEW_SUBJECT);
    jump("１２３");
    EXPECT_EQ(boxes.count(), 2u);
    // "|" is no digit, whatever the pattern's class says.
    f->OpenUrl(CVornString("http://news.example-bbs.test/test/read.cgi/news/1600000000/"));
    const size_t before = thread()->Requests().size();
    jump("1|2");
    EXPECT_EQ(boxes.count(), 3u);
    EXPECT_EQ(thread()->Requests().size(), before);
    // A number too large for an int is still a number (it names no post).
    jump("99999999999999999999");
    EXPECT_EQ(boxes.count(), 3u);
    EXPECT_EQ(thread()->LastRequest(), U("ジャンプ: 2147483647"));
    EXPECT_TRUE(CTavloSettings::Instance().HistoryList[CTavloSettings::HISTORY_JUMP].GetCount() ==
                0);
}

// ---- the open-URL request ------------------------------------------------------------------

TEST_F(Frame, BoardUrlsOpenTheThreadListWithTheNameFromTheBoardLists) {
    writeBoards("board.txt", {{"ニュース速報+", "http://hayabusa.5ch.net/newsplus/", "newsplus"}});
    EXPECT_EQ(f->OpenUrl(CVornString("http://hayabusa.5ch.net/newsplus/")), 1);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    EXPECT_EQ(subject()->LastRequest(),
              U("板: ニュース速報+ http://hayabusa.5ch.net/newsplus/ newsplus"));
    // A board that no list knows opens with an empty name.
    EXPECT_EQ(f->OpenUrl(CVornString("http://egg.5ch.net/unknown/")), 1);
    EXPECT_EQ(subject()->LastRequest(), U("板:  http://egg.5ch.net/unknown/ unknown"));
}

TEST_F(Frame, OtherUrlsGoToTheBrowserOrSayWhyNot) {
    CTavloSettings& s = CTavloSettings::Instance();
    s.SetString("Browser", CVornString(""));
    EXPECT_EQ(f->OpenUrl(CVornString("http://example.com/page")), 0);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("ブラウザを設定してください"));
    EXPECT_EQ(boxes.last().caption, "tavlo");

    s.SetString("Browser", CVornString("/nonexistent/browser"));
    EXPECT_EQ(f->OpenUrl(CVornString("ttp://example.com/page")), 1);
    EXPECT_EQ(boxes.last().text, U("ブラウザの起動に失敗しました"));
    EXPECT_EQ(boxes.last().caption, "tavlo/0.0.15");

    s.SetString("Browser", CVornString("true"));
    EXPECT_EQ(f->OpenUrl(CVornString("http://example.com/page")), 1);
    EXPECT_EQ(boxes.count(), 2u);

    // A video link without a video program: the browser rule does not apply.
    s.SetInt("UseYoutube", 1);
    EXPECT_EQ(f->OpenUrl(CVornString("http://www.youtube.com/watch?v=abc")), 1);
    EXPECT_EQ(boxes.last().text, U("ブラウザを設定してください"));
    EXPECT_EQ(boxes.count(), 3u);
}

TEST_F(Frame, PostedUrlsAndListEntriesOpenThreads) {
    f->PostMessage(TAVLO_WM_OPENURL, 0,
                   reinterpret_cast<intptr_t>(new CVornString(
                       "http://news.example-bbs.test/test/read.cgi/news/1600000001/")));
    ASSERT_TRUE(PumpUntil([&] { return f->GetShownView() == TAVLO_VIEW_THREAD; }));
    EXPECT_EQ(thread()->LastRequest(),
              U("スレッド: http://news.example-bbs.test/news/1600000001 (0)"));

    CTavloBookmarkItem item(CVornString("news"), CVornString("N"), 1, CVornString("T"),
                            CVornString("1600000002"),
                            CVornString("http://news.example-bbs.test/news/"));
    f->SwitchView(TAVLO_VIEW_BOOKMARK);
    f->SendMessage(TAVLO_WM_OPENBOOKMARK, 0, reinterpret_cast<intptr_t>(&item));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    EXPECT_EQ(thread()->LastRequest(),
              U("スレッド: http://news.example-bbs.test/news/1600000002 (-1)"));
    EXPECT_EQ(f->BackList(), (std::vector<int>{0, 3, 2}));

    // The board of the shown thread (command 32917) opens in the thread list.
    f->OnCommand(ID_CURRENT_SUBJECT);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    EXPECT_EQ(subject()->LastRequest(), U("板:  http://news.example-bbs.test/news/ news"));
    // Only while the thread view is shown.
    f->OnCommand(ID_CURRENT_SUBJECT);
    EXPECT_EQ(subject()->Requests().size(), 1u);
}

TEST_F(Frame, AddingABookmarkWritesTheBookmarkFile) {
    CTavloBookmarkItem item(CVornString("news"), CVornString(VornUtf8ToSjis("ニュース")), 1,
                            CVornString(VornUtf8ToSjis("表示スレ")), CVornString("1600000003"),
                            CVornString("http://news.example-bbs.test/news/"));
    f->SendMessage(TAVLO_WM_ADDBOOKMARK, 0, reinterpret_cast<intptr_t>(&item));
    std::string file = ReadAll(root() + "/bookmark2.txt");
    EXPECT_NE(file.find("1600000003"), std::string::npos);
    EXPECT_NE(file.find(VornUtf8ToSjis("表示スレ")), std::string::npos);
    auto* list = static_cast<CTavloBookmarkView*>(f->Views().bookmarkList);
    ASSERT_EQ(list->GetItemCount(), 1);
    QString title;
    EXPECT_EQ(list->GetItemText(title, 0, 2), 1);
    EXPECT_EQ(title, U("表示スレ"));
}

TEST_F(Frame, NextBookmarkIsOfferedOnlyForThreadsOpenedFromTheBookmarks) {
    const CVornString path(root() + "/news.example-bbs.test/news/1600000004.dat");
    // Opened from the board tree: nothing to offer.
    f->PostMessage(TAVLO_WM_READTOEND, 0, reinterpret_cast<intptr_t>(new CVornString(path)));
    Pump(50);
    EXPECT_EQ(boxes.count(), 0u);
    // From the bookmarks, but the thread is no bookmark.
    f->SwitchView(TAVLO_VIEW_BOOKMARK);
    f->SwitchView(TAVLO_VIEW_THREAD);
    f->PostMessage(TAVLO_WM_READTOEND, 0, reinterpret_cast<intptr_t>(new CVornString(path)));
    Pump(50);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(Frame, NextUpdatedBookmarkIsOfferedAtTheEndOfABookmarkedThread) {
    const CVornString board("http://news.example-bbs.test/news/");
    CTavloInfoFile info;
    CTavloInfoFile::Create(board, CVornString("1600000011"), info);
    info.Count = 12;
    info.New = true;
    ASSERT_TRUE(CTavloInfoFile::Write(info));
    CTavloBookmarkFile& bookmarks = CTavloBookmarkFile::Instance();
    // Each addition comes first: the read thread, then the updated one after it.
    ASSERT_TRUE(bookmarks.Add(board, CVornString("B"), CVornString("1600000011"), CVornString("N"),
                              CVornString("news")));
    ASSERT_TRUE(bookmarks.Add(board, CVornString("A"), CVornString("1600000010"), CVornString("N"),
                              CVornString("news")));
    f->SwitchView(TAVLO_VIEW_BOOKMARK);
    f->SwitchView(TAVLO_VIEW_THREAD);
    f->PostMessage(TAVLO_WM_READTOEND, 0,
                   reinterpret_cast<intptr_t>(new CVornString(bookmarks.Get(0)->GetLogPath())));
    ASSERT_TRUE(PumpUntil([&] { return boxes.count() > 0; }, 1000));
    EXPECT_EQ(boxes.last().text, U("次の新着ブックマークを開きますか？"));
    EXPECT_EQ(boxes.last().flags & 0xF, TAVLO_MB_YESNO);
    EXPECT_EQ(thread()->LastRequest(),
              U("スレッド: http://news.example-bbs.test/news/1600000011 (-1)"));
    // Declined: nothing opens.
    boxes.answer = TAVLO_IDNO;
    const size_t opened = thread()->Requests().size();
    f->PostMessage(TAVLO_WM_READTOEND, 0,
                   reinterpret_cast<intptr_t>(new CVornString(bookmarks.Get(0)->GetLogPath())));
    ASSERT_TRUE(PumpUntil([&] { return boxes.count() > 1; }, 1000));
    EXPECT_EQ(thread()->Requests().size(), opened);
}

TEST_F(Frame, ListAndImageMessagesShowTheirViews) {
    f->SendMessage(TAVLO_WM_SHOWBOOKMARKS, 0, 0);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOOKMARK);
    EXPECT_TRUE(static_cast<CTavloBookmarkView*>(f->Views().bookmarkList)->IsLoaded());
    f->SendMessage(TAVLO_WM_SHOWCACHE, 0, 0);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_CACHE);
    EXPECT_EQ(f->BackList(), (std::vector<int>{0, 3, 4}));

    // An image download that failed says so and shows nothing.
    CTavloImageResult failed;
    failed.Url = CVornString("http://img.example.test/a.jpg");
    failed.Error = -101;
    f->SendMessage(TAVLO_WM_IMAGEDONE, 0, reinterpret_cast<intptr_t>(&failed));
    EXPECT_EQ(boxes.last().text, U("HTTPエラー(GET)"));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_CACHE);
    // One with a text shows it in the image viewer.
    CTavloImageResult text;
    text.Text = CVornString(VornUtf8ToSjis("画像ではありません"));
    f->SendMessage(TAVLO_WM_IMAGEDONE, 0, reinterpret_cast<intptr_t>(&text));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_IMAGE);
    EXPECT_EQ(static_cast<CTavloImageView*>(f->Views().image)->GetErrorText(),
              U("画像ではありません"));
}

// ---- menus ---------------------------------------------------------------------------------

TEST_F(Frame, MenusCarryTheCommandLabelsAndMenuNumberLabelsThem) {
    EXPECT_EQ(f->GetActionMenu()->title(), U("アクション"));
    EXPECT_EQ(f->GetMainMenu()->title(), U("メニュー"));
    QAction* cancel = action(f->GetActionMenu(), ID_CANCEL);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(cancel->text(), U("中止"));
    f->UpdateMenu(f->GetActionMenu());
    EXPECT_FALSE(cancel->isEnabled());                                // nothing runs
    EXPECT_FALSE(action(f->GetActionMenu(), ID_RELOAD)->isEnabled()); // no view handles it yet

    CTavloSettings::Instance().SetInt("MenuNumber", 1);
    f->ApplyMenuNumber();
    EXPECT_EQ(action(f->GetActionMenu(), ID_VIEW_BACK)->text(), U("戻る\t&1"));
    EXPECT_EQ(action(f->GetMainMenu(), ID_ONLINE)->text(), U("オンライン\t&3"));
    EXPECT_EQ(action(f->GetViewMenu(), ID_SHOW_IMAGE)->text(), U("画像\t&6"));
    CTavloSettings::Instance().SetInt("MenuNumber", 0);
    f->ApplyMenuNumber();
    EXPECT_EQ(action(f->GetActionMenu(), ID_VIEW_BACK)->text(), U("戻る"));

    // The open threads follow the three tab commands.
    f->OpenUrl(CVornString("http://news.example-bbs.test/test/read.cgi/news/1600000005/"));
    f->UpdateMenu(f->GetTabMenu());
    QList<QAction*> tabs = f->GetTabMenu()->actions();
    ASSERT_EQ(tabs.size(), 5);
    EXPECT_TRUE(tabs[3]->isSeparator());
    EXPECT_EQ(TavloCommandId(tabs[4]), ID_THREAD_FIRST);
    f->SwitchView(TAVLO_VIEW_BOARD);
    tabs[4]->trigger();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);

    // The online switch writes through.
    const int online = CTavloSettings::Instance().Online;
    f->OnCommand(ID_ONLINE);
    EXPECT_EQ(CTavloSettings::Instance().Online, 1 - online);
    f->UpdateMenu(f->GetMainMenu());
    EXPECT_EQ(action(f->GetMainMenu(), ID_ONLINE)->isChecked(), online == 0);
}

// ---- errors and workers --------------------------------------------------------------------

TEST_F(Frame, ErrorsByCodeUseTheCodesTextOrTheKindsOwnText) {
    f->SendMessage(TAVLO_WM_SHOWERROR, static_cast<uintptr_t>(-104), 0);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("スレッドが見つかりませんでした"));
    EXPECT_EQ(boxes.last().caption, "tavlo");
    EXPECT_EQ(boxes.last().flags & 0xF0, TAVLO_MB_ICONERROR);
    CVornString own(
        VornUtf8ToSjis("ＥＲＲＯＲ - 593 このスレッドは過去ログ倉庫に格納されています"));
    f->SendMessage(TAVLO_WM_SHOWERROR, static_cast<uintptr_t>(-101),
                   reinterpret_cast<intptr_t>(&own));
    EXPECT_EQ(boxes.last().text, TavloQString(own));
    f->SendMessage(TAVLO_WM_SHOWERROR, static_cast<uintptr_t>(-999), 0);
    EXPECT_EQ(boxes.last().text, QString());
    // Stopped by the user: nothing to say.
    f->SendMessage(TAVLO_WM_SHOWERROR, static_cast<uintptr_t>(-1), 0);
    EXPECT_EQ(boxes.count(), 3u);
}

TEST_F(Frame, WorkersWaitUntilTheWindowThreadHandledTheirMessages) {
    std::atomic<int> seen{0};
    std::atomic<bool> done{false};
    std::thread worker([&] {
        for (int i = 1; i <= 50; ++i) {
            f->SendMessage(TAVLO_WM_PROGRESS, static_cast<uintptr_t>(i), 50);
            // Sent means handled: the status bar shows this count already (the window
            // thread only reads it while this worker waits for its next answer).
            if (f->GetStatusBar()->GetText() == QString("%1/50").arg(i))
                ++seen;
        }
        auto* m = new CTavloCloseFileMessage(CVornString("1"), CVornString("http://h.test/b/"),
                                             CVornString(), 0);
        f->SendMessage(TAVLO_WM_VIEWMESSAGE, 0, reinterpret_cast<intptr_t>(m));
        done = true;
    });
    // The window thread keeps pumping until the worker is through: joining a worker that
    // waits on it would never end.
    const bool finished = PumpUntil([&] { return done.load(); });
    worker.join();
    ASSERT_TRUE(finished);
    EXPECT_EQ(seen.load(), 50);
    EXPECT_EQ(f->GetStatusBar()->GetText(), "50/50");
}

TEST_F(Frame, TheNetworkCallbackStopsOnCancelAndKeepsTheWindowThreadServed) {
    CTavloWindow* window = f;
    CVornSocketMessage m;
    m.message = MESSAGE_RECV_WAIT;
    // On the window thread it serves what is waiting.
    f->PostMessage(TAVLO_WM_SEARCHBAR, 0, 1);
    CMainFrame::SocketCallback(m, window);
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_SEARCH));
    EXPECT_EQ(m.result, 0);
    // On a worker it only answers.
    f->PostMessage(TAVLO_WM_SEARCHBAR, 0, 0);
    std::thread([&] { CMainFrame::SocketCallback(m, window); }).join();
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_SEARCH));
    QApplication::processEvents();
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_SEARCH));

    // A window that is not the live frame is left alone.
    CVornSocketMessage other;
    CMainFrame::SocketCallback(other, reinterpret_cast<void*>(&other));
    CMainFrame::SocketCallback(other, nullptr);
    EXPECT_EQ(other.result, 0);
    // The installed callback is the frame's.
    EXPECT_EQ(TavloGetSocketCallback(), &CMainFrame::SocketCallback);
}

TEST_F(Frame, ShutdownReleasesWorkersThatWaitOnTheFrame) {
    std::atomic<bool> stop{false};
    std::atomic<bool> finished{false};
    std::atomic<int> rounds{0};
    std::thread worker([&] {
        for (int i = 0; i < 20000 && !stop; ++i) {
            auto* m = new CTavloReadUrlMessage(CVornString("1"), CVornString("http://h.test/b/"),
                                               CVornString(), i, 0);
            f->SendMessage(TAVLO_WM_VIEWMESSAGE, 0, reinterpret_cast<intptr_t>(m));
            ++rounds;
        }
        finished = true;
    });
    const bool started = PumpUntil([&] { return rounds.load() > 10; });
    f->Shutdown(); // must not wait for ever on the worker, nor the worker on it
    // Every later send is refused at once, so the worker runs to its end.
    const bool ended = PumpUntil([&] { return finished.load(); }, 5000);
    stop = true;
    worker.join();
    EXPECT_TRUE(started);
    EXPECT_TRUE(ended);
    EXPECT_EQ(rounds.load(), 20000);
    EXPECT_TRUE(f->IsShuttingDown());
}

// A thread view that notes the progress counts of the view messages that reach it, in a
// list that outlives it.
class CountingThread : public CTavloThreadPlaceholder {
public:
    CountingThread(CTavloWindow* frame, QWidget* parent, std::vector<int>* seen)
        : CTavloThreadPlaceholder(frame, parent), m_seen(seen) {}
    void OnViewMessage(CTavloMessage* m, int) override {
        m_seen->push_back(m->Type == CTavloMessage::TYPE_READURL
                              ? static_cast<CTavloReadUrlMessage*>(m)->Received
                              : -m->Type);
    }

private:
    std::vector<int>* m_seen;
};

CTavloMessage* Progress(int received) {
    return new CTavloReadUrlMessage(CVornString("1"), CVornString("http://h.test/b/"),
                                    CVornString("/l/1.dat"), received, 0);
}

void Queue(CTavloWindow* w, CTavloMessage* m) {
    CTavloWindow::Message list[1] = {{TAVLO_WM_VIEWMESSAGE, 0, reinterpret_cast<intptr_t>(m)}};
    w->QueueMessages(list, 1);
}

TEST_F(Frame, QueuedViewMessagesArriveInOrderAndBeforeTheCloseThatFollows) {
    std::vector<int> seen;
    CTavloFrameViews v = f->Views();
    v.thread = new CountingThread(f, f->GetClient(), &seen);
    f->SetViews(v);
    std::atomic<bool> queued{false}, done{false};
    std::thread worker([&] {
        for (int i = 1; i <= 200; ++i)
            Queue(f, Progress(i));
        queued = true;
        auto* close = new CTavloCloseFileMessage(CVornString("1"), CVornString("http://h.test/b/"),
                                                 CVornString("/l/1.dat"), 0);
        f->SendMessage(TAVLO_WM_VIEWMESSAGE, 0, reinterpret_cast<intptr_t>(close));
        done = true;
    });
    // Queuing does not wait for the window thread, which runs nothing meanwhile.
    for (int i = 0; i < 20000 && !queued; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(queued.load());
    EXPECT_TRUE(seen.empty());
    const bool finished = PumpUntil([&] { return done.load(); });
    worker.join();
    ASSERT_TRUE(finished);
    ASSERT_EQ(seen.size(), 201u);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(seen[static_cast<size_t>(i)], i + 1);
    EXPECT_EQ(seen.back(), -CTavloMessage::TYPE_CLOSEFILE);
}

TEST_F(Frame, ShutdownHandsOverWhatWasQueuedBeforeTheViewsGoAndDropsTheRest) {
    std::vector<int> seen;
    CTavloFrameViews v = f->Views();
    v.thread = new CountingThread(f, f->GetClient(), &seen);
    f->SetViews(v);
    std::thread([&] {
        for (int i = 1; i <= 50; ++i)
            Queue(f, Progress(i));
    }).join();
    ASSERT_TRUE(seen.empty());
    f->Shutdown();
    // The thread view saw them all while it was there; it is gone now.
    ASSERT_EQ(seen.size(), 50u);
    EXPECT_EQ(seen.back(), 50);
    EXPECT_EQ(f->Views().thread, nullptr);
    // Later ones are freed at once, never handed to the gone view.
    std::thread([&] {
        for (int i = 51; i <= 60; ++i)
            Queue(f, Progress(i));
    }).join();
    QApplication::processEvents();
    EXPECT_EQ(seen.size(), 50u);
}

} // namespace
