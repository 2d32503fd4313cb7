// The board tree in the running program against the local board server: the start-up question,
// the menu refresh into categories and "その他", search, keys and opening items, adding boards
// to "その他", copying, and board moves found by the menu and by the old board page.
#include "list_shell_util.h"

#include "tavlo_bookmark_file.h"
#include "tavlo_keys.h"
#include "tavlo_placeholder_views.h"
#include "vorn_thread.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>

#include <filesystem>

namespace {

namespace fs = std::filesystem;

class BoardTree : public ListShell {
protected:
    void search(const char* utf8) {
        CVornString word(VornUtf8ToSjis(utf8));
        f->SendMessage(TAVLO_WM_SEARCH, 1, reinterpret_cast<intptr_t>(&word));
    }
    const CTavloBoardRef* selected() {
        return CTavloBoardView::RecordOf(boards()->GetSelectedItem());
    }
    void selectBoard(const char* id) {
        for (QTreeWidgetItemIterator it(boards()->GetTree()); *it; ++it)
            if (const CTavloBoardRef* r = CTavloBoardView::RecordOf(*it); r && r->Board == id) {
                boards()->SelectItem(*it);
                return;
            }
        FAIL() << "no board " << id;
    }
    // Presses a key in the tree as the user does.
    void key(int qtKey) { QTest::keyClick(boards()->GetTree(), static_cast<Qt::Key>(qtKey)); }
    const char* menuBoards = "news newsplus soft food tool linkbbs extra";
};

TEST_F(BoardTree, WithoutABoardListItAsksAndNoLeavesOnlyTheFixedItems) {
    start(1);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, BoxLog::kBoardMenuQuestion);
    EXPECT_EQ(boxes.last().caption, "tavlo/0.0.15");
    EXPECT_EQ(boxes.last().flags, TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION);
    EXPECT_EQ(topLabels(), (std::vector<QString>{"tavlo", U("その他")}));
    EXPECT_EQ(labels(top("tavlo")),
              (std::vector<QString>{U("ブックマーク"), U("キャッシュ"), U("２ちゃんねる検索")}));
    EXPECT_TRUE(labels(top("その他")).empty());
    EXPECT_EQ(requestsFor("bbsmenu"), 0);
    EXPECT_FALSE(fs::exists(path("board.txt")));
    // The first root item is selected.
    EXPECT_EQ(boards()->GetSelectedItem(), boards()->GetRootItem());
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
}

TEST_F(BoardTree, YesFetchesTheMenuIntoCategoriesAfterTheExtraBoards) {
    writeBoards("etc.txt", {{"自作", "http://hobby.example-bbs.test/diy/", "diy"}});
    boxes.answers[BoxLog::kBoardMenuQuestion] = TAVLO_IDYES;
    start(0);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(requestsFor("bbsmenu"), 1);
    // Boards before the first category and the chat, tool and other-site categories are left
    // out; a board that followed a left-out category stays with the one before.
    EXPECT_EQ(topLabels(), (std::vector<QString>{"tavlo", U("その他"), U("ニュース"), U("趣味"),
                                                 U("リンク集")}));
    EXPECT_EQ(labels(top("その他")), std::vector<QString>{boardLabel("自作", "diy")});
    EXPECT_EQ(labels(top("ニュース")),
              (std::vector<QString>{boardLabel("ニュース速報", "news"),
                                    boardLabel("ニュース速報+", "newsplus")}));
    // Names are shown as text (the menu's "&amp;" is an ampersand); the record keeps the row.
    EXPECT_EQ(labels(top("リンク集")), (std::vector<QString>{boardLabel("リンク掲示板", "linkbbs"),
                                                             boardLabel("おまけ&雑談", "extra")}));
    EXPECT_EQ(CTavloBoardView::RecordOf(top("リンク集")->child(1))->Name.str(),
              VornUtf8ToSjis("おまけ&amp;雑談"));
    // Records: categories have name only; boards name, URL and id.
    const CTavloBoardRef* news = CTavloBoardView::RecordOf(top("ニュース")->child(0));
    ASSERT_NE(news, nullptr);
    EXPECT_EQ(news->BoardUrl.str(), kNewsUrl);
    EXPECT_EQ(news->Board.str(), "news");
    EXPECT_TRUE(CTavloBoardView::RecordOf(top("ニュース"))->BoardUrl.IsEmpty());
    EXPECT_EQ(CTavloBoardView::RecordOf(top("tavlo")), nullptr);
    // board.txt was written; the status bar came and went.
    EXPECT_TRUE(fs::exists(path("board.txt")));
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));
    EXPECT_TRUE(idle());

    // Board numbers and lookups: etc.txt rows from 10000, board.txt rows as they are.
    EXPECT_EQ(boards()->FindBoardNumber(CVornString("diy")), 10000);
    const int row = boards()->FindBoardNumber(CVornString("newsplus"));
    EXPECT_EQ(boards()->GetBoardUrl(row).str(), "http://news.example-bbs.test/newsplus/");
    EXPECT_EQ(boards()->FindBoardNumberByUrl(CVornString(kNewsUrl)),
              boards()->FindBoardNumber(CVornString("news")));
    EXPECT_EQ(boards()->FindBoardNumber(CVornString("nothing")), -1);

    boards()->GetTree()->expandAll();
    f->ShowView(TAVLO_VIEW_BOARD);
    selectBoard("news");
    Pump(50);
    ASSERT_TRUE(SaveShot(f, "board_tree.png"));
}

