#include "fetch_support.h"
#include "tavlo_bbs.h"
#include "tavlo_domains.h"
#include "tavlo_info_file.h"
#include "tavlo_path.h"

#include <gtest/gtest.h>

namespace {
class Convert : public ::testing::Test {
protected:
    void SetUp() override {
        CTavloSettings::SetProfilePath(dir.file("tavlo.ini").c_str());
        CTavloSettings::Instance().SetRootDirectory(CVornString(dir.file("logs")));
    }
    void TearDown() override { CTavloSettings::Destroy(); }
    TempDir dir;
};
} // namespace

TEST_F(Convert, StandardKindNeedsTheSeparator) {
    CTavloBbs bbs(nullptr, CVornString("http://news.5ch.io/x/"), CVornString("1"));
    CVornString html("<html><body>error</body></html>\n");
    EXPECT_EQ(bbs.WriteFileConvert(html), -202);
    CVornString ok("a<>b<>c<>d<>e\n");
    EXPECT_EQ(bbs.WriteFileConvert(ok), 0);
    EXPECT_EQ(ok, "a<>b<>c<>d<>e\n");
}

TEST_F(Convert, PluginSevenFieldsBecomeFiveWithTheSameLength) {
    CTavloBbsSjis bbs(nullptr, CVornString("http://host.example.jp/plugin/2chBBS/b1/"),
                      CVornString("1"));
    std::string line =
        "name<>sage<>2009/01/01 12:00<>body text here<>Title<>xxxxxxxxxxxx<>AbCd1234";
    size_t at = line.find("<>body") + 2;
    while (line.size() < 79)
        line.insert(at, "b");
    CVornString text(line + "\n");
    ASSERT_EQ(text.size(), 80u);
    ASSERT_EQ(bbs.WriteFileConvert(text), 0);
    EXPECT_EQ(text.size(), 80u);
    EXPECT_TRUE(text.StartsWith("name<>sage<>2009/01/01 12:00 ID: AbCd1234<>")) << text.str();
    EXPECT_EQ(text.str().back(), '\n');
    EXPECT_EQ(text.str()[78], ' ');
    CVornString six("a<>b<>c<>d<>e<>f\n");
    EXPECT_EQ(bbs.WriteFileConvert(six), -202);
}

TEST_F(Convert, ConvertingKindDecodesEucJp) {
    CTavloBbsSjis be(nullptr, CVornString("http://be.5ch.net/be/"), CVornString("1"));
    CVornString text(std::string("\xA4\xA2<>\xA4\xA4\n")); // あ<>い in EUC-JP
    ASSERT_EQ(be.WriteFileConvert(text), 0);
    EXPECT_EQ(text.str(), Sjis("あ<>い\n"));
}

TEST_F(Convert, WhoHandlesWhichBoard) {
    auto standard = [](const char* url) {
        return CTavloBbs(nullptr, CVornString(url), CVornString("100")).IsTarget();
    };
    auto converting = [](const char* url) {
        return CTavloBbsSjis(nullptr, CVornString(url), CVornString("100")).IsTarget();
    };
    EXPECT_TRUE(standard("http://news.5ch.io/x/"));
    EXPECT_TRUE(standard("http://any.example.jp/x/"));
    EXPECT_TRUE(converting("http://be.5ch.net/be/"));
    EXPECT_FALSE(converting("http://be.5ch.net/be/extra/"));
    EXPECT_TRUE(converting("http://h.example.jp/plugin/2chBBS/b/"));
    EXPECT_FALSE(converting("http://news.5ch.io/x/"));

    // A complete thread (1001 posts) of the main services is not fetched again.
    CTavloInfoFile info;
    info.Path = CTavloPath::GetInfoPath(CVornString("http://news.5ch.io/x/"), CVornString("100"));
    info.Count = 1001;
    ASSERT_TRUE(CTavloInfoFile::Write(info));
    EXPECT_FALSE(standard("http://news.5ch.io/x/"));
    info.Path =
        CTavloPath::GetInfoPath(CVornString("http://any.example.jp/x/"), CVornString("100"));
    ASSERT_TRUE(CTavloInfoFile::Write(info));
    EXPECT_TRUE(standard("http://any.example.jp/x/"));
}
