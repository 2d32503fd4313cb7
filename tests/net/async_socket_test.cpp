// Non-blocking connect, asynchronous resolver, wait steps and cancellation, pushback.

#include "net_support.h"
#include "vorn_async_host_ent.h"
#include "vorn_net_internal.h"

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <regex>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

class AsyncSocketTest : public FixtureTest {
protected:
    void TearDown() override { vornnet::SetResolveHook(nullptr); }
};

// Exposes the pushback for tests.
class PushbackSocket : public CVornAsyncSocket {
public:
    using CVornSocket::Seek;
};

TEST_F(AsyncSocketTest, ConnectReportsItsStepsInOrder) {
    Recorder rec;
    CVornAsyncSocket s;
    s.SetCallbackProc(Recorder::Callback, &rec);
    ASSERT_EQ(1, s.Connect("127.0.0.1", s_fixture->http(), 5));
    // CONNECT_BEGIN, some CONNECT_WAIT, CONNECTED; no resolution for a dotted address.
    EXPECT_TRUE(std::regex_match(rec.trace(), std::regex("ia*b"))) << rec.trace();
    EXPECT_EQ(1, s.IsConnected());
    const char req[] = "GET /len?n=10 HTTP/1.1\r\n\r\n";
    EXPECT_EQ(static_cast<int>(sizeof req - 1), s.Send(req, sizeof req - 1));
    EXPECT_TRUE(std::regex_match(rec.trace(), std::regex("ia*bef"))) << rec.trace();
}

TEST_F(AsyncSocketTest, CancelOnConnectBeginStopsBeforeAnyLookup) {
    std::atomic<int> lookups{0};
    vornnet::SetResolveHook([&](const std::string&, std::string* addr) {
        ++lookups;
        *addr = "127.0.0.1";
        return 0;
    });
    Recorder rec;
    rec.cancelOn = MESSAGE_CONNECT_BEGIN;
    CVornAsyncSocket s;
    s.SetCallbackProc(Recorder::Callback, &rec);
    EXPECT_EQ(0, s.Connect("fixture.test", s_fixture->http(), 5));
    EXPECT_EQ("i", rec.trace());
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(0, lookups.load());
}

TEST_F(AsyncSocketTest, NameIsResolvedAsynchronouslyThenConnected) {
    vornnet::SetResolveHook([](const std::string& name, std::string* addr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (name != "fixture.test")
            return EAI_NONAME;
        *addr = "127.0.0.1";
        return 0;
    });
    LogCapture log;
    Recorder rec;
    CVornAsyncSocket s;
    s.SetCallbackProc(Recorder::Callback, &rec);
    ASSERT_EQ(1, s.Connect("fixture.test", s_fixture->http(), 5));
    // Two or three 100 ms waits passed before the answer.
    EXPECT_TRUE(std::regex_match(rec.trace(), std::regex("ij{1,3}a*b"))) << rec.trace();
    EXPECT_TRUE(log.contains("Resolv done[")) << log.text();
    EXPECT_TRUE(log.contains("[fixture.test][127.0.0.1]")) << log.text();
    EXPECT_TRUE(log.contains("Resolv[")) << log.text();
}

TEST_F(AsyncSocketTest, CancelWhileResolvingReturnsAtOnce) {
    vornnet::SetResolveHook([](const std::string&, std::string* addr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        *addr = "127.0.0.1";
        return 0;
    });
    LogCapture log;
    Recorder rec;
    rec.cancelOn = MESSAGE_RESOLVE_WAIT;
    rec.cancelAfter = 3;
    CVornAsyncSocket s;
    s.SetCallbackProc(Recorder::Callback, &rec);
    EXPECT_EQ(0, s.Connect("slow.test", s_fixture->http(), 30));
    EXPECT_EQ(3, rec.count(MESSAGE_RESOLVE_WAIT));
    EXPECT_EQ(0, rec.count(MESSAGE_CONNECT_WAIT));
    EXPECT_TRUE(log.contains("Resolv cancel[")) << log.text();
    EXPECT_TRUE(log.contains("[slow.test][2]")) << log.text();
}

