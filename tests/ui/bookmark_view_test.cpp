// The bookmark container as the user drives it, without the network: the bookmark list with
// its counts, sorting, moving, deleting and multi-selection, the extra-board list, and both
// surviving a restart.
#include "tavlo_board_file.h"
#include "tavlo_bookmark_board_view.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_bookmark_view.h"
#include "tavlo_info_file.h"
#include "tavlo_keys.h"
#include "tavlo_list_ctrl.h"
#include "tavlo_path.h"
#include "tavlo_placeholder_views.h"
#include "tavlo_search_dialog.h"
#include "tavlo_tab_view.h"
#include "ui_test_util.h"
#include "vorn_kcode.h"
#include "vorn_thread.h"

#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

const char kNews[] = "http://news.example-bbs.test/news/";
const char kHobby[] = "http://hobby.example-bbs.test/hobby/";

struct Mark {
    const char* boardUrl;
    const char* board;
    const char* boardName; // UTF-8
    const char* title;     // UTF-8
    const char* key;
};

// bookmark2.txt as navi2ch writes it.
std::string bookmarkFile(const std::vector<Mark>& marks) {
    std::string text = "((\"\" \"\" ";
    for (size_t i = 0; i < marks.size(); ++i) {
        const Mark& m = marks[i];
        auto quoted = [](const char* utf8) {
            std::string s, raw = VornUtf8ToSjis(utf8);
            for (char c : raw) {
                if (c == '"')
                    s += '\\';
                s += c;
            }
            return s;
        };
        if (i)
            text += " ";
        text += std::string("(\"") + m.boardUrl + m.key + "\" (board (name . \"" +
                quoted(m.boardName) + "\") (uri . \"" + m.boardUrl + "\") (id . \"" + m.board +
                "\")) (article (subject . \"" + quoted(m.title) + "\") (artid . \"" + m.key +
                "\") (count . \"0\")))";
    }
    return text + "))";
}

class BookmarkViews : public ::testing::Test {
protected:
    void SetUp() override {
        WriteIni(dir.file("tavlo.ini"), iniLines());
        CTavloSettings::SetProfilePath(dir.file("tavlo.ini").c_str());
        ASSERT_TRUE(CTavloPath::MakeDirectory(CVornString(root())));
        WriteAll(root() + "/bookmark2.txt",
                 bookmarkFile({
                     {kNews, "news", "ニュース", "あいう", "1600000001"},
                     {kNews, "news", "ニュース", "引用\"付き<b>", "1600000002"},
                     {kHobby, "hobby", "趣味", "かきく", "1600000003"},
                     {kHobby, "hobby", "趣味", "さしす", "1600000004"},
                     {kNews, "news", "ニュース", "たちつ", "1600000005"},
                 }));
        // Read up to 10 of 12, read whole, never read.
        info(kNews, "1600000001", 12, 10, true);
        info(kHobby, "1600000003", 7, 7, false);
        info(kNews, "1600000005", 30, 0, true);
        start();
    }
    virtual std::vector<std::string> iniLines() {
        return {"RootDirectory=" + root(), "SortColumnBookmark=0", "SortAscBookmark=1"};
    }
    void start() {
        ASSERT_EQ(run.start(), 1);
        f = run.frame();
        // The frame's requests to the thread view and the thread list are noted, not run.
        CTavloFrameViews v = f->Views();
        v.thread = new CTavloThreadPlaceholder(f, f->GetClient());
        v.subject = new CTavloSubjectPlaceholder(f, f->GetClient());
        f->SetViews(v);
        f->ShowView(TAVLO_VIEW_BOARD);
        boxes.boxes.clear();
    }
    void info(const char* boardUrl, const char* key, int count, int max, bool fresh) {
        CTavloInfoFile i;
        CTavloInfoFile::Create(CVornString(boardUrl), CVornString(key), i);
        i.Count = count;
        i.Max = max;
        i.New = fresh;
        ASSERT_TRUE(CTavloInfoFile::Write(i));
    }
    std::string root() const { return dir.file("logs"); }
    CTavloBookmarkView* bm() { return static_cast<CTavloBookmarkView*>(f->Views().bookmarkList); }
    CTavloBookmarkBoardView* boards() {
        return static_cast<CTavloBookmarkBoardView*>(f->Views().boardList);
    }
    CTavloThreadPlaceholder* thread() {
        return static_cast<CTavloThreadPlaceholder*>(f->Views().thread);
    }
    CTavloSubjectPlaceholder* subject() {
        return static_cast<CTavloSubjectPlaceholder*>(f->Views().subject);
    }
    template <typename View> std::vector<QString> column(View* view, int c) {
        std::vector<QString> out;
        for (int row = 0; row < view->GetItemCount(); ++row) {
            QString text;
            EXPECT_EQ(view->GetItemText(text, row, c), 1);
            out.push_back(text);
        }
        return out;
    }
    std::vector<QString> titles() { return column(bm(), 2); }
    // Keys of the thread list in bookmark2.txt, in file order.
    std::vector<std::string> fileKeys() {
        std::string text = ReadAll(root() + "/bookmark2.txt");
        std::vector<std::string> keys;
        for (size_t at = 0; (at = text.find("(artid . \"", at)) != std::string::npos;) {
            at += 10;
            keys.push_back(text.substr(at, text.find('"', at) - at));
        }
        return keys;
    }
    void openBookmarks() {
        f->SendMessage(TAVLO_WM_SHOWBOOKMARKS, 0, 0);
        ASSERT_EQ(f->GetShownView(), TAVLO_VIEW_BOOKMARK);
    }
    bool key(int vk, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        return f->DispatchKey(vk, modifiers);
    }
    void commandState(int id, bool* enabled, bool* checked) {
        f->GetCommandState(id, enabled, checked);
    }

