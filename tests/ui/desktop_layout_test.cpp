// The desktop layout: switching it on and off at once, the panes, the shown view following the
// focus, the focus key, history across panes, splitter sizes as settings; and the status line.
#include "tavlo_desktop_layout.h"
#include "tavlo_message.h"
#include "tavlo_placeholder_views.h"
#include "tavlo_settings.h"
#include "tavlo_status_line.h"
#include "tavlo_transfer_note.h"
#include "tavlo_views.h"
#include "ui_test_util.h"
#include "vorn_config.h"

#include <QApplication>
#include <QSplitter>
#include <QTabBar>
#include <QTest>

#include <gtest/gtest.h>

namespace {

constexpr int kF6 = 117;

// A thread stand-in that takes the focus and notes the keys it is offered.
class RecordingThread : public CTavloThreadPlaceholder {
public:
    RecordingThread(CTavloWindow* frame, QWidget* parent) : CTavloThreadPlaceholder(frame, parent) {
        setFocusPolicy(Qt::StrongFocus);
    }
    bool OnKeyDown(int vk, Qt::KeyboardModifiers) override {
        keys.push_back(vk);
        return true;
    }
    std::vector<int> keys;
};

class Desktop : public ::testing::Test {
protected:
    void SetUp() override { start({}); }
    void start(std::vector<std::string> lines) {
        lines.push_back("RootDirectory=" + dir.file("logs"));
        WriteIni(dir.file("tavlo.ini"), lines);
        run = std::make_unique<ShellRun>(dir.file("tavlo.ini"));
        ASSERT_EQ(run->start(), 1);
        f = run->frame();
        f->resize(1280, 900);
        f->show();
        // Stand-ins for the list and the thread: no store, no network.
        CTavloFrameViews v = f->Views();
        v.subject = new CTavloSubjectPlaceholder(f, f->GetClient());
        v.thread = new RecordingThread(f, f->GetClient());
        f->SetViews(v);
        f->ShowView(TAVLO_VIEW_BOARD);
        Pump(20);
    }
    std::string ini() { return dir.file("tavlo.ini"); }
    int fileInt(const char* key) {
        return CVornConfig::ExistEntry(ini().c_str(), key)
                   ? CVornConfig::ReadInt(ini().c_str(), key)
                   : -1;
    }
    void openBoardAndThread() {
        CTavloBoardRef board{CVornString("news"), CVornString("http://news.example-bbs.test/news/"),
                             CVornString("news")};
        f->SendMessage(TAVLO_WM_OPENBOARD, 0, reinterpret_cast<intptr_t>(&board));
        f->OpenUrl(CVornString("http://news.example-bbs.test/test/read.cgi/news/1700000000/"));
        Pump(20);
    }
    bool visible(int view) { return f->GetView(view) && f->GetView(view)->isVisible(); }
    // The desktop layout switched on, and the tree pane's tab bar.
    void desktopWithTabs(CTavloDesktopLayout** d, QTabBar** tabs) {
        f->SetDesktopLayout(true);
        *d = f->GetDesktopLayout();
        ASSERT_NE(*d, nullptr);
        *tabs = (*d)->findChild<QTabBar*>();
        ASSERT_NE(*tabs, nullptr);
    }

