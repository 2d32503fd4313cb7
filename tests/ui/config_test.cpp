// The configuration dialog in the running program: changes on five pages written as exactly
// those keys, nothing written without changes, the views taking the new font and colour, the
// key page refusing Enter, the default menu address, a new root ending the program, logging
// switched at once, duplicate list entries refused; the key names and the selectors.
#include "tavlo_config_dialog.h"
#include "tavlo_config_pages.h"
#include "tavlo_keys.h"
#include "tavlo_list_ctrl.h"
#include "tavlo_message_dialog.h"
#include "tavlo_selectors.h"
#include "tavlo_subject_view.h"
#include "tavlo_template_file.h"
#include "tavlo_vk_names.h"
#include "ui_test_util.h"
#include "vorn_log.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QSpinBox>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>

namespace {

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// The "Key=Value" lines of a settings file.
std::map<std::string, std::string> iniLines(const std::string& path) {
    std::map<std::string, std::string> out;
    std::string text = ReadAll(path);
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(at, end - at);
        size_t eq = line.find('=');
        if (eq != std::string::npos)
            out[line.substr(0, eq)] = line.substr(eq + 1);
        at = end + 1;
    }
    return out;
}

std::vector<std::string> changedKeys(const std::map<std::string, std::string>& a,
                                     const std::map<std::string, std::string>& b) {
    std::vector<std::string> keys;
    for (auto& [k, v] : b)
        if (!a.count(k) || a.at(k) != v)
            keys.push_back(k);
    for (auto& [k, v] : a)
        if (!b.count(k))
            keys.push_back(k);
    return keys;
}

TEST(KeyNames, EveryCodeHasItsNameAndTheGapsAreUndefined) {
    EXPECT_STREQ(TavloVirtualKeyName(0), "未定義");
    EXPECT_STREQ(TavloVirtualKeyName(8), "BS");
    EXPECT_STREQ(TavloVirtualKeyName(32), "スペース");
    EXPECT_STREQ(TavloVirtualKeyName(33), "PageUP");
    EXPECT_STREQ(TavloVirtualKeyName(37), "←");
    EXPECT_STREQ(TavloVirtualKeyName(48), "0");
    EXPECT_STREQ(TavloVirtualKeyName(90), "Z");
    EXPECT_STREQ(TavloVirtualKeyName(96), "VK_NUMPAD0");
    EXPECT_STREQ(TavloVirtualKeyName(112), "VK_F1");
    EXPECT_STREQ(TavloVirtualKeyName(135), "VK_F24");
    EXPECT_STREQ(TavloVirtualKeyName(166), "VK_BROWSER_BACK");
    EXPECT_STREQ(TavloVirtualKeyName(220), "\\");
    EXPECT_STREQ(TavloVirtualKeyName(229), "半角/全角");
    EXPECT_STREQ(TavloVirtualKeyName(254), "VK_OEM_CLEAR");
    EXPECT_STREQ(TavloVirtualKeyName(255), "未定義");
    std::vector<int> undefined = {7, 10, 11, 14, 15, 22, 26, 94, 184, 185, 224, 225, 227, 228, 230};
    for (int c = 58; c <= 64; ++c)
        undefined.push_back(c);
    for (int c = 136; c <= 143; ++c)
        undefined.push_back(c);
    for (int c = 146; c <= 159; ++c)
        undefined.push_back(c);
    for (int c = 193; c <= 218; ++c)
        undefined.push_back(c);
    for (int c = 232; c <= 245; ++c)
        undefined.push_back(c);
    int named = 0;
    for (int c = 1; c <= 254; ++c) {
        const bool gap = std::find(undefined.begin(), undefined.end(), c) != undefined.end();
        EXPECT_EQ(std::string(TavloVirtualKeyName(c)) == "未定義", gap) << c;
        named += !gap;
    }
    EXPECT_EQ(named, 254 - static_cast<int>(undefined.size()));
}

