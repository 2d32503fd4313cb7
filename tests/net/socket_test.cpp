// Socket core, blocking resolver and the socket API service.

#include "net_support.h"
#include "vorn_net_internal.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <thread>
#include <unistd.h>

namespace {

// A plain listening socket on 127.0.0.1, outside the library.
struct RawListener {
    int fd = -1;
    unsigned short port = 0;
    RawListener() {
        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
        listen(fd, 16);
        socklen_t len = sizeof sin;
        getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len);
        port = ntohs(sin.sin_port);
    }
    ~RawListener() { close(fd); }
    int accept() { return ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC); }
};

class SocketTest : public NetTest {
protected:
    void TearDown() override { vornnet::SetResolveHook(nullptr); }
};

TEST_F(SocketTest, EveryOperationFailsWithoutASocket) {
    CVornSocketCore c;
    char buf[8];
    uint32_t addr = 0;
    unsigned short port = 0, family = 0;
    unsigned long arg = 1;
    int v = 0, len = sizeof v;
    EXPECT_EQ(0, c.Connect("127.0.0.1", 80));
    EXPECT_EQ(0, c.Close());
    EXPECT_EQ(0, c.Bind(nullptr, 0));
    EXPECT_EQ(0, c.Listen(5));
    EXPECT_TRUE(c.Accept(&addr) == VORN_INVALID_SOCKET);
    EXPECT_EQ(-1, c.Select(0, 3));
    EXPECT_EQ(-1, c.Send("x", 1));
    EXPECT_EQ(-1, c.Recv(buf, sizeof buf));
    EXPECT_EQ(-1, c.SendTo("127.0.0.1", "x", 1, 9));
    EXPECT_EQ(-1, c.RecvFrom(buf, sizeof buf, &addr, &port, &family));
    EXPECT_EQ(0, c.GetPeerName(&addr, &port, &family));
    EXPECT_EQ(0, c.IsConnected());
    EXPECT_EQ(-1, c.IOCtl(FIONBIO, &arg));
    EXPECT_EQ(0, c.SetSockOpt(SOL_SOCKET, SO_KEEPALIVE, &v, sizeof v));
    EXPECT_EQ(0, c.GetSockOpt(SOL_SOCKET, SO_KEEPALIVE, &v, &len));
    EXPECT_TRUE(c == VORN_INVALID_SOCKET);
}

TEST_F(SocketTest, CloseTwiceReturnsZeroAndLogsNothing) {
    LogCapture log;
    CVornSocketCore c;
    ASSERT_EQ(1, c.Create());
    EXPECT_EQ(1, c.Close());
    EXPECT_EQ(0, c.Close());
    EXPECT_EQ("", log.text());
}

TEST_F(SocketTest, AssignmentClosesTheHeldDescriptor) {
    struct Core : CVornSocketCore {
        using CVornSocketCore::GetSocket;
        using CVornSocketCore::operator=;
    };
    auto isOpen = [](int fd) { return fcntl(fd, F_GETFD) != -1; };
    Core a, b;
    ASSERT_EQ(1, a.Create());
    ASSERT_EQ(1, b.Create());
    int held = a.GetSocket();
    a = b.GetSocket(); // a handle
    EXPECT_FALSE(isOpen(held));
    EXPECT_TRUE(isOpen(b.GetSocket()));
    a = b.GetSocket(); // the same handle again keeps it
    EXPECT_TRUE(isOpen(b.GetSocket()));

    Core c, d;
    ASSERT_EQ(1, c.Create());
    ASSERT_EQ(1, d.Create());
    held = c.GetSocket();
    int moved = d.GetSocket();
    static_cast<CVornSocketCore&>(c) = std::move(static_cast<CVornSocketCore&>(d));
    EXPECT_FALSE(isOpen(held));
    EXPECT_TRUE(isOpen(moved));
    EXPECT_EQ(c.GetSocket(), moved);
}

