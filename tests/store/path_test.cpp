#include "store_test_util.h"
#include "tavlo_path.h"
#include "vorn_file.h"

#include <gtest/gtest.h>
#include <unistd.h>

TEST(BoardDirectory, MapsHostAndBoardUnderTheRoot) {
    EXPECT_EQ(CTavloPath::GetBoardDirectory("http://H/B/", "/r"), "/r/H/B");
    EXPECT_EQ(CTavloPath::GetBoardDirectory("http://H/B/", "/r/"), "/r/H/B");
    EXPECT_EQ(CTavloPath::GetBoardDirectory("http://H/B", "/r"), "/r/H/B");
    EXPECT_EQ(CTavloPath::GetBoardDirectory("https://jbbs.example/game/123/", "/r"),
              "/r/jbbs.example/game/123");
    EXPECT_EQ(CTavloPath::GetBoardDirectory("http://.tmp/find.example/", "/r"),
              "/r/.tmp/find.example");
    EXPECT_EQ(CTavloPath::GetBoardDirectory("H/B/", "/r"), "");
    EXPECT_EQ(CTavloPath::GetBoardDirectory("", "/r"), "");
}

TEST(BoardDirectory, NeverLeavesTheRoot) {
    const char* bad[] = {
        "http://../B/",  "http://H/../", "http://H/../../etc/", "http://H/B/..",
        "http://H/./B/", "http://H//B/", "http:///B/",          "http://",
        "http:///",      "http://H/B//", "http://H/%s/../x/",   "http://../../../tmp",
    };
    for (const char* url : bad)
        EXPECT_EQ(CTavloPath::GetBoardDirectory(url, "/r"), "") << url;
    std::string withNul("http://H/B\0/../x/", 17);
    EXPECT_EQ(CTavloPath::GetBoardDirectory(CVornString(withNul), "/r"), "");
    // Dots inside a name are only a name.
    EXPECT_EQ(CTavloPath::GetBoardDirectory("http://a..b/c.d/", "/r"), "/r/a..b/c.d");
}

TEST(BoardDirectory, TrailBytesOfShiftJisAreNotSeparators) {
    // "ソ" ends in 0x5C; it must stay one name.
    CVornString url = CVornString("http://H/") + Sjis("ソ表").c_str() + "/";
    EXPECT_EQ(CTavloPath::GetBoardDirectory(url, "/r"),
              CVornString("/r/H/") + Sjis("ソ表").c_str());
}

TEST_F(StoreTest, LogAndInfoPathsFollowTheRootSetting) {
    EXPECT_EQ(CTavloPath::GetRoot().str(), root());
    EXPECT_EQ(CTavloPath::GetLogPath("http://H/B/", "1234567890").str(),
              root() + "/H/B/1234567890.dat");
    EXPECT_EQ(CTavloPath::GetInfoPath("http://H/B/", "1234567890").str(),
              root() + "/H/B/info/1234567890");
    for (const char* key : {"", ".", "..", "../1", "1/2"}) {
        EXPECT_EQ(CTavloPath::GetLogPath("http://H/B/", key), "") << key;
        EXPECT_EQ(CTavloPath::GetInfoPath("http://H/B/", key), "") << key;
    }
    EXPECT_EQ(CTavloPath::GetLogPath("http://H/../", "1"), "");
}

TEST(ImageCachePath, EncodesTheRemainderAndKeepsTheExtension) {
    EXPECT_EQ(CTavloPath::GetImageCachePath("http://i.example/a/b.jpg", "/r"),
              "/r/.img/i.example%2Fa%2Fb.jpg");
    EXPECT_EQ(CTavloPath::GetImageCachePath("http://i.example/a/b.jpg", "/r/"),
              "/r/.img/i.example%2Fa%2Fb.jpg");
    // The last dot lies in a path element: no extension, everything encoded.
    EXPECT_EQ(CTavloPath::GetImageCachePath("http://i.example/a.b/c", "/r"),
              "/r/.img/i.example%2Fa.b%2Fc");
    // An extension holding a character a file name cannot carry is no extension.
    EXPECT_EQ(CTavloPath::GetImageCachePath("http://i.example/x.php?id=1", "/r"),
              "/r/.img/i.example%2Fx.php%3Fid%3D1");
    EXPECT_EQ(CTavloPath::GetImageCachePath("i.example/x.jpg", "/r"), "");
    // Names that would be the cache directory itself or its parent.
    EXPECT_EQ(CTavloPath::GetImageCachePath("http://..", "/r"), "");
    EXPECT_EQ(CTavloPath::GetImageCachePath("http://.", "/r"), "");
}

