// The connection manager and the compression-service control: its settings-database client
// against a small scripted server on 127.0.0.1, and the profile switch around a post.
#include "tavlo_vent.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Answers each request (read up to its "FROM <table>\n" line) with reply(request); an empty
// reply from the script means: say nothing and keep the connection until the client leaves.
class DbServer {
public:
    explicit DbServer(std::function<std::string(const std::string&)> reply)
        : m_reply(std::move(reply)) {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::listen(m_fd, 8);
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
        m_port = ntohs(a.sin_port);
        m_thread = std::thread([this] { run(); });
    }
    ~DbServer() {
        m_stop = true;
        m_thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }
    std::vector<std::string> requests() {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_requests;
    }

private:
    void run() {
        while (!m_stop) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            int c = ::accept(m_fd, nullptr, nullptr);
            if (c < 0)
                continue;
            std::string req;
            char buf[256];
            for (int i = 0; i < 200 && !m_stop; ++i) {
                size_t from = req.find("FROM ");
                if (from != std::string::npos && req.find('\n', from) != std::string::npos)
                    break;
                pollfd q{c, POLLIN, 0};
                if (::poll(&q, 1, 50) <= 0)
                    continue;
                ssize_t n = ::recv(c, buf, sizeof buf, 0);
                if (n <= 0)
                    break;
                req.append(buf, static_cast<size_t>(n));
            }
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_requests.push_back(req);
            }
            std::string answer = m_reply(req);
            if (answer.empty()) {
                // Silent: wait (bounded) until the client closes.
                for (int i = 0; i < 200 && !m_stop; ++i) {
                    pollfd q{c, POLLIN, 0};
                    if (::poll(&q, 1, 50) > 0 && ::recv(c, buf, sizeof buf, 0) <= 0)
                        break;
                }
            } else {
                ::send(c, answer.data(), answer.size(), MSG_NOSIGNAL);
            }
            ::close(c);
        }
    }
    std::function<std::string(const std::string&)> m_reply;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
    std::mutex m_mutex;
    std::vector<std::string> m_requests;
};

// The service database as the handset keeps it: profile in VSLookupParams, row ids in
// MetaTable.
struct FakeService {
    int profile = 0;
    int modified = 0;
    bool failSet = false;
    std::string answer(const std::string& req) {
        if (req.starts_with("GET rowid,tablename"))
            return "status 0\n1\tMetaTable\tx\n7\tVSLookupParams\ty\n\n";
        if (req.starts_with("GET vpn_prof"))
            return "status\t0\n" + std::to_string(profile) + "\t2\t\n\n";
        if (req.starts_with("SET vpn_prof=")) {
            if (failSet)
                return "status 5\n\n";
            profile = std::stoi(req.substr(13));
            return "status 0\n\n";
        }
        if (req.starts_with("SET modified=1\nWHERE rowid=7\n")) {
            ++modified;
            return "status 0\n\n";
        }
        return "status 1\n\n";
    }
};

TEST(ConnectionManager, IsAlwaysConnected) {
    CTavloConnectionManager m;
    EXPECT_EQ(m.IsConnected(-1), 1);
    EXPECT_EQ(m.IsConnected(3), 1);
    EXPECT_EQ(m.Connect(
                  0, [](void*) { return 0; }, nullptr),
              1);
    EXPECT_EQ(m.Disconnect(), 1);
}

TEST(VentDb, RepliesAreParsedByStatusRowAndProfile) {
    EXPECT_EQ(CTavloVentDb::ParseStatus("status 0\n"), 0);
    EXPECT_EQ(CTavloVentDb::ParseStatus("status \t 12\tx\n"), 12);
    EXPECT_EQ(CTavloVentDb::ParseStatus("nothing\n"), -1);
    EXPECT_EQ(CTavloVentDb::ParseRowId("status 0\n3\tVSLookupParamsX\t\n4\tVSLookupParams\t\n",
                                       "VSLookupParams"),
              4);
    EXPECT_EQ(CTavloVentDb::ParseRowId("status 0\n", "VSLookupParams"), -1);
    EXPECT_EQ(CTavloVentDb::ParseProfile("status 0\n1\t2\t\n"), 1);
    EXPECT_EQ(CTavloVentDb::ParseProfile("status 0\n"), -1);
}