TEST_F(SocketTest, ConnectToUnresolvableNameLogsGetAddrError) {
    vornnet::SetResolveHook([](const std::string&, std::string*) { return EAI_NONAME; });
    LogCapture log;
    CVornSocketCore c;
    ASSERT_EQ(1, c.Create());
    EXPECT_EQ(0, c.Connect("nowhere.test", 8080));
    EXPECT_TRUE(log.contains("CVornSocketCore::Connect")) << log.text();
    EXPECT_TRUE(log.contains("GetAddr error[")) << log.text();
    EXPECT_TRUE(log.contains("[nowhere.test:8080]")) << log.text();
}

TEST_F(SocketTest, ConnectedIdleSocketSelectsWritableOnly) {
    RawListener l;
    CVornSocketCore c;
    ASSERT_EQ(1, c.Create(1, 0, 2));
    ASSERT_EQ(1, c.Connect("127.0.0.1", l.port));
    int peer = l.accept();
    ASSERT_GE(peer, 0);
    EXPECT_EQ(2, c.Select(1, 3));
    EXPECT_EQ(0, c.Select(0, 1));
    EXPECT_EQ(1, c.IsConnected());
    uint32_t addr = 0;
    unsigned short port = 0, family = 0;
    EXPECT_EQ(1, c.GetPeerName(&addr, &port, &family));
    EXPECT_EQ("127.0.0.1", CVornSocketCore::InetNtoa(addr).str());
    EXPECT_EQ(l.port, port);
    EXPECT_EQ(2, family);
    // Data and then the peer's close both make it readable.
    ASSERT_EQ(3, write(peer, "abc", 3));
    EXPECT_EQ(3, c.Select(1, 3));
    char buf[8];
    EXPECT_EQ(3, c.Recv(buf, sizeof buf));
    close(peer);
    EXPECT_EQ(1, c.Select(1, 1));
    EXPECT_EQ(0, c.Recv(buf, sizeof buf));
}

TEST_F(SocketTest, SendDeliversMoreThanOnePiece) {
    RawListener l;
    CVornSocketCore c;
    ASSERT_EQ(1, c.Create());
    ASSERT_EQ(1, c.Connect("127.0.0.1", l.port));
    int peer = l.accept();
    ASSERT_GE(peer, 0);
    const size_t total = CVornSocketCore::kSendPiece * 2 + 12345;
    std::string data = Pattern(total);
    std::string got;
    std::thread reader([&] {
        char buf[65536];
        ssize_t n;
        while ((n = read(peer, buf, sizeof buf)) > 0)
            got.append(buf, static_cast<size_t>(n));
    });
    EXPECT_EQ(static_cast<int>(total), c.Send(data.data(), static_cast<int>(total)));
    c.Close();
    reader.join();
    close(peer);
    EXPECT_TRUE(got == data);
}

TEST_F(SocketTest, CopiesShareOneSocketAndNeverCloseAReusedNumber) {
    RawListener l;
    CVornSocketCore a;
    ASSERT_EQ(1, a.Create());
    CVornSocketCore b(a);
    EXPECT_EQ(1, b.Close());
    // The number is free again and may well be handed to the next socket.
    CVornSocketCore c;
    ASSERT_EQ(1, c.Create());
    ASSERT_EQ(1, c.Connect("127.0.0.1", l.port));
    a.Close();
    EXPECT_EQ(1, c.IsConnected());
    EXPECT_EQ(2, c.Send("ok", 2));
}

TEST_F(SocketTest, InitSocketGrantsOnlyVersion22) {
    LogCapture log;
    ASSERT_EQ(1, CVornWinSock::CleanupSocket());
    EXPECT_EQ(0, CVornWinSock::IsSocketStarted());
    EXPECT_EQ(0, CVornWinSock::InitSocket(1, 1));
    EXPECT_EQ(0, CVornWinSock::InitSocket(3, 0));
    EXPECT_EQ(0, CVornWinSock::IsSocketStarted());
    CVornSocketCore c;
    EXPECT_EQ(0, c.Create());
    EXPECT_TRUE(log.contains("socket error[-1][")) << log.text();
    EXPECT_EQ(1, CVornWinSock::InitSocket(2, 2));
    EXPECT_EQ(1, CVornWinSock::InitSocket(2, 2));
    EXPECT_EQ(1, CVornWinSock::IsSocketStarted());
    EXPECT_EQ(1, c.Create());
    // A wrong version while running leaves the API running.
    EXPECT_EQ(0, CVornWinSock::InitSocket(1, 0));
    EXPECT_EQ(1, CVornWinSock::IsSocketStarted());
    EXPECT_EQ(0, CVornWinSock::CleanupSocket() - 1);
    EXPECT_EQ(0, CVornWinSock::CleanupSocket());
    EXPECT_EQ(1, CVornWinSock::InitSocket(2, 2));
}

