// The whole program against the local board server: direct input of a thread URL, fetches
// seen in the status bar, cancel, hosts that refuse or hang, and screenshots of the frame.
#include "fetch_support.h"
#include "tavlo_dat_view.h"
#include "tavlo_dat_view_host.h"
#include "tavlo_grep_dialog.h"
#include "tavlo_jump_dialog.h"
#include "tavlo_path.h"
#include "tavlo_search_dialog.h"
#include "tavlo_status_dialog.h"
#include "ui_test_util.h"
#include "vorn_kcode.h"

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

const char kHost[] = "news.example-bbs.test";
const char kBoard[] = "news";
const char kBoardUrl[] = "http://news.example-bbs.test/news/";

QString U(const char* utf8) {
    return QString::fromUtf8(utf8);
}

// Text for a query of the board server.
std::string enc(const char* utf8) {
    return QUrl::toPercentEncoding(QString::fromUtf8(utf8)).toStdString();
}

// A port on 127.0.0.1 where nothing listens.
int ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

class Shell : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.sim.ok());
        CTavloSettings::Instance().SetOnline(1);
        ASSERT_EQ(run.start(), 1);
        f = run.frame();
        f->resize(640, 480);
        boxes.boxes.clear();
    }

    std::string ctl(const std::string& op, const std::string& key, const std::string& more = "") {
        return fx.sim.control("/_ctl/" + op + "?host=" + kHost + "&board=" + kBoard +
                              "&key=" + key + more);
    }
    std::string url(const std::string& key) {
        return std::string("http://") + kHost + "/test/read.cgi/" + kBoard + "/" + key + "/";
    }
    std::string logPath(const std::string& key) {
        return CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString(key)).str();
    }
    CTavloDatView* view() { return static_cast<CTavloDatViewHost*>(f->Views().thread)->View(); }
    void jump(const std::string& text) {
        f->OnCommand(ID_JUMP);
        f->GetJumpBar()->GetCombo()->setEditText(QString::fromStdString(text));
        f->GetJumpBar()->GetOkButton()->click();
    }
    bool idle() { return !f->Views().thread->IsBusy(); }
    // Opens a thread and waits until its first fetch is through.
    void fetchWhole(const std::string& key) {
        jump(url(key));
        ASSERT_TRUE(PumpUntil([&] { return view()->GetTabCount() > 0 && idle(); }, 15000));
        ASSERT_EQ(ReadAll(logPath(key)), ctl("dat", key));
    }

    BoardFixture fx;
    BoxLog boxes;
    ShellRun run{fx.dir.file("tavlo.ini")};
    CMainFrame* f = nullptr;
};