TEST(VentDb, RequestsGoOutExactlyAndFailOnStatusRefusalOrSilence) {
    FakeService svc;
    DbServer server([&](const std::string& r) { return svc.answer(r); });
    CTavloVentDb db(server.port());
    int row = -1, profile = -1;
    ASSERT_TRUE(db.GetLookupRowId(&row));
    EXPECT_EQ(row, 7);
    ASSERT_TRUE(db.GetProfile(&profile));
    EXPECT_EQ(profile, 0);
    EXPECT_TRUE(db.SetProfile(1));
    EXPECT_TRUE(db.MarkModified(7));
    EXPECT_FALSE(db.MarkModified(8)); // status 1
    std::vector<std::string> r = server.requests();
    ASSERT_EQ(r.size(), 5u);
    EXPECT_EQ(r[0], "GET rowid,tablename\nFROM MetaTable\n");
    EXPECT_EQ(r[1], "GET vpn_prof,nr_profiles\nFROM VSLookupParams\n");
    EXPECT_EQ(r[2], "SET vpn_prof=1\nWHERE rowid=0\nFROM VSLookupParams\n");
    EXPECT_EQ(r[3], "SET modified=1\nWHERE rowid=7\nFROM MetaTable\n");

    // A server that says nothing: the receive limit ends the request.
    DbServer silent([](const std::string&) { return std::string(); });
    CTavloVentDb quiet(silent.port());
    quiet.recvMs = 300;
    EXPECT_FALSE(quiet.GetProfile(&profile));
    EXPECT_EQ(silent.requests().size(), 1u);

    // Nothing listening.
    int closedPort = 0;
    {
        DbServer gone([](const std::string&) { return std::string("x"); });
        closedPort = gone.port();
    }
    EXPECT_FALSE(CTavloVentDb(closedPort).GetProfile(&profile));
}

// Installs a stand-in for the handset's platform parts for one test.
struct PlatformStandIn {
    explicit PlatformStandIn(int port) : saved(CTavloVentPlatform::Get()) {
        CTavloVentPlatform& p = CTavloVentPlatform::Get();
        p.start = [this] { return ++starts, true; };
        p.installed = [] { return true; };
        p.running = [] { return true; };
        p.stop = [this] { ++stops; };
        p.dbPort = [port] { return port; };
    }
    ~PlatformStandIn() { CTavloVentPlatform::Get() = saved; }
    CTavloVentPlatform saved;
    int starts = 0, stops = 0;
};

TEST(VentPause, AbsentPlatformNeverStarts) {
    CTavloVentPause pause(true);
    EXPECT_FALSE(pause.Started());
    EXPECT_FALSE(pause.Changed());
}

TEST(VentPause, SwitchesToProfileOneAroundThePostAndBack) {
    FakeService svc;
    DbServer server([&](const std::string& r) { return svc.answer(r); });
    PlatformStandIn platform(server.port());
    {
        CTavloVentPause pause(true);
        EXPECT_TRUE(pause.Changed());
        EXPECT_EQ(svc.profile, 1);
        EXPECT_EQ(svc.modified, 1);
    }
    EXPECT_EQ(svc.profile, 0);
    EXPECT_EQ(svc.modified, 2);
    EXPECT_EQ(platform.stops, 1);
    EXPECT_EQ(server.requests().size(), 7u);

    // Disabled: not a single request.
    { CTavloVentPause off(false); }
    EXPECT_EQ(server.requests().size(), 7u);

    // A profile already switched is left alone.
    svc.profile = 1;
    {
        CTavloVentPause pause(true);
        EXPECT_FALSE(pause.Changed());
    }
    EXPECT_EQ(svc.profile, 1);

    // A refused switch stops the control and leaves the profile.
    svc.profile = 0;
    svc.failSet = true;
    const int stops = platform.stops;
    {
        CTavloVentPause pause(true);
        EXPECT_FALSE(pause.Changed());
        EXPECT_EQ(platform.stops, stops + 1);
    }
    EXPECT_EQ(platform.stops, stops + 1);
    EXPECT_EQ(svc.profile, 0);
}

} // namespace
