#include "fetch_support.h"
#include "tavlo_bbs_manager.h"
#include "tavlo_path.h"
#include "vorn_file.h"

#include <atomic>
#include <gtest/gtest.h>
#include <thread>

namespace {

const char kHost[] = "news.example-bbs.test";
const char kBoard[] = "test";
const char kBoardUrl[] = "http://news.example-bbs.test/test/";

class Fetch : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fx.sim.ok()); }

    std::string ctl(const std::string& op, const std::string& key, const std::string& more = "") {
        return fx.sim.control("/_ctl/" + op + "?host=" + kHost + "&board=" + kBoard +
                              "&key=" + key + more);
    }
    void create(const std::string& key, int posts) {
        ASSERT_EQ(ctl("create", key, "&posts=" + std::to_string(posts)), "ok");
    }
    std::string serverDat(const std::string& key) { return ctl("dat", key); }
    std::string logPath(const std::string& key) {
        return CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString(key)).str();
    }
    std::string localDat(const std::string& key) { return ReadAll(logPath(key)); }
    int fetch(const std::string& key) {
        CVornString error;
        return CTavloBbsManager::Instance().Fetch(CVornString(kBoardUrl), CVornString(key), &window,
                                                  error);
    }
    // The requests for one thread's log, in order.
    std::vector<std::string> datRequests(const std::string& key) {
        std::vector<std::string> out;
        for (auto& line : fx.sim.requests())
            if (line.find("/dat/" + key + ".dat") != std::string::npos)
                out.push_back(line);
        return out;
    }

    BoardFixture fx;
    RecordingWindow window;
};

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST_F(Fetch, FirstFetchThenDifferentialThenNotModified) {
    create("1700000001", 20);
    ASSERT_EQ(fetch("1700000001"), 0);
    EXPECT_EQ(localDat("1700000001"), serverDat("1700000001"));
    auto reqs = datRequests("1700000001");
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_FALSE(has(reqs[0], "\"range\""));
    EXPECT_FALSE(has(reqs[0], "if-modified-since"));
    EXPECT_TRUE(has(reqs[0], "\"accept-encoding\": \"gzip,deflate\""));
    EXPECT_TRUE(has(reqs[0], "\"status\": 200"));
    auto open = window.of(CTavloMessage::TYPE_OPENFILE);
    ASSERT_EQ(open.size(), 1u);
    EXPECT_EQ(open[0].number, 1); // fresh
    EXPECT_EQ(window.types().front(), CTavloMessage::TYPE_OPENFILE);
    EXPECT_EQ(window.types().back(), CTavloMessage::TYPE_CLOSEFILE);
    EXPECT_EQ(window.of(CTavloMessage::TYPE_CLOSEFILE)[0].number,
              static_cast<int>(serverDat("1700000001").size()));

    // Three more posts: only they travel, asked for from one byte before the end.
    std::string before = localDat("1700000001");
    ASSERT_EQ(ctl("append", "1700000001", "&n=3"), "ok");
    window.clear();
    fx.sim.clearRequests();
    ASSERT_EQ(fetch("1700000001"), 0);
    std::string after = localDat("1700000001");
    EXPECT_EQ(after, serverDat("1700000001"));
    reqs = datRequests("1700000001");
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_TRUE(has(reqs[0], "\"range\": \"bytes=" + std::to_string(before.size() - 1) + "-\""));
    EXPECT_TRUE(has(reqs[0], "if-modified-since"));
    EXPECT_TRUE(has(reqs[0], "\"accept-encoding\": \"identity\""));
    EXPECT_TRUE(has(reqs[0], "\"status\": 206"));
    auto open2 = window.of(CTavloMessage::TYPE_OPENFILE);
    ASSERT_EQ(open2.size(), 1u);
    EXPECT_EQ(open2[0].number, 0);
    int written = window.of(CTavloMessage::TYPE_CLOSEFILE)[0].number;
    EXPECT_EQ(written, static_cast<int>(after.size() - before.size())); // the LF byte excluded
    std::string appended;
    for (auto& w : window.of(CTavloMessage::TYPE_WRITEFILE))
        appended += w.text;
    EXPECT_EQ(appended, after.substr(before.size()));
    auto progress = window.of(CTavloMessage::TYPE_READURL);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back().number, written + 1); // the LF byte counted as received

    // Nothing new: 304, an open and a close message, nothing written. (The server stamps its
    // changes a second ahead; date the log after that.)
    VornSetFileTime(logPath("1700000001").c_str(), time(nullptr) + 60);
    window.clear();
    fx.sim.clearRequests();
    ASSERT_EQ(fetch("1700000001"), 0);
    EXPECT_EQ(localDat("1700000001"), after);
    reqs = datRequests("1700000001");
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_TRUE(has(reqs[0], "\"status\": 304"));
    EXPECT_EQ(window.types(),
              (std::vector<int>{CTavloMessage::TYPE_OPENFILE, CTavloMessage::TYPE_CLOSEFILE}));
    EXPECT_EQ(window.of(CTavloMessage::TYPE_CLOSEFILE)[0].number, 0);
}

