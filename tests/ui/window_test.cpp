// The window on the desktop: its first size, its size and place across restarts, URLs on the
// command line, and a second start handing its URL to the running window (two processes).
#include "fetch_support.h"
#include "process_util.h"
#include "tavlo_board_file.h"
#include "tavlo_path.h"
#include "tavlo_single_instance.h"
#include "tavlo_window_placement.h"
#include "ui_test_util.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>

#include <gtest/gtest.h>

namespace {

TEST(WindowPlacement, TheFirstStartFitsTheScreen) {
    // A desktop screen: a good part of it, centred, not the handset size.
    QRect avail(0, 0, 1920, 1050);
    QRect r = CTavloWindowPlacement::InitialGeometry(avail);
    EXPECT_GT(r.width(), 1000);
    EXPECT_GT(r.height(), 700);
    EXPECT_TRUE(avail.contains(r));
    EXPECT_EQ(r.center(), avail.center());
    // A second screen to the right keeps the window on it.
    QRect right(1920, 0, 2560, 1400);
    EXPECT_TRUE(right.contains(CTavloWindowPlacement::InitialGeometry(right)));
    // A small screen keeps the handset size, and a tiny one gets what there is.
    EXPECT_EQ(CTavloWindowPlacement::InitialGeometry(QRect(0, 0, 800, 600)).size(),
              QSize(640, 480));
    EXPECT_EQ(CTavloWindowPlacement::InitialGeometry(QRect(0, 0, 480, 640)).size(),
              QSize(480, 480));
}

class Window : public ::testing::Test {
protected:
    std::string ini() const { return dir.file("tavlo.ini"); }
    std::string iniText() const { return ReadAll(ini()); }
    TempDir dir;
    BoxLog boxes;
};

TEST_F(Window, ItOpensAtTheRememberedSizeAndPlaceAfterARestart) {
    {
        ShellRun run(ini());
        ASSERT_EQ(run.start(), 1);
        CMainFrame* f = run.frame();
        f->move(30, 40);
        f->resize(700, 500);
        // Written once the change is over, while the program runs.
        ASSERT_TRUE(PumpUntil(
            [&] { return iniText().find("WindowWidth=700") != std::string::npos; }, 10000))
            << iniText();
        EXPECT_NE(iniText().find("WindowHeight=500"), std::string::npos);
        EXPECT_NE(iniText().find("WindowLeft=30"), std::string::npos);
        EXPECT_NE(iniText().find("WindowTop=40"), std::string::npos);
        f->resize(720, 510);
        ASSERT_TRUE(PumpUntil(
            [&] { return iniText().find("WindowWidth=720") != std::string::npos; }, 10000));
        // Maximized: the size to come back to stays.
        f->showMaximized();
        ASSERT_TRUE(PumpUntil(
            [&] { return iniText().find("WindowMaximized=1") != std::string::npos; }, 10000));
        EXPECT_NE(iniText().find("WindowWidth=720"), std::string::npos);
        f->showNormal();
        ASSERT_TRUE(PumpUntil(
            [&] { return iniText().find("WindowMaximized=0") != std::string::npos; }, 10000));
    }
    ShellRun again(ini());
    ASSERT_EQ(again.start(), 1);
    EXPECT_EQ(again.frame()->size(), QSize(720, 510));
    EXPECT_EQ(again.frame()->pos(), QPoint(30, 40));
    EXPECT_FALSE(again.frame()->isMaximized());
}

TEST_F(Window, ASizeFromALargerScreenIsCutAndAPlaceOffEveryScreenIsLeft) {
    WriteIni(ini(), {"WindowLeft=5000", "WindowTop=4000", "WindowWidth=3000", "WindowHeight=2000"});
    ShellRun run(ini());
    ASSERT_EQ(run.start(), 1);
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_TRUE(screen.contains(QRect(run.frame()->pos(), run.frame()->size())))
        << run.frame()->x() << "," << run.frame()->y() << " " << run.frame()->width() << "x"
        << run.frame()->height();
    EXPECT_EQ(run.frame()->size(), screen.size());
    // Nothing changed by the user: nothing written back.
    Pump(500);
    EXPECT_NE(iniText().find("WindowWidth=3000"), std::string::npos);
}

// Two window programs on one settings file, as a desktop starts them.
class TwoStarts : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.sim.ok());
        CTavloSettings::Instance().SetOnline(1);
        // A board list, so that the window does not ask for the menu.
        CTavloBoardFile boards(CVornString(fx.root() + "/board.txt"));
        boards.AddRow({CVornString(Sjis("ニュース")), CVornString(), CVornString()});
        boards.AddRow(
            {CVornString(Sjis("ニュース速報")), CVornString(kBoardUrl), CVornString("news")});
        CTavloPath::MakeDirectory(CVornString(fx.root()));
        ASSERT_EQ(boards.Save(), 0);
        for (int i = 0; i < 2; ++i)
            ASSERT_EQ(fx.sim.control(
                          std::string("/_ctl/create?host=news.example-bbs.test&board=news&key=") +
                          key(i) + "&posts=" + std::to_string(5 + i)),
                      "ok");
    }
    static std::string key(int i) { return std::to_string(1750000000 + i); }
    static std::string url(int i) {
        return "http://news.example-bbs.test/test/read.cgi/news/" + key(i) + "/";
    }
    std::string log(int i) const {
        return CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString(key(i))).str();
    }
    std::vector<std::string> tavlo(const std::vector<std::string>& args) const {
        std::vector<std::string> a{TavloExe(), "--ini", fx.dir.file("tavlo.ini")};
        a.insert(a.end(), args.begin(), args.end());
        return a;
    }
    static bool waitFor(const std::function<bool()>& done, int ms = 60000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (std::chrono::steady_clock::now() > end)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return true;
    }

    static constexpr const char* kBoardUrl = "http://news.example-bbs.test/news/";
    BoardFixture fx;
};

