// Start-up: the settings file, the log-store root and its questions, the first view.
#include "tavlo_bookmark_file.h"
#include "tavlo_menu.h"
#include "ui_test_util.h"
#include "vorn_kcode.h"

#include <QMenu>

#include <filesystem>
#include <gtest/gtest.h>

namespace {

namespace fs = std::filesystem;

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

class Startup : public ::testing::Test {
protected:
    std::string ini() const { return dir.file("tavlo.ini"); }
    TempDir dir;
    BoxLog boxes;
};

TEST_F(Startup, WithoutASettingsFileTheRootBesideItIsCreatedSilently) {
    ASSERT_FALSE(fs::exists(ini()));
    ShellRun run(ini());
    ASSERT_EQ(run.start(), 1);
    // No question about the root; the empty store has no board list, which the board tree
    // asks about (answered No here).
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, BoxLog::kBoardMenuQuestion);
    EXPECT_TRUE(fs::is_directory(dir.file(".navi2ch")));
    EXPECT_EQ(CTavloSettings::Instance().RootDirectory.str(), dir.file(".navi2ch"));
    EXPECT_EQ(CTavloSettings::Instance().TabMax, 4);
    CMainFrame* f = run.frame();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
    EXPECT_EQ(f->BackList(), std::vector<int>{0});
    EXPECT_EQ(f->windowTitle(), U("tavlo/0.0.15"));
    EXPECT_EQ(f->size(), QSize(640, 480));
    EXPECT_EQ(f->objectName(), "tavlo");
    EXPECT_TRUE(f->isVisible());
    // Nothing was written: no key changed.
    EXPECT_FALSE(fs::exists(ini()));
}

TEST_F(Startup, AMissingParentOfTheRootIsCreatedWhenTheUserAgrees) {
    const std::string root = dir.file("a/b/c/logs");
    WriteIni(ini(), {"RootDirectory=" + root + "///"});
    ShellRun run(ini());
    ASSERT_EQ(run.start(), 1);
    ASSERT_EQ(boxes.count(), 2u); // then the board tree's question about the board list
    EXPECT_EQ(boxes.boxes[0].text, U("ルートディレクトリを作成しますか？"));
    EXPECT_EQ(boxes.boxes[0].caption, "tavlo/0.0.15");
    EXPECT_EQ(boxes.boxes[0].flags, TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION);
    EXPECT_TRUE(fs::is_directory(root));
}

TEST_F(Startup, DecliningToCreateTheRootEndsTheProgram) {
    const std::string root = dir.file("a/b/logs");
    WriteIni(ini(), {"RootDirectory=" + root});
    boxes.answer = TAVLO_IDNO;
    ShellRun run(ini());
    EXPECT_EQ(run.start(), 0);
    ASSERT_EQ(boxes.count(), 2u);
    EXPECT_EQ(boxes.boxes[1].text, U("tavloを終了します"));
    EXPECT_EQ(boxes.boxes[1].flags & 0xF0, TAVLO_MB_ICONINFORMATION);
    EXPECT_FALSE(fs::exists(dir.file("a")));
    EXPECT_EQ(run.frame(), nullptr);
}

TEST_F(Startup, ARootWithoutADirectoryIsInvalid) {
    WriteIni(ini(), {"RootDirectory=logs///"});
    ShellRun run(ini());
    EXPECT_EQ(run.start(), 0);
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("ルートディレクトリが不正です\ntavloを終了します"));
    EXPECT_EQ(boxes.last().caption, "tavlo/0.0.15");
    EXPECT_EQ(boxes.last().flags & 0xF0, TAVLO_MB_ICONERROR);
    EXPECT_EQ(run.frame(), nullptr);
}

TEST_F(Startup, ARootThatCannotBeCreatedEndsTheProgram) {
    WriteAll(dir.file("file"), "not a directory");
    WriteIni(ini(), {"RootDirectory=" + dir.file("file/logs")});
    ShellRun run(ini());
    EXPECT_EQ(run.start(), 0);
    ASSERT_EQ(boxes.count(), 2u); // the parent is no directory: asked, then failed
    EXPECT_EQ(boxes.last().text, U("ルートディレクトリの作成に失敗しました"));
    EXPECT_EQ(boxes.last().flags & 0xF0, TAVLO_MB_ICONERROR);
    EXPECT_EQ(ReadAll(dir.file("file")), "not a directory");
}

TEST_F(Startup, BookmarkWhenStartingShowsTheLoadedBookmarks) {
    const std::string root = dir.file("logs");
    fs::create_directories(root);
    WriteIni(ini(), {"RootDirectory=" + root, "BookmarkWhenStarting=1", "MenuNumber=1"});
    {
        CTavloBookmarkFile list;
        list.Add(CVornString("http://news.example-bbs.test/news/"),
                 CVornString(VornUtf8ToSjis("ブックマークしたスレ")), CVornString("1600000000"),
                 CVornString(VornUtf8ToSjis("ニュース")), CVornString("news"));
        WriteAll(root + "/bookmark2.txt", list.Format().str());
    }
    ShellRun run(ini());
    ASSERT_EQ(run.start(), 1);
    CMainFrame* f = run.frame();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOOKMARK);
    EXPECT_EQ(f->BackList(), (std::vector<int>{0, 3}));
    EXPECT_EQ(f->windowTitle(), U("ブックマーク"));
    ASSERT_EQ(CTavloBookmarkFile::Instance().GetCount(), 1);
    EXPECT_EQ(CTavloBookmarkFile::Instance().Get(0)->GetKey().str(), "1600000000");
    // MenuNumber labelled both menus at start-up.
    EXPECT_EQ(f->GetActionMenu()->actions()[0]->text(), U("戻る\t&1"));
    EXPECT_EQ(f->GetMainMenu()->actions()[0]->text(), U("ビュー\t&1"));
    // Back from the bookmarks goes to the board tree.
    f->ViewBack();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
}

TEST(StartupLog, TheLogGoesBesideTheProgramOrElseBesideTheSettings) {
    TempDir dir;
    EXPECT_EQ(CTavloApp::LogDirectory(dir.path(), "/x/y/tavlo.ini"), dir.path());
    EXPECT_EQ(CTavloApp::LogDirectory(dir.file("missing"), dir.file("conf/tavlo.ini")),
              dir.file("conf"));
    EXPECT_EQ(CTavloApp::LogDirectory("", "tavlo.ini"), ".");
}

TEST_F(Startup, DebugWritesTheLog) {
    // The program's directory is writable here; the log goes there.
    const std::string exeDir = fs::read_symlink("/proc/self/exe").parent_path().string();
    const std::string log = exeDir + "/tavlo.log";
    std::error_code ec;
    fs::remove(log, ec);
    WriteIni(ini(), {"RootDirectory=" + dir.file("logs"), "Debug=1"});
    {
        ShellRun run(ini());
        ASSERT_EQ(run.start(), 1);
    }
    std::string text = ReadAll(log);
    fs::remove(log, ec);
    EXPECT_NE(text.find("CTavloApp::InitInstance"), std::string::npos);
    // Logging ends with the next start that does not ask for it.
    WriteIni(ini(), {"RootDirectory=" + dir.file("logs")});
    ShellRun quiet(ini());
    ASSERT_EQ(quiet.start(), 1);
    EXPECT_FALSE(fs::exists(log));
}

} // namespace