TEST_F(AsyncSocketTest, ResolverErrorFailsWithoutAPlainLookup) {
    std::atomic<int> lookups{0};
    vornnet::SetResolveHook([&](const std::string&, std::string*) {
        ++lookups;
        return EAI_NONAME;
    });
    LogCapture log;
    CVornAsyncSocket s;
    EXPECT_EQ(0, s.Connect("bad.test", s_fixture->http(), 5));
    EXPECT_EQ(1, lookups.load());
    EXPECT_TRUE(log.contains("Resolv error[")) << log.text();
}

TEST_F(AsyncSocketTest, CancelledLookupsWhileDnsIsDownShareABoundedNumberOfThreads) {
    // DNS that answers nothing until told to; the state outlives the test for late threads.
    struct Gate {
        std::mutex mutex;
        std::condition_variable cv;
        bool open = false;
        std::atomic<int> inside{0}, calls{0};
    };
    auto gate = std::make_shared<Gate>();
    vornnet::SetResolveHook([gate](const std::string&, std::string* addr) {
        ++gate->calls;
        ++gate->inside;
        {
            std::unique_lock<std::mutex> lock(gate->mutex);
            gate->cv.wait(lock, [&] { return gate->open; });
        }
        *addr = "127.0.0.1";
        --gate->inside;
        return 0;
    });
    constexpr int kAttempts = 20;
    for (int i = 0; i < kAttempts; ++i) {
        CVornAsyncHostEnt r;
        ASSERT_EQ(1, r.GetHostByName(("down" + std::to_string(i) + ".test").c_str()));
        EXPECT_EQ(0, r.Cancel());
    }
    // Give every attempt the chance to block a thread of its own; time only ends the wait.
    for (int i = 0; i < 300 && gate->inside <= CVornAsyncHostEnt::kMaxLookupThreads; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_LE(gate->inside.load(), CVornAsyncHostEnt::kMaxLookupThreads);
    {
        std::lock_guard<std::mutex> lock(gate->mutex);
        gate->open = true;
    }
    gate->cv.notify_all();
    // The threads come free; a look-up after the outage is answered, and the cancelled ones
    // that were still waiting for a thread never ran.
    CVornAsyncHostEnt after;
    ASSERT_EQ(1, after.GetHostByName("up.test"));
    EXPECT_EQ(0, after.Wait(20000));
    EXPECT_STREQ("127.0.0.1", after.GetAddr());
    EXPECT_LE(gate->calls.load(), CVornAsyncHostEnt::kMaxLookupThreads + 1);
}

TEST_F(AsyncSocketTest, ResolutionIsBoundedByTheTimeout) {
    vornnet::SetResolveHook([](const std::string&, std::string* addr) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2500));
        *addr = "127.0.0.1";
        return 0;
    });
    LogCapture log;
    Recorder rec;
    CVornAsyncSocket s;
    s.SetCallbackProc(Recorder::Callback, &rec);
    int64_t t0 = NowMs();
    EXPECT_EQ(0, s.Connect("slow.test", s_fixture->http(), 1));
    int64_t elapsed = NowMs() - t0;
    EXPECT_GE(elapsed, 900);
    EXPECT_EQ(10, rec.count(MESSAGE_RESOLVE_WAIT));
    EXPECT_TRUE(log.contains("TIMEOUT[")) << log.text();
}

TEST_F(AsyncSocketTest, UnansweredConnectWaitsTimeoutSecondsThenTimesOut) {
    LogCapture log;
    Recorder rec;
    CVornAsyncSocket s;
    s.SetCallbackProc(Recorder::Callback, &rec);
    int64_t t0 = NowMs();
    EXPECT_EQ(0, s.Connect("127.0.0.1", s_fixture->blackhole(), 2));
    int64_t elapsed = NowMs() - t0;
    EXPECT_GE(elapsed, 1900);
    EXPECT_EQ("iaa", rec.trace());
    std::string expect = "(127.0.0.1:" + std::to_string(s_fixture->blackhole()) + ",2)";
    EXPECT_TRUE(log.contains("TIMEOUT[")) << log.text();
    EXPECT_TRUE(log.contains(expect)) << log.text();
}

