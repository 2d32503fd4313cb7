// Download throughput of CVornHttpClient against curl for the same 64 MB body from the same
// local server, plain, gzip and chunked. Each iteration runs both; the counters give MB/s of
// each and ours/curl as the ratio of throughputs, over all iterations and of the best one
// (curl's own time_total, so its process start-up is not counted against it). The server runs
// in a child process; one untimed download of each warms it up.

#include "bench_fixture.h"
#include "vorn_zlib.h"
#include "vornnet.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <spawn.h>
#include <string>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr size_t kBodySize = 64u << 20;
constexpr size_t kChunk = 8192;
constexpr int kRecvBuffer = 16384; // what the board code reads with

// Board-log-like text: dat lines of words and numbers, compressible about as real logs are.
std::string makeBody() {
    static const char* words[] = {
        "名無しさん", "<>",   "sage", "2024/01/01(月) 12:34:56.78", "ID:abcdEFGH", "&gt;&gt;",
        "test",       "です", "<br>", "http://example.com/",        "www",         "そうだね",
        "0",          "1",    "2"};
    std::string s;
    s.reserve(kBodySize + 256);
    uint32_t x = 12345;
    while (s.size() < kBodySize) {
        x = x * 1103515245u + 12345u;
        s += words[(x >> 16) % (sizeof words / sizeof *words)];
        s += (x >> 8) % 11 == 0 ? '\n' : ' ';
        if ((x >> 4) % 7 == 0)
            s += std::to_string(x % 100000);
    }
    s.resize(kBodySize);
    return s;
}

// Runs in a child process of its own, so that our client and curl meet the same server.
struct Server {
    int fd = -1;
    unsigned short port = 0;
    pid_t pid = -1;
    std::string plain, gzip, chunked;

    Server() {
        std::string body = makeBody();
        std::string gz;
        CVornDeflate::Compress(body, gz, CVornInflateCore::TYPE_GZIP, 6);
        plain = "HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(body.size()) +
                "\r\nConnection: close\r\n\r\n" + body;
        gzip = "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
               std::to_string(gz.size()) + "\r\nConnection: close\r\n\r\n" + gz;
        chunked = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
        char line[32];
        for (size_t i = 0; i < body.size(); i += kChunk) {
            size_t n = std::min(kChunk, body.size() - i);
            snprintf(line, sizeof line, "%zx\r\n", n);
            chunked += line;
            chunked.append(body, i, n);
            chunked += "\r\n";
        }
        chunked += "0\r\n\r\n";

        fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        sockaddr_in sin{};
        sin.sin_family = AF_INET;
        sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
        listen(fd, 16);
        socklen_t len = sizeof sin;
        getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len);
        port = ntohs(sin.sin_port);
        pid = fork();
        if (pid == 0) {
            prctl(PR_SET_PDEATHSIG, SIGKILL);
            run();
            _exit(0);
        }
        close(fd);
        std::string().swap(plain);
        std::string().swap(gzip);
        std::string().swap(chunked);
    }
    ~Server() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }
    void run() {
        for (;;) {
            int c = accept4(fd, nullptr, nullptr, SOCK_CLOEXEC);
            if (c < 0) {
                if (errno == EINTR)
                    continue;
                return;
            }
            std::thread([this, c] { serve(c); }).detach();
        }
    }
    void serve(int c) {
        std::string req;
        char buf[4096];
        while (req.find("\r\n\r\n") == std::string::npos) {
            ssize_t n = recv(c, buf, sizeof buf, 0);
            if (n <= 0) {
                close(c);
                return;
            }
            req.append(buf, static_cast<size_t>(n));
        }
        const std::string* r = &plain;
        if (req.find("GET /gzip") == 0)
            r = &gzip;
        else if (req.find("GET /chunked") == 0)
            r = &chunked;
        size_t off = 0;
        while (off < r->size()) {
            ssize_t n = send(c, r->data() + off, r->size() - off, MSG_NOSIGNAL);
            if (n <= 0)
                break;
            off += static_cast<size_t>(n);
        }
        shutdown(c, SHUT_WR);
        while (recv(c, buf, sizeof buf, 0) > 0) {
        }
        close(c);
    }
};

Server& server() {
    static Server* s = new Server();
    return *s;
}

const char* kPaths[] = {"/plain", "/gzip", "/chunked"};

// Seconds for one download with CVornHttpClient; 0 on failure.
double downloadOurs(const std::string& url, size_t* bytes) {
    auto t0 = std::chrono::steady_clock::now();
    CVornHttpClient c(url.c_str());
    if (!c.Connect(5) || !c.Get())
        return 0;
    std::vector<char> buf(kRecvBuffer);
    size_t total = 0;
    int n;
    while ((n = c.Recv(buf.data(), kRecvBuffer)) > 0)
        total += static_cast<size_t>(n);
    c.Close();
    auto t1 = std::chrono::steady_clock::now();
    *bytes = total;
    return n == 0 ? std::chrono::duration<double>(t1 - t0).count() : 0;
}

// curl's time_total for one download; 0 on failure.
double downloadCurl(const std::string& url, bool compressed) {
    std::vector<std::string> args = {"-s", "-o", "/dev/null"};
    if (compressed)
        args.push_back("--compressed");
    args.push_back(url);
    return TavloBenchCurlSeconds(args);
}

void BM_DownloadVsCurl(benchmark::State& state) {
    CVornWinSock::InitSocket(2, 2);
    Server& s = server();
    const char* path = kPaths[state.range(0)];
    std::string url = "http://127.0.0.1:" + std::to_string(s.port) + path;
    // Warm both up: the server's pages, the page cache of curl's binary.
    size_t warm = 0;
    downloadOurs(url, &warm);
    downloadCurl(url, state.range(0) == 1);
    double ours = 0, curl = 0, oursBest = 1e9, curlBest = 1e9;
    for (auto _ : state) {
        size_t bytes = 0;
        double t = downloadOurs(url, &bytes);
        if (t <= 0 || bytes != kBodySize) {
            state.SkipWithError("vornnet download failed");
            return;
        }
        double tc = downloadCurl(url, state.range(0) == 1);
        if (tc <= 0) {
            state.SkipWithError("curl failed (is it installed?)");
            return;
        }
        if (getenv("BENCH_TRACE"))
            fprintf(stderr, "ours %.4f curl %.4f\n", t, tc);
        ours += t;
        curl += tc;
        oursBest = std::min(oursBest, t);
        curlBest = std::min(curlBest, tc);
        state.SetIterationTime(t);
    }
    double mb =
        static_cast<double>(kBodySize) / (1 << 20) * static_cast<double>(state.iterations());
    state.counters["ours_MBps"] = mb / ours;
    state.counters["curl_MBps"] = mb / curl;
    state.counters["ours_over_curl"] = curl / ours;
    state.counters["best_ours_over_curl"] = curlBest / oursBest;
    state.SetLabel(path);
}

BENCHMARK(BM_DownloadVsCurl)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(12)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
