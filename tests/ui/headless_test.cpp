// The program without a window, as scripts run it: the command line, --fetch by difference,
// --check-bookmarks, exit statuses, and the store's lock shared with the window program.
#include "fetch_support.h"
#include "process_util.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_cmdline.h"
#include "tavlo_path.h"
#include "tavlo_store_lock.h"
#include "tavlo_subject_file.h"
#include "ui_test_util.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

namespace {

const char kHost[] = "news.example-bbs.test";
const char kBoard[] = "news";
const char kBoardUrl[] = "http://news.example-bbs.test/news/";

CTavloCommandLine parse(std::vector<std::string> args) {
    args.insert(args.begin(), "tavlo");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    return CTavloCommandLine::Parse(static_cast<int>(args.size()), argv.data());
}

TEST(CommandLine, OptionsUrlsAndQtsOwnOptions) {
    CTavloCommandLine c = parse({"--ini", "/a/t.ini", "-platform", "offscreen", "-reverse",
                                 "http://x.5ch.io/test/read.cgi/a/1/"});
    EXPECT_EQ(c.Mode, CTavloCommandLine::MODE_WINDOW);
    EXPECT_EQ(c.Ini, "/a/t.ini");
    EXPECT_EQ(c.Urls, std::vector<std::string>{"http://x.5ch.io/test/read.cgi/a/1/"});

    c = parse({"--ini=/b.ini", "--fetch", "http://a/b/", "--fetch=http://c/d/", "--json"});
    EXPECT_EQ(c.Mode, CTavloCommandLine::MODE_HEADLESS);
    EXPECT_EQ(c.Ini, "/b.ini");
    EXPECT_EQ(c.Fetch, (std::vector<std::string>{"http://a/b/", "http://c/d/"}));
    EXPECT_TRUE(c.Json);
    EXPECT_TRUE(parse({"--check-bookmarks"}).CheckBookmarks);
    // "--" ends the options: what follows is a URL even when it looks like one.
    EXPECT_EQ(parse({"--", "--json"}).Urls, std::vector<std::string>{"--json"});

    for (auto args :
         std::vector<std::vector<std::string>>{{"--bogus"},
                                               {"-x"},
                                               {"--ini"},
                                               {"--fetch"},
                                               {"--fetch="},
                                               {"--json"},
                                               {"--fetch", "http://a/b/", "http://u/"}}) {
        c = parse(args);
        EXPECT_EQ(c.Mode, CTavloCommandLine::MODE_ERROR) << args[0];
        EXPECT_FALSE(c.Error.empty());
    }
    EXPECT_NE(parse({"--bogus"}).Error.find("--bogus"), std::string::npos);
    // Help and version win over the rest.
    EXPECT_EQ(parse({"--fetch", "http://a/b/", "--help"}).Mode, CTavloCommandLine::MODE_HELP);
    EXPECT_EQ(parse({"--version"}).Mode, CTavloCommandLine::MODE_VERSION);
}

TEST(CommandLine, HelpVersionAndAWrongOptionNeedNoDisplay) {
    const std::map<std::string, std::string> noDisplay{{"DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    Ran r = RunTavlo({"--version"}, noDisplay);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.out, "tavlo 0.0.15\n");
    r = RunTavlo({"--help"}, noDisplay);
    EXPECT_EQ(r.rc, 0);
    for (const char* o : {"--ini", "--fetch", "--check-bookmarks", "--json", "--version"})
        EXPECT_NE(r.out.find(o), std::string::npos) << o;
    r = RunTavlo({"--frobnicate"}, noDisplay);
    EXPECT_EQ(r.rc, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_NE(r.err.find("unknown option '--frobnicate'"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("--help"), std::string::npos);
}

class Headless : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.sim.ok());
        CTavloSettings::Instance().SetInt("ThreadMax", 8);
    }
    void TearDown() override { CTavloBookmarkFile::Destroy(); }

    std::string ini() const { return fx.dir.file("tavlo.ini"); }
    // The program without a display, as cron runs it.
    Ran tavlo(std::vector<std::string> args) {
        args.insert(args.begin(), {"--ini", ini()});
        return RunTavlo(args, {{"DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
    }
    static std::string key(int i) { return std::to_string(1730000000 + i); }
    static std::string threadUrl(int i) {
        return std::string("http://") + kHost + "/test/read.cgi/" + kBoard + "/" + key(i) + "/";
    }
    std::string ctl(const std::string& op, int i, const std::string& more = "") {
        return fx.sim.control("/_ctl/" + op + "?host=" + kHost + "&board=" + kBoard +
                              "&key=" + key(i) + more);
    }
    std::string logPath(int i) {
        return CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString(key(i))).str();
    }
    CTavloInfoFile info(int i) {
        CTavloInfoFile info;
        CTavloInfoFile::Create(CVornString(kBoardUrl), CVornString(key(i)), info);
        return info;
    }
    // The log requests of thread i in the server's log.
    std::vector<std::string> logRequests(int i) {
        std::vector<std::string> out;
        for (const std::string& r : fx.sim.requests())
            if (r.find("/dat/" + key(i) + ".dat") != std::string::npos)
                out.push_back(r);
        return out;
    }

    BoardFixture fx;
};

TEST_F(Headless, FetchesAThreadByDifferenceAndLeavesTheStoreTheWindowProgramReads) {
    ASSERT_EQ(ctl("create", 0, "&posts=10&title=T0"), "ok");
    Ran r = tavlo({"--fetch", threadUrl(0)});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "10\t10\t" + threadUrl(0) + "\tT0\n");
    // No terminal: no progress either.
    EXPECT_TRUE(r.err.empty()) << r.err;
    EXPECT_TRUE(ReadAll(logPath(0)) == ctl("dat", 0));
    int64_t size = 0;
    ASSERT_TRUE(CTavloPath::GetFileStatus(CVornString(logPath(0)), &size));

    ASSERT_EQ(ctl("append", 0, "&n=3"), "ok");
    fx.sim.clearRequests();
    r = tavlo({"--fetch", threadUrl(0), "--json"});
    ASSERT_EQ(r.rc, 0) << r.err;
    // Only the difference was asked for, from the byte before the end.
    std::vector<std::string> asked = logRequests(0);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_NE(asked[0].find("\"range\": \"bytes=" + std::to_string(size - 1) + "-\""),
              std::string::npos)
        << asked[0];
    EXPECT_NE(asked[0].find("\"status\": 206"), std::string::npos);
    QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object();
    ASSERT_EQ(o["fetch"].toArray().size(), 1);
    QJsonObject t = o["fetch"].toArray()[0].toObject();
    EXPECT_EQ(t["kind"].toString(), "thread");
    EXPECT_EQ(t["posts"].toInt(), 13);
    EXPECT_EQ(t["added"].toInt(), 3);
    EXPECT_EQ(t["code"].toInt(), 0);
    EXPECT_EQ(t["key"].toString().toStdString(), key(0));

    // What the window program reads: the whole log, and the info file of a thread fetched
    // while no tab showed it (13 posts, all new to a reader who never opened it).
    EXPECT_TRUE(ReadAll(logPath(0)) == ctl("dat", 0));
    EXPECT_EQ(info(0).Count, 13);
    EXPECT_TRUE(info(0).New);
    CTavloBookmarkItem item(CVornString(kBoard), CVornString(), 1, CVornString("T0"),
                            CVornString(key(0)), CVornString(kBoardUrl));
    EXPECT_EQ(item.GetCount(), 13);
    EXPECT_EQ(item.GetNewCount(), 13);
    // The lock is given back.
    EXPECT_EQ(CTavloStoreLock::ReadHolder(CTavloStoreLock::GetPath(CVornString(fx.root()))), 0);

    // Nothing new: nothing written, success.
    r = tavlo({"--fetch", threadUrl(0)});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "0\t13\t" + threadUrl(0) + "\tT0\n");
}

TEST_F(Headless, ProgressGoesToATerminalOnly) {
    ASSERT_EQ(ctl("create", 5, "&posts=40"), "ok");
    // On a terminal (script gives the program one), the received bytes are counted on stderr
    // and the line is cleared before the result.
    const std::string cmd = "'" + TavloExe() + "' --ini '" + ini() + "' --fetch " + threadUrl(5);
    Child c({"script", "-qec", cmd, "/dev/null"}, {{"DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
    ASSERT_EQ(c.wait(), 0) << c.out() << c.err();
    const std::string shown = c.out();
    EXPECT_NE(shown.find(" bytes"), std::string::npos) << shown;
    EXPECT_NE(shown.find("\r\033[K"), std::string::npos) << shown;
    EXPECT_NE(shown.find("40\t40\t" + threadUrl(5)), std::string::npos) << shown;
}

TEST_F(Headless, ALogThatNoLongerMatchesIsRepairedByAWholeFetch) {
    ASSERT_EQ(ctl("create", 1, "&posts=8"), "ok");
    ASSERT_EQ(tavlo({"--fetch", threadUrl(1)}).rc, 0);
    // A post deleted on the server shifts every later byte.
    ASSERT_EQ(ctl("abone", 1, "&post=2"), "ok");
    ASSERT_EQ(ctl("append", 1, "&n=2"), "ok");
    fx.sim.clearRequests();
    Ran r = tavlo({"--fetch", threadUrl(1)});
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(ReadAll(logPath(1)) == ctl("dat", 1));
    EXPECT_FALSE(CTavloPath::GetFileStatus(CVornString(logPath(1) + ".bak")));
    std::vector<std::string> asked = logRequests(1);
    ASSERT_EQ(asked.size(), 2u); // the ranged one, then the whole log
    EXPECT_EQ(asked[1].find("\"range\""), std::string::npos);
}

TEST_F(Headless, FetchesABoardsListAndCountsItsNewThreads) {
    const std::string board = kBoardUrl;
    Ran r = tavlo({"--fetch", board});
    ASSERT_EQ(r.rc, 0) << r.err;
    const std::string local = fx.root() + "/" + kHost + "/" + kBoard + "/subject.txt";
    EXPECT_TRUE(ReadAll(local) == fx.sim.get(board + "subject.txt"));
    std::vector<std::string> f = Fields(Lines(r.out).at(0));
    ASSERT_GE(f.size(), 3u);
    EXPECT_EQ(f[0], "0"); // a first list marks nothing
    EXPECT_EQ(f[2], board);
    const int threads = std::stoi(f[1]);
    EXPECT_GT(threads, 0);

    ASSERT_EQ(fx.sim.control(std::string("/_ctl/advance?host=") + kHost + "&board=" + kBoard +
                             "&posts=2&new=1"),
              "ok");
    r = tavlo({"--json", "--fetch", board});
    ASSERT_EQ(r.rc, 0) << r.err;
    QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out))
                        .object()["fetch"]
                        .toArray()[0]
                        .toObject();
    EXPECT_EQ(o["kind"].toString(), "board");
    EXPECT_EQ(o["threads"].toInt(), threads + 1);
    EXPECT_EQ(o["new"].toInt(), 1);
    EXPECT_EQ(o["updated"].toInt(), 2);
    // The window program's list of the board is that file.
    CTavloSubjectFile list;
    ASSERT_EQ(list.CreateFromFile(CVornString(local)), 0);
    EXPECT_EQ(list.GetCount(), threads + 1);
}

TEST_F(Headless, ChecksAHundredBookmarksAtMostThreadMaxAtOnce) {
    const int n = 100;
    VornCreateDirectories(fx.root().c_str());
    CTavloBookmarkFile& list = CTavloBookmarkFile::Instance();
    list.Load(CTavloBookmarkFile::GetDefaultPath());
    // A bookmark added goes first: the last one first.
    for (int i = n - 1; i >= 0; --i) {
        ASSERT_EQ(ctl("create", i, "&posts=5"), "ok");
        ASSERT_TRUE(list.Add(CVornString(kBoardUrl), CVornString("B" + std::to_string(i)),
                             CVornString(key(i)), CVornString(Sjis("ニュース")),
                             CVornString(kBoard)));
    }
    ASSERT_TRUE(list.Save());
    CTavloBookmarkFile::Destroy();

    Ran r = tavlo({"--check-bookmarks"});
    ASSERT_EQ(r.rc, 0) << r.err;
    std::vector<std::string> lines = Lines(r.out);
    ASSERT_EQ(lines.size(), size_t(n));
    for (int i = 0; i < n; ++i)
        EXPECT_EQ(lines[size_t(i)], "5\t5\t" + threadUrl(i) + "\tB" + std::to_string(i));
    int count = 0;
    EXPECT_LE(fx.sim.PeakConcurrent("/dat/", &count), 8);
    EXPECT_EQ(count, n);

    // Thread i read to its end, then some gain posts: the counts are the unread ones.
    for (int i = 0; i < n; ++i) {
        CTavloInfoFile in = info(i);
        in.Max = in.Count;
        in.New = false;
        ASSERT_TRUE(CTavloInfoFile::Write(in));
    }
    for (int i = 0; i < n; i += 10)
        ASSERT_EQ(ctl("append", i, "&n=" + std::to_string(1 + i / 10)), "ok");
    r = tavlo({"--check-bookmarks", "--json"});
    ASSERT_EQ(r.rc, 0) << r.err;
    QJsonArray a =
        QJsonDocument::fromJson(QByteArray::fromStdString(r.out)).object()["bookmarks"].toArray();
    ASSERT_EQ(a.size(), n);
    for (int i = 0; i < n; ++i) {
        QJsonObject e = a[i].toObject();
        const int added = i % 10 == 0 ? 1 + i / 10 : 0;
        EXPECT_EQ(e["url"].toString().toStdString(), threadUrl(i));
        EXPECT_EQ(e["posts"].toInt(), 5 + added) << i;
        EXPECT_EQ(e["new"].toInt(), added) << i;
        EXPECT_EQ(e["updated"].toBool(), added > 0) << i;
        EXPECT_EQ(e["code"].toInt(), 0);
    }
    // The window program's bookmark list shows the same.
    CTavloBookmarkFile& again = CTavloBookmarkFile::Instance();
    ASSERT_TRUE(again.Load(CTavloBookmarkFile::GetDefaultPath()));
    ASSERT_EQ(again.GetCount(), n);
    EXPECT_EQ(again.Get(10)->GetNewCount(), 2);
    EXPECT_EQ(again.Get(11)->GetNewCount(), 0);
}

int closedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(fd);
        return 0;
    }
    close(fd); // nobody listens there now
    return ntohs(a.sin_port);
}

TEST_F(Headless, ARefusedHostAndACutTransferFailWithTheirMessages) {
    ASSERT_EQ(ctl("create", 2, "&posts=20"), "ok");
    ASSERT_EQ(ctl("mode", 2, "&mode=cut"), "ok");
    Ran r = tavlo({"--fetch", threadUrl(2)});
    EXPECT_EQ(r.rc, 1);
    EXPECT_TRUE(r.out.empty()) << r.out;
    EXPECT_NE(r.err.find(threadUrl(2) + ": HTTPエラー(RECV)"), std::string::npos) << r.err;
    // The whole lines stayed; the next fetch completes the log.
    EXPECT_EQ(CTavloDatFile::Count(CVornString(logPath(2))), 19);
    ASSERT_EQ(ctl("mode", 2, "&mode="), "ok");
    r = tavlo({"--fetch", threadUrl(2)});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(ReadAll(logPath(2)) == ctl("dat", 2));

    // A board list cut short leaves the stored one alone.
    const std::string local = fx.root() + "/" + kHost + "/" + kBoard + "/subject.txt";
    ASSERT_EQ(tavlo({"--fetch", kBoardUrl}).rc, 0);
    const std::string before = ReadAll(local);
    ASSERT_EQ(fx.sim.control(std::string("/_ctl/subject?host=") + kHost + "&board=" + kBoard +
                             "&mode=cut"),
              "ok");
    ASSERT_EQ(fx.sim.control(std::string("/_ctl/advance?host=") + kHost + "&board=" + kBoard +
                             "&posts=0&new=1"),
              "ok");
    r = tavlo({"--json", "--fetch", kBoardUrl});
    EXPECT_EQ(r.rc, 1);
    QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out))
                        .object()["fetch"]
                        .toArray()[0]
                        .toObject();
    EXPECT_EQ(o["code"].toInt(), -102);
    EXPECT_TRUE(ReadAll(local) == before);

    // Nobody answers at the proxy's port.
    const int port = closedPort();
    ASSERT_GT(port, 0);
    CTavloSettings::Instance().SetInt("ProxyPort", port);
    r = tavlo({"--fetch", threadUrl(2)});
    EXPECT_EQ(r.rc, 1);
    EXPECT_NE(r.err.find("接続エラー"), std::string::npos) << r.err;
    r = tavlo({"--json", "--fetch", threadUrl(2)});
    EXPECT_EQ(r.rc, 1);
    o = QJsonDocument::fromJson(QByteArray::fromStdString(r.out))
            .object()["fetch"]
            .toArray()[0]
            .toObject();
    EXPECT_EQ(o["code"].toInt(), -100);
    EXPECT_EQ(o["error"].toString(), QString::fromUtf8("接続エラー"));
    // Nothing stored was lost.
    EXPECT_TRUE(ReadAll(logPath(2)) == ctl("dat", 2));

    // Not a thread or a board: a wrong command line.
    EXPECT_EQ(tavlo({"--fetch", "mailto:someone"}).rc, 2);
}