TEST(ProgramSelector, ListsRunnableApplicationsOfTheDataDirectories) {
    UiApp();
    TempDir a, b;
    auto entry = [](const std::string& path, const std::string& body) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteAll(path, "[Desktop Entry]\n" + body);
    };
    entry(a.file("applications/shell.desktop"),
          "Type=Application\nName=Shell\nExec=/bin/sh -c true %U\nIcon=utilities-terminal\n");
    entry(a.file("applications/tools/editor.desktop"),
          "Type=Application\nName=Editor\nExec=\"/bin/cat\" %F\n");
    entry(a.file("applications/gone.desktop"), "Type=Application\nName=Gone\nExec=/no/such\n");
    entry(a.file("applications/hidden.desktop"),
          "Type=Application\nName=Hidden\nExec=/bin/sh\nNoDisplay=true\n");
    entry(a.file("applications/link.desktop"), "Type=Link\nName=Link\nURL=http://x/\n");
    WriteAll(a.file("plain"), "text");
    chmod(a.file("plain").c_str(), 0644);
    entry(a.file("applications/notexec.desktop"),
          "Type=Application\nName=NotExec\nExec=" + a.file("plain") + "\n");
    // The same id in a later directory is shadowed.
    entry(b.file("applications/shell.desktop"),
          "Type=Application\nName=Other Shell\nExec=/bin/sh\n");
    entry(b.file("applications/pathed.desktop"), "Type=Application\nName=Pathed\nExec=sh\n");
    CTavloProgramSelector selector(nullptr, {a.path(), b.path()});
    std::vector<std::string> names;
    for (const auto& e : selector.Entries())
        names.push_back(e.name.toStdString());
    EXPECT_EQ(names, (std::vector<std::string>{"Editor", "Pathed", "Shell"}));
    ASSERT_EQ(selector.GetList()->count(), 3);
    EXPECT_EQ(selector.Entries()[0].target, "/bin/cat");
    EXPECT_EQ(selector.Entries()[2].icon, "utilities-terminal");
    selector.GetList()->setCurrentRow(2);
    selector.accept();
    EXPECT_EQ(selector.GetPath(), "/bin/sh");
}

class Config : public ::testing::Test {
protected:
    Config() {
        WriteIni(ini(), {"RootDirectory=" + dir.file("logs"),
                         "BoardUrl=http://menu.example-bbs.test/bbsmenu.html",
                         "FontNameBoard=DejaVu Sans"});
    }
    std::string ini() const { return dir.file("tavlo.ini"); }
    void start() {
        ASSERT_EQ(run.start(), 1);
        f = run.frame();
        f->resize(640, 480);
        f->SwitchView(TAVLO_VIEW_SUBJECT);
        f->ShowView(TAVLO_VIEW_SUBJECT);
    }
    // Opens the dialog with command 32776 and runs act on it while it is up.
    void withDialog(const std::function<void(CTavloConfigDialog*)>& act) {
        bool ran = false;
        QTimer::singleShot(0, [&] {
            auto* d = dynamic_cast<CTavloConfigDialog*>(QApplication::activeModalWidget());
            ran = true;
            if (!d)
                return;
            titleMeanwhile = f->windowTitle();
            d->activateWindow();
            (void)QTest::qWaitForWindowActive(d);
            act(d);
            if (d->isVisible())
                d->OnCancel();
        });
        f->OnCommand(ID_CONFIG);
        EXPECT_TRUE(ran);
    }
    template <class T> static T* control(CTavloConfigDialog* d, int page, const char* key) {
        return dynamic_cast<T*>(d->GetPage(page)->Control(key));
    }
    // Shows a one-thread board from the store (offline: no fetch).
    void showBoard() {
        const std::string d = dir.file("logs/news.example-bbs.test/news");
        std::filesystem::create_directories(d);
        WriteAll(d + "/subject.txt", Sjis("1600000001.dat<>天気の話WWW (5)\n"));
        CTavloBoardRef ref{CVornString("news"), CVornString("http://news.example-bbs.test/news/"),
                           CVornString("news")};
        f->SendMessage(TAVLO_WM_OPENBOARD, 0, reinterpret_cast<intptr_t>(&ref));
    }
    // Rows of the list's viewport holding dark (text) pixels: first to last.
    int inkHeight() {
        Pump(50);
        const QImage img = subject()->GetListCtrl()->viewport()->grab().toImage();
        int top = -1, bottom = -1;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (qGray(img.pixel(x, y)) < 100) {
                    if (top < 0)
                        top = y;
                    bottom = y;
                    break;
                }
        return top < 0 ? 0 : bottom - top + 1;
    }
    CTavloSubjectView* subject() { return static_cast<CTavloSubjectView*>(f->Views().subject); }

    TempDir dir;
    BoxLog boxes;
    ShellRun run{ini()};
    CMainFrame* f = nullptr;
    QString titleMeanwhile;
};

