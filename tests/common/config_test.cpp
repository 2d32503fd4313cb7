#include "test_util.h"
#include "vorn_config.h"
#include "vorn_file.h"

#include <gtest/gtest.h>

TEST(Config, MissingFileReadsEmpty) {
    TempDir dir;
    std::string f = dir.file("none.ini");
    EXPECT_EQ(CVornConfig::ReadString(f.c_str(), "X"), "");
    EXPECT_EQ(CVornConfig::ReadInt(f.c_str(), "X"), 0);
    EXPECT_EQ(CVornConfig::ExistEntry(f.c_str(), "X"), 0);
    EXPECT_FALSE(VornFileExists(f.c_str()));
}

TEST(Config, JapaneseValuesRoundTripAsUtf8OnDisk) {
    TempDir dir;
    std::string f = dir.file("a.ini");
    std::string name = Sjis("ＭＳ Ｐゴシック");
    ASSERT_EQ(CVornConfig::WriteString(f.c_str(), "FontNameList", name.c_str()), 1);
    ASSERT_EQ(CVornConfig::WriteInt(f.c_str(), "ColorLink", 0xFF0000), 1);
    EXPECT_EQ(ReadAll(f), "[tavlo]\nFontNameList=ＭＳ Ｐゴシック\nColorLink=16711680\n");
    EXPECT_EQ(CVornConfig::ReadString(f.c_str(), "FontNameList").str(), name);
    EXPECT_EQ(CVornConfig::ReadInt(f.c_str(), "ColorLink"), 0xFF0000);
    // Overwriting keeps the line where it is.
    CVornConfig::WriteString(f.c_str(), "FontNameList", "x");
    EXPECT_EQ(ReadAll(f), "[tavlo]\nFontNameList=x\nColorLink=16711680\n");
}

TEST(Config, UnknownLinesAndSectionsSurviveWrites) {
    TempDir dir;
    std::string f = dir.file("b.ini");
    WriteAll(
        f,
        "; my settings\r\n[tavlo]\r\nMine=1\r\n# note\r\nTabMax=4\r\n\r\n[other]\r\nTabMax=9\r\n");
    CVornConfig::WriteInt(f.c_str(), "TabMax", 6);
    CVornConfig::WriteString(f.c_str(), "New", "v");
    EXPECT_EQ(ReadAll(f),
              "; my settings\n[tavlo]\nMine=1\n# note\nTabMax=6\nNew=v\n\n[other]\nTabMax=9\n");
    EXPECT_EQ(CVornConfig::ReadInt(f.c_str(), "TabMax"), 6);
    EXPECT_EQ(CVornConfig::RemoveEntry(f.c_str(), "Mine"), 1);
    EXPECT_EQ(CVornConfig::ExistEntry(f.c_str(), "Mine"), 0);
    EXPECT_NE(ReadAll(f).find("[other]\nTabMax=9"), std::string::npos);
}

TEST(Config, ValuesWithLineEndsAndBackslashesAreEscaped) {
    TempDir dir;
    std::string f = dir.file("c.ini");
    std::string v = "line1\nline2\r\\end\\n";
    CVornConfig::WriteString(f.c_str(), "T", v.c_str(), 0);
    EXPECT_EQ(ReadAll(f), "[tavlo]\nT=line1\\nline2\\r\\\\end\\\\n\n");
    EXPECT_EQ(CVornConfig::ReadString(f.c_str(), "T", 0).str(), v);
    // A hand-written path keeps a backslash that starts no escape.
    WriteAll(f, "[tavlo]\nP=C:\\temp\\x\n");
    EXPECT_EQ(CVornConfig::ReadString(f.c_str(), "P", 0).str(), "C:\\temp\\x");
}

