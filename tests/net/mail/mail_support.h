#pragma once

#include "test_util.h"
#include "vornnet.h"

#include <atomic>
#include <gtest/gtest.h>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

// Real dovecot (POP3, IMAP4) and exim (SMTP) started by tools/mailservers on 127.0.0.1 and
// stopped with the object. One mailbox: kMailUser / kMailPassword at kMailAddress.
class MailServers {
public:
    MailServers();
    ~MailServers();
    MailServers(const MailServers&) = delete;
    MailServers& operator=(const MailServers&) = delete;

    bool ok() const { return m_smtp != 0; }
    // Why the servers did not start (the launcher's message).
    const std::string& error() const { return m_error; }
    unsigned short smtp() const { return m_smtp; }
    unsigned short imap() const { return m_imap; }
    unsigned short pop3() const { return m_pop3; }
    const std::string& maildir() const { return m_maildir; }
    // Messages delivered so far (files in new/ and cur/).
    int delivered() const;
    // Waits (bounded) until at least n messages were delivered.
    bool waitDelivered(int n) const;

private:
    pid_t m_pid = -1;
    int m_stdin = -1;
    unsigned short m_smtp = 0, m_imap = 0, m_pop3 = 0;
    std::string m_maildir, m_error;
};

inline constexpr const char* kMailUser = "alice";
inline constexpr const char* kMailPassword = "wonder-land7";
inline constexpr const char* kMailAddress = "alice@vornnet.test";

// A scripted server for what real servers will not produce: for each connection it plays the
// steps in order on its own thread. Every wait is bounded.
class ScriptServer {
public:
    struct Step {
        enum Kind { SEND, EXPECT, CLOSE, ENDLESS, PAUSE, DATA } kind;
        std::string text; // SEND: bytes; EXPECT: the line must start with it
        int ms = 0;       // PAUSE
    };
    static Step Send(std::string s) { return {Step::SEND, std::move(s)}; }
    static Step Expect(std::string s = "") { return {Step::EXPECT, std::move(s)}; }
    static Step Close() { return {Step::CLOSE, ""}; }
    // Sends bytes without a line end until the client closes (at most 256 MiB).
    static Step Endless() { return {Step::ENDLESS, ""}; }
    static Step Pause(int ms) { return {Step::PAUSE, "", ms}; }
    // Reads lines up to a line "." (SMTP DATA); each is kept (as sent, stuffing included).
    static Step Data() { return {Step::DATA, ""}; }

    explicit ScriptServer(std::vector<Step> steps);
    ~ScriptServer();
    unsigned short port() const { return m_port; }
    // Lines the client sent (without CR LF), after the script ended.
    std::vector<std::string> lines();
    // Empty when every EXPECT matched.
    std::string failures();
    // Waits until the connection's script is over.
    void join();

private:
    void run();
    std::vector<Step> m_steps;
    int m_listen = -1;
    unsigned short m_port = 0;
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_lines;
    std::string m_failures;
};

class MailTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_EQ(1, CVornWinSock::InitSocket(2, 2)); }
};