TEST_F(SocketTest, HostEntResolvesAddressesAndNames) {
    CVornHostEnt dotted("127.0.0.1");
    ASSERT_NE(nullptr, dotted.GetAddr());
    EXPECT_STREQ("127.0.0.1", dotted.GetAddr());
    ASSERT_NE(nullptr, dotted.GetName());
    EXPECT_STREQ("localhost", dotted.GetName());
    EXPECT_STREQ("CVornHostEnt", dotted.ClassName());

    vornnet::SetResolveHook([](const std::string& name, std::string* addr) {
        if (name != "named.test")
            return EAI_NONAME;
        *addr = "127.0.0.5";
        return 0;
    });
    CVornHostEnt named("named.test");
    EXPECT_STREQ("127.0.0.5", named.GetAddr());
    EXPECT_STREQ("named.test", named.GetName());

    LogCapture log;
    CVornHostEnt missing("missing.test");
    EXPECT_EQ(nullptr, missing.GetAddr());
    EXPECT_EQ(nullptr, missing.GetName());
    EXPECT_TRUE(log.contains("gethostbyname error[missing.test][")) << log.text();
    CVornHostEnt local(nullptr); // the local host name; must not crash whatever it finds
    if (local.GetName()) {
        EXPECT_NE('\0', local.GetName()[0]);
    }
}

TEST_F(SocketTest, AddressConversions) {
    EXPECT_EQ(htonl(0x7F000001), CVornSocketCore::InetAddr("127.0.0.1"));
    EXPECT_EQ(0xFFFFFFFFu, CVornSocketCore::InetAddr("not an address"));
    EXPECT_EQ("10.1.2.3", CVornSocketCore::InetNtoa(CVornSocketCore::InetAddr("10.1.2.3")).str());
    EXPECT_EQ(htons(8080), CVornSocketCore::Htons(8080));
    EXPECT_EQ(8080, CVornSocketCore::Ntohs(CVornSocketCore::Htons(8080)));
    EXPECT_EQ(0x01020304u, CVornSocketCore::Ntohl(CVornSocketCore::Htonl(0x01020304u)));
}

// Echoes one line per connection and remembers the handler threads' priority.
class EchoServer : public CVornWinSock {
public:
    ~EchoServer() override { StopThreads(); }
    std::atomic<int> accepted{0};
    std::atomic<int> datagrams{0};
    std::atomic<int> handlerNice{-100};
    std::mutex mutex;
    std::string lastDatagram;
    unsigned short lastPort = 0, lastFamily = 0;
    uint32_t lastAddr = 0;

    unsigned short Port() {
        sockaddr_in sin{};
        socklen_t len = sizeof sin;
        getsockname(GetSocket(), reinterpret_cast<sockaddr*>(&sin), &len);
        return ntohs(sin.sin_port);
    }
    int OnAccept(CVornSocketCore& sock, uint32_t peer) override {
        handlerNice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
        std::string line;
        char c;
        while (line.size() < 100 && sock.Recv(&c, 1) == 1 && c != '\n')
            line += c;
        line = "echo:" + line + "\n";
        sock.Send(line.data(), static_cast<int>(line.size()));
        ++accepted;
        return 0;
    }
    int OnReceive(const char* data, int len, uint32_t addr, unsigned short port,
                  unsigned short family) override {
        std::lock_guard<std::mutex> lock(mutex);
        lastDatagram.assign(data, static_cast<size_t>(len));
        lastAddr = addr;
        lastPort = port;
        lastFamily = family;
        ++datagrams;
        return 0;
    }
};

