// A thread fetched through the whole program path (the thread view opens a worker; the
// registry picks the kind; its HTTP client reads the dat; the view messages go to the window
// thread, which appends to the view) against curl downloading the same dat from the same
// server to a file, in the same iteration: request to log complete on disk, for 10 to 10,000
// posts, and the difference fetch of a thread that gained 10 posts against curl -r.
// The server is a small HTTP/1.1 server thread in this process (Range supported).
// Counters: curl_ms (the floor), ratio (our wall time / curl's) and cpu_ratio (our CPU time /
// curl's, both with the server thread's share): on a loaded machine the CPU ratio is the
// steadier one.
#include "bench_fixture.h"
#include "tavlo_dat_ctrl.h"
#include "tavlo_dat_view.h"
#include "tavlo_hand_off.h"
#include "tavlo_message.h"
#include "tavlo_ng_file.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "test_util.h"
#include "vorn_file.h"
#include "vorn_kcode.h"
#include "vorn_winsock.h"
#include "window_thread_frame.h"

#include <QApplication>
#include <QThread>

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <map>
#include <netinet/in.h>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

std::string makeLog(int posts, int from = 1) {
    return TavloBenchThreadLog(from, posts, "名無しさん＠お腹いっぱい。", [](int i) {
        return TavloBenchAnswer(i) +
               "表示ソフトの能力は十分ですが、スレッドの読み込みがもっと速くなると嬉しいです。"
               "<br> 詳しくは http://example.com/path/to/page.html?id=12345 を参照してください。"
               "<br> 半角ｶﾅも混ざる ｱｲｳｴｵ と ① 髙 ～ の文字";
    });
}

