#include "store_test_util.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_info_file.h"
#include "tavlo_path.h"
#include "vorn_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class BookmarkTest : public StoreTest {
protected:
    void TearDown() override {
        CTavloBookmarkFile::Destroy();
        StoreTest::TearDown();
    }
    std::string file() const { return path("bookmark2.txt"); }

    void writeInfo(const char* board, const char* key, int count, int max, bool fresh) {
        CTavloInfoFile info;
        CTavloInfoFile::Create(board, key, info);
        info.Number = 1;
        info.Count = count;
        info.Max = max;
        info.New = fresh;
        ASSERT_TRUE(CTavloInfoFile::Write(info));
    }

    // Adds n bookmarks "k1".."kn" of board http://H/B/; k1 ends up last.
    void addMany(CTavloBookmarkFile& list, int n) {
        for (int i = 1; i <= n; ++i) {
            std::string key = "10" + std::to_string(i);
            ASSERT_TRUE(
                list.Add("http://H/B/", ("t" + std::to_string(i)).c_str(), key.c_str(), "B", "B"));
        }
    }
};

std::string entry(const std::string& board, const std::string& key, const std::string& name,
                  const std::string& title, int count) {
    return "(\"" + board + key + "\" (board (name . \"" + name + "\") (uri . \"" + board +
           "\") (id . \"B\")) (article (subject . \"" + title + "\") (artid . \"" + key +
           "\") (count . \"" + std::to_string(count) + "\")))";
}

} // namespace

TEST_F(BookmarkTest, RoundTripsByteForByte) {
    // Quotes, backslashes (one at the very end of a title) and trail bytes 0x5C.
    const std::string text =
        "((\"\" \"\" " +
        entry("http://H/B/", "111", Sjis("板\\\"名\\\""), "a \\\"quoted\\\" title\\\\", 35) + " " +
        entry("http://H/B/", "222", "B", Sjis("ソ表能十\\\\"), 0) + "))";
    WriteAll(file(), text);
    writeInfo("http://H/B/", "111", 35, 30, true);
    CTavloBookmarkFile list;
    ASSERT_TRUE(list.Load(file().c_str()));
    ASSERT_EQ(list.GetCount(), 2);
    CTavloBookmarkItem* first = list.Get(0);
    EXPECT_EQ(first->GetTitle(), "a \"quoted\" title\\");
    EXPECT_EQ(first->GetBoardName().str(), Sjis("板\"名\""));
    EXPECT_EQ(first->GetKey(), "111");
    EXPECT_EQ(first->GetIndex(), 1);
    EXPECT_EQ(first->GetCount(), 35);
    EXPECT_EQ(list.Get(1)->GetTitle().str(), Sjis("ソ表能十\\"));
    ASSERT_EQ(list.Save(), 1);
    EXPECT_EQ(ReadAll(file()), text);

    // Titles are kept as stored, never cleaned a second time.
    ASSERT_TRUE(list.Add("http://H/B/", "<tag> &amp;lt;", "333", "B", "B"));
    ASSERT_EQ(list.Save(), 1);
    CTavloBookmarkFile back;
    ASSERT_TRUE(back.Load(file().c_str()));
    EXPECT_EQ(back.Get(0)->GetTitle(), "<tag> &amp;lt;");
    EXPECT_EQ(back.Format(), list.Format());

    CTavloBookmarkFile empty;
    EXPECT_EQ(empty.Format(), "((\"\" \"\" ))");
}

TEST_F(BookmarkTest, ReadsWhatNavi2chWrites) {
    const std::string text =
        ";;; -*- mode: emacs-lisp; -*-\n"
        "((\"\" \"\" (\"http://H/B/111\" (board (name . #(\"" +
        Sjis("名前") +
        "\" 0 2 (charset cp932-2-byte))) (uri . \"http://H/B/\") (id . \"B\")) (article "
        "(subject . #(\"" +
        Sjis("題名") +
        "\" 0 2 (charset cp932-2-byte))) (artid . \"111\"))) "
        // a damaged entry: its title string never closes before the next one starts
        "(\"http://H/B/999\" (board (name . \"x\") (uri . \"http://H/B/\") (id . \"B\")) "
        "(article (subject . \"cut) "
        "(\"http://H/C/222\" (board (uri . \"http://H/C/\")) (article (artid . \"222\") "
        "(subject . \"t\") (count . \"5\"))))"
        " (\"other\" \"set\" (\"http://H/D/333\" (board (name . \"d\") (uri . \"http://H/D/\") "
        "(id . \"D\")) (article (subject . \"s\") (artid . \"333\")))))\n";
    WriteAll(file(), text);
    CTavloBookmarkFile list;
    ASSERT_TRUE(list.Load(file().c_str()));
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.Get(0)->GetBoardName().str(), Sjis("名前"));
    EXPECT_EQ(list.Get(0)->GetTitle().str(), Sjis("題名"));
    EXPECT_EQ(list.Get(1)->GetKey(), "222");
    EXPECT_EQ(list.Get(1)->GetBoardId(), "C"); // from the URL when missing
    EXPECT_EQ(list.Get(2)->GetKey(), "333");
    EXPECT_EQ(list.Get(2)->GetIndex(), 3);
}

