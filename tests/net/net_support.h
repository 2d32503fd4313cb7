#pragma once

#include "test_util.h"
#include "vornnet.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// Body byte i of the fixture's generated bodies.
std::string Pattern(size_t n);

// Runs a program without a shell; true when it exits with 0.
bool RunProgram(const std::vector<std::string>& argv, const std::string& cwd = "");

// The Python fixture server (tools/httpfixture), started on free ports of 127.0.0.1 and
// stopped with the object.
class FixtureServer {
public:
    explicit FixtureServer(const std::string& cert = "", const std::string& key = "");
    ~FixtureServer();
    FixtureServer(const FixtureServer&) = delete;
    FixtureServer& operator=(const FixtureServer&) = delete;

    bool ok() const { return m_http != 0; }
    unsigned short http() const { return m_http; }
    unsigned short proxy() const { return m_proxy; }
    unsigned short blackhole() const { return m_blackhole; }
    unsigned short tls() const { return m_tls; }
    std::string url(const std::string& path) const;

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    unsigned short m_http = 0, m_proxy = 0, m_blackhole = 0, m_tls = 0;
};

// A CA and a server certificate for localhost / 127.0.0.1 signed by it, made with openssl.
struct TestCerts {
    TempDir dir;
    std::string caCert, serverCert, serverKey;
    bool ok = false;
    TestCerts();
};

// Switches logging on into a fresh directory for the lifetime of the object.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::string text() const;
    bool contains(const std::string& s) const { return text().find(s) != std::string::npos; }

private:
    TempDir m_dir;
};

// Callback that records every message and can cancel at a chosen one.
struct Recorder {
    std::mutex mutex;
    std::vector<int> messages;
    std::vector<intptr_t> data;
    std::atomic<int> cancelOn{-1};   // message that cancels, -1 none
    std::atomic<int> cancelAfter{0}; // cancel at the n-th (from 1) occurrence
    std::atomic<bool> cancelAll{false};
    std::function<void(int)> hook;
    std::atomic<int> seen[10] = {};

    static int Callback(CVornSocketMessage& msg, void* user);
    int count(int message);
    // Messages as letters 'a' + value, for pattern checks.
    std::string trace();
};

// Sets the recorder to cancel everything after delayMs, from another thread.
class Canceller {
public:
    Canceller(Recorder& rec, int delayMs);
    ~Canceller();
    // When the cancel was set (waits for it).
    int64_t at();

private:
    std::thread m_thread;
    std::atomic<int64_t> m_at{0};
};

// Starts the socket API for every test of a suite.
class NetTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1, CVornWinSock::InitSocket(2, 2)); }
};

// A test whose suite shares one fixture server, started with the suite.
class FixtureTest : public NetTest {
protected:
    static void SetUpTestSuite() { s_fixture = new FixtureServer(); }
    static void TearDownTestSuite() {
        delete s_fixture;
        s_fixture = nullptr;
    }
    void SetUp() override {
        NetTest::SetUp();
        ASSERT_TRUE(s_fixture && s_fixture->ok());
    }
    static inline FixtureServer* s_fixture = nullptr;
};

// Reads a body with Recv(len) until 0 or -1; returns the last result.
int ReadBody(CVornHttpClient& c, std::string& out, int len = 4096);

int64_t NowMs();