TEST_F(BoardTree, ClosingTheWindowWhileTheFirstMenuArrivesEndsTheStart) {
    boxes.answers[BoxLog::kBoardMenuQuestion] = TAVLO_IDYES;
    ASSERT_EQ(ctl("latency", "ms=3000"), "ok");
    bool fetching = false;
    QTimer::singleShot(300, [&] {
        CMainFrame* frame = run.app.GetFrame();
        fetching = frame && frame->IsWorkRunning();
        if (frame)
            frame->close();
    });
    CVornTime timer;
    EXPECT_EQ(run.start(), 0);
    EXPECT_TRUE(fetching); // the frame's cancel could stop it
    EXPECT_FALSE(fs::exists(path("board.txt")));
    EXPECT_EQ(boxes.count(), 1u);
}

TEST_F(BoardTree, ABoardInBothListsIsFoundInTheExtraBoardsFirst) {
    writeBoards("board.txt", {{"ニュース", "", ""}, {"ニュース速報", kNewsUrl, "news"}});
    writeBoards("etc.txt", {{"マイニュース", kNewsUrl, "news"}});
    start(0);
    EXPECT_EQ(boxes.count(), 0u); // board.txt exists: no question
    EXPECT_EQ(boards()->FindBoardNumber(CVornString("news")), 10000);
    EXPECT_EQ(boards()->FindBoardName(CVornString("news")).str(), VornUtf8ToSjis("マイニュース"));
    EXPECT_EQ(boards()->FindBoardNumberByUrl(CVornString(kNewsUrl)), 10000);
    // Thread lists take their board's name from the same lists.
    CTavloPath::MakeDirectory(CVornString(path("news.example-bbs.test/news")));
    WriteAll(path("news.example-bbs.test/news/subject.txt"), "1600000000.dat<>a (1)\n");
    CTavloSubjectFile list;
    ASSERT_EQ(list.CreateFromFile(CVornString(path("news.example-bbs.test/news/subject.txt"))), 0);
    EXPECT_EQ(list.Get(0)->GetBoardName().str(), VornUtf8ToSjis("マイニュース"));
    // Direct input of a board id opens it with that name.
    CVornString id("news");
    f->SendMessage(TAVLO_WM_JUMP, 0, reinterpret_cast<intptr_t>(&id));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    EXPECT_EQ(subject()->GetBoardName().str(), VornUtf8ToSjis("マイニュース"));
}