TEST_F(AsyncSocketTest, CancelDuringConnectWaitStopsPromptly) {
    LogCapture log;
    Recorder rec;
    rec.cancelOn = MESSAGE_CONNECT_WAIT;
    rec.cancelAfter = 2;
    CVornAsyncSocket s;
    s.SetCallbackProc(Recorder::Callback, &rec);
    EXPECT_EQ(0, s.Connect("127.0.0.1", s_fixture->blackhole(), 30));
    EXPECT_EQ("iaa", rec.trace());
    EXPECT_TRUE(log.contains("CANCEL[")) << log.text();
    EXPECT_TRUE(log.contains("TIMEOUT[")) << log.text();
    // The socket is left in blocking mode.
    unsigned long pending = 0;
    EXPECT_EQ(0, s.IOCtl(FIONREAD, &pending));
}

TEST_F(AsyncSocketTest, RefusedConnectFailsAtOnce) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    socklen_t len = sizeof sin;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len);
    close(fd); // nobody listens there now
    LogCapture log;
    CVornAsyncSocket s;
    EXPECT_EQ(0, s.Connect("127.0.0.1", ntohs(sin.sin_port), 5));
    EXPECT_NE(CVornAsyncSocket::WAIT_TIMEOUT, s.GetWaitState()); // refused, not timed out
    EXPECT_TRUE(log.contains("connect error[")) << log.text();
}

TEST_F(AsyncSocketTest, RecvReportsWaitsAndReturnsZeroWhenCancelled) {
    Recorder rec;
    rec.cancelOn = MESSAGE_RECV_WAIT;
    rec.cancelAfter = 2;
    CVornAsyncSocket s;
    s.SetCallbackProc(Recorder::Callback, &rec);
    ASSERT_EQ(1, s.Connect("127.0.0.1", s_fixture->http(), 5));
    const char req[] = "GET /stall HTTP/1.1\r\n\r\n";
    ASSERT_EQ(static_cast<int>(sizeof req - 1), s.Send(req, sizeof req - 1));
    char buf[64];
    int64_t t0 = NowMs();
    EXPECT_EQ(0, s.Recv(buf, sizeof buf));
    // One report after each 1-second wait; the second one cancels at once.
    int64_t elapsed = NowMs() - t0;
    EXPECT_GE(elapsed, 1900);
    EXPECT_EQ(CVornAsyncSocket::WAIT_CANCELED, s.GetWaitState());
    EXPECT_EQ(2, rec.count(MESSAGE_RECV_WAIT));
    EXPECT_EQ(0, rec.count(MESSAGE_RECV_DONE));
}

TEST_F(AsyncSocketTest, RecvTimeoutEndsAnIdleWait) {
    CVornAsyncSocket s;
    s.SetRecvTimeout(1);
    ASSERT_EQ(1, s.Connect("127.0.0.1", s_fixture->http(), 5));
    const char req[] = "GET /stall HTTP/1.1\r\n\r\n";
    ASSERT_EQ(static_cast<int>(sizeof req - 1), s.Send(req, sizeof req - 1));
    char buf[64];
    EXPECT_EQ(0, s.Recv(buf, sizeof buf));
    EXPECT_EQ(CVornAsyncSocket::WAIT_TIMEOUT, s.GetWaitState());
}

