// CPU cost of reading an HTTP response header that a server trickles one byte per segment,
// against the same header sent in one block, in the same process. The client's thread CPU
// time per header byte is reported for each, and trickled/block as the ratio; the ratio
// staying flat as the header grows shows the work per byte received is bounded (linear, not
// quadratic). The server is a thread on 127.0.0.1.

#include "vornnet.h"

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <ctime>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace {

double threadCpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

std::string makeHeader(size_t size) {
    std::string h = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\n";
    for (int i = 0; h.size() + 4 < size; ++i)
        h += "X-Filler-" + std::to_string(i) + ": " + std::string(40, 'a') + "\r\n";
    return h + "\r\n";
}

// Answers one request with the header, trickled or in one block; returns the client's CPU
// seconds for the request, or a negative value on failure.
double oneRequest(const std::string& header, bool trickle) {
    int ls = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sin;
    if (ls < 0 || bind(ls, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0 ||
        listen(ls, 1) != 0 || getsockname(ls, reinterpret_cast<sockaddr*>(&sin), &len) != 0) {
        if (ls >= 0)
            close(ls);
        return -1;
    }
    std::thread server([&] {
        int c = accept(ls, nullptr, nullptr);
        if (c < 0)
            return;
        int one = 1;
        setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        std::string request;
        char buf[4096];
        ssize_t n;
        while (request.find("\r\n\r\n") == std::string::npos &&
               (n = recv(c, buf, sizeof buf, 0)) > 0)
            request.append(buf, static_cast<size_t>(n));
        if (trickle) {
            // A pause after each byte, so that the client meets it as a read of its own.
            for (char ch : header) {
                if (send(c, &ch, 1, MSG_NOSIGNAL) != 1)
                    break;
                usleep(20);
            }
        } else {
            send(c, header.data(), header.size(), MSG_NOSIGNAL);
        }
        shutdown(c, SHUT_WR);
        while (recv(c, buf, sizeof buf, 0) > 0) {
        }
        close(c);
    });
    std::string url = "http://127.0.0.1:" + std::to_string(ntohs(sin.sin_port)) + "/h";
    double t0 = threadCpuSeconds();
    CVornHttpClient client(url.c_str());
    bool ok = client.Connect(30) && client.Get();
    double t1 = threadCpuSeconds();
    client.Close();
    server.join();
    close(ls);
    return ok ? t1 - t0 : -1;
}

void BM_HeaderTrickledVsBlock(benchmark::State& state) {
    CVornWinSock::InitSocket(2, 2);
    const std::string header = makeHeader(static_cast<size_t>(state.range(0)));
    double trickled = 0, block = 0;
    for (auto _ : state) {
        double a = oneRequest(header, true);
        double b = oneRequest(header, false);
        if (a < 0 || b < 0) {
            state.SkipWithError("request failed");
            return;
        }
        trickled += a;
        block += b;
    }
    const double bytes =
        static_cast<double>(header.size()) * static_cast<double>(state.iterations());
    state.counters["trickled_ns_per_byte"] = trickled / bytes * 1e9;
    state.counters["block_ns_per_byte"] = block / bytes * 1e9;
    state.counters["trickled/block"] = block > 0 ? trickled / block : 0;
}

} // namespace

BENCHMARK(BM_HeaderTrickledVsBlock)
    ->Arg(2048)
    ->Arg(8192)
    ->Arg(32768)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
