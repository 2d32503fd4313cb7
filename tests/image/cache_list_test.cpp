// The cache lists: which logs the tree walk lists, their board names, indexes after adding and
// removing, and the image cache's names.
#include "tavlo_cache_file.h"
#include "tavlo_cache_image_file.h"
#include "tavlo_path.h"
#include "tavlo_settings.h"
#include "test_util.h"
#include "vorn_file.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include <unistd.h>

namespace {

class CacheList : public testing::Test {
protected:
    void SetUp() override {
        CTavloSettings::SetProfilePath(dir.file("tavlo.ini").c_str());
        root = dir.file("root");
        VornCreateDirectories(root.c_str());
        CTavloSettings::Instance().SetRootDirectory(CVornString(root));
        CTavloCacheImageFile::Reset();
    }
    void TearDown() override {
        CTavloCacheImageFile::Reset();
        CTavloSettings::Destroy();
    }
    void log(const std::string& rel, const char* title) {
        const std::string p = root + "/" + rel;
        VornCreateDirectories(CTavloPath::GetDirectory(CVornString(p)).c_str());
        WriteAll(p, std::string("n<>m<>d<>b<>") + title + "\n");
    }
    TempDir dir;
    std::string root;
};

} // namespace

TEST_F(CacheList, OnlyLogsTwoLevelsBelowTheRootAreListed) {
    log("top.dat", "x");
    log("1234.dat", "x");
    log("host/1234.dat", "one level");
    log("host.example/board/1600000000.dat", "listed");
    log("host.example/board/notakey.dat", "x");
    log("host.example/board/1600000001.txt", "x");
    log("host.example/dir/board/1600000002.dat", "deeper");
    // A log whose first line holds no title field is skipped.
    WriteAll(root + "/host.example/board/1600000003.dat", "no fields\n");
    CTavloCacheFile list;
    list.SetRoot(CVornString(root));
    EXPECT_EQ(list.Build(CVornString(root), 1), 2);
    std::set<std::string> titles;
    for (CTavloCacheItem* e : list)
        titles.insert(e->GetTitle().str());
    EXPECT_EQ(titles, (std::set<std::string>{"listed", "deeper"}));
    int position = -1;
    for (int i = 0; i < list.GetCount(); ++i)
        if (list.Get(i)->GetTitle() == "deeper")
            position = i;
    ASSERT_GE(position, 0);
    const CTavloCacheItem* deep = list.Get(position);
    EXPECT_EQ(deep->GetBoardUrl(), "http://host.example/dir/board/");
    EXPECT_EQ(deep->GetBoardId(), "board");
    EXPECT_EQ(deep->GetKey(), "1600000002");
    EXPECT_EQ(deep->GetLogPath().str(), root + "/host.example/dir/board/1600000002.dat");
    EXPECT_EQ(deep->GetTimeText().GetLength(), 19);
    EXPECT_EQ(deep->GetMark(), CTavloListItem::MARK_NORMAL);
    // Indexes are 1.. in list order.
    for (int i = 0; i < list.GetCount(); ++i)
        EXPECT_EQ(list.Get(i)->GetIndex(), i + 1);
}

TEST_F(CacheList, BoardNamesByIdFirstThenByUrl) {
    // Two boards named "soft" on different hosts; board.txt knows the id, etc.txt a URL.
    log("a.example/soft/1600000000.dat", "A");
    log("b.example/soft/1600000001.dat", "B");
    log("c.example/misc/1600000002.dat", "C");
    WriteAll(root + "/board.txt", "ソフト\nhttp://a.example/soft/\nsoft\n");
    WriteAll(root + "/etc.txt", "いろいろ\nhttp://c.example/misc/\nother\n");
    CTavloCacheFile list;
    list.SetRoot(CVornString(root));
    ASSERT_EQ(list.Build(CVornString(root), 1), 3);
    std::map<std::string, std::string> names;
    for (CTavloCacheItem* e : list)
        names[e->GetTitle().str()] = e->GetBoardName().str();
    EXPECT_EQ(names["A"], "ソフト");
    EXPECT_EQ(names["B"], "ソフト");
    EXPECT_EQ(names["C"], "いろいろ");
}