TEST(PathOps, DirectoryPart) {
    EXPECT_EQ(CTavloPath::GetDirectory("/r/H/B/1.dat"), "/r/H/B");
    EXPECT_EQ(CTavloPath::GetDirectory("name"), "");
}

TEST(PathOps, FileStatusRenameCopyRemove) {
    TempDir dir;
    CVornString a = dir.file("a/b/c").c_str();
    ASSERT_EQ(CTavloPath::MakeDirectory(a), 1);
    EXPECT_EQ(CTavloPath::MakeDirectory(a), 1);
    WriteAll(dir.file("a/b/c/f.txt"), "12345");
    WriteAll(dir.file("a/top.txt"), "x");
    int64_t size = -1, time = -1;
    EXPECT_EQ(CTavloPath::GetFileStatus(dir.file("a/b/c/f.txt").c_str(), &size, &time), 1);
    EXPECT_EQ(size, 5);
    EXPECT_GT(time, 0);
    EXPECT_EQ(CTavloPath::GetFileStatus(dir.file("missing").c_str()), 0);

    ASSERT_EQ(CTavloPath::ResetFileTime(dir.file("a/top.txt").c_str()), 1);
    CTavloPath::GetFileStatus(dir.file("a/top.txt").c_str(), nullptr, &time);
    EXPECT_EQ(time, 0);

    ASSERT_EQ(CTavloPath::CopyTree(dir.file("a").c_str(), dir.file("copy").c_str()), 1);
    EXPECT_EQ(ReadAll(dir.file("copy/b/c/f.txt")), "12345");
    EXPECT_EQ(ReadAll(dir.file("copy/top.txt")), "x");
    EXPECT_EQ(CTavloPath::CopyTree(dir.file("nothing").c_str(), dir.file("copy2").c_str()), 0);

    WriteAll(dir.file("copy/new.txt"), "new");
    ASSERT_EQ(CTavloPath::RenameReplace(dir.file("copy/new.txt").c_str(),
                                        dir.file("copy/top.txt").c_str()),
              1);
    EXPECT_EQ(ReadAll(dir.file("copy/top.txt")), "new");
    EXPECT_FALSE(VornFileExists(dir.file("copy/new.txt").c_str()));

    ASSERT_EQ(CTavloPath::RemoveTree(dir.file("copy").c_str()), 1);
    EXPECT_FALSE(VornFileExists(dir.file("copy").c_str()));
    EXPECT_EQ(CTavloPath::DeleteFile(dir.file("a/top.txt").c_str()), 1);
    EXPECT_EQ(CTavloPath::DeleteFile(dir.file("a/top.txt").c_str()), 0);
}

TEST(PathOps, BoardMoveCopyKeepsModificationTimes) {
    // A moved log with a fresh time would make the next fetch's If-Modified-Since answered
    // 304, and the posts written before the move would never arrive.
    TempDir dir;
    ASSERT_EQ(VornCreateDirectories(dir.file("old/log").c_str()), 1);
    WriteAll(dir.file("old/log/1.dat"), "a<>b<>c<>d<>e\n");
    WriteAll(dir.file("old/log/2.dat"), "x\n");
    ASSERT_EQ(VornSetFileTime(dir.file("old/log/1.dat").c_str(), 1000000000), 1);
    ASSERT_EQ(CTavloPath::ResetFileTime(dir.file("old/log/2.dat").c_str()), 1);
    ASSERT_EQ(CTavloPath::CopyTree(dir.file("old").c_str(), dir.file("new").c_str()), 1);
    EXPECT_EQ(CTavloPath::GetFileTimeNs(dir.file("new/log/1.dat").c_str()),
              1000000000LL * 1000000000LL);
    EXPECT_EQ(CTavloPath::GetFileTimeNs(dir.file("new/log/2.dat").c_str()), 0);
}

TEST(PathOps, RemoveTreeDoesNotFollowLinks) {
    TempDir dir;
    WriteAll(dir.file("keep.txt"), "precious");
    ASSERT_EQ(CTavloPath::MakeDirectory(dir.file("tree/sub").c_str()), 1);
    ASSERT_EQ(symlink(dir.path().c_str(), dir.file("tree/sub/up").c_str()), 0);
    ASSERT_EQ(CTavloPath::RemoveTree(dir.file("tree").c_str()), 1);
    EXPECT_EQ(ReadAll(dir.file("keep.txt")), "precious");
}