TEST_F(TwoStarts, TheSecondHandsItsUrlToTheRunningWindowAndEnds) {
    const std::map<std::string, std::string> env{{"QT_QPA_PLATFORM", "offscreen"}};
    const QString socket = CTavloSingleInstance::ServerName(fx.dir.file("tavlo.ini"));
    // The first start opens the thread on its command line.
    Child first(tavlo({url(0)}), env);
    ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(socket) || !first.running(); }))
        << first.err();
    ASSERT_TRUE(first.running()) << first.err();
    ASSERT_TRUE(waitFor([&] { return CTavloDatFile::Count(CVornString(log(0))) == 5; }))
        << first.err();

    // The second start gives its URL to the first and ends; the first opens (and, online,
    // fetches) it.
    Child second(tavlo({url(1)}), env);
    EXPECT_EQ(second.wait(60000), 0) << second.err();
    ASSERT_TRUE(waitFor([&] { return CTavloDatFile::Count(CVornString(log(1))) == 6; }))
        << first.err();
    EXPECT_TRUE(first.running());
    // Without a URL it only brings the running window forward.
    Child third(tavlo({}), env);
    EXPECT_EQ(third.wait(60000), 0) << third.err();
    EXPECT_TRUE(first.running());

    first.signal(SIGTERM);
    first.wait();
}

TEST_F(TwoStarts, ASocketLeftByAProgramThatIsGoneIsTakenOver) {
    const std::map<std::string, std::string> env{{"QT_QPA_PLATFORM", "offscreen"}};
    const QString socket = CTavloSingleInstance::ServerName(fx.dir.file("tavlo.ini"));
    {
        Child gone(tavlo({}), env);
        ASSERT_TRUE(waitFor([&] { return QFileInfo::exists(socket) || !gone.running(); }));
        gone.signal(SIGKILL);
        gone.wait();
    }
    ASSERT_TRUE(QFileInfo::exists(socket));
    Child next(tavlo({url(0)}), env);
    ASSERT_TRUE(waitFor([&] { return CTavloDatFile::Count(CVornString(log(0))) == 5; }))
        << next.err();
    EXPECT_TRUE(next.running());
    next.signal(SIGTERM);
    next.wait();
}

