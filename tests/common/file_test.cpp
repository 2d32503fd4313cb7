#include "test_util.h"
#include "vorn_file.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

TEST(TextFile, ReadLineOverLongLinesAndEof) {
    TempDir dir;
    std::string f = dir.file("t.txt");
    std::string longLine(100 * 1024, 'a');
    longLine[65535] = 'b'; // across the read buffer boundary
    WriteAll(f, "first\r\n" + longLine + "\n\nlast-without-lf");
    CVornTextFile t;
    ASSERT_EQ(t.Open(f.c_str(), CVornFile::MODE_READ), 1);
    CVornString line;
    ASSERT_EQ(t.ReadLine(line), 1);
    EXPECT_EQ(line, "first\r"); // CR is the caller's business
    EXPECT_FALSE(t.Eof());
    ASSERT_EQ(t.ReadLine(line), 1);
    EXPECT_EQ(line.str(), longLine);
    ASSERT_EQ(t.ReadLine(line), 1);
    EXPECT_EQ(line, "");
    ASSERT_EQ(t.ReadLine(line), 1);
    EXPECT_EQ(line, "last-without-lf");
    EXPECT_FALSE(t.LastLineComplete());
    EXPECT_TRUE(t.Eof());
    EXPECT_EQ(t.ReadLine(line), 0);
}

TEST(TextFile, EofOnlyAfterAReadReachedTheEnd) {
    TempDir dir;
    std::string f = dir.file("e.txt");
    WriteAll(f, "abc\n");
    CVornTextFile t;
    ASSERT_EQ(t.Open(f.c_str(), CVornFile::MODE_READ), 1);
    CVornString line;
    ASSERT_EQ(t.ReadLine(line), 1);
    EXPECT_TRUE(t.LastLineComplete());
    EXPECT_FALSE(t.Eof()); // all bytes consumed, but no read has hit the end yet
    EXPECT_EQ(t.ReadLine(line), 0);
    EXPECT_TRUE(t.Eof());
}

TEST(TextFile, TellAndSeekAccountForBuffering) {
    TempDir dir;
    std::string f = dir.file("s.txt");
    WriteAll(f, "one\ntwo\nthree\n");
    CVornTextFile t;
    ASSERT_EQ(t.Open(f.c_str(), CVornFile::MODE_READ), 1);
    CVornString line;
    t.ReadLine(line);
    EXPECT_EQ(t.Tell(), 4);
    t.Seek(8, CVornFile::SEEK_FROM_BEGIN);
    t.ReadLine(line);
    EXPECT_EQ(line, "three");
    t.Seek(-6, CVornFile::SEEK_FROM_END);
    char buf[3];
    EXPECT_EQ(t.Read(buf, 3), 3);
    EXPECT_EQ(std::string(buf, 3), "thr");
}

TEST(File, AppendAndSizes) {
    TempDir dir;
    std::string f = dir.file("a.dat");
    CVornFile w;
    ASSERT_EQ(w.Open(f.c_str(), CVornFile::MODE_APPEND), 1);
    w.Write("ab", 2);
    w.Close();
    ASSERT_EQ(w.Open(f.c_str(), CVornFile::MODE_APPEND), 1);
    w.Write("cd", 2);
    EXPECT_EQ(w.GetSize(), 4);
    w.Close();
    EXPECT_EQ(ReadAll(f), "abcd");
    EXPECT_EQ(VornGetFileSize(f.c_str()), 4);
    EXPECT_EQ(VornGetFileSize(dir.path().c_str()), -1);
    EXPECT_EQ(VornGetFileSize(dir.file("missing").c_str()), -1);
    CVornFile r;
    EXPECT_EQ(r.Open(dir.file("missing").c_str(), CVornFile::MODE_READ), 0);
    EXPECT_EQ(r.Open(dir.path().c_str(), CVornFile::MODE_READ), 0);
    ASSERT_EQ(VornSetFileTime(f.c_str(), 1000000), 1);
    EXPECT_EQ(VornGetFileTime(f.c_str()), 1000000);
}