TEST_F(BoardTree, SearchSkipsCategoriesAndFixedItemsAndMatchesIdsToo) {
    writeBoards("board.txt",
                {{"ニュース", "", ""},
                 {"ニュース速報", kNewsUrl, "news"},
                 {"ニュース速報+", "http://news.example-bbs.test/newsplus/", "newsplus"},
                 {"趣味", "", ""},
                 {"ソフトウェア", "http://hobby.example-bbs.test/soft/", "soft"}});
    writeBoards("etc.txt", {{"ニュースまとめ", "http://hobby.example-bbs.test/matome/", "matome"}});
    start(0);
    f->ShowView(TAVLO_VIEW_BOARD);
    f->OnCommand(ID_SEARCH);
    // From the selected root: the extra board comes first in display order; the category of
    // the same name is skipped.
    search("ニュース");
    EXPECT_EQ(selected()->Board.str(), "matome");
    search("ニュース");
    EXPECT_EQ(selected()->Board.str(), "news");
    search("ニュース");
    EXPECT_EQ(selected()->Board.str(), "newsplus");
    // The search bar stays for the next hit.
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_SEARCH));
    EXPECT_EQ(boxes.count(), 0u);
    search("ニュース");
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("最後まで検索しました"));
    EXPECT_EQ(boxes.last().flags & 0xF0, TAVLO_MB_ICONINFORMATION);
    EXPECT_EQ(selected()->Board.str(), "newsplus"); // the selection stays
    // Ids match as well; a selected category starts at its first child.
    boards()->SelectItem(top("ニュース"));
    search("^news");
    EXPECT_EQ(selected()->Board.str(), "news");
    boards()->SelectItem(top("趣味"));
    search("s");
    EXPECT_EQ(selected()->Board.str(), "soft");
    // A pattern that is no expression finds nothing and says so.
    boxes.boxes.clear();
    search("(");
    EXPECT_EQ(boxes.count(), 1u);
}

TEST_F(BoardTree, KeysMoveInTheTreeAndOpenItems) {
    writeBoards("board.txt", {{"ニュース", "", ""},
                              {"ニュース速報", kNewsUrl, "news"},
                              {"趣味", "", ""},
                              {"ソフトウェア", "http://hobby.example-bbs.test/soft/", "soft"}});
    start(0);
    f->ShowView(TAVLO_VIEW_BOARD);
    QTreeWidgetItem* news = top("ニュース");
    boards()->SelectItem(news);
    // Right expands a closed category, then goes to its first child; Left goes to the parent,
    // then closes it.
    key(Qt::Key_Right);
    EXPECT_TRUE(news->isExpanded());
    key(Qt::Key_Right);
    EXPECT_EQ(selected()->Board.str(), "news");
    key(Qt::Key_Left);
    EXPECT_EQ(boards()->GetSelectedItem(), news);
    key(Qt::Key_Left);
    EXPECT_FALSE(news->isExpanded());
    // Enter toggles a category.
    key(Qt::Key_Return);
    EXPECT_TRUE(news->isExpanded());
    // Top (P) and Bottom (N): the first item and the last shown one.
    key(Qt::Key_N);
    EXPECT_EQ(boards()->GetSelectedItem(), top("趣味"));
    key(Qt::Key_P);
    EXPECT_EQ(boards()->GetSelectedItem(), boards()->GetRootItem());
    // Enter opens a fixed item as a click does: the program is driven by keys.
    boards()->GetRootItem()->setExpanded(true);
    boards()->SelectItem(boards()->GetBookmarkItem());
    key(Qt::Key_Return);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOOKMARK);
    f->SwitchView(TAVLO_VIEW_BOARD);
    Pump(20);
    QRect label = boards()->GetTree()->LabelRect(boards()->GetBookmarkItem());
    QTest::mouseClick(boards()->GetTree()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      label.center());
    ASSERT_TRUE(PumpUntil([&] { return f->GetShownView() == TAVLO_VIEW_BOOKMARK; }, 2000));
    f->SwitchView(TAVLO_VIEW_BOARD);
    // A click beside the label opens nothing.
    QRect row = label;
    QTest::mouseClick(boards()->GetTree()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      QPoint(boards()->GetTree()->viewport()->width() - 5, row.center().y()));
    Pump(50);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
    // Enter on a board opens its list in view 1 (offline, no list: asked, declined here).
    boxes.answer = TAVLO_IDNO;
    selectBoard("news");
    key(Qt::Key_Return);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    EXPECT_EQ(subject()->GetBoardUrl().str(), kNewsUrl);
    EXPECT_EQ(boxes.last().text, U("スレッド一覧が存在しません。サーバから取得しますか？"));
    EXPECT_EQ(requestsFor("subject.txt"), 0);
    // Escape (ViewBack) returns to the tree.
    QTest::keyClick(subject()->GetListCtrl(), Qt::Key_Escape);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
    // A click on a board's label posts the same.
    boards()->SelectItem(top("趣味"));
    key(Qt::Key_Right);
    Pump(20);
    QTreeWidgetItem* soft = top("趣味")->child(0);
    QTest::mouseClick(boards()->GetTree()->viewport(), Qt::LeftButton, Qt::NoModifier,
                      boards()->GetTree()->LabelRect(soft).center());
    ASSERT_TRUE(PumpUntil([&] { return f->GetShownView() == TAVLO_VIEW_SUBJECT; }, 2000));
    EXPECT_EQ(subject()->GetBoardId().str(), "soft");
}