    TempDir dir;
    BoxLog boxes; // no message box may wait for an answer
    std::unique_ptr<ShellRun> run;
    CMainFrame* f = nullptr;
};

TEST_F(Desktop, OffByDefaultThenOnAndOffAtOnceKeepingTheShownViewAndHistory) {
    EXPECT_EQ(f->GetDesktopLayout(), nullptr);
    openBoardAndThread();
    ASSERT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    const std::vector<int> back = f->BackList();
    EXPECT_FALSE(visible(TAVLO_VIEW_SUBJECT));

    ASSERT_TRUE(f->OnCommand(ID_DESKTOP_LAYOUT));
    ASSERT_NE(f->GetDesktopLayout(), nullptr);
    EXPECT_EQ(fileInt("DesktopLayout"), 1);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    EXPECT_EQ(f->BackList(), back);
    // The three panes at once; the bookmarks wait behind the tree's tab.
    EXPECT_TRUE(visible(TAVLO_VIEW_BOARD));
    EXPECT_TRUE(visible(TAVLO_VIEW_SUBJECT));
    EXPECT_TRUE(visible(TAVLO_VIEW_THREAD));
    EXPECT_FALSE(visible(TAVLO_VIEW_BOOKMARK));
    bool enabled = false, checked = false;
    f->GetCommandState(ID_DESKTOP_LAYOUT, &enabled, &checked);
    EXPECT_TRUE(enabled && checked);

    ASSERT_TRUE(f->OnCommand(ID_DESKTOP_LAYOUT));
    EXPECT_EQ(f->GetDesktopLayout(), nullptr);
    EXPECT_EQ(fileInt("DesktopLayout"), 0);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    EXPECT_TRUE(visible(TAVLO_VIEW_THREAD));
    EXPECT_FALSE(visible(TAVLO_VIEW_SUBJECT));
    EXPECT_FALSE(visible(TAVLO_VIEW_BOARD));
    // The views are the frame's again: its client holds them.
    EXPECT_EQ(f->GetView(TAVLO_VIEW_BOARD)->parentWidget(), f->GetClient());
}

TEST_F(Desktop, OpeningFillsThePanesAndBackWalksThemInOrder) {
    f->SetDesktopLayout(true);
    openBoardAndThread();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    EXPECT_TRUE(visible(TAVLO_VIEW_SUBJECT)); // the list stays beside the thread
    EXPECT_EQ(f->BackList(), (std::vector<int>{0, 1, 2}));
    f->ViewBack();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    EXPECT_TRUE(visible(TAVLO_VIEW_THREAD));
    f->ViewBack();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
    f->ViewForward();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    // Bookmarks take the tree pane's place and give it back on Back.
    f->SwitchView(TAVLO_VIEW_BOOKMARK);
    EXPECT_TRUE(visible(TAVLO_VIEW_BOOKMARK));
    EXPECT_FALSE(visible(TAVLO_VIEW_BOARD));
    EXPECT_TRUE(visible(TAVLO_VIEW_SUBJECT));
    f->ViewBack();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    f->ViewBack();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
    EXPECT_TRUE(visible(TAVLO_VIEW_BOARD));
}

TEST_F(Desktop, FocusKeyCyclesThePanesShiftBackAndOnlyInTheDesktopLayout) {
    openBoardAndThread();
    f->SwitchView(TAVLO_VIEW_BOARD);
    // Single view: the key is no frame key, the board tree gets it (and ignores it).
    f->DispatchKey(kF6);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);

    f->SetDesktopLayout(true);
    EXPECT_TRUE(f->DispatchKey(kF6));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
    EXPECT_TRUE(f->DispatchKey(kF6));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    EXPECT_TRUE(f->DispatchKey(kF6));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
    EXPECT_TRUE(f->DispatchKey(kF6, Qt::ShiftModifier));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    // Every move is a view switch: Back returns to the pane before.
    f->ViewBack();
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
    // The key is a setting like the others.
    CTavloSettings::Instance().SetSubKey(CTavloSettings::CMD_FOCUSPANE, 'K');
    EXPECT_TRUE(f->DispatchKey('K'));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_SUBJECT);
}

TEST_F(Desktop, FocusInAPaneMakesItsViewTheOneKeysGoTo) {
    openBoardAndThread();
    f->SetDesktopLayout(true);
    f->SwitchView(TAVLO_VIEW_BOARD);
    f->activateWindow();
    // Focus handed on by Qt is no choice: the shown view stays.
    f->GetView(TAVLO_VIEW_THREAD)->setFocus(Qt::OtherFocusReason);
    Pump(20);
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
    f->GetView(TAVLO_VIEW_BOARD)->setFocus();
    QTest::mouseClick(f->GetView(TAVLO_VIEW_THREAD), Qt::LeftButton);
    ASSERT_TRUE(PumpUntil([&] { return f->GetShownView() == TAVLO_VIEW_THREAD; }));
    EXPECT_EQ(f->NewestView(), TAVLO_VIEW_THREAD);
    // Reload goes to the thread view now (the stand-in counts it) and not to the tree.
    auto* thread = static_cast<RecordingThread*>(f->Views().thread);
    const int before = static_cast<int>(thread->keys.size());
    f->DispatchKey('R');
    EXPECT_EQ(static_cast<int>(thread->keys.size()), before + 1);
}