TEST_F(Config, OkWritesExactlyTheChangedKeysAndTheViewsTakeThem) {
    start();
    bool enabled = false, checked = false;
    f->GetCommandState(ID_CONFIG, &enabled, &checked);
    EXPECT_TRUE(enabled);
    showBoard();
    ASSERT_EQ(subject()->GetItemCount(), 1);
    const int inkBefore = inkHeight();
    ASSERT_GT(inkBefore, 0);
    const QString title = f->windowTitle();
    const auto before = iniLines(ini());

    // OK without a change writes nothing.
    const std::string bytes = ReadAll(ini());
    struct stat st0 {};
    stat(ini().c_str(), &st0);
    withDialog([](CTavloConfigDialog* d) {
        EXPECT_EQ(d->GetShownPage()->MenuId(), 32904);
        d->OnOK();
    });
    EXPECT_EQ(titleMeanwhile, U("tavlo設定"));
    EXPECT_EQ(f->windowTitle(), title);
    EXPECT_EQ(ReadAll(ini()), bytes);
    struct stat st1 {};
    stat(ini().c_str(), &st1);
    EXPECT_EQ(st0.st_ino, st1.st_ino); // not even rewritten

    withDialog([&](CTavloConfigDialog* d) {
        d->ShowPage(32902);
        control<QComboBox>(d, 32902, "FontNameBoard")->setEditText("DejaVu Serif");
        control<QSpinBox>(d, 32902, "FontSizeBoard")->setValue(20);
        d->ShowPage(32900);
        // Yellow: red and green, as 0x00BBGGRR.
        control<CTavloColorSelectorButton>(d, 32900, "ColorBack")->SetColorRef(0x00FFFF);
        d->ShowPage(32904);
        control<QSpinBox>(d, 32904, "ThreadMax")->setValue(12);
        control<QCheckBox>(d, 32904, "ListSingleLine")->setChecked(true);
        d->ShowPage(32896);
        auto* keys = static_cast<CTavloPageKey*>(d->GetPage(32896));
        // Row 5 is Reload.
        keys->GetList()->setCurrentItem(keys->GetList()->topLevelItem(5));
        EXPECT_EQ(keys->GetList()->topLevelItem(5)->text(0), U("リロード"));
        EXPECT_EQ(keys->GetList()->topLevelItem(5)->text(1), "R");
        keys->GetKeyField()->setFocus();
        QTest::keyClick(keys->GetKeyField(), Qt::Key_F5);
        EXPECT_EQ(keys->GetList()->topLevelItem(5)->text(1), "VK_F5");
        SaveShot(d, "config_dialog_keys.png");
        d->OnOK();
    });
    const auto after = iniLines(ini());
    std::vector<std::string> changed = changedKeys(before, after);
    std::sort(changed.begin(), changed.end());
    EXPECT_EQ(changed, (std::vector<std::string>{"ColorBack", "FontNameBoard", "FontSizeBoard",
                                                 "KeyReload", "ListSingleLine", "ThreadMax"}));
    EXPECT_EQ(after.at("ColorBack"), std::to_string(0x00FFFF));
    EXPECT_EQ(after.at("KeyReload"), "116");
    CTavloSettings& s = CTavloSettings::Instance();
    EXPECT_EQ(s.ThreadMax, 12);
    EXPECT_EQ(s.FindCommand(116), CTavloSettings::CMD_RELOAD);

    // The thread list shows the new font and its background in the new colour.
    EXPECT_EQ(subject()->GetListFont().family(), "DejaVu Serif");
    EXPECT_EQ(subject()->GetListFont().pixelSize(), TavloPointsToPixels(20));
    QWidget* viewport = subject()->GetListCtrl()->viewport();
    Pump(50);
    const QImage shot = viewport->grab().toImage();
    SaveShot(viewport, "config_subject_yellow.png");
    ASSERT_GT(shot.width(), 20);
    EXPECT_EQ(shot.pixelColor(shot.width() / 2, shot.height() - 5), QColor(255, 255, 0));
    // The text is drawn in the larger font.
    EXPECT_GT(inkHeight(), inkBefore * 3 / 2) << inkBefore;
}

TEST_F(Config, TheKeyPageRefusesEnterAndCancelWritesNothing) {
    start();
    const std::string bytes = ReadAll(ini());
    withDialog([](CTavloConfigDialog* d) {
        d->ShowPage(32896);
        auto* keys = static_cast<CTavloPageKey*>(d->GetPage(32896));
        keys->GetList()->setCurrentItem(keys->GetList()->topLevelItem(5));
        // Enter in the list moves to the Key field, Enter there moves on without assigning.
        keys->GetList()->setFocus();
        QTest::keyClick(keys->GetList(), Qt::Key_Return);
        EXPECT_TRUE(keys->GetKeyField()->hasFocus());
        QTest::keyClick(keys->GetKeyField(), Qt::Key_Return);
        EXPECT_EQ(keys->GetKey(CTavloSettings::CMD_RELOAD), 82);
        EXPECT_FALSE(keys->GetKeyField()->hasFocus());
        EXPECT_TRUE(d->isVisible()); // Enter did not close the dialog
        keys->GetSubKeyField()->setFocus();
        QTest::keyClick(keys->GetSubKeyField(), Qt::Key_A);
        EXPECT_EQ(keys->GetSubKey(CTavloSettings::CMD_RELOAD), 65);
        d->OnCancel();
    });
    EXPECT_EQ(ReadAll(ini()), bytes);
}