TEST_F(CacheList, AFirstFetchGoesToTheTopWithIndexOneAndRemovingRenumbers) {
    log("h.example/b/1600000000.dat", "old1");
    log("h.example/b/1600000001.dat", "old2");
    CTavloCacheFile list;
    list.SetRoot(CVornString(root));
    ASSERT_EQ(list.Build(CVornString(root), 1), 2);
    log("h.example/b/1600000009.dat", "new");
    const CVornString fresh(root + "/h.example/b/1600000009.dat");
    EXPECT_EQ(list.FindLogPath(fresh), -1);
    ASSERT_EQ(list.AddLog(fresh), 1);
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.Get(0)->GetTitle(), "new");
    EXPECT_EQ(list.Get(0)->GetIndex(), 1);
    EXPECT_EQ(list.Get(1)->GetIndex(), 2);
    EXPECT_EQ(list.Get(2)->GetIndex(), 3);
    EXPECT_EQ(list.AddLog(CVornString(root + "/h.example/b/1.dat")), 0); // missing file
    // Removing the first shifts the others up; a refreshed entry whose file went is dropped.
    list.Remove(0);
    EXPECT_EQ(list.Get(0)->GetIndex(), 1);
    EXPECT_EQ(list.Get(1)->GetIndex(), 2);
    unlink(list.Get(0)->GetLogPath().c_str());
    EXPECT_EQ(list.Refresh(0), 0);
    ASSERT_EQ(list.GetCount(), 1);
    EXPECT_EQ(list.Get(0)->GetIndex(), 1);
}

TEST_F(CacheList, ImageNamesDecodeTheirSlashesAndIndexesFollowInsertAndRemove) {
    const std::string img = root + "/.img";
    VornCreateDirectories(img.c_str());
    const std::string a = CTavloPath::GetImageCachePath("http://i.example/dir/a.png").str();
    ASSERT_EQ(a, img + "/i.example%2Fdir%2Fa.png");
    WriteAll(a, "x");
    WriteAll(img + "/j.example%2Fb.jpg", "y");
    CTavloCacheImageFile& list = CTavloCacheImageFile::Instance();
    ASSERT_EQ(list.GetCount(), 2);
    const int pa = list.FindPath(CVornString(a));
    ASSERT_GE(pa, 0);
    EXPECT_EQ(list.Get(pa)->GetDisplayName(), "i.example/dir/a.png");
    EXPECT_EQ(list.Get(pa)->GetImageUrl(), "http://i.example/dir/a.png");
    EXPECT_EQ(list.Get(pa)->GetMark(), CTavloListItem::MARK_NORMAL);
    list.Get(pa)->SetSelected(1);
    EXPECT_EQ(list.Get(pa)->GetMark(), 0x11);
    EXPECT_TRUE(list.IsCached(CVornString(a)));

    const std::string c = img + "/k.example%2Fc.gif";
    WriteAll(c, "z");
    list.AddFile(CVornString(c));
    ASSERT_EQ(list.GetCount(), 3);
    EXPECT_EQ(list.Get(0)->GetPath().str(), c);
    EXPECT_EQ(list.Get(0)->GetIndex(), 1);
    EXPECT_EQ(list.Get(1)->GetIndex(), 2);
    EXPECT_EQ(list.Get(2)->GetIndex(), 3);
    list.Remove(list.FindPath(CVornString(a)));
    EXPECT_FALSE(list.IsCached(CVornString(a)));
    ASSERT_EQ(list.GetCount(), 2);
    EXPECT_EQ(list.Get(0)->GetIndex(), 1);
    EXPECT_EQ(list.Get(1)->GetIndex(), 2);
}