TEST_F(Desktop, TheLineOverThePaneWithTheFocusIsTheHighlight) {
    openBoardAndThread();
    f->SetDesktopLayout(true);
    CTavloDesktopLayout* d = f->GetDesktopLayout();
    ASSERT_NE(d, nullptr);
    const QColor highlight = d->palette().color(QPalette::Highlight);
    const QColor plain = d->palette().color(QPalette::Button);
    ASSERT_NE(highlight, plain);
    // The colour of the top line of each pane, as painted.
    auto lineColour = [&](int view) {
        QWidget* pane = f->GetView(view)->parentWidget(); // the pane's stack
        while (pane && pane->contentsMargins().top() == 0)
            pane = pane->parentWidget();
        if (!pane)
            return QColor();
        return pane->grab().toImage().pixelColor(pane->width() / 2, 1);
    };
    for (int shown : {TAVLO_VIEW_BOARD, TAVLO_VIEW_SUBJECT, TAVLO_VIEW_THREAD}) {
        f->SwitchView(shown);
        Pump(5);
        for (int view : {TAVLO_VIEW_BOARD, TAVLO_VIEW_SUBJECT, TAVLO_VIEW_THREAD}) {
            const int pane = CTavloDesktopLayout::PaneOf(view);
            EXPECT_EQ(d->IsMarked(pane), view == shown) << shown << " " << view;
            EXPECT_EQ(lineColour(view), view == shown ? highlight : plain) << shown << " " << view;
        }
    }
    // The line sits above the views: none of them is covered by it.
    for (int view : {TAVLO_VIEW_BOARD, TAVLO_VIEW_SUBJECT, TAVLO_VIEW_THREAD})
        EXPECT_GE(f->GetView(view)->mapTo(d, QPoint(0, 0)).y(), 2) << view;
}

TEST_F(Desktop, SplitterSizesAreSettingsAndTheLayoutSurvivesARestart) {
    f->SetDesktopLayout(true);
    f->OnCommand(ID_DESKTOP_LAYOUT); // off
    f->OnCommand(ID_DESKTOP_LAYOUT); // on, written
    CTavloDesktopLayout* d = f->GetDesktopLayout();
    ASSERT_NE(d, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return d->TreeWidth() == 240; }));
    EXPECT_EQ(d->ListHeight(), 280);
    // A drag of the splitter is written once it rests.
    auto* columns = d->findChild<QSplitter*>();
    ASSERT_NE(columns, nullptr);
    QSplitterHandle* handle = columns->handle(1);
    QTest::mousePress(handle, Qt::LeftButton);
    QTest::mouseMove(handle, QPoint(60, 2));
    QTest::mouseRelease(handle, Qt::LeftButton, {}, QPoint(60, 2));
    ASSERT_TRUE(PumpUntil([&] { return fileInt("DesktopTreeWidth") > 240; }));
    const int width = fileInt("DesktopTreeWidth");
    EXPECT_EQ(width, d->TreeWidth());

    run.reset();
    CTavloSettings::Destroy();
    run = std::make_unique<ShellRun>(ini());
    ASSERT_EQ(run->start(), 1);
    f = run->frame();
    f->resize(1280, 900);
    ASSERT_NE(f->GetDesktopLayout(), nullptr);
    ASSERT_TRUE(PumpUntil([&] { return f->GetDesktopLayout()->TreeWidth() == width; }));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
}

TEST_F(Desktop, TheViewsBehindATabJoinTheirPaneWhenFirstChosen) {
    CTavloDesktopLayout* d = nullptr;
    QTabBar* tabs = nullptr;
    ASSERT_NO_FATAL_FAILURE(desktopWithTabs(&d, &tabs));
    for (int view : {TAVLO_VIEW_BOOKMARK, TAVLO_VIEW_CACHE, TAVLO_VIEW_IMAGE}) {
        ASSERT_NE(f->GetView(view), nullptr);
        EXPECT_FALSE(visible(view)) << view;
    }
    // Each shows in its pane, in place of the pane's other view, and the tree's tab follows.
    f->SwitchView(TAVLO_VIEW_BOOKMARK);
    EXPECT_TRUE(visible(TAVLO_VIEW_BOOKMARK));
    EXPECT_FALSE(visible(TAVLO_VIEW_BOARD));
    EXPECT_TRUE(d->isAncestorOf(f->GetView(TAVLO_VIEW_BOOKMARK)));
    EXPECT_EQ(d->PaneView(CTavloDesktopLayout::PANE_TREE), TAVLO_VIEW_BOOKMARK);
    EXPECT_EQ(tabs->currentIndex(), 1);
    f->SwitchView(TAVLO_VIEW_CACHE);
    EXPECT_TRUE(visible(TAVLO_VIEW_CACHE));
    EXPECT_FALSE(visible(TAVLO_VIEW_BOOKMARK));
    EXPECT_EQ(tabs->currentIndex(), 2);
    f->SwitchView(TAVLO_VIEW_IMAGE);
    EXPECT_TRUE(visible(TAVLO_VIEW_IMAGE));
    EXPECT_FALSE(visible(TAVLO_VIEW_THREAD));
    EXPECT_TRUE(visible(TAVLO_VIEW_CACHE));
    EXPECT_TRUE(visible(TAVLO_VIEW_SUBJECT));
    EXPECT_EQ(d->PaneView(CTavloDesktopLayout::PANE_THREAD), TAVLO_VIEW_IMAGE);
    // Back to the tree's first tab by a click.
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_BOARD);
    EXPECT_TRUE(visible(TAVLO_VIEW_BOARD));
    EXPECT_FALSE(visible(TAVLO_VIEW_CACHE));
    // Off again: every view, chosen or not, is the client's, and only the shown one shows.
    f->SetDesktopLayout(false);
    for (int view = TAVLO_VIEW_BOARD; view <= TAVLO_VIEW_IMAGE; ++view) {
        ASSERT_NE(f->GetView(view), nullptr);
        EXPECT_EQ(f->GetView(view)->parentWidget(), f->GetClient()) << view;
        EXPECT_EQ(visible(view), view == TAVLO_VIEW_BOARD) << view;
    }
}