TEST_F(SocketTest, ListenerHandsEachConnectionToAHandlerThread) {
    EchoServer server;
    ASSERT_EQ(1, server.Create());
    unsigned long tid = 0;
    VORN_THREAD_HANDLE h =
        server.BeginListenThread("127.0.0.1", 0, -1, nullptr, 256 * 1024, 0, &tid);
    ASSERT_NE(0u, h);
    EXPECT_NE(0u, tid);
    unsigned short port = server.Port();
    int baseNice = getpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)));
    std::vector<std::thread> clients;
    std::atomic<int> good{0};
    for (int i = 0; i < 4; ++i) {
        clients.emplace_back([&, i] {
            CVornSocket s;
            if (!s.Create() || !s.Connect("127.0.0.1", port))
                return;
            std::string msg = "client" + std::to_string(i) + "\n";
            s.Send(msg.data(), static_cast<int>(msg.size()));
            std::string got;
            char buf[64];
            int n;
            while ((n = s.Recv(buf, sizeof buf)) > 0)
                got.append(buf, static_cast<size_t>(n));
            if (got == "echo:client" + std::to_string(i) + "\n")
                ++good;
        });
    }
    for (auto& t : clients)
        t.join();
    EXPECT_EQ(4, good.load());
    EXPECT_EQ(4, server.accepted.load());
    // Lowering a priority is always allowed: -1 (below normal) becomes a higher nice value.
    EXPECT_EQ(std::min(baseNice + 5, 19), server.handlerNice.load());
    server.StopThreads();
}

TEST_F(SocketTest, ReceiverHandsEachDatagramToAHandlerThread) {
    EchoServer server;
    ASSERT_EQ(1, server.Create(2, 0, 2));
    ASSERT_NE(0u, server.BeginReceiveThread("127.0.0.1", 0));
    unsigned short port = server.Port();
    CVornSocketCore sender;
    ASSERT_EQ(1, sender.Create(2, 0, 2));
    ASSERT_EQ(1, sender.Bind("127.0.0.1", 0));
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(5, sender.SendTo("127.0.0.1", "dgram", 5, port));
    for (int i = 0; i < 200 && server.datagrams < 3; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_EQ(3, server.datagrams.load());
    std::lock_guard<std::mutex> lock(server.mutex);
    EXPECT_EQ("dgram", server.lastDatagram);
    EXPECT_EQ(CVornSocketCore::InetAddr("127.0.0.1"), server.lastAddr);
    EXPECT_NE(0, server.lastPort);
    EXPECT_EQ(2, server.lastFamily);
}

TEST_F(SocketTest, StoppingTheApiEndsTheListener) {
    EchoServer server;
    ASSERT_EQ(1, server.Create());
    ASSERT_NE(0u, server.BeginListenThread("127.0.0.1", 0));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_EQ(1, CVornWinSock::CleanupSocket());
    ASSERT_EQ(1, CVornWinSock::InitSocket(2, 2));
    server.StopThreads();
    // The old socket stays dead after the restart.
    EXPECT_EQ(0, server.Listen(5));
}

TEST_F(SocketTest, StopThreadsEndsAHandlerBlockedOnASilentPeer) {
    EchoServer server;
    ASSERT_EQ(1, server.Create());
    ASSERT_NE(0u, server.BeginListenThread("127.0.0.1", 0));
    CVornSocket peer; // connects and never sends a byte
    ASSERT_TRUE(peer.Create());
    ASSERT_TRUE(peer.Connect("127.0.0.1", server.Port()));
    for (int i = 0; i < 2000 && server.handlerNice == -100; ++i) // the handler has started
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_NE(-100, server.handlerNice.load());
    auto stopped = std::async(std::launch::async, [&] { server.StopThreads(); });
    bool returned = stopped.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    EXPECT_TRUE(returned) << "StopThreads waits for the silent peer";
    peer.Close(); // lets a stuck handler go, so the test ends either way
    stopped.get();
    // The handler's read ended without a line: it answered into a shut connection.
    EXPECT_EQ(1, server.accepted.load());
}

TEST_F(SocketTest, BeginThreadFailsWhenBindFails) {
    EchoServer a, b;
    ASSERT_EQ(1, a.Create());
    ASSERT_NE(0u, a.BeginListenThread("127.0.0.1", 0));
    ASSERT_EQ(1, b.Create());
    // SO_REUSEADDR does not allow two listeners on one port.
    EXPECT_EQ(0u, b.BeginListenThread("127.0.0.1", a.Port()));
}

} // namespace
