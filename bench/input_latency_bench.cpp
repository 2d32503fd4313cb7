// Input latency while a transfer on the window thread waits on a server that never answers:
// from a key event posted by another thread to the moment the window thread hands it to its
// handlers. The frame's callback interval against the one-second waits the socket layer uses
// by itself (the baseline), in the same run; p50 and p99 in microseconds as counters.
#include "bench_app_fixture.h"
#include "tavlo_app.h"
#include "tavlo_main_frame.h"
#include "tavlo_main_view.h"
#include "vorn_async_socket.h"
#include "vorn_file.h"

#include <QApplication>
#include <QKeyEvent>

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

CMainFrame* g_frame = nullptr;
constexpr int kKeys = 200;
constexpr Qt::Key kMarker = Qt::Key_F20;

// A listening socket nobody accepts on: connects complete in the backlog, nothing answers.
int hangingServer(int* port) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    listen(fd, 16);
    socklen_t len = sizeof sin;
    getsockname(fd, reinterpret_cast<sockaddr*>(&sin), &len);
    *port = ntohs(sin.sin_port);
    return fd;
}

// Notes when each marked key reaches the window thread's handlers (it runs before the frame's
// filter, which was installed earlier).
class Arrival : public QObject {
public:
    std::vector<Clock::time_point> posted = std::vector<Clock::time_point>(kKeys);
    std::vector<double> latencyUs;
    std::mutex mutex;
    int next = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == kMarker &&
            next < kKeys) {
            std::lock_guard<std::mutex> lock(mutex);
            latencyUs.push_back(
                std::chrono::duration<double, std::micro>(Clock::now() - posted[next++]).count());
        }
        return false;
    }
};

struct Transfer {
    std::atomic<bool> stop{false};
};

int callback(CVornSocketMessage& message, void* user) {
    auto* t = static_cast<Transfer*>(user);
    CMainFrame::SocketCallback(message, static_cast<CTavloWindow*>(g_frame));
    if (t->stop.load())
        message.result = 1;
    return 0;
}

double percentile(std::vector<double> v, double p) {
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, static_cast<size_t>(p * static_cast<double>(v.size())))];
}

void KeyLatencyDuringHangingTransfer(benchmark::State& state) {
    const int interval = static_cast<int>(state.range(0));
    int port = 0;
    const int server = hangingServer(&port);
    QWidget* target = g_frame->GetView(g_frame->GetShownView());
    std::vector<double> all;
    for (auto _ : state) {
        Arrival arrival;
        qApp->installEventFilter(&arrival);
        CVornAsyncSocket::SetCallbackInterval(interval);
        Transfer transfer;
        CVornAsyncSocket s;
        s.SetCallbackProc(callback, &transfer);
        if (s.Connect("127.0.0.1", static_cast<unsigned short>(port), 5) != 1) {
            state.SkipWithError("connect failed");
            break;
        }
        const char req[] = "GET / HTTP/1.1\r\nHost: hang\r\n\r\n";
        s.Send(req, sizeof req - 1);
        // Keys at an irregular pace, so that they land anywhere in a wait.
        std::thread poster([&] {
            for (int i = 0; i < kKeys; ++i) {
                std::this_thread::sleep_for(std::chrono::microseconds(2000 + (i * 7919) % 9000));
                {
                    std::lock_guard<std::mutex> lock(arrival.mutex);
                    arrival.posted[static_cast<size_t>(i)] = Clock::now();
                }
                QApplication::postEvent(target,
                                        new QKeyEvent(QEvent::KeyPress, kMarker, Qt::NoModifier));
            }
            // Bounded: every key arrives within a wait or two of the slowest interval.
            for (int spin = 0; spin < 3000; ++spin) {
                {
                    std::lock_guard<std::mutex> lock(arrival.mutex);
                    if (arrival.next >= kKeys)
                        break;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            transfer.stop = true;
        });
        char buf[256];
        s.Recv(buf, sizeof buf);
        poster.join();
        s.Close();
        QCoreApplication::processEvents();
        qApp->removeEventFilter(&arrival);
        all.insert(all.end(), arrival.latencyUs.begin(), arrival.latencyUs.end());
    }
    CVornAsyncSocket::SetCallbackInterval(CMainFrame::kCallbackIntervalMs);
    close(server);
    state.counters["p50_us"] = percentile(all, 0.50);
    state.counters["p99_us"] = percentile(all, 0.99);
    state.counters["keys"] = static_cast<double>(all.size());
}
// The frame's interval, then the one-second waits of the socket layer alone (baseline).
BENCHMARK(KeyLatencyDuringHangingTransfer)
    ->Arg(CMainFrame::kCallbackIntervalMs)
    ->Arg(1000)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qapp(argc, argv);
    return TavloRunBenchmarksInApp(argc, argv, "bench_input_latency", &g_frame);
}