TEST_F(Headless, AnInterruptStopsTheFetchAndTheCutLogIsCompletedNextTime) {
    ASSERT_EQ(ctl("create", 4, "&posts=30"), "ok");
    ASSERT_EQ(ctl("mode", 4, "&mode=slow&delay=300"), "ok");
    Child c({TavloExe(), "--ini", ini(), "--fetch", threadUrl(4)},
            {{"DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
    // Some whole lines have arrived.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (CTavloDatFile::Count(CVornString(logPath(4))) < 1 && c.running() &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(c.running()) << c.err();
    c.signal(SIGINT);
    EXPECT_EQ(c.wait(), 130) << c.err();
    const int kept = CTavloDatFile::Count(CVornString(logPath(4)));
    EXPECT_GE(kept, 1);
    EXPECT_LT(kept, 30);
    // Marked out of date, so that the next fetch is not answered "not modified".
    int64_t size = 0, time = -1;
    ASSERT_TRUE(CTavloPath::GetFileStatus(CVornString(logPath(4)), &size, &time));
    EXPECT_EQ(time, 0);
    EXPECT_EQ(CTavloStoreLock::ReadHolder(CTavloStoreLock::GetPath(CVornString(fx.root()))), 0);
    ASSERT_EQ(ctl("mode", 4, "&mode="), "ok");
    Ran r = tavlo({"--fetch", threadUrl(4)});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(ReadAll(logPath(4)) == ctl("dat", 4));
}

TEST_F(Headless, AnInterruptedBookmarkCheckSaysWhichBookmarksWereNotChecked) {
    const int n = 4;
    CTavloSettings::Instance().SetInt("ThreadMax", 1);
    VornCreateDirectories(fx.root().c_str());
    CTavloBookmarkFile& list = CTavloBookmarkFile::Instance();
    list.Load(CTavloBookmarkFile::GetDefaultPath());
    for (int i = n - 1; i >= 0; --i) {
        ASSERT_EQ(ctl("create", 10 + i, "&posts=30"), "ok");
        ASSERT_EQ(ctl("mode", 10 + i, "&mode=slow&delay=300"), "ok");
        ASSERT_TRUE(list.Add(CVornString(kBoardUrl), CVornString("S" + std::to_string(i)),
                             CVornString(key(10 + i)), CVornString(), CVornString(kBoard)));
    }
    ASSERT_TRUE(list.Save());
    CTavloBookmarkFile::Destroy();
    Child c({TavloExe(), "--ini", ini(), "--check-bookmarks"},
            {{"DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (CTavloDatFile::Count(CVornString(logPath(10))) < 1 && c.running() &&
           std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_TRUE(c.running()) << c.err();
    c.signal(SIGINT);
    EXPECT_EQ(c.wait(), 130) << c.err();
    std::vector<std::string> lines = Lines(c.out());
    ASSERT_EQ(lines.size(), size_t(n)) << c.out();
    // One at a time: the later ones never started.
    for (int i = 1; i < n; ++i) {
        std::vector<std::string> f = Fields(lines[size_t(i)]);
        ASSERT_EQ(f.size(), 5u) << lines[size_t(i)];
        EXPECT_EQ(f[4], "stopped");
        EXPECT_FALSE(CTavloPath::GetFileStatus(CVornString(logPath(10 + i))));
    }
}

TEST_F(Headless, NeverRunsWhileTheWindowProgramHoldsTheStoreAndTakesOverAStaleLock) {
    ASSERT_EQ(ctl("create", 3, "&posts=4"), "ok");
    // The window program, waiting at its first question (the missing board list).
    Child window({TavloExe(), "--ini", ini()}, {{"QT_QPA_PLATFORM", "offscreen"}});
    ASSERT_GT(window.pid(), 0);
    const CVornString lockPath = CTavloStoreLock::GetPath(CVornString(fx.root()));
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (CTavloStoreLock::ReadHolder(lockPath) != window.pid() &&
           std::chrono::steady_clock::now() < end && window.running())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_EQ(CTavloStoreLock::ReadHolder(lockPath), window.pid()) << window.err();

    Ran r = tavlo({"--fetch", threadUrl(3)});
    EXPECT_EQ(r.rc, 3);
    EXPECT_NE(r.err.find("pid " + std::to_string(window.pid())), std::string::npos) << r.err;
    EXPECT_FALSE(CTavloPath::GetFileStatus(CVornString(logPath(3))));

    // The window program dies without a word: its pid stays in the file, the lock does not.
    window.signal(SIGKILL);
    window.wait();
    EXPECT_EQ(CTavloStoreLock::ReadHolder(lockPath), window.pid());
    r = tavlo({"--fetch", threadUrl(3)});
    EXPECT_EQ(r.rc, 0) << r.err;
    EXPECT_TRUE(ReadAll(logPath(3)) == ctl("dat", 3));
}

TEST_F(Headless, TheWindowProgramWaitsItsTurnToo) {
    BoxLog boxes;
    CTavloStoreLock other;
    VornCreateDirectories(fx.root().c_str());
    ASSERT_EQ(other.Acquire(CVornString(fx.root())), 1);
    {
        ShellRun run(ini());
        EXPECT_EQ(run.start(), 0);
        ASSERT_EQ(boxes.count(), 1u);
        EXPECT_EQ(boxes.last().text, QString::fromUtf8("ログの保存先は他のtavlo(pid ") +
                                         QString::number(getpid()) +
                                         QString::fromUtf8(")が使用中です\ntavloを終了します"));
        EXPECT_EQ(run.frame(), nullptr);
    }
    other.Release();
    CTavloSettings::SetProfilePath(ini().c_str());
    ShellRun run(ini());
    EXPECT_EQ(run.start(), 1);
    EXPECT_EQ(CTavloStoreLock::ReadHolder(CTavloStoreLock::GetPath(CVornString(fx.root()))),
              getpid());
}

} // namespace
