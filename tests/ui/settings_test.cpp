#include "tavlo_settings.h"
#include "test_util.h"
#include "vorn_config.h"
#include "vorn_file.h"

#include <gtest/gtest.h>

namespace {
class Settings : public ::testing::Test {
protected:
    void SetUp() override { CTavloSettings::SetProfilePath(ini().c_str()); }
    void TearDown() override { CTavloSettings::Destroy(); }
    std::string ini() const { return dir.file("tavlo.ini"); }
    CTavloSettings& reload() {
        CTavloSettings::SetProfilePath(ini().c_str());
        return CTavloSettings::Instance();
    }
    TempDir dir;
};
} // namespace

TEST_F(Settings, DefaultsWithNoFile) {
    CTavloSettings& s = CTavloSettings::Instance();
    EXPECT_EQ(s.RootDirectory.str(), dir.path() + "/.navi2ch");
    EXPECT_EQ(s.BoardUrl, "https://menu.5ch.io/bbsmenu.html");
    EXPECT_EQ(s.Browser, "iexplore.exe");
    EXPECT_EQ(s.ThreadMax, 8);
    EXPECT_EQ(s.TabMax, 4);
    EXPECT_EQ(s.ProxyPort, 8080);
    EXPECT_EQ(s.Connection, -1);
    EXPECT_EQ(s.UserAgent, "Monazilla/1.00 (tavlo/0.0.15)");
    EXPECT_EQ(s.FontName[CTavloSettings::FONT_ARTICLE].str(), Sjis("ＭＳ Ｐゴシック"));
    EXPECT_EQ(s.FontSize[CTavloSettings::FONT_TAB], 8);
    EXPECT_EQ(s.ColorLink, 0xFF0000);
    EXPECT_EQ(s.ColorFrom, 0x008000);
    EXPECT_EQ(s.TransParentAbone, 1);
    EXPECT_EQ(s.InlineImageHeight, 5);
    EXPECT_EQ(s.SortAsc[CTavloSettings::LV_SUBJECT], 1);
    EXPECT_EQ(s.Key[CTavloSettings::CMD_RELOAD], 82);
    EXPECT_EQ(s.Key[CTavloSettings::CMD_NEXTLINK], 9);
    EXPECT_EQ(s.Key[CTavloSettings::CMD_SORT], 9);
    EXPECT_EQ(s.Key[CTavloSettings::CMD_VIEWBACK], 27);
    EXPECT_EQ(s.Key[CTavloSettings::CMD_EXECBROWSER], 0);
    for (int c = 0; c < CTavloSettings::CMD_COUNT; ++c)
        EXPECT_EQ(s.SubKey[static_cast<size_t>(c)], 0);
    EXPECT_STREQ(CTavloSettings::CommandName(CTavloSettings::CMD_GREPREFER), "GrepRefer");
    EXPECT_STREQ(CTavloSettings::CommandLabel(CTavloSettings::CMD_FIND2CH), "２ちゃんねる検索");
    EXPECT_EQ(s.HistoryList[CTavloSettings::HISTORY_JUMP].GetCount(), 0);
    // Reading created no file: nothing is saved unless something changes.
    EXPECT_EQ(ReadAll(ini()), "");
}

TEST_F(Settings, FileValuesEmptyValuesAndRootSeparators) {
    WriteAll(ini(), "[tavlo]\nRootDirectory=/data/logs///\nBrowser=\nTabMax=\nThreadMax=3\n"
                    "ColorBack=0x00FFEEDD\nFontNameArticle=Noto Sans\nDoLibSid=secret\n"
                    "KeyReload=0\n");
    CTavloSettings& s = CTavloSettings::Instance();
    EXPECT_EQ(s.RootDirectory, "/data/logs");
    EXPECT_EQ(s.Browser, "iexplore.exe"); // present but empty: the default
    EXPECT_EQ(s.TabMax, 4);
    EXPECT_EQ(s.ThreadMax, 3);
    EXPECT_EQ(s.ColorBack, 0x00FFEEDD);
    EXPECT_EQ(s.FontName[CTavloSettings::FONT_ARTICLE], "Noto Sans");
    EXPECT_EQ(s.DoLibSid, ""); // not read at start-up
    EXPECT_EQ(s.Key[CTavloSettings::CMD_RELOAD], 0);
    EXPECT_EQ(s.FindCommand(82), -1);
    EXPECT_EQ(s.FindCommand(0), -1);
}

