#include "store_test_util.h"
#include "tavlo_dat_file.h"

#include <gtest/gtest.h>

TEST(DatFile, CountsCompleteLinesAcrossBlocks) {
    TempDir dir;
    std::string log;
    for (int i = 0; i < 5000; ++i)
        log += "name<>sage<>2000/01/01<>body " + std::to_string(i) + "<>\n";
    WriteAll(dir.file("1.dat"), log);
    EXPECT_EQ(CTavloDatFile::Count(dir.file("1.dat").c_str()), 5000);
    // A last line without its LF is not a complete post.
    WriteAll(dir.file("2.dat"), "a<>b<>c<>d<>t\ne<>f<>g<>h<>\ncut<>");
    EXPECT_EQ(CTavloDatFile::Count(dir.file("2.dat").c_str()), 2);
    WriteAll(dir.file("3.dat"), "");
    EXPECT_EQ(CTavloDatFile::Count(dir.file("3.dat").c_str()), 0);
    EXPECT_EQ(CTavloDatFile::Count(dir.file("missing.dat").c_str()), -1);
}

TEST(DatFile, TitleIsTheFirstLineAfterItsLastGreaterThan) {
    TempDir dir;
    std::string title = Sjis("ソフト表示スレ");
    WriteAll(dir.file("1.dat"),
             "name<>sage<>date<>body <b>x</b> <> " + title + " \r\nn<>m<>d<>b<>later\n");
    CVornString got;
    ASSERT_EQ(CTavloDatFile::GetTitle(dir.file("1.dat").c_str(), got), 1);
    EXPECT_EQ(got.str(), title);
    // No LF at all: the whole file is the first line.
    WriteAll(dir.file("2.dat"), "a<>b<>c<>d<>only");
    ASSERT_EQ(CTavloDatFile::GetTitle(dir.file("2.dat").c_str(), got), 1);
    EXPECT_EQ(got, "only");
    WriteAll(dir.file("3.dat"), "no separator here\nx<>y\n");
    EXPECT_EQ(CTavloDatFile::GetTitle(dir.file("3.dat").c_str(), got), 0);
    EXPECT_EQ(CTavloDatFile::GetTitle(dir.file("missing.dat").c_str(), got), 0);
    // A first line longer than one read block still gives its title.
    WriteAll(dir.file("4.dat"), "a<>b<>c<>" + std::string(100000, 'x') + "<>long\n");
    ASSERT_EQ(CTavloDatFile::GetTitle(dir.file("4.dat").c_str(), got), 1);
    EXPECT_EQ(got, "long");
}

TEST(DatFile, ExistenceAndSize) {
    TempDir dir;
    WriteAll(dir.file("1.dat"), "12345");
    int64_t size = 0, time = 0;
    EXPECT_TRUE(CTavloDatFile::Exists(dir.file("1.dat").c_str()));
    ASSERT_EQ(CTavloDatFile::GetStatus(dir.file("1.dat").c_str(), &size, &time), 1);
    EXPECT_EQ(size, 5);
    EXPECT_FALSE(CTavloDatFile::Exists(dir.file("2.dat").c_str()));
    EXPECT_EQ(CTavloDatFile::GetStatus(dir.file("2.dat").c_str(), &size, &time), 0);
}
