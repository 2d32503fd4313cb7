#pragma once
// Pieces the benchmark programs share: curl as the baseline of the network benchmarks, a
// loopback listener for their servers, generated thread logs, and the ratios of figures to
// their baselines printed after a run.

#include "vorn_kcode.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

// Runs curl with args (curl's own options after "curl") and gives the time_total it printed
// with -w "%{time_total}", in seconds; 0 on failure. curl's own figure leaves its start-up out.
inline double TavloBenchCurlSeconds(const std::vector<std::string>& args) {
    std::vector<std::string> all = {"curl", "-w", "%{time_total}"};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0)
        return 0;
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, "curl", &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    close(out[1]);
    if (rc != 0) {
        close(out[0]);
        return 0;
    }
    std::string text;
    char buf[256];
    ssize_t n;
    while ((n = read(out[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    close(out[0]);
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        return 0;
    return atof(text.c_str());
}

// A socket listening on 127.0.0.1 at a port the system picks (given in *port); -1 on failure.
inline int TavloBenchListen(int backlog, int* port) {
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || listen(fd, backlog) != 0 ||
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        close(fd);
        return -1;
    }
    *port = ntohs(a.sin_port);
    return fd;
}

// Reads a request up to the blank line after its header (at most 64 KiB); false when the peer
// stopped or the header never ended.
inline bool TavloBenchReadRequest(int c, std::string* req) {
    char buf[4096];
    while (req->find("\r\n\r\n") == std::string::npos) {
        if (req->size() >= 65536)
            return false;
        const ssize_t n = recv(c, buf, sizeof buf, 0);
        if (n <= 0)
            return false;
        req->append(buf, static_cast<size_t>(n));
    }
    return true;
}

// Sends all of s, or as much as the peer takes.
inline void TavloBenchSendAll(int c, std::string_view s) {
    while (!s.empty()) {
        const ssize_t n = send(c, s.data(), s.size(), MSG_NOSIGNAL);
        if (n <= 0)
            return;
        s.remove_prefix(static_cast<size_t>(n));
    }
}

// A server thread on a loopback listener: each connection in turn goes to serve and is then
// closed. Make it the owner's last member, so that it starts after and stops before what
// serve uses.
class CTavloBenchServer {
public:
    CTavloBenchServer(int backlog, std::function<void(int)> serve) : m_serve(std::move(serve)) {
        m_fd = TavloBenchListen(backlog, &m_port);
        m_thread = std::thread([this] {
            while (!m_stop) {
                const int c = accept(m_fd, nullptr, nullptr);
                if (c < 0)
                    return;
                m_serve(c);
                close(c);
            }
        });
    }
    ~CTavloBenchServer() {
        m_stop = true;
        shutdown(m_fd, SHUT_RDWR);
        close(m_fd);
        m_thread.join();
    }
    int port() const { return m_port; }

private:
    std::function<void(int)> m_serve;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// A thread log (Shift_JIS) of the posts from to from + posts - 1. Each post is the name,
// "sage" on every third, a date, one of 50 IDs and then body(i), written in UTF-8; the
// first post carries the title.
template <class Body>
std::string TavloBenchThreadLog(int from, int posts, const char* name, Body body) {
    std::string utf8;
    for (int i = from; i < from + posts; ++i) {
        char head[256];
        std::snprintf(head, sizeof(head), "%s<>%s<>2009/01/%02d(木) 12:%02d:%02d ID:Ab%05dCd<> ",
                      name, i % 3 == 0 ? "sage" : "", 1 + i % 28, i % 60, (i * 7) % 60, i % 50);
        utf8 += head;
        utf8 += body(i);
        utf8 += i == 1 ? " <>ベンチマーク用スレッド\n" : " <>\n";
    }
    return VornUtf8ToSjis(utf8);
}

// How a generated post after the first opens: an answer to post i / 2.
inline std::string TavloBenchAnswer(int i) {
    return i > 1 ? "&gt;&gt;" + std::to_string(i / 2) + " <br> " : std::string();
}

// Prints the runs, then each figure over its baseline, in real and in CPU time (the CPU ratio
// is the steadier one on a loaded machine), beside its goal. With repetitions the medians are
// compared.
class CTavloBenchRatioReporter : public benchmark::ConsoleReporter {
public:
    struct Goal {
        std::string figure, baseline;
        double most; // the ratio the figure should stay at or under
    };
    // Colours only on a terminal, as the library's own reporter has it.
    explicit CTavloBenchRatioReporter(std::vector<Goal> goals)
        : ConsoleReporter(isatty(STDOUT_FILENO) ? OO_Color : OO_None), m_goals(std::move(goals)) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            // A median, where there are repetitions, comes after the runs it sums up.
            if (r.error_occurred ||
                (r.run_type == Run::RT_Aggregate && r.aggregate_name != "median"))
                continue;
            m_times[r.run_name.function_name] = {r.GetAdjustedRealTime() * unitScale(r.time_unit),
                                                 r.GetAdjustedCPUTime() * unitScale(r.time_unit)};
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const Goal& g : m_goals) {
            auto f = m_times.find(g.figure), b = m_times.find(g.baseline);
            if (f == m_times.end() || b == m_times.end() || b->second.first <= 0 ||
                b->second.second <= 0)
                continue;
            const double real = f->second.first / b->second.first;
            const double cpu = f->second.second / b->second.second;
            std::printf("%s / %s: real %.2f, cpu %.2f (goal <= %.2f)\n", g.figure.c_str(),
                        g.baseline.c_str(), real, cpu, g.most);
        }
    }

private:
    static double unitScale(benchmark::TimeUnit unit) {
        switch (unit) {
        case benchmark::kNanosecond:
            return 1e-9;
        case benchmark::kMicrosecond:
            return 1e-6;
        case benchmark::kMillisecond:
            return 1e-3;
        default:
            return 1;
        }
    }
    std::vector<Goal> m_goals;
    std::map<std::string, std::pair<double, double>> m_times; // seconds: real, CPU
};