TEST_F(Shell, DirectInputOfAThreadUrlOpensATabThatFillsWhileTheFetchRuns) {
    ASSERT_EQ(ctl("create", "1700000100", "&posts=150&title=" + enc("表示テスト")), "ok");
    ASSERT_EQ(ctl("mode", "1700000100", "&mode=slow&delay=15"), "ok");
    jump(url("1700000100"));
    EXPECT_EQ(f->GetShownView(), TAVLO_VIEW_THREAD);
    ASSERT_EQ(view()->GetTabCount(), 1);

    // While it runs: posts arrive in the open tab and the status bar counts bytes.
    bool partial = false, counted = false;
    const QRegularExpression counts("^(\\d+)/(\\d+)$");
    ASSERT_TRUE(PumpUntil(
        [&] {
            CTavloDatCtrl* c = view()->GetCurrentCtrl();
            if (!idle() && c && c->GetPostCount() > 0 && c->GetPostCount() < 150)
                partial = true;
            auto m = counts.match(f->GetStatusBar()->GetText());
            if (!idle() && f->IsBarShown(CMainFrame::BAR_STATUS) && m.hasMatch() &&
                m.captured(1).toInt() > 0 && m.captured(2).toInt() > 0)
                counted = true;
            return idle();
        },
        30000));
    EXPECT_TRUE(partial);
    EXPECT_TRUE(counted);
    EXPECT_EQ(view()->GetCurrentCtrl()->GetPostCount(), 150);
    EXPECT_EQ(ReadAll(logPath("1700000100")), ctl("dat", "1700000100"));
    // The tab took the thread's title; the status bar went away with the fetch.
    EXPECT_EQ(view()->ThreadTitles()[0], U("表示テスト"));
    EXPECT_TRUE(PumpUntil([&] { return !f->IsBarShown(CMainFrame::BAR_STATUS); }, 2000));
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(Shell, FullWidthDigitsJumpInTheShownThread) {
    ASSERT_EQ(ctl("create", "1700000101", "&posts=200"), "ok");
    fetchWhole("1700000101");
    jump("１２３");
    EXPECT_EQ(view()->GetCurrentCtrl()->GetTopPost(), 123);
    EXPECT_FALSE(f->IsBarShown(CMainFrame::BAR_JUMP));
    jump("40");
    EXPECT_EQ(view()->GetCurrentCtrl()->GetTopPost(), 40);
    // Keys typed in the thread text travel through the frame to the thread view: P is the
    // first post, Backspace goes back to where the reader was.
    QWidget* text = view()->GetCurrentCtrl()->GetTextCtrl();
    QTest::keyClick(text, Qt::Key_P);
    EXPECT_EQ(view()->GetCurrentCtrl()->GetTopPost(), 1);
    QTest::keyClick(text, Qt::Key_Backspace);
    EXPECT_EQ(view()->GetCurrentCtrl()->GetTopPost(), 40);
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(Shell, CancelDuringASlowTransferEndsAtOnceAndMarksTheLogOutOfDate) {
    ASSERT_EQ(ctl("create", "1700000102", "&posts=400"), "ok");
    ASSERT_EQ(ctl("mode", "1700000102", "&mode=slow&delay=100"), "ok");
    jump(url("1700000102"));
    ASSERT_TRUE(PumpUntil([&] {
        CTavloDatCtrl* c = view()->GetCurrentCtrl();
        return c && c->GetPostCount() > 0;
    }));
    ASSERT_FALSE(idle());
    CVornTime timer;
    f->OnCommand(ID_CANCEL);
    ASSERT_TRUE(PumpUntil([&] { return idle(); }, 20000));
    ASSERT_EQ(boxes.count(), 1u); // the question, and no error after it
    EXPECT_EQ(boxes.last().text, U("キャンセルしますか？"));
    EXPECT_EQ(boxes.last().caption, "tavlo/0.0.15");
    int64_t size = 0, time = -1;
    ASSERT_TRUE(CTavloPath::GetFileStatus(CVornString(logPath("1700000102")), &size, &time));
    EXPECT_GT(size, 0);
    EXPECT_EQ(time, 0); // 1970-01-01 00:00:00 UTC
    // What was stored is whole lines of the server's log.
    std::string local = ReadAll(logPath("1700000102"));
    EXPECT_EQ(local.back(), '\n');
    EXPECT_EQ(ctl("dat", "1700000102").compare(0, local.size(), local), 0);

    // New work afterwards is not stopped by the old cancel.
    ASSERT_EQ(ctl("mode", "1700000102", "&mode="), "ok");
    f->OnCommand(ID_RELOAD);
    ASSERT_TRUE(PumpUntil([&] { return idle(); }, 15000));
    EXPECT_EQ(ReadAll(logPath("1700000102")), ctl("dat", "1700000102"));
    EXPECT_EQ(boxes.count(), 1u);
}

TEST_F(Shell, AHostThatRefusesGivesTheConnectErrorAndKeepsTheLog) {
    ASSERT_EQ(ctl("create", "1700000103", "&posts=30"), "ok");
    fetchWhole("1700000103");
    const std::string before = ReadAll(logPath("1700000103"));
    ASSERT_EQ(ctl("append", "1700000103", "&n=5"), "ok");
    CTavloSettings::Instance().SetInt("ProxyPort", ClosedPort());
    f->OnCommand(ID_RELOAD);
    // The worker reports the error, then hides the status bar.
    ASSERT_TRUE(PumpUntil(
        [&] { return boxes.count() > 0 && idle() && !f->IsBarShown(CMainFrame::BAR_STATUS); },
        15000));
    ASSERT_EQ(boxes.count(), 1u);
    EXPECT_EQ(boxes.last().text, U("接続エラー"));
    EXPECT_EQ(boxes.last().caption, "tavlo");
    EXPECT_EQ(boxes.last().flags & 0xF0, TAVLO_MB_ICONERROR);
    EXPECT_EQ(ReadAll(logPath("1700000103")), before);
    EXPECT_EQ(view()->GetCurrentCtrl()->GetPostCount(), 30);
}

TEST_F(Shell, AHangingHostLeavesTheWindowResponsiveUntilCancelled) {
    ASSERT_EQ(ctl("create", "1700000104", "&posts=30"), "ok");
    fetchWhole("1700000104");
    const std::string before = ReadAll(logPath("1700000104"));
    ASSERT_EQ(ctl("append", "1700000104", "&n=5"), "ok");
    ASSERT_EQ(ctl("mode", "1700000104", "&mode=hang"), "ok");
    f->OnCommand(ID_RELOAD);
    ASSERT_TRUE(PumpUntil([&] { return !idle(); }, 2000));

    // The window serves timers and messages meanwhile, and switches views.
    bool fired = false;
    QTimer::singleShot(20, [&] { fired = true; });
    CVornTime timer;
    ASSERT_TRUE(PumpUntil([&] { return fired; }, 10000));
    f->PostMessage(TAVLO_WM_VIEWBACK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return f->GetShownView() == TAVLO_VIEW_BOARD; }, 1000));
    f->PostMessage(TAVLO_WM_VIEWFORWARD, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return f->GetShownView() == TAVLO_VIEW_THREAD; }, 1000));
    Pump(300);
    EXPECT_FALSE(idle());

    timer.Start();
    f->OnCommand(ID_CANCEL);
    ASSERT_TRUE(PumpUntil([&] { return idle(); }, 20000));
    EXPECT_EQ(boxes.texts(), std::vector<QString>{U("キャンセルしますか？")});
    EXPECT_EQ(ReadAll(logPath("1700000104")), before);
    EXPECT_EQ(view()->GetCurrentCtrl()->GetPostCount(), 30);
}