TEST_F(Fetch, ChangedServerLogIsRepairedAndBackupKeptUntilSuccess) {
    create("1700000002", 15);
    ASSERT_EQ(fetch("1700000002"), 0);
    std::string old = localDat("1700000002");
    // A deleted post shifts every later byte: the byte before the range is no longer LF.
    ASSERT_EQ(ctl("abone", "1700000002", "&post=2"), "ok");
    ASSERT_EQ(ctl("append", "1700000002", "&n=1"), "ok");

    // The full fetch is cut in the middle: the old log comes back whole.
    ASSERT_EQ(ctl("mode", "1700000002", "&mode=cut"), "ok");
    window.clear();
    EXPECT_NE(fetch("1700000002"), 0);
    EXPECT_EQ(localDat("1700000002"), old);
    EXPECT_FALSE(VornFileExists((logPath("1700000002") + ".bak").c_str()));
    auto reload = window.of(CTavloMessage::TYPE_RELOADFILE);
    EXPECT_EQ(reload.size(), 1u);

    ASSERT_EQ(ctl("mode", "1700000002", "&mode="), "ok");
    fx.sim.clearRequests();
    ASSERT_EQ(fetch("1700000002"), 0);
    EXPECT_EQ(localDat("1700000002"), serverDat("1700000002"));
    EXPECT_FALSE(VornFileExists((logPath("1700000002") + ".bak").c_str()));
    auto reqs = datRequests("1700000002");
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_TRUE(has(reqs[0], "\"range\""));  // the check
    EXPECT_FALSE(has(reqs[1], "\"range\"")); // the repair
}

TEST_F(Fetch, LocalLogLongerThanServersGives416AndRepair) {
    create("1700000003", 5);
    ASSERT_EQ(fetch("1700000003"), 0);
    std::string extra = localDat("1700000003") + std::string(200, 'x') + "<>\n";
    WriteAll(logPath("1700000003"), extra);
    // Out of date: a log written this second could be newer than the server's and get a 304
    // instead (that made this test fail on a busy machine).
    ASSERT_EQ(VornSetFileTime(logPath("1700000003").c_str(), 0), 1);
    fx.sim.clearRequests();
    ASSERT_EQ(fetch("1700000003"), 0);
    auto reqs = datRequests("1700000003");
    ASSERT_EQ(reqs.size(), 2u);
    EXPECT_TRUE(has(reqs[0], "\"status\": 416"));
    EXPECT_EQ(localDat("1700000003"), serverDat("1700000003"));
}

TEST_F(Fetch, GoneHtmlPageAndCutBody) {
    create("1700000004", 8);
    ASSERT_EQ(fetch("1700000004"), 0);
    std::string stored = localDat("1700000004");

    ASSERT_EQ(ctl("mode", "1700000004", "&mode=gone"), "ok");
    EXPECT_EQ(fetch("1700000004"), -104);
    EXPECT_EQ(localDat("1700000004"), stored);

    // An HTML error page is not a log: nothing of it is written.
    create("1700000005", 1);
    ASSERT_EQ(ctl("mode", "1700000005", "&mode=html"), "ok");
    EXPECT_EQ(fetch("1700000005"), -202);
    EXPECT_EQ(localDat("1700000005"), "");

    // A body cut in the middle of a line: the partial line is not stored; the next fetch
    // completes it.
    create("1700000006", 30);
    ASSERT_EQ(ctl("mode", "1700000006", "&mode=cut"), "ok");
    EXPECT_EQ(fetch("1700000006"), 0);
    std::string partial = localDat("1700000006");
    std::string full = serverDat("1700000006");
    ASSERT_FALSE(partial.empty());
    EXPECT_LT(partial.size(), full.size());
    EXPECT_EQ(partial.back(), '\n');
    EXPECT_EQ(full.compare(0, partial.size(), partial), 0);
    // Out of date, so that the next request is not answered "not modified".
    EXPECT_EQ(VornGetFileTime(logPath("1700000006").c_str()), 0);
    ASSERT_EQ(ctl("mode", "1700000006", "&mode="), "ok");
    ASSERT_EQ(fetch("1700000006"), 0);
    EXPECT_EQ(localDat("1700000006"), full);
}

