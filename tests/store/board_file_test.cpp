#include "store_test_util.h"
#include "tavlo_board_file.h"
#include "tavlo_bookmark_board_file.h"
#include "vorn_file.h"

#include <gtest/gtest.h>

namespace {

std::string menu() {
    return Sjis("ニュース") + "\n\n\n" + Sjis("速報") + "\nhttp://a.example/news/\nnews\n" +
           Sjis("雑談") + "\n\n\n" + Sjis("ソフト") + "\nhttp://b.example/soft/\nsoft\n";
}

} // namespace

TEST_F(StoreTest, BoardFileRoundTripsByteForByte) {
    WriteAll(path("board.txt"), menu());
    CTavloBoardFile board;
    EXPECT_EQ(board.GetPath().str(), path("board.txt"));
    ASSERT_EQ(board.Load(), 0);
    ASSERT_EQ(board.GetRowCount(), 4);
    EXPECT_EQ(board.Get(0, CTavloBoardFile::COL_NAME).str(), Sjis("ニュース"));
    EXPECT_EQ(board.Get(0, CTavloBoardFile::COL_URL), "");
    EXPECT_EQ(board.Get(1, CTavloBoardFile::COL_URL), "http://a.example/news/");
    EXPECT_EQ(board.Get(1, CTavloBoardFile::COL_ID), "news");
    ASSERT_EQ(board.Save(), 0);
    EXPECT_EQ(ReadAll(path("board.txt")), menu());
}

TEST_F(StoreTest, BoardFileLoadDropsCutRowsAndSkippedCategories) {
    // CR LF line ends are trimmed; a row cut after one or two lines is left out.
    WriteAll(path("board.txt"), "A\r\n\r\n\r\nb1\r\nhttp://h/b1/\r\nb1\r\ncut\r\nhttp://h/cut/");
    CTavloBoardFile board;
    ASSERT_EQ(board.Load(), 0);
    ASSERT_EQ(board.GetRowCount(), 2);
    EXPECT_EQ(board.Get(1, CTavloBoardFile::COL_ID), "b1");
    WriteAll(path("board.txt"), "A\n\n\nb1\nhttp://h/b1/\nb1\nlonely");
    ASSERT_EQ(board.Load(), 0);
    EXPECT_EQ(board.GetRowCount(), 2);

    // A category named like the menu's other-site entries is dropped; its boards stay and
    // so join the category before it.
    for (const char* skipped : {"他のサイト", "チャット", "ツール類"}) {
        WriteAll(path("board.txt"),
                 "A\n\n\n" + Sjis(skipped) + "\n\n\nx\nhttp://h/x/\nx\ny\nhttp://h/y/\ny\n");
        ASSERT_EQ(board.Load(), 0);
        ASSERT_EQ(board.GetRowCount(), 3) << skipped;
        EXPECT_EQ(board.Get(0, 0), "A");
        EXPECT_EQ(board.Get(1, 0), "x");
    }

    CTavloBoardFile missing(CVornString(path("none.txt")));
    EXPECT_EQ(missing.Load(), -200);
}

TEST_F(StoreTest, BoardFileKeepsBoardsNamedLikeSkippedCategories) {
    WriteAll(path("board.txt"), "A\n\n\n" + Sjis("チャット雑談") + "\nhttp://h/chat/\nchat\n" +
                                    Sjis("他のサイトの話") + "\nhttp://h/o/\no\n");
    CTavloBoardFile board;
    ASSERT_EQ(board.Load(), 0);
    ASSERT_EQ(board.GetRowCount(), 3);
    EXPECT_EQ(board.Get(1, 0).str(), Sjis("チャット雑談"));
    EXPECT_EQ(board.Get(2, 2), "o");
}

TEST_F(StoreTest, BoardFileFindReplaceInsertBackup) {
    WriteAll(path("board.txt"), menu());
    CTavloBoardFile board;
    ASSERT_EQ(board.Load(), 0);
    EXPECT_EQ(board.FindUrl("http://b.example/soft/"), 3);
    EXPECT_EQ(board.FindId("news"), 1);
    EXPECT_EQ(board.FindId("none"), -1);
    board.ReplaceUrl("http://a.example/news/", "http://c.example/news/");
    EXPECT_EQ(board.FindUrl("http://a.example/news/"), -1);
    EXPECT_EQ(board.FindUrl("http://c.example/news/"), 1);
    board.InsertTop("top", "http://h/top/", "top");
    EXPECT_EQ(board.FindId("top"), 0);

    ASSERT_EQ(board.Backup(), 1);
    EXPECT_EQ(ReadAll(path("board.txt.bak")), menu());
    EXPECT_EQ(ReadAll(path("board.txt")), menu()); // still in place until replaced
    ASSERT_EQ(board.Save(), 0);
    EXPECT_EQ(ReadAll(path("board.txt.bak")), menu());

    // A line break in a name would shift every later row.
    board.InsertTop("two\nlines", "http://h/z/", "z");
    ASSERT_EQ(board.Save(), 0);
    CTavloBoardFile again;
    ASSERT_EQ(again.Load(), 0);
    EXPECT_EQ(again.GetRowCount(), board.GetRowCount());
    EXPECT_EQ(again.Get(0, 0), "two lines");
    EXPECT_EQ(again.Get(1, 2), "top");
}

TEST_F(StoreTest, BoardFileFailedSaveKeepsTheOldFile) {
    WriteAll(path("etc.txt"), "x\nhttp://h/x/\nx\n");
    CTavloBoardFileEtc etc;
    EXPECT_EQ(etc.GetPath().str(), path("etc.txt"));
    ASSERT_EQ(etc.Load(), 0);
    etc.InsertTop("y", "http://h/y/", "y");
    VornSetFileFault(VORN_FAULT_RENAME);
    EXPECT_EQ(etc.Save(), -200);
    VornSetFileFault(VORN_FAULT_NONE);
    EXPECT_EQ(ReadAll(path("etc.txt")), "x\nhttp://h/x/\nx\n");
}

TEST_F(StoreTest, ExtraBoardListInsertRemoveSave) {
    WriteAll(path("etc.txt"), "a\nhttp://h/a/\na\nb\nhttp://h/b/\nb\nc\nhttp://h/c/\nc\n");
    CTavloBookmarkBoardFile list;
    ASSERT_EQ(list.Load(), 1);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.Get(2)->GetIndex(), 3);
    EXPECT_EQ(list.Get(0)->GetBoardUrl(), "http://h/a/");
    EXPECT_EQ(list.Get(0)->GetTitle(), "");
    EXPECT_EQ(list.Get(0)->GetMark(), 0x01);
    list.Get(0)->SetSelected(1);
    EXPECT_EQ(list.Get(0)->GetMark(), 0x11);

    list.Insert(1, "n", "n", "http://h/n/");
    ASSERT_EQ(list.GetCount(), 4);
    EXPECT_EQ(list.Get(1)->GetBoardName(), "n");
    EXPECT_EQ(list.Get(1)->GetIndex(), 2);
    EXPECT_EQ(list.Get(2)->GetIndex(), 3);
    EXPECT_EQ(list.Get(3)->GetIndex(), 4);
    ASSERT_EQ(list.Remove(0), 1);
    EXPECT_EQ(list.Get(0)->GetIndex(), 1);
    EXPECT_EQ(list.Get(2)->GetIndex(), 3);
    ASSERT_EQ(list.Save(), 1);
    EXPECT_EQ(ReadAll(path("etc.txt")),
              "n\nhttp://h/n/\nn\nb\nhttp://h/b/\nb\nc\nhttp://h/c/\nc\n");
}
