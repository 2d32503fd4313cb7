#include "store_test_util.h"
#include "tavlo_article_file.h"
#include "tavlo_dat_file.h"
#include "tavlo_info_file.h"
#include "tavlo_path.h"
#include "vorn_file.h"

#include <ctime>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

TEST(ArticleFile, RoundTripsByteForByte) {
    const std::string text = "((\"1234567890\" :seen 12 :access-time (18838 45522 0))"
                             "(\"1234567891\" :seen -1 :access-time (0 5 0)))";
    CTavloArticleFile summary;
    summary.Parse(text);
    ASSERT_EQ(summary.GetRowCount(), 2);
    EXPECT_EQ(summary.Get(0, CTavloArticleFile::COL_KEY), "1234567890");
    EXPECT_EQ(summary.GetSeen("1234567890"), 12);
    EXPECT_EQ(summary.GetTime(0), int64_t{18838} * 65536 + 45522);
    EXPECT_EQ(summary.GetSeen("1234567891"), -1);
    EXPECT_EQ(summary.Format().str(), text);

    CTavloArticleFile empty;
    EXPECT_EQ(empty.Format(), "()");
}

TEST(ArticleFile, SeenNilReadsAsZeroAndIsWrittenAsMinusOne) {
    CTavloArticleFile summary;
    summary.Parse("((\"1\" :seen nil :access-time (1 2 3)) (\"2\" :seen 0 :access-time (0 1 0)))");
    ASSERT_EQ(summary.GetRowCount(), 2);
    EXPECT_EQ(summary.Get(0, CTavloArticleFile::COL_SEEN), "0");
    EXPECT_EQ(summary.GetSeen("1"), -1);
    EXPECT_EQ(summary.GetSeen("2"), -1);
    EXPECT_EQ(summary.GetSeen("3"), -1);
    EXPECT_EQ(summary.Format(), "((\"1\" :seen -1 :access-time (1 2 0))"
                                "(\"2\" :seen -1 :access-time (0 1 0)))");
}

TEST(ArticleFile, ReadsWhatNavi2chWrites) {
    // A comment line, blanks between entries, access times of four and of three integers,
    // other properties and a damaged entry in the middle.
    CTavloArticleFile summary;
    summary.Parse(";;; -*- mode: emacs-lisp; -*-\n"
                  "((\"100\" :seen 5 :access-time (26000 1234 567890 0))\n"
                  " (\"200\" :access-time (26000 1235 1) :seen 7 :extra \"x\")\n"
                  " (\"300\" :seen 3 :access-time (1 2 3 \n"
                  " (\"400\" :seen 9 :access-time (26000 1236 0 0)))\n");
    ASSERT_EQ(summary.GetRowCount(), 3);
    EXPECT_EQ(summary.GetSeen("100"), 5);
    EXPECT_EQ(summary.GetTime(0), int64_t{26000} * 65536 + 1234);
    EXPECT_EQ(summary.GetSeen("200"), 7);
    EXPECT_EQ(summary.GetSeen("400"), 9);
    EXPECT_EQ(summary.GetSeen("300"), -1);
}

TEST(ArticleFile, AccessTimeTooLargeReadsAsUnknown) {
    // A damaged HIGH would overflow the seconds; the entry stays, its time reads as unknown.
    CTavloArticleFile summary;
    summary.Parse("((\"1234567890\" :seen 12 :access-time (222222222222222 0)))");
    ASSERT_EQ(summary.GetRowCount(), 1);
    EXPECT_EQ(summary.GetSeen("1234567890"), 12);
    EXPECT_EQ(summary.GetTime(0), 0);
    EXPECT_EQ(summary.Format(), "((\"1234567890\" :seen 12 :access-time (0 0 0)))");
}