TEST_F(BookmarkTest, AddRemoveFindAndRenumber) {
    CTavloBookmarkFile list;
    addMany(list, 5);
    ASSERT_EQ(list.GetCount(), 5);
    EXPECT_EQ(list.Get(0)->GetKey(), "105");
    EXPECT_EQ(list.Get(0)->GetIndex(), 1);
    EXPECT_EQ(list.Get(4)->GetIndex(), 5);
    // Already bookmarked: nothing changes.
    EXPECT_FALSE(list.Add("http://H/B/", "again", "103", "B", "B"));
    EXPECT_EQ(list.GetCount(), 5);
    EXPECT_EQ(list.FindThreadUrl("http://H/B/103"), 2);
    EXPECT_EQ(list.FindThreadUrl("http://H/B/999"), -1);

    ASSERT_EQ(list.Remove(2), 1); // index 3 of 5
    ASSERT_EQ(list.GetCount(), 4);
    std::vector<int> indexes;
    for (CTavloBookmarkItem* item : list)
        indexes.push_back(item->GetIndex());
    EXPECT_EQ(indexes, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(list.Remove(9), 0);

    CVornString log = CTavloPath::GetLogPath("http://H/B/", "102");
    EXPECT_EQ(list.FindLogPath(log), list.Get(2));
    EXPECT_EQ(list.FindLogPath(""), nullptr);

    list.ReplaceBoardUrl("http://H/B/", "http://N/B/");
    EXPECT_EQ(list.Get(0)->GetThreadUrl(), "http://N/B/105");
    EXPECT_EQ(list.FindLogPath(log), nullptr);
    EXPECT_NE(list.FindLogPath(CTavloPath::GetLogPath("http://N/B/", "102")), nullptr);
}

TEST_F(BookmarkTest, RefreshFollowsTheInfoFileTime) {
    writeInfo("http://H/B/", "101", 35, 30, true);
    CTavloBookmarkFile list;
    addMany(list, 1);
    CTavloBookmarkItem* item = list.Get(0);
    EXPECT_EQ(item->GetCount(), 35);
    EXPECT_EQ(item->IsUpdated(), 1);
    EXPECT_EQ(item->GetNewCount(), 5);
    EXPECT_EQ(item->GetMark(), 0x01 | 0x08);
    item->SetChecking(1);
    item->SetSelected(1);
    EXPECT_EQ(item->GetMark(), 0x01 | 0x02 | 0x08 | 0x10);

    // Rewritten with the same last-write time: not read again.
    CVornString infoPath = CTavloPath::GetInfoPath("http://H/B/", "101");
    struct stat st {};
    ASSERT_EQ(stat(infoPath.c_str(), &st), 0);
    writeInfo("http://H/B/", "101", 40, 40, false);
    struct timespec times[2] = {st.st_mtim, st.st_mtim};
    ASSERT_EQ(utimensat(AT_FDCWD, infoPath.c_str(), times, 0), 0);
    item->Refresh();
    EXPECT_EQ(item->GetCount(), 35);

    // A different time: read again.
    times[0].tv_nsec = times[1].tv_nsec = (st.st_mtim.tv_nsec + 1) % 1000000000;
    ASSERT_EQ(utimensat(AT_FDCWD, infoPath.c_str(), times, 0), 0);
    EXPECT_EQ(list.RefreshLogPath(item->GetLogPath()), item);
    EXPECT_EQ(item->GetCount(), 40);
    EXPECT_EQ(item->IsUpdated(), 0);
    EXPECT_EQ(item->GetNewCount(), 0);

    // new on with max above count: no negative new-post count.
    writeInfo("http://H/B/", "101", 10, 20, true);
    item->Refresh();
    EXPECT_EQ(item->IsUpdated(), 1);
    EXPECT_EQ(item->GetNewCount(), 0);

    // Gone (or empty): everything 0.
    WriteAll(infoPath.str(), "");
    item->Refresh();
    EXPECT_EQ(item->GetCount(), 0);
    EXPECT_EQ(item->IsUpdated(), 0);
    EXPECT_EQ(list.RefreshLogPath("nothing"), nullptr);
}

TEST_F(BookmarkTest, NextUpdatedAfterALogPath) {
    writeInfo("http://H/B/", "102", 5, 1, true);
    writeInfo("http://H/B/", "104", 5, 1, true);
    CTavloBookmarkFile list;
    addMany(list, 5); // list order: 105 104 103 102 101
    CVornString path104 = CTavloPath::GetLogPath("http://H/B/", "104");
    CVornString path105 = CTavloPath::GetLogPath("http://H/B/", "105");
    CVornString path102 = CTavloPath::GetLogPath("http://H/B/", "102");
    EXPECT_EQ(list.NextUpdated(path105)->GetKey(), "104");
    EXPECT_EQ(list.NextUpdated(path104)->GetKey(), "102");
    EXPECT_EQ(list.NextUpdated(path102), nullptr);
    EXPECT_EQ(list.NextUpdated("unknown"), nullptr);
}

TEST_F(BookmarkTest, SortKeysAndSaveInIndexOrder) {
    writeInfo("http://H/B/", "102", 50, 10, true);
    writeInfo("http://H/B/", "104", 20, 10, true);
    writeInfo("http://H/B/", "101", 70, 70, false);
    CTavloBookmarkFile& list = CTavloBookmarkFile::Instance();
    ASSERT_FALSE(list.Load(file().c_str())); // missing: empty list, saving allowed
    addMany(list, 4);                        // indexes: 104=1 103=2 102=3 101=4
    auto keys = [&] {
        std::string s;
        for (CTavloBookmarkItem* item : list)
            s += item->GetKey().str().substr(2);
        return s;
    };
    list.Sort(CTavloBookmarkFile::SORT_COUNT, false);
    EXPECT_EQ(keys(), "1243");
    list.Sort(CTavloBookmarkFile::SORT_KEY, true);
    EXPECT_EQ(keys(), "1234");
    list.Sort(CTavloBookmarkFile::SORT_TITLE, false);
    EXPECT_EQ(keys(), "4321");
    // Updated first, more new posts first, then smaller index first.
    list.Sort(CTavloBookmarkFile::SORT_UPDATED, true);
    EXPECT_EQ(keys(), "2431");
    list.Sort(CTavloBookmarkFile::SORT_UPDATED, false); // no descending order: unchanged
    EXPECT_EQ(keys(), "2431");
    list.Get(3)->SetSearchHit(1); // 101
    list.Sort(CTavloBookmarkFile::SORT_SEARCH, true);
    EXPECT_EQ(keys(), "1432");

    // Saved in index order; the list comes back in the remembered order.
    list.Sort(CTavloBookmarkFile::SORT_INDEX, false);
    ASSERT_EQ(list.Save(), 1);
    EXPECT_EQ(keys(), "1234");
    CTavloBookmarkFile back;
    ASSERT_TRUE(back.Load(file().c_str()));
    EXPECT_EQ(back.Get(0)->GetKey(), "104");
    EXPECT_EQ(back.Get(0)->GetCount(), 20);
    EXPECT_EQ(back.Get(3)->GetKey(), "101");
}

TEST_F(BookmarkTest, FailedSaveAndUnreadableFileKeepTheOldFile) {
    CTavloBookmarkFile list;
    list.Load(file().c_str());
    addMany(list, 2);
    ASSERT_EQ(list.Save(), 1);
    const std::string before = ReadAll(file());
    ASSERT_TRUE(list.Add("http://H/B/", "t9", "109", "B", "B"));
    list.Remove(2);
    for (int fault : {VORN_FAULT_RENAME, VORN_FAULT_WRITE}) {
        VornSetFileFault(fault);
        EXPECT_EQ(list.Save(), 0);
        VornSetFileFault(VORN_FAULT_NONE);
        EXPECT_EQ(ReadAll(file()), before);
    }
    EXPECT_EQ(VornListDirectory(root().c_str()).size(), 1u); // no temporary left

    // Never loaded: nowhere to save.
    CTavloBookmarkFile fresh;
    fresh.Add("http://H/B/", "t", "1", "B", "B");
    EXPECT_EQ(fresh.Save(), 0);

    if (geteuid() != 0) {
        chmod(file().c_str(), 0);
        CTavloBookmarkFile locked;
        EXPECT_FALSE(locked.Load(file().c_str()));
        locked.Add("http://H/B/", "t", "1", "B", "B");
        EXPECT_EQ(locked.Save(), 0);
        chmod(file().c_str(), 0644);
        EXPECT_EQ(ReadAll(file()), before);
    }
}