TEST_F(Config, AnEmptyMenuAddressStoresTheDefaultAndDebugSwitchesAtOnce) {
    start();
    ASSERT_FALSE(VornLogEnabled(1));
    withDialog([](CTavloConfigDialog* d) {
        control<QLineEdit>(d, 32904, "BoardUrl")->clear();
        d->ShowPage(32924);
        control<QCheckBox>(d, 32924, "Debug")->setChecked(true);
        d->OnOK();
    });
    // The log was opened beside the program. Its file is unlinked (only if it is the one this
    // process holds open, not another test's) and later lines go to the temporary directory.
    namespace fs = std::filesystem;
    const fs::path log = fs::read_symlink("/proc/self/exe").parent_path() / "tavlo.log";
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec)) {
        struct stat held = {};
        struct stat named = {};
        if (fs::read_symlink(fd.path(), ec) == log && stat(fd.path().c_str(), &held) == 0 &&
            stat(log.c_str(), &named) == 0 && held.st_ino == named.st_ino &&
            held.st_dev == named.st_dev) {
            fs::remove(log, ec);
            break;
        }
    }
    SetLogdir(dir.path().c_str());
    EXPECT_EQ(iniLines(ini()).at("BoardUrl"), CTavloSettings::kDefaultBoardUrl);
    EXPECT_EQ(CTavloSettings::Instance().BoardUrl.str(), CTavloSettings::kDefaultBoardUrl);
    EXPECT_TRUE(VornLogEnabled(2));
    withDialog([](CTavloConfigDialog* d) {
        control<QCheckBox>(d, 32924, "Debug")->setChecked(false);
        d->OnOK();
    });
    EXPECT_FALSE(VornLogEnabled(1));
    EXPECT_FALSE(f->IsShuttingDown());
}

TEST_F(Config, TheDesktopLayoutBoxIsWrittenAndSwitchesOnOk) {
    start();
    ASSERT_EQ(f->GetDesktopLayout(), nullptr);
    const int shown = f->GetShownView();
    withDialog([](CTavloConfigDialog* d) {
        auto* box = control<QCheckBox>(d, 32924, "DesktopLayout");
        ASSERT_NE(box, nullptr);
        EXPECT_FALSE(box->isChecked());
        EXPECT_EQ(box->text(), U("3ペイン表示"));
        box->setChecked(true);
        d->OnOK();
    });
    EXPECT_EQ(iniLines(ini()).at("DesktopLayout"), "1");
    ASSERT_NE(f->GetDesktopLayout(), nullptr);
    EXPECT_EQ(f->GetShownView(), shown);
    EXPECT_TRUE(f->Views().board->isVisible() && f->Views().subject->isVisible());

    // Cancel leaves it on; the box shows the setting and OK with it cleared switches back.
    withDialog([](CTavloConfigDialog* d) {
        auto* box = control<QCheckBox>(d, 32924, "DesktopLayout");
        EXPECT_TRUE(box->isChecked());
        box->setChecked(false);
        d->OnCancel();
    });
    EXPECT_NE(f->GetDesktopLayout(), nullptr);
    EXPECT_EQ(iniLines(ini()).at("DesktopLayout"), "1");
    withDialog([](CTavloConfigDialog* d) {
        control<QCheckBox>(d, 32924, "DesktopLayout")->setChecked(false);
        d->OnOK();
    });
    EXPECT_EQ(f->GetDesktopLayout(), nullptr);
    EXPECT_EQ(iniLines(ini()).at("DesktopLayout"), "0");
    EXPECT_EQ(f->GetShownView(), shown);
    EXPECT_FALSE(f->Views().board->isVisible());
    // The menu entry and the box are one setting.
    f->OnCommand(ID_DESKTOP_LAYOUT);
    withDialog([](CTavloConfigDialog* d) {
        EXPECT_TRUE(control<QCheckBox>(d, 32924, "DesktopLayout")->isChecked());
    });
}