TEST(Config, ArraysAndCache) {
    TempDir dir;
    std::string f = dir.file("d.ini");
    CVornDataArray a;
    a.Add(CVornString(Sjis("名無し")));
    a.Add(CVornString(""));
    a.Add(CVornString("x=y"));
    ASSERT_EQ(CVornConfig::WriteStringArray(f.c_str(), "HistoryName", a), 1);
    CVornDataArray b;
    EXPECT_EQ(CVornConfig::ReadStringArray(f.c_str(), "HistoryName", b), 3);
    EXPECT_TRUE(a == b);
    std::vector<int> w = {10, 200, -1};
    CVornConfig::WriteIntArray(f.c_str(), "ColumnWidthSubject", w);
    std::vector<int> r;
    EXPECT_EQ(CVornConfig::ReadIntArray(f.c_str(), "ColumnWidthSubject", r), 3);
    EXPECT_EQ(r, w);
    // A shorter array leaves no stale tail behind.
    CVornConfig::WriteIntArray(f.c_str(), "ColumnWidthSubject", {5});
    EXPECT_EQ(CVornConfig::ReadIntArray(f.c_str(), "ColumnWidthSubject", r), 1);
    CVornConfig::RemoveEntry(f.c_str(), "HistoryName");
    EXPECT_EQ(CVornConfig::ReadStringArray(f.c_str(), "HistoryName", b), 0);

    // With a cache, reads come from memory and writes still reach the file.
    CVornConfig::CreateCache(f.c_str());
    WriteAll(f, "[tavlo]\nA=changed behind our back\n");
    EXPECT_EQ(CVornConfig::ExistEntry(f.c_str(), "A"), 0);
    CVornConfig::WriteInt(f.c_str(), "B", 1);
    CVornConfig::DestroyCache(f.c_str());
    EXPECT_EQ(CVornConfig::ReadInt(f.c_str(), "B"), 1);
}

TEST(Config, FailedWriteLeavesOldFile) {
    TempDir dir;
    std::string f = dir.file("e.ini");
    CVornConfig::WriteInt(f.c_str(), "A", 1);
    std::string before = ReadAll(f);
    VornSetFileFault(VORN_FAULT_RENAME);
    EXPECT_EQ(CVornConfig::WriteInt(f.c_str(), "A", 2), 0);
    VornSetFileFault(VORN_FAULT_NONE);
    EXPECT_EQ(ReadAll(f), before);
    EXPECT_EQ(VornListDirectory(dir.path().c_str()).size(), 1u); // no temporary left behind
}

TEST(Config, UnreadableFileIsNeverOverwritten) {
    TempDir dir;
    std::string f = dir.file("f.ini");
    WriteAll(f, "[tavlo]\nTabMax=4\nFontNameList=x\n");
    std::string before = ReadAll(f);
    VornSetFileFault(VORN_FAULT_READ);
    EXPECT_EQ(CVornConfig::ReadInt(f.c_str(), "TabMax", 7), 7);
    EXPECT_EQ(CVornConfig::WriteInt(f.c_str(), "Online", 1), 0);
    CVornConfig::CreateCache(f.c_str());
    VornSetFileFault(VORN_FAULT_NONE);
    // Even once readable again, the cache that missed the file does not replace it.
    EXPECT_EQ(CVornConfig::WriteString(f.c_str(), "UserAgent", "y"), 0);
    CVornConfig::DestroyCache(f.c_str());
    EXPECT_EQ(ReadAll(f), before);
    EXPECT_EQ(CVornConfig::WriteInt(f.c_str(), "Online", 1), 1);
    EXPECT_EQ(CVornConfig::ReadInt(f.c_str(), "TabMax"), 4);
}

TEST(Config, NumbersAreDecimalAndOutOfRangeReadsAsDefault) {
    TempDir dir;
    std::string f = dir.file("g.ini");
    WriteAll(f, "[tavlo]\nA=010\nB=4294967297\nC=-2147483648\nD=99999999999999999999\nE=0x10\n");
    EXPECT_EQ(CVornConfig::ReadInt(f.c_str(), "A"), 10);
    EXPECT_EQ(CVornConfig::ReadInt(f.c_str(), "B", 5), 5); // not cut to 1
    EXPECT_EQ(CVornConfig::ReadInt(f.c_str(), "C"), -2147483647 - 1);
    EXPECT_EQ(CVornConfig::ReadInt(f.c_str(), "D", 5), 5);
    EXPECT_EQ(CVornConfig::ReadInt(f.c_str(), "E"), 16); // colours are often written so
}