TEST_F(Fetch, LastLineWithoutLineEndMarksTheLogOutOfDate) {
    create("1700000010", 4);
    ASSERT_EQ(fx.sim.control(std::string("/_ctl/unended?host=") + kHost + "&board=" + kBoard +
                             "&key=1700000010"),
              "ok");
    ASSERT_EQ(fetch("1700000010"), 0);
    std::string stored = localDat("1700000010");
    ASSERT_FALSE(stored.empty());
    EXPECT_EQ(stored.back(), '\n');
    EXPECT_EQ(VornGetFileTime(logPath("1700000010").c_str()), 0);
    // The server completes the line without a newer time than the log could have: the next
    // fetch still asks for it.
    ASSERT_EQ(fx.sim.control(std::string("/_ctl/ended?host=") + kHost + "&board=" + kBoard +
                             "&key=1700000010"),
              "ok");
    ASSERT_EQ(fetch("1700000010"), 0);
    EXPECT_EQ(localDat("1700000010"), serverDat("1700000010"));
}

TEST_F(Fetch, AppendFailingPartWayLeavesNoPartialLine) {
    create("1700000011", 5);
    ASSERT_EQ(fetch("1700000011"), 0);
    std::string stored = localDat("1700000011");
    ASSERT_EQ(ctl("append", "1700000011", "&n=3"), "ok");
    VornSetFileFault(VORN_FAULT_SHORT_WRITE); // the disk fills up in the middle of a line
    EXPECT_EQ(fetch("1700000011"), -203);
    VornSetFileFault(VORN_FAULT_NONE);
    EXPECT_EQ(localDat("1700000011"), stored);
    ASSERT_EQ(fetch("1700000011"), 0);
    EXPECT_EQ(localDat("1700000011"), serverDat("1700000011"));
}

TEST_F(Fetch, LinesSplitAcrossBlocksAreWrittenOnceWhole) {
    create("1700000007", 600); // well over one 16 KB block
    ASSERT_EQ(fetch("1700000007"), 0);
    std::string dat = serverDat("1700000007");
    ASSERT_GT(dat.size(), 40000u);
    EXPECT_EQ(localDat("1700000007"), dat);
    auto writes = window.of(CTavloMessage::TYPE_WRITEFILE);
    EXPECT_GT(writes.size(), 1u);
    for (auto& w : writes) {
        ASSERT_FALSE(w.text.empty());
        EXPECT_EQ(w.text.back(), '\n');
    }
}

TEST_F(Fetch, SecondFetchOfOneThreadIsRefused) {
    create("1700000008", 200);
    ASSERT_EQ(ctl("mode", "1700000008", "&mode=slow&delay=5"), "ok");
    std::atomic<int> first{1};
    std::thread worker([&] { first = fetch("1700000008"); });
    CVornString url(kBoardUrl), key("1700000008");
    for (int i = 0; i < 500 && !CTavloBbsManager::Instance().IsFetching(url, key); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_TRUE(CTavloBbsManager::Instance().IsFetching(url, key));
    RecordingWindow other;
    CVornString error;
    EXPECT_EQ(CTavloBbsManager::Instance().Fetch(url, key, &other, error), 0);
    EXPECT_TRUE(other.entries.empty()); // fetched nothing
    worker.join();
    EXPECT_EQ(first, 0);
    EXPECT_FALSE(CTavloBbsManager::Instance().IsFetching(url, key));
    EXPECT_EQ(datRequests("1700000008").size(), 1u) << ReadAll(fx.sim.logPath());
    EXPECT_EQ(localDat("1700000008"), serverDat("1700000008"));
}

TEST_F(Fetch, HostileAnswersNeverDamageStoredLines) {
    create("1700000009", 10);
    ASSERT_EQ(fetch("1700000009"), 0);
    std::string stored = localDat("1700000009");
    ASSERT_EQ(ctl("append", "1700000009", "&n=2"), "ok");
    for (const char* mode : {"garbage", "hugeline"}) {
        ASSERT_EQ(ctl("mode", "1700000009", std::string("&mode=") + mode), "ok");
        int r = fetch("1700000009");
        std::string now = localDat("1700000009");
        // What was stored stays byte for byte; anything added ends in a line end.
        ASSERT_GE(now.size(), stored.size()) << mode << " " << r;
        EXPECT_EQ(now.compare(0, stored.size(), stored), 0) << mode;
        EXPECT_EQ(now.back(), '\n') << mode;
        stored = now;
    }
    // A huge line never ends up half written.
    EXPECT_EQ(localDat("1700000009").find(std::string(1000, 'x')), std::string::npos);
}

} // namespace