TEST(File, AtomicWriteKeepsOldFileOnFailure) {
    TempDir dir;
    std::string f = dir.file("board.txt");
    ASSERT_EQ(VornWriteFileAtomic(f.c_str(), "old"), 1);
    for (int fault : {VORN_FAULT_WRITE, VORN_FAULT_RENAME}) {
        VornSetFileFault(fault);
        EXPECT_EQ(VornWriteFileAtomic(f.c_str(), "new contents"), 0);
        VornSetFileFault(VORN_FAULT_NONE);
        EXPECT_EQ(ReadAll(f), "old");
    }
    {
        // An abandoned writer (a crash between write and rename) leaves the old file too.
        CVornAtomicFile a;
        ASSERT_EQ(a.Open(f.c_str()), 1);
        a.Write("half");
    }
    EXPECT_EQ(ReadAll(f), "old");
    EXPECT_EQ(VornListDirectory(dir.path().c_str()), std::vector<std::string>{"board.txt"});
    ASSERT_EQ(VornWriteFileAtomic(f.c_str(), "new"), 1);
    EXPECT_EQ(ReadAll(f), "new");
    // No directory to put the temporary in: a clean failure.
    EXPECT_EQ(VornWriteFileAtomic(dir.file("no/such/dir/x").c_str(), "x"), 0);
}

TEST(File, CreateDirectoriesRecursively) {
    TempDir dir;
    std::string deep = dir.file("a/b/c/");
    EXPECT_EQ(VornCreateDirectories(deep.c_str()), 1);
    EXPECT_TRUE(VornIsDirectory(dir.file("a/b/c").c_str()));
    EXPECT_EQ(VornCreateDirectories(deep.c_str()), 1); // existing counts as success
    WriteAll(dir.file("plain"), "x");
    EXPECT_EQ(VornCreateDirectories(dir.file("plain/sub").c_str()), 0);
    EXPECT_EQ(VornRemoveDirectory(dir.file("a").c_str()), 0); // not empty
    auto dirs = VornListDirectory(dir.path().c_str(), true);
    EXPECT_EQ(dirs, std::vector<std::string>{"a"});
}

// Temporaries of writes cut short by a killed process are swept; those of a live writer in
// another process, and files that only look alike, stay.
TEST(File, LeftoverTemporariesGoButALiveWritersStay) {
    TempDir dir;
    int ready[2], go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(ready[0]);
        close(go[1]);
        CVornAtomicFile a;
        int ok = a.Open(dir.file("live.txt").c_str()) && a.Write("kept");
        (void)!write(ready[1], "r", 1);
        char c;
        (void)!read(go[0], &c, 1); // until the parent closes it
        _exit(ok && a.Commit() == 1 ? 0 : 1);
    }
    close(ready[1]);
    close(go[0]);
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    std::vector<std::string> names = VornListDirectory(dir.path().c_str());
    ASSERT_EQ(names.size(), 1u);
    std::string live = names[0];
    EXPECT_TRUE(live.starts_with("live.txt.tmp")) << live;
    for (const char* stale : {"board.txt.tmpAb12Cd", "subject.txt.tmp0000zz"})
        WriteAll(dir.file(stale), "cut short");
    const std::vector<std::string> alike = {"notes.tmp", "x.tmpAB_12C", "y.tmp12345",
                                            "z.tmpABCDEFG", "1700000101.dat"};
    for (const std::string& name : alike)
        WriteAll(dir.file(name), "mine");
    ASSERT_EQ(mkdir(dir.file("d.tmpABCDEF").c_str(), 0755), 0);
    EXPECT_EQ(VornSweepTempFiles(dir.path().c_str()), 2);
    names = VornListDirectory(dir.path().c_str());
    std::sort(names.begin(), names.end());
    std::vector<std::string> want = alike;
    want.push_back(live);
    std::sort(want.begin(), want.end());
    EXPECT_EQ(names, want);
    EXPECT_TRUE(VornIsDirectory(dir.file("d.tmpABCDEF").c_str()));
    close(go[1]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(ReadAll(dir.file("live.txt")), "kept");

    // The first atomic write of a process into a directory sweeps it.
    TempDir other;
    WriteAll(other.file("bookmark2.txt.tmpQwErTy"), "cut short");
    ASSERT_EQ(VornWriteFileAtomic(other.file("bookmark2.txt").c_str(), "new"), 1);
    EXPECT_EQ(VornListDirectory(other.path().c_str()), std::vector<std::string>{"bookmark2.txt"});
}