// Serves /test/dat/<key>.dat from a table, whole or from a "Range: bytes=N-".
class DatServer {
public:
    int port() const { return m_server.port(); }
    void set(const std::string& key, std::string dat) { m_dats[key] = std::move(dat); }

private:
    void serve(int c) {
        std::string req;
        if (!TavloBenchReadRequest(c, &req))
            return;
        size_t at = req.find("/dat/");
        size_t dot = req.find(".dat", at);
        auto it = at == std::string::npos || dot == std::string::npos
                      ? m_dats.end()
                      : m_dats.find(req.substr(at + 5, dot - at - 5));
        if (it == m_dats.end()) {
            TavloBenchSendAll(
                c, "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
            return;
        }
        const std::string& dat = it->second;
        size_t from = 0;
        size_t range = req.find("Range: bytes=");
        std::string head;
        if (range != std::string::npos) {
            from = std::stoul(req.substr(range + 13));
            head = "HTTP/1.1 206 Partial Content\r\nContent-Range: bytes " + std::to_string(from) +
                   "-" + std::to_string(dat.size() - 1) + "/" + std::to_string(dat.size()) + "\r\n";
        } else {
            head = "HTTP/1.1 200 OK\r\n";
        }
        head += "Content-Type: text/plain\r\nLast-Modified: Thu, 01 Jan 2009 12:00:00 GMT\r\n"
                "Content-Length: " +
                std::to_string(dat.size() - from) + "\r\nConnection: close\r\n\r\n";
        TavloBenchSendAll(c, head);
        TavloBenchSendAll(c, std::string_view(dat).substr(from));
    }
    std::map<std::string, std::string> m_dats;
    CTavloBenchServer m_server{64, [this](int c) { serve(c); }};
};

// The main frame as far as the thread view needs one: view messages go to the view; the
// close message marks the log complete.
class Frame : public CTavloWindowThreadFrame {
public:
    // As the main frame does it: one wait for the lot.
    void SendMessages(const Message* list, int count) override {
        auto all = [&] {
            for (int i = 0; i < count; ++i)
                handle(list[i].message, list[i].wParam, list[i].lParam);
        };
        if (QThread::currentThread() == qApp->thread())
            all();
        else
            QMetaObject::invokeMethod(qApp, all, Qt::BlockingQueuedConnection);
    }
    // As the main frame does it: the worker does not wait for the window.
    void QueueMessages(const Message* list, int count) override {
        for (int i = 0; i < count; ++i) {
            CTavloHandOff::Item item{list[i].message, list[i].wParam, list[i].lParam};
            handOff.Queue(&item, 1);
        }
    }
    intptr_t handle(unsigned message, uintptr_t, intptr_t l) override {
        if (message == TAVLO_WM_VIEWMESSAGE) {
            auto* m = reinterpret_cast<CTavloMessage*>(l);
            if (view)
                view->OnViewMessage(m, 0);
            if (m->Type == CTavloMessage::TYPE_CLOSEFILE) {
                closedAt = Clock::now();
                closed = true;
            }
            delete m;
        } else if (message == TAVLO_WM_SHOWERROR) {
            error = true;
        }
        return 0;
    }
    CTavloHandOff handOff{
        qApp, [this](const CTavloHandOff::Item& m) { handle(m.message, m.wParam, m.lParam); },
        [](const CTavloHandOff::Item& m) { delete reinterpret_cast<CTavloMessage*>(m.lParam); }};
    CTavloDatView* view = nullptr;
    bool closed = false;
    bool error = false;
    Clock::time_point closedAt;
};

struct Env {
    TempDir dir;
    DatServer server;
    Frame frame;
    std::unique_ptr<CTavloDatView> view;
    std::string boardUrl;
    Env() {
        CVornWinSock::InitSocket(2, 2);
        CTavloSettings::SetProfilePath(dir.file("tavlo.ini").c_str());
        VornCreateDirectories(dir.file("root").c_str());
        CTavloSettings::Instance().SetRootDirectory(CVornString(dir.file("root")));
        CTavloSettings::Instance().SetOnline(1);
        CTavloNgFile::Destroy();
        TavloSetMessageBoxHook([](const QString&, const QString&, int) { return TAVLO_IDNO; });
        boardUrl = "http://127.0.0.1:" + std::to_string(server.port()) + "/test/";
        view = std::make_unique<CTavloDatView>(&frame);
        frame.view = view.get();
        view->resize(800, 600);
        view->show();
        QApplication::processEvents();
    }
    ~Env() {
        frame.view = nullptr;
        view.reset();
        TavloSetMessageBoxHook(nullptr);
    }
    std::string logPath(const std::string& key) {
        return CTavloPath::GetLogPath(CVornString(boardUrl), CVornString(key)).str();
    }
};

Env& env() {
    static Env* e = new Env; // never destroyed: Qt goes down with the process
    return *e;
}

// CPU time (user and system) in ms of this process, or of its waited-for children.
double cpuMs(int who) {
    rusage u{};
    getrusage(who, &u);
    auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    return ms(u.ru_utime) + ms(u.ru_stime);
}

// Wall and CPU time of one side; the CPU time counts the server thread's part too.
struct Cost {
    double wall = 0, cpu = 0;
    Cost& operator+=(const Cost& o) {
        wall += o.wall;
        cpu += o.cpu;
        return *this;
    }
};

double curl(const std::string& url, const std::string& out, long from) {
    std::string range = std::to_string(from) + "-";
    std::vector<const char*> argv = {"curl", "-s", "-o", out.c_str()};
    if (from >= 0) {
        argv.push_back("-r");
        argv.push_back(range.c_str());
    }
    argv.push_back(url.c_str());
    argv.push_back(nullptr);
    auto t0 = Clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, "curl", nullptr, nullptr, const_cast<char* const*>(argv.data()),
                     environ) != 0)
        return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Runs the view's update of the current tab; ms from the request to the close message.