TEST_F(Desktop, TheTreeTabsMeasureAsAPlainTabBarWhicheverIsChosen) {
    CTavloDesktopLayout* d = nullptr;
    QTabBar* tabs = nullptr;
    ASSERT_NO_FATAL_FAILURE(desktopWithTabs(&d, &tabs));
    QTabBar plain(d);
    plain.setDrawBase(false);
    plain.setExpanding(false);
    plain.setFont(tabs->font());
    for (int i = 0; i < tabs->count(); ++i)
        plain.addTab(tabs->tabText(i));
    plain.resize(tabs->size());
    for (int view : {TAVLO_VIEW_BOOKMARK, TAVLO_VIEW_CACHE, TAVLO_VIEW_BOARD}) {
        f->SwitchView(view);
        plain.setCurrentIndex(tabs->currentIndex());
        for (int i = 0; i < tabs->count(); ++i)
            EXPECT_EQ(tabs->tabRect(i).size(), plain.tabRect(i).size()) << view << " " << i;
    }
    // A new font measures the tabs anew.
    QFont larger = tabs->font();
    larger.setPointSize(larger.pointSize() * 2);
    tabs->setFont(larger);
    plain.setFont(larger);
    for (int i = 0; i < tabs->count(); ++i)
        EXPECT_EQ(tabs->tabRect(i).size(), plain.tabRect(i).size()) << i;
}

TEST_F(Desktop, ThePlaceOfTheWindowIsWrittenWhenItClosesRightAfterAMove) {
    f->SetDesktopLayout(true);
    Pump(400); // the start's own placement is written
    f->resize(1000, 700);
    // Shut down before the placement's pause: what waits is written, not lost with the window.
    QApplication::processEvents();
    QApplication::processEvents();
    f->Shutdown();
    EXPECT_EQ(fileInt("WindowWidth"), 1000);
    EXPECT_EQ(fileInt("WindowHeight"), 700);
}

TEST(StatusLine, LastTransferWithThePostsItBrought) {
    UiApp();
    CTavloStatusLine line;
    EXPECT_EQ(line.Text(), "");
    const CVornString board("http://h.test/news/"), key("1700000000"),
        path("/tmp/nowhere/1700000000.dat");
    CTavloOpenFileMessage open(key, board, path, 1);
    line.OnViewMessage(&open);
    CTavloWriteFileMessage w1(key, board, path, CVornString("a<>b<>c<>d<>t\na<>b<>c<>d<>\n"));
    CTavloWriteFileMessage w2(key, board, path, CVornString("a<>b<>c<>d<>\n"));
    line.OnViewMessage(&w1);
    line.OnViewMessage(&w2);
    TavloNoteTransfer(CVornString("http://h.test/news/dat/1700000000.dat"), path, 200, 15360, 0);
    line.Refresh(nullptr);
    EXPECT_EQ(line.Text(), QString::fromUtf8("HTTP 200 | 0 レス | 新着 3 | 受信 15,360 バイト"));
    // A list afterwards: no posts to count.
    TavloNoteTransfer(CVornString("http://h.test/news/subject.txt"), CVornString(), 304, 0, 0);
    line.Refresh(nullptr);
    EXPECT_EQ(line.Text(), QString::fromUtf8("HTTP 304 | 受信 0 バイト"));
    // No answer at all: the code's message.
    TavloNoteTransfer(CVornString("http://h.test/x"), CVornString(), 0, 0, -100);
    line.Refresh(nullptr);
    EXPECT_EQ(line.Text(), QString::fromUtf8("接続エラー | 受信 0 バイト"));
    EXPECT_EQ(CTavloStatusLine::Grouped(1234567), "1,234,567");
    EXPECT_EQ(CTavloStatusLine::Grouped(999), "999");
}

} // namespace