TEST_F(Settings, SettersWriteThroughOnlyOnChange) {
    CTavloSettings& s = CTavloSettings::Instance();
    EXPECT_EQ(s.SetOnline(0), 0);
    EXPECT_EQ(ReadAll(ini()), ""); // unchanged: no write
    EXPECT_EQ(s.SetOnline(1), 1);
    EXPECT_EQ(ReadAll(ini()), "[tavlo]\nOnline=1\n");
    EXPECT_EQ(s.SetRootDirectory(CVornString("/x/y//")), 1);
    EXPECT_EQ(s.RootDirectory, "/x/y");
    EXPECT_EQ(s.SetRootDirectory(CVornString("/x/y/")), 0);
    EXPECT_EQ(s.SetInt("NoSuchKey", 1), -1);
    EXPECT_EQ(s.SetInt("Browser", 1), -1);
    EXPECT_EQ(s.SetSortColumn(CTavloSettings::LV_SUBJECT, 5), 1);
    EXPECT_EQ(s.SetSortColumn(CTavloSettings::LV_SUBJECT, 5), 0);
    EXPECT_EQ(reload().SortColumn[CTavloSettings::LV_SUBJECT], 5);
    EXPECT_EQ(CTavloSettings::Instance().Online, 1);
}

TEST_F(Settings, ClearingUserAgentRemovesTheKey) {
    CTavloSettings& s = CTavloSettings::Instance();
    s.SetUserAgent(CVornString("Custom/1"));
    EXPECT_EQ(CVornConfig::ReadString(ini().c_str(), "UserAgent"), "Custom/1");
    s.SetUserAgent(CVornString(""));
    EXPECT_EQ(s.UserAgent, "Monazilla/1.00 (tavlo/0.0.15)");
    EXPECT_EQ(CVornConfig::ExistEntry(ini().c_str(), "UserAgent"), 0);
    s.SetWriteUserAgent(CVornString(""));
    EXPECT_EQ(s.WriteUserAgent, "Monazilla/1.00 (tavlo/0.0.15)");
}

TEST_F(Settings, HistoryListsMoveToFrontAndKeepThirty) {
    CTavloSettings& s = CTavloSettings::Instance();
    for (int i = 0; i < 30; ++i)
        s.AddHistory(CTavloSettings::HISTORY_SEARCHWORD, CVornString(std::to_string(i)));
    auto& h = s.HistoryList[CTavloSettings::HISTORY_SEARCHWORD];
    ASSERT_EQ(h.GetCount(), 30);
    EXPECT_EQ(h.Get(0), "29");
    s.AddHistory(CTavloSettings::HISTORY_SEARCHWORD, CVornString(Sjis("新しい")));
    EXPECT_EQ(h.GetCount(), 30);
    EXPECT_EQ(h.Get(0).str(), Sjis("新しい"));
    EXPECT_EQ(h.Get(29), "1"); // "0" dropped
    s.AddHistory(CTavloSettings::HISTORY_SEARCHWORD, CVornString("15"));
    EXPECT_EQ(h.GetCount(), 30);
    EXPECT_EQ(h.Get(0), "15");
    EXPECT_EQ(h.Find("15"), 0);
    CTavloSettings& r = reload();
    auto& again = r.HistoryList[CTavloSettings::HISTORY_SEARCHWORD];
    EXPECT_EQ(again.GetCount(), 30);
    EXPECT_EQ(again.Get(0), "15");
    EXPECT_EQ(again.Get(1).str(), Sjis("新しい"));
}

TEST_F(Settings, ColumnWidthsAndKeys) {
    CTavloSettings& s = CTavloSettings::Instance();
    EXPECT_EQ(s.SetColumnWidth(CTavloSettings::LV_CACHE, {100, 50}), 1);
    EXPECT_EQ(s.SetColumnWidth(CTavloSettings::LV_CACHE, {100, 50}), 0);
    EXPECT_EQ(s.SetKey(CTavloSettings::CMD_EXECBROWSER, 'X'), 1);
    EXPECT_EQ(s.FindCommand('X'), CTavloSettings::CMD_EXECBROWSER);
    // Tab is bound to NextLink and Sort: table order gives NextLink.
    EXPECT_EQ(s.FindCommand(9), CTavloSettings::CMD_NEXTLINK);
    CVornConfig::WriteInt(ini().c_str(), "SubKeyTop", 33);
    s.ReloadKeys();
    EXPECT_EQ(s.SubKey[CTavloSettings::CMD_TOP], 33);
    CTavloSettings& r = reload();
    EXPECT_EQ(r.ColumnWidth[CTavloSettings::LV_CACHE], (std::vector<int>{100, 50}));
    EXPECT_EQ(r.Key[CTavloSettings::CMD_EXECBROWSER], 'X');
}

TEST(SettingsPath, CommandLineWins) {
    char a0[] = "tavlo", a1[] = "--ini", a2[] = "/tmp/x/y.ini";
    char* argv[] = {a0, a1, a2};
    EXPECT_EQ(TavloResolveProfilePath(3, argv), "/tmp/x/y.ini");
    TempDir dir;
    setenv("XDG_CONFIG_HOME", dir.path().c_str(), 1);
    char* plain[] = {a0};
    EXPECT_EQ(TavloResolveProfilePath(1, plain), dir.path() + "/tavlo/tavlo.ini");
    EXPECT_TRUE(VornIsDirectory((dir.path() + "/tavlo").c_str()));
}