double fetchInView(CTavloDatCtrl* ctrl) {
    Frame& f = env().frame;
    f.closed = false;
    f.error = false;
    auto t0 = Clock::now();
    env().view->StartUpdate(ctrl);
    for (int i = 0; i < 200000 && (!f.closed || ctrl->IsUpdating()); ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    if (!f.closed || f.error)
        return -1;
    return std::chrono::duration<double, std::milli>(f.closedAt - t0).count();
}

CTavloDatCtrl* openTab(const std::string& key) {
    Env& e = env();
    int index = e.view->FindThread(CVornString(e.boardUrl), CVornString(key));
    if (index < 0) {
        // Opened offline first so that the tab's own fetch does not run here.
        CTavloSettings::Instance().SetOnline(0);
        e.view->OpenThread(CVornString(""), CVornString(key), CVornString(e.boardUrl),
                           CVornString("test"), 0);
        CTavloSettings::Instance().SetOnline(1);
        index = e.view->FindThread(CVornString(e.boardUrl), CVornString(key));
    }
    e.view->SelectTab(index);
    return e.view->GetCtrl(index);
}

// Counters: curl's wall time (the floor) and the ratios of wall and of CPU time to curl's.
void report(benchmark::State& state, const Cost& ours, const Cost& floor, size_t bytes) {
    const double n = static_cast<double>(state.iterations());
    state.counters["curl_ms"] = floor.wall / n;
    state.counters["ratio"] = floor.wall > 0 ? ours.wall / floor.wall : 0;
    state.counters["cpu_ms"] = ours.cpu / n;
    state.counters["curl_cpu_ms"] = floor.cpu / n;
    state.counters["cpu_ratio"] = floor.cpu > 0 ? ours.cpu / floor.cpu : 0;
    state.counters["KB"] = static_cast<double>(bytes) / 1024.0;
}

void FreshThread(benchmark::State& state) {
    Env& e = env();
    const int posts = static_cast<int>(state.range(0));
    const std::string key = std::to_string(1500000000 + posts);
    const std::string dat = makeLog(posts);
    e.server.set(key, dat);
    const std::string url = e.boardUrl + "dat/" + key + ".dat";
    const std::string curlOut = e.dir.file("curl-" + key + ".dat");
    CTavloDatCtrl* ctrl = openTab(key);
    Cost ours, floor;
    for (auto _ : state) {
        ctrl->Clear();
        CTavloPath::DeleteFile(CVornString(e.logPath(key)));
        const double o0 = cpuMs(RUSAGE_SELF);
        double t = fetchInView(ctrl);
        ours.cpu += cpuMs(RUSAGE_SELF) - o0;
        if (t < 0 || ctrl->GetPostCount() != posts) {
            state.SkipWithError("fetch failed");
            return;
        }
        std::remove(curlOut.c_str());
        const double s0 = cpuMs(RUSAGE_SELF), c0 = cpuMs(RUSAGE_CHILDREN);
        double c = curl(url, curlOut, -1);
        floor.cpu += cpuMs(RUSAGE_SELF) - s0 + cpuMs(RUSAGE_CHILDREN) - c0;
        ours.wall += t;
        floor.wall += c;
        state.SetIterationTime(t / 1e3);
    }
    report(state, ours, floor, dat.size());
}
BENCHMARK(FreshThread)
    ->Arg(10)
    ->Arg(300)
    ->Arg(1000)
    ->Arg(10000)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// A 1000-post log that gained 10 posts: the ranged fetch of the rest.
void TenNewPosts(benchmark::State& state) {
    Env& e = env();
    const std::string key = "1600000000";
    const std::string old = makeLog(1000);
    const std::string dat = old + makeLog(10, 1001);
    e.server.set(key, dat);
    const std::string url = e.boardUrl + "dat/" + key + ".dat";
    const std::string curlOut = e.dir.file("curl-" + key + ".dat");
    VornCreateDirectories(CTavloPath::GetDirectory(CVornString(e.logPath(key))).c_str());
    WriteAll(e.logPath(key), old);
    CTavloDatCtrl* ctrl = openTab(key);
    Cost ours, floor;
    for (auto _ : state) {
        WriteAll(e.logPath(key), old);
        ctrl->Clear();
        ctrl->CreateFromFile();
        const double o0 = cpuMs(RUSAGE_SELF);
        double t = fetchInView(ctrl);
        ours.cpu += cpuMs(RUSAGE_SELF) - o0;
        if (t < 0 || ctrl->GetPostCount() != 1010) {
            state.SkipWithError("fetch failed");
            return;
        }
        std::remove(curlOut.c_str());
        const double s0 = cpuMs(RUSAGE_SELF), c0 = cpuMs(RUSAGE_CHILDREN);
        double c = curl(url, curlOut, static_cast<long>(old.size() - 1));
        floor.cpu += cpuMs(RUSAGE_SELF) - s0 + cpuMs(RUSAGE_CHILDREN) - c0;
        ours.wall += t;
        floor.wall += c;
        state.SetIterationTime(t / 1e3);
    }
    report(state, ours, floor, dat.size() - old.size());
}
BENCHMARK(TenNewPosts)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    env();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::fflush(stdout);
    _exit(0);
}