TEST_F(Config, ANewRootIsAnnouncedAndEndsTheProgram) {
    start();
    withDialog([&](CTavloConfigDialog* d) {
        control<QLineEdit>(d, 32904, "RootDirectory")
            ->setText(QString::fromStdString(dir.file("new")));
        d->OnOK();
    });
    ASSERT_GE(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("ルートディレクトリに変更がありました\ntavlを終了します"));
    EXPECT_EQ(boxes.last().caption, "tavlo/0.0.15");
    EXPECT_EQ(boxes.last().flags & 0xF0, TAVLO_MB_ICONINFORMATION);
    EXPECT_TRUE(f->IsShuttingDown());
    EXPECT_EQ(iniLines(ini()).at("RootDirectory"), dir.file("new"));
}

TEST_F(Config, ListPagesRefuseDuplicatesAndSaveTheirFiles) {
    start();
    const size_t shown = boxes.count();
    withDialog([&](CTavloConfigDialog* d) {
        auto* boards = static_cast<CTavloListPage*>(d->GetPage(32894));
        EXPECT_TRUE(boards->AddEntry(
            {CVornString("a"), CVornString("http://h.example-bbs.test/a/"), CVornString("a")}));
        EXPECT_FALSE(boards->AddEntry(
            {CVornString("b"), CVornString("http://h.example-bbs.test/a/"), CVornString("a")}));
        EXPECT_EQ(boxes.last().text, U("同じ板が登録されています"));
        auto* ng = static_cast<CTavloListPage*>(d->GetPage(32907));
        EXPECT_TRUE(ng->AddEntry({CVornString(), CVornString("spam")}));
        EXPECT_FALSE(ng->AddEntry({CVornString(), CVornString("spam")}));
        EXPECT_EQ(boxes.last().text, U("既に登録済みです"));
        auto* templates = static_cast<CTavloListPage*>(d->GetPage(32922));
        EXPECT_TRUE(templates->AddEntry({CVornString("hello")}));
        EXPECT_FALSE(templates->AddEntry({CVornString("hello")}));
        EXPECT_EQ(boxes.last().text, U("同じ定型文が登録されています"));
        EXPECT_EQ(boxes.last().caption, "tavlo/0.0.15");
        // The movie page is never offered.
        for (QAction* a : d->GetPageMenu()->actions())
            EXPECT_EQ(a->isEnabled(), a->text() != U("動画")) << a->text().toStdString();
        d->OnOK();
    });
    EXPECT_EQ(boxes.count(), shown + 3);
    EXPECT_EQ(ReadAll(dir.file("logs/etc.txt")), "a\nhttp://h.example-bbs.test/a/\na\n");
    EXPECT_NE(ReadAll(dir.file("logs/ngword.txt")).find("spam"), std::string::npos);
    EXPECT_EQ(ReadAll(dir.file("logs/template.txt")), "hello\r\n");
}

// The page and the post editor share one template list: what OK wrote is offered at once.
TEST_F(Config, ThePostEditorOffersTheTemplatesThePageWrote) {
    std::filesystem::create_directories(dir.file("logs"));
    WriteAll(dir.file("logs/template.txt"), "one\r\n\r\n");
    start();
    ASSERT_EQ(CTavloTemplateFile::Instance().GetRowCount(), 1);
    WriteAll(dir.file("logs/template.txt"), "one\r\nzero\r\n");
    withDialog([&](CTavloConfigDialog* d) {
        auto* templates = static_cast<CTavloListPage*>(d->GetPage(32922));
        // The file as it is when the dialog opens.
        ASSERT_EQ(templates->Entries().size(), 2u);
        EXPECT_EQ(templates->Entries()[1][0].str(), "zero");
        EXPECT_TRUE(templates->AddEntry({CVornString("two\\nlines")}));
        d->OnOK();
    });
    // A new template goes first, as in the editor's list.
    EXPECT_EQ(ReadAll(dir.file("logs/template.txt")), "two\\nlines\r\none\r\nzero\r\n");
    CTavloMessageDialog editor(CVornString("t"), CVornString("http://news.example-bbs.test/news/"),
                               CVornString("1600000001"), f, f);
    editor.Open();
    QComboBox* t = editor.TemplateCombo();
    ASSERT_GE(t->count(), 3);
    EXPECT_EQ(t->itemText(0), U("two\\nlines"));
    EXPECT_EQ(t->itemText(1), U("one"));
    EXPECT_EQ(t->itemText(2), U("zero"));
    editor.hide();
    CTavloTemplateFile::Destroy();
}

} // namespace