TEST_F(AsyncSocketTest, AShortCallbackIntervalReportsOftenAndKeepsTheTimeoutInSeconds) {
    // A window thread asks for frequent callbacks; other threads keep one a second.
    int other = 0;
    std::thread([&] {
        CVornAsyncSocket::SetCallbackInterval(10);
        other = CVornAsyncSocket::CallbackInterval();
    }).join();
    EXPECT_EQ(other, 10);
    EXPECT_EQ(CVornAsyncSocket::CallbackInterval(), 1000);

    CVornAsyncSocket::SetCallbackInterval(10);
    Recorder rec;
    CVornAsyncSocket s;
    s.SetCallbackProc(Recorder::Callback, &rec);
    s.SetRecvTimeout(1);
    ASSERT_EQ(1, s.Connect("127.0.0.1", s_fixture->http(), 5));
    const char req[] = "GET /stall HTTP/1.1\r\n\r\n";
    ASSERT_EQ(static_cast<int>(sizeof req - 1), s.Send(req, sizeof req - 1));
    char buf[64];
    int64_t t0 = NowMs();
    EXPECT_EQ(0, s.Recv(buf, sizeof buf));
    const int64_t elapsed = NowMs() - t0;
    CVornAsyncSocket::SetCallbackInterval(1000);
    EXPECT_EQ(CVornAsyncSocket::WAIT_TIMEOUT, s.GetWaitState());
    // A second of 10-ms waits: far more reports than the one a second-long wait gives, and
    // the timeout still a second (at least).
    EXPECT_GE(rec.count(MESSAGE_RECV_WAIT), 20);
    EXPECT_GE(elapsed, 950);
}

TEST_F(AsyncSocketTest, RecvReportsTheByteCount) {
    Recorder rec;
    CVornAsyncSocket s;
    s.SetCallbackProc(Recorder::Callback, &rec);
    ASSERT_EQ(1, s.Connect("127.0.0.1", s_fixture->http(), 5));
    const char req[] = "GET /close?n=10 HTTP/1.1\r\n\r\n";
    s.Send(req, sizeof req - 1);
    std::string got;
    char buf[4096];
    int n;
    while ((n = s.Recv(buf, sizeof buf)) > 0)
        got.append(buf, static_cast<size_t>(n));
    EXPECT_EQ(0, n);
    EXPECT_EQ(CVornAsyncSocket::WAIT_OK, s.GetWaitState());
    std::lock_guard<std::mutex> lock(rec.mutex);
    intptr_t total = 0;
    for (size_t i = 0; i < rec.messages.size(); ++i)
        if (rec.messages[i] == MESSAGE_RECV_DONE)
            total += rec.data[i];
    EXPECT_EQ(static_cast<intptr_t>(got.size()), total);
    EXPECT_EQ(MESSAGE_RECV_DONE, rec.messages.back());
    EXPECT_EQ(0, rec.data.back());
}

TEST_F(AsyncSocketTest, SeekPushesBackTheTailOfTheLastBlock) {
    int lfd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(lfd, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    listen(lfd, 1);
    socklen_t len = sizeof sin;
    getsockname(lfd, reinterpret_cast<sockaddr*>(&sin), &len);
    PushbackSocket s;
    ASSERT_EQ(1, s.Connect("127.0.0.1", ntohs(sin.sin_port), 5));
    int peer = accept(lfd, nullptr, nullptr);
    std::string data;
    for (int i = 1; i <= 100; ++i)
        data += static_cast<char>(i);
    ASSERT_EQ(100, write(peer, data.data(), 100));
    char buf[200];
    int got = 0;
    while (got < 100) {
        int n = s.Recv(buf, 200);
        ASSERT_GT(n, 0);
        got += n;
    }
    ASSERT_EQ(100, got); // one block of 100 on loopback
    EXPECT_EQ(0, s.Seek(101));
    ASSERT_EQ(1, s.Seek(10));
    ASSERT_EQ(4, s.Recv(buf, 4));
    EXPECT_EQ(std::string("\x5B\x5C\x5D\x5E"), std::string(buf, 4)); // bytes 91..94
    ASSERT_EQ(6, s.Recv(buf, 100));
    EXPECT_EQ(std::string("\x5F\x60\x61\x62\x63\x64"), std::string(buf, 6)); // 95..100
    // Only then new data.
    ASSERT_EQ(3, write(peer, "new", 3));
    ASSERT_EQ(3, s.Recv(buf, 100));
    EXPECT_EQ("new", std::string(buf, 3));
    close(peer);
    close(lfd);
}

} // namespace