    TempDir dir;
    BoxLog boxes;
    ShellRun run{dir.file("tavlo.ini")};
    CMainFrame* f = nullptr;
};

TEST_F(BookmarkViews, TheListShowsCountsAndNewPostsInFileOrder) {
    openBookmarks();
    EXPECT_TRUE(bm()->IsLoaded());
    ASSERT_EQ(bm()->GetItemCount(), 5);
    EXPECT_EQ(column(bm(), 0), (std::vector<QString>{"1", "2", "3", "4", "5"}));
    // New posts only where the info file says the thread was updated.
    EXPECT_EQ(column(bm(), 1), (std::vector<QString>{"12\n(2)", "0", "7", "0", "30\n(30)"}));
    EXPECT_EQ(titles(), (std::vector<QString>{U("あいう"), U("引用\"付き<b>"), U("かきく"),
                                              U("さしす"), U("たちつ")}));
    EXPECT_EQ(column(bm(), 4)[2], U("趣味"));
    EXPECT_EQ(column(bm(), 5)[4], "1600000005");
    EXPECT_TRUE(column(bm(), 3)[0].contains(QRegularExpression("^[0-9]+\\.[0-9]$")));
    const char* headers[] = {"No", "レス", "スレッド", "勢い", "板", "スレッドID"};
    for (int c = 0; c < 6; ++c)
        EXPECT_EQ(bm()->GetColumnHeader(c), U(headers[c]));
    // Marks: updated entries carry 0x08.
    EXPECT_EQ(bm()->GetItem(0)->GetMark(), 0x09);
    EXPECT_EQ(bm()->GetItem(1)->GetMark(), 0x01);
    EXPECT_EQ(bm()->GetSelectedRow(), 0);

    CTavloSettings::Instance().SetInt("ListSingleLine", 1);
    EXPECT_EQ(column(bm(), 1)[0], "12(2)");
    EXPECT_EQ(f->windowTitle(), U("ブックマーク"));
}