TEST_F(BoardTree, AddingABoardToTheExtraBoardsTwiceInsertsItTwice) {
    writeBoards("board.txt", {{"ニュース", "", ""}, {"ニュース速報", kNewsUrl, "news"}});
    start(0);
    // Only boards: on a category nothing is asked.
    boards()->SelectItem(top("ニュース"));
    f->ShowView(TAVLO_VIEW_BOARD);
    f->OnCommand(ID_ADD_BOOKMARK);
    EXPECT_EQ(boxes.count(), 0u);
    selectBoard("news");
    QTest::keyClick(boards()->GetTree(), Qt::Key_A); // AddBookmark
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("板をその他に追加しますか？"));
    EXPECT_EQ(boxes.last().flags, TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION);
    selectBoard("news");
    f->OnCommand(ID_ADD_BOOKMARK);
    EXPECT_EQ(labels(top("その他")), (std::vector<QString>{boardLabel("ニュース速報", "news"),
                                                           boardLabel("ニュース速報", "news")}));
    CTavloBoardFileEtc etc;
    ASSERT_EQ(etc.Load(), 0);
    EXPECT_EQ(etc.GetRowCount(), 2);
    EXPECT_EQ(etc.Get(0, CTavloBoardFile::COL_URL).str(), kNewsUrl);
    // No: nothing added.
    boxes.answer = TAVLO_IDNO;
    selectBoard("news");
    f->OnCommand(ID_ADD_BOOKMARK);
    EXPECT_EQ(labels(top("その他")).size(), 2u);
}

TEST_F(BoardTree, CopyInformationPutsNameAndAddressOfTheSelectedBoard) {
    writeBoards("board.txt", {{"ニュース", "", ""}, {"ニュース速報", kNewsUrl, "news"}});
    start(0);
    f->ShowView(TAVLO_VIEW_BOARD);
    QGuiApplication::clipboard()->setText("before");
    boards()->SelectItem(top("ニュース"));
    f->OnCommand(ID_COPY_INFORMATION);
    EXPECT_EQ(QGuiApplication::clipboard()->text(), "before");
    selectBoard("news");
    f->OnCommand(ID_COPY_INFORMATION);
    EXPECT_EQ(QGuiApplication::clipboard()->text(),
              U("ニュース速報\r\nhttp://news.example-bbs.test/news/\r\n"));
}

