#include "fetch_support.h"
#include "tavlo_bbs_manager.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_bookmark_updater.h"
#include "tavlo_info_file.h"
#include "tavlo_net_hooks.h"
#include "tavlo_path.h"
#include "vorn_thread.h"
#include "vorn_winsock.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <map>

namespace {

const char kHost[] = "news.example-bbs.test";
const char kBoardUrl[] = "http://news.example-bbs.test/mark/";

class Updater : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(fx.sim.ok()); }
    static std::string key(int i) { return std::to_string(1710000000 + i); }
    std::string ctl(const std::string& op, int i, const std::string& more = "") {
        return fx.sim.control("/_ctl/" + op + "?host=" + kHost + "&board=mark&key=" + key(i) +
                              more);
    }
    void makeBookmarks(CTavloBookmarkFile& list, int n, int posts = 10) {
        for (int i = n - 1; i >= 0; --i) {
            ASSERT_EQ(ctl("create", i, "&posts=" + std::to_string(posts)), "ok");
            ASSERT_TRUE(list.Add(CVornString(kBoardUrl), CVornString("t" + std::to_string(i)),
                                 CVornString(key(i)), CVornString("mark"), CVornString("mark")));
        }
    }
    std::string logPath(int i) {
        return CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString(key(i))).str();
    }
    // Largest number of log requests the server was answering at one moment.
    int serverOverlap() { return fx.sim.PeakConcurrent("/mark/dat/"); }
    void check(CTavloBookmarkUpdater& updater, CTavloBookmarkFile& list) {
        ASSERT_TRUE(updater.Start(list));
        updater.Wait();
    }

    BoardFixture fx;
    RecordingWindow window;
};

TEST_F(Updater, NewPostsFailuresAndBoundedParallelism) {
    CTavloBookmarkFile list;
    makeBookmarks(list, 24);
    CTavloSettings::Instance().SetInt("ThreadMax", 4);
    CTavloBookmarkUpdater updater(&window);
    std::atomic<int> rows{0};
    updater.SetRowChanged([&](CTavloBookmarkItem*, int) { ++rows; });
    window.emulateView = true;
    check(updater, list); // every log arrives
    for (int i = 0; i < 24; ++i) {
        ASSERT_EQ(ReadAll(logPath(i)), ctl("dat", i)) << i;
        // Never read: every post counts as new.
        CTavloBookmarkItem* e = list.Get(list.FindThreadUrl(CVornString(kBoardUrl + key(i))));
        ASSERT_NE(e, nullptr);
        EXPECT_EQ(e->GetCount(), 10);
        EXPECT_EQ(e->GetNewCount(), 10);
        // The reader reads it to the end.
        CTavloInfoFile info;
        CTavloInfoFile::Create(CVornString(kBoardUrl), CVornString(key(i)), info);
        info.Max = 10;
        info.New = false;
        CTavloInfoFile::Write(info);
    }

    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(ctl("append", i, "&n=5"), "ok");
    for (int i = 20; i < 24; ++i)
        ASSERT_EQ(ctl("mode", i, "&mode=gone"), "ok");
    fx.sim.control("/_ctl/latency?ms=60");
    fx.sim.clearRequests();
    window.clear();
    rows = 0;
    check(updater, list);
    fx.sim.control("/_ctl/latency?ms=0");

    EXPECT_LE(updater.GetPeakWorkers(), 4);
    EXPECT_GE(updater.GetPeakWorkers(), 2);
    EXPECT_LE(serverOverlap(), 4);
    EXPECT_GE(serverOverlap(), 2);
    EXPECT_EQ(rows, 48); // each entry drawn when checking starts and when it ends
    for (int p = 0; p < list.GetCount(); ++p) {
        CTavloBookmarkItem* e = list.Get(p);
        int i = atoi(e->GetKey().c_str()) - 1710000000;
        EXPECT_EQ(e->IsChecking(), 0);
        if (i < 8) {
            EXPECT_EQ(e->IsUpdated(), 1) << i;
            EXPECT_EQ(e->GetNewCount(), 5) << i;
            EXPECT_EQ(e->GetCount(), 15) << i;
        } else {
            EXPECT_EQ(e->GetNewCount(), 0) << i;
        }
        EXPECT_EQ(e->IsError(), i >= 20 ? 1 : 0) << i;
    }
}

TEST_F(Updater, ThreadMaxOneFetchesStrictlyOneAfterAnother) {
    CTavloBookmarkFile list;
    makeBookmarks(list, 6);
    CTavloSettings::Instance().SetInt("ThreadMax", 1);
    CTavloBookmarkUpdater updater(&window);
    fx.sim.control("/_ctl/latency?ms=30");
    check(updater, list);
    fx.sim.control("/_ctl/latency?ms=0");
    EXPECT_EQ(updater.GetPeakWorkers(), 1);
    EXPECT_EQ(serverOverlap(), 1);
}

std::atomic<bool> g_cancel{false};
int cancelCallback(CVornSocketMessage& message, void*) {
    if (g_cancel)
        message.result = 1;
    return 0;
}

TEST_F(Updater, CancelEndsEveryWorkerAndKeepsLogsWhole) {
    // As the main window's progress callback: a set cancel flag stops every transfer.
    g_cancel = false;
    TavloSetSocketCallback(cancelCallback);
    CTavloBookmarkFile list;
    makeBookmarks(list, 8, 400);
    CTavloSettings::Instance().SetInt("ThreadMax", 4);
    for (int i = 0; i < 8; ++i)
        ASSERT_EQ(ctl("mode", i, "&mode=slow&delay=20"), "ok");
    std::atomic<bool> stop{false};
    CTavloBookmarkUpdater updater(&window);
    updater.SetStopRequested([&] { return stop.load(); });
    ASSERT_TRUE(updater.Start(list));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    ASSERT_TRUE(updater.IsRunning());
    CVornTime timer;
    stop = true;
    g_cancel = true;
    CVornWinSock::CleanupSocket();
    CVornWinSock::InitSocket(2, 2);
    updater.Wait();
    TavloSetSocketCallback(nullptr);
    for (int i = 0; i < 8; ++i) {
        std::string local = ReadAll(logPath(i));
        std::string full = ctl("dat", i);
        EXPECT_EQ(full.compare(0, local.size(), local), 0) << i;
        if (!local.empty()) {
            EXPECT_EQ(local.back(), '\n') << i;
        }
    }
}

} // namespace
