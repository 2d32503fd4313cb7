// Restarting the socket API makes every blocked call of every thread fail promptly.

#include "net_support.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

class RestartTest : public FixtureTest {
protected:
    void TearDown() override { CVornWinSock::InitSocket(2, 2); }
};

// One blocked network call on a thread of its own; records when it returned and how.
struct Blocked {
    std::thread thread;
    std::atomic<bool> waiting{false};
    std::atomic<int64_t> returnedAt{0};
    std::atomic<int> result{99};
    Recorder rec;

    // Marks the call as blocked once the callback has seen `message` `times` times.
    void watch(int message, int times = 1) {
        rec.hook = [this, message, times](int m) {
            if (m == message && rec.seen[m] >= times)
                waiting = true;
        };
    }
    void finish(int r) {
        result = r;
        returnedAt = NowMs();
    }
};

bool waitAll(std::vector<Blocked*> calls) {
    for (int i = 0; i < 500; ++i) {
        bool all = true;
        for (Blocked* b : calls)
            all = all && b->waiting;
        if (all)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

TEST_F(RestartTest, BlockedCallsOnOtherThreadsFailWithinASecond) {
    FixtureServer* fx = s_fixture;
    Blocked connect, header, body, plain;

    connect.watch(MESSAGE_CONNECT_WAIT);
    connect.thread = std::thread([&] {
        CVornAsyncSocket s;
        s.SetCallbackProc(Recorder::Callback, &connect.rec);
        connect.finish(s.Connect("127.0.0.1", fx->blackhole(), 30));
    });

    header.watch(MESSAGE_HEADER_WAIT);
    header.thread = std::thread([&] {
        CVornHttpClient c(fx->url("/stall").c_str());
        c.SetCallbackProc(Recorder::Callback, &header.rec);
        if (!c.Connect(5)) {
            header.finish(-9);
            header.waiting = true;
            return;
        }
        header.finish(c.Get());
    });

    body.thread = std::thread([&] {
        CVornHttpClient c(fx->url("/stallbody?n=100000&sent=500").c_str());
        c.SetCallbackProc(Recorder::Callback, &body.rec);
        if (!c.Connect(5) || !c.Get()) {
            body.finish(-9);
            body.waiting = true;
            return;
        }
        char buf[4096];
        int n;
        while ((n = c.Recv(buf, sizeof buf)) > 0)
            body.waiting = true; // the received part arrived; the next Recv blocks
        body.finish(n);
    });

    // A blocking receive on a plain socket, outside the wait steps.
    plain.thread = std::thread([&] {
        CVornSocket s;
        if (!s.Create() || !s.Connect("127.0.0.1", fx->http())) {
            plain.finish(-9);
            plain.waiting = true;
            return;
        }
        const char req[] = "GET /stall HTTP/1.1\r\n\r\n";
        s.Send(req, sizeof req - 1);
        plain.waiting = true;
        char buf[16];
        plain.finish(s.Recv(buf, sizeof buf));
    });

    ASSERT_TRUE(waitAll({&connect, &header, &body, &plain}));
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(1, CVornWinSock::CleanupSocket());
    ASSERT_EQ(1, CVornWinSock::InitSocket(2, 2));
    for (Blocked* b : {&connect, &header, &body, &plain})
        b->thread.join();

    EXPECT_EQ(0, connect.result.load());
    EXPECT_EQ(0, header.result.load());
    EXPECT_EQ(-1, body.result.load());
    EXPECT_EQ(-1, plain.result.load());

    // New work goes through after the restart.
    CVornHttpClient c(fx->url("/len?n=100").c_str());
    ASSERT_EQ(1, c.Connect(5));
    ASSERT_EQ(1, c.Get());
    std::string got;
    EXPECT_EQ(0, ReadBody(c, got));
    EXPECT_EQ(100u, got.size());
}

TEST_F(RestartTest, SocketsOfTheOldApiStayDead) {
    CVornHttpClient c(s_fixture->url("/len?n=100").c_str());
    c.SetKeepAlive(1);
    ASSERT_EQ(1, c.Connect(5));
    ASSERT_EQ(1, CVornWinSock::CleanupSocket());
    // Nothing can be opened while stopped.
    CVornHttpClient d(s_fixture->url("/len?n=100").c_str());
    EXPECT_EQ(0, d.Connect(5));
    ASSERT_EQ(1, CVornWinSock::InitSocket(2, 2));
    EXPECT_EQ(0, c.Get());
    char buf[8];
    EXPECT_EQ(-1, c.Recv(buf, sizeof buf));
    EXPECT_EQ(1, c.Close());
    // The same object can connect afresh.
    ASSERT_EQ(1, c.Connect(5));
    ASSERT_EQ(1, c.Get());
    EXPECT_EQ(200, c.GetResultCode());
}

} // namespace
