#include "test_util.h"
#include "vorn_file.h"
#include "vorn_log.h"
#include "vorn_thread.h"

#include <atomic>
#include <gtest/gtest.h>

TEST(Thread, BeginWaitCancel) {
    CVornThread t;
    std::atomic<int> loops{0};
    ASSERT_EQ(t.Begin([&](CVornThread& self) {
        for (int i = 0; i < 1000 && !self.Canceled(); ++i) {
            ++loops;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return self.Canceled() ? 7 : 0;
    }),
              1);
    EXPECT_TRUE(t.IsRunning());
    EXPECT_EQ(t.Begin(), 0); // already running
    EXPECT_EQ(t.Wait(10), 0);
    t.Cancel();
    EXPECT_EQ(t.Wait(5000), 1);
    EXPECT_FALSE(t.IsRunning());
    EXPECT_EQ(t.GetExitCode(), 7);
    // It can run again after it ended.
    ASSERT_EQ(t.Begin([](CVornThread&) { return 3; }), 1);
    EXPECT_EQ(t.Wait(), 1);
    EXPECT_EQ(t.GetExitCode(), 3);
}

TEST(Date, HttpDatesUnderTheCLocale) {
    EXPECT_EQ(CVornDate::HttpDate(784111777), "Sun, 06 Nov 1994 08:49:37 GMT");
    EXPECT_EQ(CVornDate::ParseHttpDate("Sun, 06 Nov 1994 08:49:37 GMT"), 784111777);
    EXPECT_EQ(CVornDate::ParseHttpDate("Sunday, 06-Nov-94 08:49:37 GMT"), 784111777);
    EXPECT_EQ(CVornDate::ParseHttpDate("Sun Nov  6 08:49:37 1994"), 784111777);
    EXPECT_EQ(CVornDate::ParseHttpDate("yesterday"), -1);
    EXPECT_EQ(CVornDate::ParseHttpDate("Sun, 06 Foo 1994 08:49:37 GMT"), -1);
    CVornDate d = CVornDate::FromTime(784111777, true);
    EXPECT_EQ(d.Format("%Y/%m/%d %H:%M:%S"), "1994/11/06 08:49:37");
    EXPECT_EQ(d.ToTime(true), 784111777);
}

TEST(Log, OffUntilSwitchedOnThenOneFilePerModule) {
    TempDir dir;
    PrintLog(__LINE__, 0, "T::Off", "%s", "never written");
    SetLogdir(dir.path().c_str());
    SetModule("tavlo");
    SetLoglevel("1");
    EXPECT_TRUE(VornLogEnabled(1));
    EXPECT_FALSE(VornLogEnabled(2));
    VLOG(1, "CTavloDatCtrl::JumpNumber", "%d(msec)", 12);
    VLOG(2, "CTavloDatCtrl::JumpNumber", "trace is off");
    std::vector<std::thread> ts;
    for (int i = 0; i < 4; ++i)
        ts.emplace_back([i] {
            for (int k = 0; k < 50; ++k)
                VLOG(0, "T::Threads", "thread %d line %d", i, k);
        });
    for (auto& t : ts)
        t.join();
    SetLoglevel("");
    EXPECT_FALSE(VornLogEnabled(0));
    std::string text = ReadAll(dir.file("tavlo.log"));
    EXPECT_NE(text.find("CTavloDatCtrl::JumpNumber("), std::string::npos);
    EXPECT_NE(text.find(") 12(msec)\n"), std::string::npos);
    EXPECT_EQ(text.find("trace is off"), std::string::npos);
    EXPECT_EQ(text.find("never written"), std::string::npos);
    size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    EXPECT_EQ(lines, 201u);
    SetLogdir("");
    SetModule("");
}