TEST_F(BookmarkViews, SortCommandsKeysAndTheirChecks) {
    openBookmarks();
    f->OnCommand(ID_SORT_RES); // post count, descending
    EXPECT_EQ(column(bm(), 0), (std::vector<QString>{"5", "1", "3", "2", "4"}));
    bool enabled = false, checked = false;
    commandState(ID_SORT_RES, &enabled, &checked);
    EXPECT_TRUE(enabled);
    EXPECT_TRUE(checked);
    commandState(ID_SORT_NO, &enabled, &checked);
    EXPECT_FALSE(checked);
    // Written at once, each value only when it changed.
    EXPECT_NE(ReadAll(dir.file("tavlo.ini")).find("SortColumnBookmark=1"), std::string::npos);
    EXPECT_NE(ReadAll(dir.file("tavlo.ini")).find("SortAscBookmark=0"), std::string::npos);

    f->OnCommand(ID_SORT_THREAD); // title bytes, ascending
    EXPECT_EQ(titles().front(), U("あいう"));
    f->OnCommand(ID_SORT_NEW); // updated first, most new posts first
    EXPECT_EQ(column(bm(), 0), (std::vector<QString>{"5", "1", "2", "3", "4"}));
    f->OnCommand(ID_SORT_THREADID); // key, descending
    EXPECT_EQ(column(bm(), 5).front(), "1600000005");
    f->OnCommand(ID_SORT_BOARD);
    EXPECT_EQ(column(bm(), 4).back(), U("趣味"));

    // KeySort (Tab) moves to the next key; after 7 comes 0, ascending.
    f->OnCommand(ID_SORT_SEARCH);
    EXPECT_EQ(bm()->GetSortColumn(), 7);
    EXPECT_TRUE(key(TAVLO_VK_TAB));
    EXPECT_EQ(bm()->GetSortColumn(), 0);
    EXPECT_EQ(bm()->GetSortAsc(), 1);
    EXPECT_EQ(column(bm(), 0), (std::vector<QString>{"1", "2", "3", "4", "5"}));
    EXPECT_TRUE(key(TAVLO_VK_TAB));
    EXPECT_EQ(bm()->GetSortColumn(), 1);
    EXPECT_EQ(bm()->GetSortAsc(), 1);
    // The file keeps index order whatever is shown.
    EXPECT_EQ(fileKeys(), (std::vector<std::string>{"1600000001", "1600000002", "1600000003",
                                                    "1600000004", "1600000005"}));
}

TEST_F(BookmarkViews, ACheckThatCannotStartIsShownNotOnlyLogged) {
    openBookmarks();
    VornSetThreadFault(true);
    EXPECT_FALSE(bm()->StartCheck());
    VornSetThreadFault(false);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("スレッドの起動に失敗しました"));
    EXPECT_EQ(boxes.last().caption, "tavlo/0.0.15");
    EXPECT_FALSE(bm()->IsChecking());
}