// The same under a real X server (Xvfb, no window manager): the window is sized with xdotool
// as a user would drag it, the program ends and starts again, and a second start's URL opens
// in the running window.
class OnX : public TwoStarts {
protected:
    void SetUp() override {
        TwoStarts::SetUp();
        if (HasFatalFailure())
            return;
        // A display of its own, away from the low numbers other X servers take. Another test
        // may take the same number between the check and the start: then try the next one.
        std::string number;
        for (int n = 300 + getpid() % 600, tries = 0; n < 1000 && tries < 20 && number.empty();
             ++n) {
            if (QFileInfo::exists(QString("/tmp/.X%1-lock").arg(n)) ||
                QFileInfo::exists(QString("/tmp/.X11-unix/X%1").arg(n)))
                continue;
            ++tries;
            int fds[2];
            ASSERT_EQ(pipe(fds), 0);
            // Xvfb writes its display number to the descriptor it is given. No reset when the last
            // client leaves: a restart in between would find the display gone.
            m_xvfb = std::make_unique<Child>(std::vector<std::string>{
                "/bin/sh", "-c",
                "exec Xvfb :" + std::to_string(n) + " -displayfd " + std::to_string(fds[1]) +
                    " -screen 0 1600x1000x24 -nolisten tcp -noreset"});
            close(fds[1]);
            char c;
            while (number.size() < 8 && read(fds[0], &c, 1) == 1 && c != '\n')
                number += c;
            close(fds[0]);
            if (number.empty())
                m_xvfb->wait();
        }
        ASSERT_FALSE(number.empty()) << (m_xvfb ? m_xvfb->err() : "no free display");
        display = ":" + number;
        // Answering clients, not only listening.
        ASSERT_TRUE(waitFor([&] { return !xdotool({"getdisplaygeometry"}).empty(); }, 60000))
            << m_xvfb->err();
    }
    void TearDown() override {
        if (m_xvfb) {
            m_xvfb->signal(SIGTERM);
            m_xvfb->wait();
        }
    }
    std::map<std::string, std::string> env() const {
        return {{"DISPLAY", display}, {"QT_QPA_PLATFORM", "xcb"}};
    }
    // One xdotool call's output.
    std::string xdotool(const std::vector<std::string>& args) const {
        std::vector<std::string> a{"xdotool"};
        a.insert(a.end(), args.begin(), args.end());
        Child c(a, env());
        c.wait(30000);
        return c.out();
    }
    // The program's window, once it is mapped.
    std::string window() const {
        std::string id;
        waitFor([&] {
            id = xdotool({"search", "--onlyvisible", "--class", "tavlo"});
            return !id.empty();
        });
        return id.substr(0, id.find('\n'));
    }
    std::string geometry(const std::string& id) const {
        std::string g = xdotool({"getwindowgeometry", id});
        size_t at = g.find("Geometry: ");
        return at == std::string::npos ? g : g.substr(at + 10, g.find('\n', at) - at - 10);
    }
    void screenshot(const std::string& name) const {
        const std::string dir = std::string(TAVLO_BINARY_DIR) + "/artifacts";
        VornCreateDirectories(dir.c_str());
        Child c({"import", "-window", "root", dir + "/" + name}, env());
        c.wait(30000);
    }

    std::string display;

private:
    std::unique_ptr<Child> m_xvfb;
};

TEST_F(OnX, TheWindowComesBackAtItsSizeAndASecondStartOpensItsUrlInIt) {
    const std::string ini = fx.dir.file("tavlo.ini");
    {
        Child first(tavlo({}), env());
        const std::string id = window();
        ASSERT_FALSE(id.empty()) << first.err();
        // The first start on this screen is larger than the handset size.
        const std::string initial = geometry(id);
        EXPECT_NE(initial, "640x480") << initial;
        xdotool({"windowsize", id, "900", "650"});
        ASSERT_TRUE(waitFor([&] {
            const std::string text = ReadAll(ini);
            return text.find("WindowWidth=900") != std::string::npos &&
                   text.find("WindowHeight=650") != std::string::npos;
        })) << ReadAll(ini);
        first.signal(SIGTERM);
        first.wait();
    }
    Child again(tavlo({}), env());
    const std::string id = window();
    ASSERT_FALSE(id.empty()) << again.err();
    ASSERT_TRUE(waitFor([&] { return geometry(id) == "900x650"; }, 10000)) << geometry(id);

    Child second(tavlo({url(1)}), env());
    EXPECT_EQ(second.wait(60000), 0) << second.err();
    ASSERT_TRUE(waitFor([&] { return CTavloDatFile::Count(CVornString(log(1))) == 6; }))
        << again.err();
    EXPECT_TRUE(again.running());
    // One window: the second start made none of its own.
    std::string ids = xdotool({"search", "--onlyvisible", "--class", "tavlo"});
    EXPECT_EQ(Lines(ids).size(), 1u) << ids;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    screenshot("window_second_start.png");
    again.signal(SIGTERM);
    again.wait();
}

} // namespace