TEST_F(StoreTest, ArticleFileSetSeenMergeAndSave) {
    CTavloArticleFile summary;
    EXPECT_FALSE(summary.Load("http://H/B/")); // missing: empty, path kept
    EXPECT_EQ(summary.GetPath().str(), path("H/B/article-summary"));
    int64_t before = time(nullptr);
    ASSERT_EQ(summary.SetSeen("111", 10), 1);
    EXPECT_EQ(summary.SetSeen("", 1), 0);
    int64_t recorded = summary.GetTime(0);
    EXPECT_GE(recorded, before);
    ASSERT_EQ(summary.SetSeen("111", 20), 1);
    EXPECT_EQ(summary.GetRowCount(), 1);
    EXPECT_EQ(summary.GetSeen("111"), 20);
    EXPECT_EQ(summary.GetTime(0), recorded); // the recorded time never changes
    ASSERT_EQ(summary.Save(), 1);            // makes the board directory

    CTavloArticleFile back;
    ASSERT_TRUE(back.Load("http://H/B/"));
    EXPECT_EQ(back.GetSeen("111"), 20);
    EXPECT_EQ(back.GetTime(0), recorded);

    CTavloArticleFile other;
    other.SetSeen("111", 99);
    other.SetSeen("222", 5);
    back.MergeInto(other);
    other.MergeInto(back);
    EXPECT_EQ(other.GetRowCount(), 2);
    EXPECT_EQ(other.GetSeen("111"), 99); // the receiver's rows win
    EXPECT_EQ(back.GetSeen("222"), 5);
    EXPECT_EQ(back.GetSeen("111"), 20);

    CTavloArticleFile nowhere;
    EXPECT_FALSE(nowhere.Load("http://H/../"));
    EXPECT_EQ(nowhere.Save(), 0);
}

TEST_F(StoreTest, ArticleFileFailedSaveAndUnreadableFile) {
    CTavloArticleFile summary;
    summary.Load("http://H/B/");
    summary.SetSeen("1", 1);
    ASSERT_EQ(summary.Save(), 1);
    const std::string before = ReadAll(summary.GetPath().str());
    summary.SetSeen("2", 2);
    VornSetFileFault(VORN_FAULT_RENAME);
    EXPECT_EQ(summary.Save(), 0);
    VornSetFileFault(VORN_FAULT_NONE);
    EXPECT_EQ(ReadAll(summary.GetPath().str()), before);

    // A summary that exists but cannot be read is not replaced by an empty one.
    if (geteuid() != 0) {
        chmod(summary.GetPath().c_str(), 0);
        CTavloArticleFile locked;
        EXPECT_FALSE(locked.Load("http://H/B/"));
        locked.SetSeen("3", 3);
        EXPECT_EQ(locked.Save(), 0);
        chmod(summary.GetPath().c_str(), 0644);
        EXPECT_EQ(ReadAll(summary.GetPath().str()), before);
    }
}

TEST_F(StoreTest, DeleteAStoredThread) {
    const CVornString board = "http://H/B/";
    CVornString log = CTavloPath::GetLogPath(board, "111");
    CTavloPath::MakeDirectory(CTavloPath::GetDirectory(log));
    WriteAll(log.str(), "a<>b<>c<>d<>t\n");
    CTavloInfoFile info;
    CTavloInfoFile::Create(board, "111", info);
    ASSERT_TRUE(CTavloInfoFile::Write(info));
    CTavloArticleFile summary;
    summary.Load(board);
    summary.SetSeen("111", 1);
    summary.SetSeen("222", 2);
    ASSERT_EQ(summary.Save(), 1);

    ASSERT_EQ(CTavloDatFile::Delete(board, "111"), 1);
    EXPECT_FALSE(CTavloDatFile::Exists(log));
    EXPECT_FALSE(VornFileExists(info.Path.c_str()));
    CTavloArticleFile after;
    ASSERT_TRUE(after.Load(board));
    EXPECT_EQ(after.GetRowCount(), 1);
    EXPECT_EQ(after.GetSeen("222"), 2);

    // Missing info file and summary row: the log still goes.
    WriteAll(CTavloPath::GetLogPath(board, "333").str(), "x\n");
    EXPECT_EQ(CTavloDatFile::Delete(board, "333"), 1);
    EXPECT_FALSE(CTavloDatFile::Exists(CTavloPath::GetLogPath(board, "333")));
    EXPECT_EQ(CTavloDatFile::Delete(board, "../x"), 0);
}