TEST_F(BookmarkViews, MovingWorksInNoOrderOnlyAndStopsAtTheEnds) {
    openBookmarks();
    const std::string before = ReadAll(root() + "/bookmark2.txt");
    // The first one cannot go up, the last one cannot go down.
    bm()->SelectRow(0);
    EXPECT_TRUE(key(TAVLO_VK_UP, Qt::ShiftModifier));
    bm()->SelectRow(4);
    EXPECT_TRUE(key(TAVLO_VK_DOWN, Qt::ShiftModifier));
    EXPECT_EQ(ReadAll(root() + "/bookmark2.txt"), before);
    EXPECT_EQ(boxes.count(), 0u);

    // Down from the second row: the two swap numbers, the selection goes along, it is saved.
    bm()->SelectRow(1);
    EXPECT_TRUE(key(TAVLO_VK_DOWN, Qt::ShiftModifier));
    EXPECT_EQ(titles()[2], U("引用\"付き<b>"));
    EXPECT_EQ(column(bm(), 0), (std::vector<QString>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(bm()->GetSelectedRow(), 2);
    EXPECT_EQ(fileKeys(), (std::vector<std::string>{"1600000001", "1600000003", "1600000002",
                                                    "1600000004", "1600000005"}));
    EXPECT_TRUE(key(TAVLO_VK_UP, Qt::ShiftModifier));
    EXPECT_TRUE(key(TAVLO_VK_UP, Qt::ShiftModifier));
    EXPECT_EQ(titles()[0], U("引用\"付き<b>"));
    EXPECT_EQ(bm()->GetSelectedRow(), 0);

    // In any other order it asks to go back to "No" order and moves nothing.
    f->OnCommand(ID_SORT_RES);
    boxes.answer = TAVLO_IDNO;
    bm()->SelectRow(1);
    const std::vector<QString> shown = titles();
    EXPECT_TRUE(key(TAVLO_VK_DOWN, Qt::ShiftModifier));
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text,
              U("ブックマーク移動はNoソート状態で行ってください\nNoソート状態にしますか？"));
    EXPECT_EQ(boxes.last().caption, "tavlo/0.0.15");
    EXPECT_EQ(titles(), shown);
    boxes.answer = TAVLO_IDYES;
    EXPECT_TRUE(key(TAVLO_VK_DOWN, Qt::ShiftModifier));
    EXPECT_EQ(bm()->GetSortColumn(), 0);
    EXPECT_EQ(column(bm(), 0), (std::vector<QString>{"1", "2", "3", "4", "5"}));
    EXPECT_EQ(titles()[0], U("引用\"付き<b>"));

    // Without Shift the arrow keys are the list's own.
    EXPECT_FALSE(key(TAVLO_VK_DOWN));

    // Typed into the list, Shift+Down moves the entry as well.
    f->show();
    bm()->SelectRow(3);
    bm()->GetListCtrl()->setFocus();
    QTest::keyClick(bm()->GetListCtrl(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(titles()[4], U("さしす"));
    EXPECT_EQ(bm()->GetSelectedRow(), 4);
    QTest::keyClick(bm()->GetListCtrl(), Qt::Key_Up);
    EXPECT_EQ(bm()->GetSelectedRow(), 3);
    EXPECT_EQ(titles()[4], U("さしす"));
}

TEST_F(BookmarkViews, DeletingAsksAndSavesTheRenumberedList) {
    openBookmarks();
    bm()->SelectRow(2);
    boxes.answer = TAVLO_IDNO;
    EXPECT_TRUE(key('D'));
    EXPECT_EQ(boxes.last().text, U("削除しますか？"));
    EXPECT_EQ(bm()->GetItemCount(), 5);
    boxes.answer = TAVLO_IDYES;
    f->OnCommand(ID_DELETE);
    ASSERT_EQ(bm()->GetItemCount(), 4);
    EXPECT_EQ(column(bm(), 0), (std::vector<QString>{"1", "2", "3", "4"}));
    EXPECT_EQ(titles()[2], U("さしす"));
    EXPECT_EQ(bm()->GetSelectedRow(), 2);
    EXPECT_EQ(fileKeys(),
              (std::vector<std::string>{"1600000001", "1600000002", "1600000004", "1600000005"}));
    // The last row deleted: the selection stays on the new last one.
    bm()->SelectRow(3);
    f->OnCommand(ID_DELETE);
    EXPECT_EQ(bm()->GetSelectedRow(), 2);
    EXPECT_EQ(CTavloBookmarkFile::Instance().GetCount(), 3);
}

TEST_F(BookmarkViews, MultiSelectionMarksRowsAndDeletesTheMarkedOnes) {
    openBookmarks();
    bool enabled = false, checked = true;
    commandState(ID_CHECK_ONOFF, &enabled, &checked);
    EXPECT_FALSE(checked);
    f->OnCommand(ID_CHECK_ONOFF);
    commandState(ID_CHECK_ONOFF, &enabled, &checked);
    EXPECT_TRUE(checked);

    // Nothing marked: it still asks, then removes nothing.
    f->OnCommand(ID_DELETE);
    EXPECT_EQ(boxes.last().text, U("選択アイテムを全て削除しますか？"));
    EXPECT_EQ(bm()->GetItemCount(), 5);

    // Opening a row marks it (and a second time unmarks it) instead of opening it.
    for (int row : {0, 3, 4, 4}) {
        bm()->SelectRow(row);
        bm()->OpenSelectedItem();
    }
    EXPECT_TRUE(thread()->Requests().empty());
    EXPECT_EQ(bm()->GetItem(0)->GetMark() & 0x10, 0x10);
    EXPECT_EQ(bm()->GetItem(3)->GetMark() & 0x10, 0x10);
    EXPECT_EQ(bm()->GetItem(4)->GetMark() & 0x10, 0);
    boxes.answer = TAVLO_IDNO;
    f->OnCommand(ID_DELETE);
    EXPECT_EQ(bm()->GetItemCount(), 5);
    boxes.answer = TAVLO_IDYES;
    f->OnCommand(ID_DELETE);
    EXPECT_EQ(titles(), (std::vector<QString>{U("引用\"付き<b>"), U("かきく"), U("たちつ")}));
    EXPECT_EQ(fileKeys(), (std::vector<std::string>{"1600000002", "1600000003", "1600000005"}));

    // Switching off clears every mark.
    bm()->SelectRow(1);
    bm()->OpenSelectedItem();
    EXPECT_EQ(bm()->GetItem(1)->GetMark() & 0x10, 0x10);
    f->OnCommand(ID_CHECK_ONOFF);
    EXPECT_EQ(bm()->GetItem(1)->GetMark() & 0x10, 0);
    EXPECT_FALSE(bm()->IsMultiSelect());
}

TEST_F(BookmarkViews, OpeningARowOpensItsThreadAndEnterDoesTheSame) {
    openBookmarks();
    bm()->SelectRow(2);
    bm()->OpenSelectedItem();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    EXPECT_EQ(thread()->LastRequest(),
              U("スレッド: http://hobby.example-bbs.test/hobby/1600000003 (-1)"));
    EXPECT_EQ(f->BackList(), (std::vector<int>{0, 3, 2}));

    f->ViewBack();
    ASSERT_EQ(f->GetShownView(), TAVLO_VIEW_BOOKMARK);
    bm()->SelectRow(4);
    QTest::keyClick(bm()->GetListCtrl(), Qt::Key_Return);
    EXPECT_EQ(thread()->LastRequest(),
              U("スレッド: http://news.example-bbs.test/news/1600000005 (-1)"));
}

TEST_F(BookmarkViews, TheSearchWordMarksTitlesAndPutsThemFirst) {
    openBookmarks();
    CVornString word(VornUtf8ToSjis("さ|た"));
    f->SendMessage(TAVLO_WM_SEARCH, 0, reinterpret_cast<intptr_t>(&word));
    EXPECT_EQ(bm()->GetSortColumn(), 7);
    EXPECT_EQ(titles()[0], U("さしす"));
    EXPECT_EQ(titles()[1], U("たちつ"));
    EXPECT_EQ(bm()->GetItem(0)->IsSearchHit(), 1);
    EXPECT_EQ(bm()->GetItem(2)->IsSearchHit(), 0);
    EXPECT_EQ(bm()->GetSelectedRow(), 0);
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_SEARCH));
    // The search key of the list opens the bar.
    EXPECT_TRUE(bm()->OnKeyDown('S', Qt::NoModifier));
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_SEARCH));
}