TEST_F(Shell, ClosingTheWindowWhileAFetchRunsEndsPromptly) {
    ASSERT_EQ(ctl("create", "1700000105", "&posts=400"), "ok");
    ASSERT_EQ(ctl("mode", "1700000105", "&mode=slow&delay=100"), "ok");
    jump(url("1700000105"));
    ASSERT_TRUE(PumpUntil([&] {
        CTavloDatCtrl* c = view()->GetCurrentCtrl();
        return c && c->GetPostCount() > 0;
    }));
    CVornTime timer;
    f->close();
    run.app.ExitInstance();
    EXPECT_EQ(boxes.count(), 0u);
}

TEST_F(Shell, ScreenshotsOfTheFrameWithItsBars) {
    ASSERT_EQ(ctl("create", "1700000106", "&posts=40&title=" + enc("スクリーンショット用スレ")),
              "ok");
    fetchWhole("1700000106");
    f->show();
    QApplication::processEvents();

    f->SendMessage(TAVLO_WM_PROGRESS, 12345, 67890);
    f->GetStatusBar()->SetText(CVornString(VornUtf8ToSjis("受信中 12345/67890 バイト")));
    QApplication::processEvents();
    ASSERT_TRUE(SaveShot(f, "frame_status.png"));
    f->SendMessage(TAVLO_WM_STATUSBAR, 0, 0);

    CTavloSettings::Instance().AddHistory(CTavloSettings::HISTORY_SEARCHWORD,
                                          CVornString(VornUtf8ToSjis("表示能力")));
    f->GetSearchBar()->ReloadList();
    f->OnCommand(ID_SEARCH);
    QApplication::processEvents();
    ASSERT_TRUE(SaveShot(f, "frame_search.png"));
    f->SendMessage(TAVLO_WM_SEARCHBAR, 0, 0);

    f->OnCommand(ID_JUMP);
    f->GetJumpBar()->GetCombo()->setEditText(U("ｈｔｔｐ：／／板ＩＤ または レス番号 １２３"));
    QApplication::processEvents();
    ASSERT_TRUE(SaveShot(f, "frame_jump.png"));
    EXPECT_TRUE(f->IsBarShown(CMainFrame::BAR_JUMP));
}

} // namespace

namespace {
TEST_F(Shell, ScreenshotOfTwoThreadTabsTheStatusBarAndTheGrepWindow) {
    ASSERT_EQ(ctl("create", "1700000107", "&posts=30&title=" + enc("一つ目のスレッド")), "ok");
    ASSERT_EQ(ctl("create", "1700000108", "&posts=30&title=" + enc("二つ目のスレッド")), "ok");
    fetchWhole("1700000107");
    fetchWhole("1700000108");
    ASSERT_EQ(view()->GetTabCount(), 2);
    f->show();
    f->SendMessage(TAVLO_WM_PROGRESS, 2048, 8192);
    QApplication::processEvents();
    EXPECT_EQ(f->GetStatusBar()->GetText(), U("2048/8192"));
    ASSERT_TRUE(SaveShot(f, "frame_two_tabs.png"));

    CTavloDatCtrl* c = view()->GetCurrentCtrl();
    c->JumpNumber(1, false);
    c->Grep(CTavloDatCtrl::GREP_NAME);
    ASSERT_NE(view()->GetGrepDialog(), nullptr);
    view()->GetGrepDialog()->resize(520, 300);
    QApplication::processEvents();
    ASSERT_TRUE(SaveShot(view()->GetGrepDialog(), "frame_grep_window.png"));
    EXPECT_FALSE(view()->GetGrepDialog()->GetNumbers().empty());
}
} // namespace