TEST_F(BoardTree, AMenuRefreshMovesABoardThatChangedItsHost) {
    boxes.answers[BoxLog::kBoardMenuQuestion] = TAVLO_IDYES;
    writeBoards("etc.txt", {{"ニュース速報", kNewsUrl, "news"}});
    start(1);
    ASSERT_TRUE(fs::exists(path("board.txt")));
    // The board has logs and a bookmark at its old address.
    const std::string oldDir = path("news.example-bbs.test/news");
    CTavloPath::MakeDirectory(CVornString(oldDir));
    WriteAll(oldDir + "/1600000000.dat", "a<>b<>c<>d<>t\n");
    CTavloBookmarkFile& marks = CTavloBookmarkFile::Instance();
    marks.Add(CVornString(kNewsUrl), CVornString("t"), CVornString("1600000000"), CVornString("n"),
              CVornString("news"));
    ASSERT_TRUE(marks.Save());

    ASSERT_EQ(ctl("move", "host=news.example-bbs.test&board=news&to=news2.example-bbs.test"), "ok");
    f->ShowView(TAVLO_VIEW_BOARD);
    boxes.boxes.clear();
    QTest::keyClick(boards()->GetTree(), Qt::Key_R); // Reload
    EXPECT_TRUE(idle());
    EXPECT_EQ(boxes.count(), 0u);
    const std::string newUrl = "http://news2.example-bbs.test/news/";
    // The tree shows the new address, in the menu's boards and in "その他".
    EXPECT_EQ(CTavloBoardView::RecordOf(top("ニュース")->child(0))->BoardUrl.str(), newUrl);
    EXPECT_EQ(CTavloBoardView::RecordOf(top("その他")->child(0))->BoardUrl.str(), newUrl);
    // The old menu is kept; the logs moved and the old host's directory went.
    EXPECT_NE(ReadAll(path("board.txt.bak")).find(kNewsUrl), std::string::npos);
    EXPECT_TRUE(fs::exists(path("news2.example-bbs.test/news/1600000000.dat")));
    EXPECT_FALSE(fs::exists(oldDir));
    // Bookmarks and etc.txt name the new address.
    EXPECT_EQ(marks.Get(0)->GetBoardUrl().str(), newUrl);
    EXPECT_NE(ReadAll(path("bookmark2.txt")).find(newUrl), std::string::npos);
    EXPECT_NE(ReadAll(path("etc.txt")).find(newUrl), std::string::npos);
    // Boards that did not move are untouched.
    EXPECT_EQ(CTavloBoardView::RecordOf(top("ニュース")->child(1))->BoardUrl.str(),
              "http://news.example-bbs.test/newsplus/");
}

TEST_F(BoardTree, MoveDetectionReadsTheOldPagesRedirect) {
    writeBoards("board.txt",
                {{"ニュース", "", ""},
                 {"ニュース速報", kNewsUrl, "news"},
                 {"ニュース速報+", "http://news.example-bbs.test/newsplus/", "newsplus"}});
    start(0);
    // The menu still names the old host; the old page redirects.
    ASSERT_EQ(ctl("move", "host=news.example-bbs.test&board=news&to=news3.example-bbs.test&menu=0"),
              "ok");
    f->ShowView(TAVLO_VIEW_BOARD);
    selectBoard("news");
    f->OnCommand(ID_DETECT_MOVE);
    EXPECT_TRUE(idle());
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("移転先を検出しました"));
    EXPECT_EQ(boxes.last().caption, "tavlo/0.0.15");
    EXPECT_EQ(boxes.last().flags & 0xF0, TAVLO_MB_ICONINFORMATION);
    const std::string newUrl = "http://news3.example-bbs.test/news/";
    EXPECT_EQ(selected()->BoardUrl.str(), newUrl);
    EXPECT_NE(ReadAll(path("board.txt")).find(newUrl), std::string::npos);
    EXPECT_EQ(boards()->GetBoardUrl(boards()->FindBoardNumber(CVornString("news"))).str(), newUrl);
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));

    // A redirect to the board's own address is no move.
    ASSERT_EQ(ctl("redirect", "host=news.example-bbs.test&board=newsplus&to=" +
                                  enc("http://news.example-bbs.test/newsplus/")),
              "ok");
    selectBoard("newsplus");
    f->OnCommand(ID_DETECT_MOVE);
    ASSERT_EQ(boxes.count(), 2u);
    EXPECT_EQ(boxes.last().text, U("移転先を検出できませんでした"));
    EXPECT_EQ(boxes.last().flags & 0xF0, TAVLO_MB_ICONERROR);
    EXPECT_EQ(selected()->BoardUrl.str(), "http://news.example-bbs.test/newsplus/");
}

TEST_F(BoardTree, AFailedMenuFetchKeepsTheTreeAndSaysWhy) {
    writeBoards("board.txt", {{"ニュース", "", ""}, {"ニュース速報", kNewsUrl, "news"}});
    CTavloSettings::Instance().SetString("BoardUrl",
                                         CVornString("http://menu.example-bbs.test/missing.html"));
    start(0);
    f->ShowView(TAVLO_VIEW_BOARD);
    f->OnCommand(ID_RELOAD);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("HTTPエラー(GET)"));
    EXPECT_EQ(boxes.last().caption, "tavlo");
    EXPECT_EQ(labels(top("ニュース")), std::vector<QString>{boardLabel("ニュース速報", "news")});
    EXPECT_FALSE(fs::exists(path("board.txt.bak")));
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_STATUS));
    EXPECT_TRUE(idle());
}

} // namespace