TEST_F(BookmarkViews, AddedBookmarksComeFirstOnceAndReadThreadsLoseTheirMark) {
    openBookmarks();
    CTavloBookmarkItem item(CVornString("news"), CVornString(VornUtf8ToSjis("ニュース")), 1,
                            CVornString(VornUtf8ToSjis("新しいスレ")), CVornString("1600000009"),
                            CVornString(kNews));
    f->SendMessage(TAVLO_WM_ADDBOOKMARK, 0, reinterpret_cast<intptr_t>(&item));
    f->SendMessage(TAVLO_WM_ADDBOOKMARK, 0, reinterpret_cast<intptr_t>(&item));
    ASSERT_EQ(bm()->GetItemCount(), 6);
    EXPECT_EQ(titles()[0], U("新しいスレ"));
    EXPECT_EQ(column(bm(), 0)[5], "6");
    EXPECT_EQ(fileKeys().front(), "1600000009");

    // The reader caught up with the first thread: message 32 refreshes its entry.
    info(kNews, "1600000001", 12, 12, false);
    CVornString path = CTavloPath::GetLogPath(CVornString(kNews), CVornString("1600000001"));
    f->SendMessage(TAVLO_WM_REFRESHBOOKMARK, 0, reinterpret_cast<intptr_t>(&path));
    EXPECT_EQ(column(bm(), 1)[1], "12");
    EXPECT_EQ(bm()->GetItem(1)->GetMark(), 0x01);
}

TEST_F(BookmarkViews, ExtraBoardsAddedFromTheTreeOpenSortAndDelete) {
    CTavloBoardFileEtc etc;
    etc.AddRow({CVornString(VornUtf8ToSjis("趣味")), CVornString(kHobby), CVornString("hobby")});
    etc.AddRow({CVornString(VornUtf8ToSjis("ニュース")), CVornString(kNews), CVornString("news")});
    ASSERT_EQ(etc.Save(), 0);
    openBookmarks();
    f->Views().bookmark->SetCurSel(1);
    ASSERT_TRUE(boards()->IsLoaded());
    EXPECT_EQ(column(boards(), 1), (std::vector<QString>{U("趣味"), U("ニュース")}));
    EXPECT_EQ(boards()->GetColumnHeader(2), U("キー"));

    // The board tree put a board on top of etc.txt and says so with message 39.
    ASSERT_EQ(etc.Load(), 0);
    etc.InsertTop(CVornString(VornUtf8ToSjis("実況")),
                  CVornString("http://live.example-bbs.test/live/"), CVornString("live"));
    ASSERT_EQ(etc.Save(), 0);
    CTavloBoardRef added{CVornString(VornUtf8ToSjis("実況")),
                         CVornString("http://live.example-bbs.test/live/"), CVornString("live")};
    f->SendMessage(TAVLO_WM_ADDBOARD, 0, reinterpret_cast<intptr_t>(&added));
    EXPECT_EQ(column(boards(), 0), (std::vector<QString>{"1", "2", "3"}));
    EXPECT_EQ(column(boards(), 2), (std::vector<QString>{"live", "hobby", "news"}));
    EXPECT_EQ(boards()->GetSelectedRow(), 0);

    // KeySort: name, id, search, then back to the numbers.
    EXPECT_TRUE(key(TAVLO_VK_TAB)); // names as Shift_JIS bytes
    EXPECT_EQ(column(boards(), 2), (std::vector<QString>{"news", "live", "hobby"}));
    EXPECT_TRUE(key(TAVLO_VK_TAB));
    EXPECT_EQ(column(boards(), 2), (std::vector<QString>{"hobby", "live", "news"}));
    EXPECT_TRUE(key(TAVLO_VK_TAB));
    EXPECT_TRUE(key(TAVLO_VK_TAB));
    EXPECT_EQ(boards()->GetSortColumn(), 0);
    EXPECT_EQ(column(boards(), 2), (std::vector<QString>{"live", "hobby", "news"}));

    // Opening a row opens its board's thread list.
    boards()->SelectRow(1);
    boards()->OpenSelectedItem();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    EXPECT_EQ(subject()->LastRequest(), U("板: 趣味 http://hobby.example-bbs.test/hobby/ hobby"));
    f->ViewBack();

    // Deleting in another order saves etc.txt in its own order still.
    boards()->SortItems(1, 0);
    ASSERT_EQ(column(boards(), 2), (std::vector<QString>{"hobby", "live", "news"}));
    boards()->SelectRow(2);
    f->OnCommand(ID_DELETE);
    EXPECT_EQ(boxes.last().text, U("削除しますか？"));
    ASSERT_EQ(etc.Load(), 0);
    ASSERT_EQ(etc.GetRowCount(), 2);
    EXPECT_EQ(CVornString(etc.Get(0, CTavloBoardFile::COL_ID)), CVornString("live"));
    EXPECT_EQ(CVornString(etc.Get(1, CTavloBoardFile::COL_ID)), CVornString("hobby"));
}

TEST_F(BookmarkViews, BookmarksAndExtraBoardsSurviveARestart) {
    CTavloBoardFileEtc etc;
    etc.AddRow({CVornString(VornUtf8ToSjis("趣味")), CVornString(kHobby), CVornString("hobby")});
    ASSERT_EQ(etc.Save(), 0);
    openBookmarks();
    bm()->SelectRow(0);
    key(TAVLO_VK_DOWN, Qt::ShiftModifier);
    bm()->SelectRow(4);
    f->OnCommand(ID_DELETE);
    f->OnCommand(ID_SORT_RES);
    bm()->SetColumnWidth(2, 222);
    f->Views().bookmark->SetCurSel(1);
    etc.InsertTop(CVornString("N"), CVornString(kNews), CVornString("news"));
    ASSERT_EQ(etc.Save(), 0);
    f->SendMessage(TAVLO_WM_ADDBOARD, 0, 0);
    ASSERT_EQ(boards()->GetItemCount(), 2);
    const std::vector<QString> shown = titles();

    // A new application over the same settings.
    run.app.ExitInstance();
    EXPECT_EQ(CTavloBookmarkFile::Instance().GetCount(), 0);
    CTavloApp again;
    std::string a0 = "tavlo", a1 = "--ini", a2 = dir.file("tavlo.ini");
    char* argv[] = {a0.data(), a1.data(), a2.data(), nullptr};
    ASSERT_EQ(again.InitInstance(3, argv), 1);
    f = again.GetFrame();
    openBookmarks();
    EXPECT_EQ(titles(), shown);
    EXPECT_EQ(bm()->GetSortColumn(), 1);
    EXPECT_EQ(bm()->GetColumnWidth(2), 222);
    f->OnCommand(ID_SORT_NO);
    EXPECT_EQ(titles(),
              (std::vector<QString>{U("引用\"付き<b>"), U("あいう"), U("かきく"), U("さしす")}));
    f->Views().bookmark->SetCurSel(1);
    EXPECT_EQ(column(boards(), 2), (std::vector<QString>{"news", "hobby"}));
    again.ExitInstance();
}

} // namespace
