// The desktop layout against the single view, side by side in one run: start-up (the
// application from settings to a shown window and back), the heap the shown window holds,
// and opening a 1000-post thread from the store into the thread view. The ratios
// desktop / single are printed after the runs (within 10 % is the goal).
#include "bench_fixture.h"
#include "tavlo_app.h"
#include "tavlo_dat_view.h"
#include "tavlo_dat_view_host.h"
#include "tavlo_path.h"
#include "tavlo_settings.h"
#include "tavlo_views.h"
#include "vorn_file.h"
#include "vorn_kcode.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

namespace {

std::string g_dir;
const CVornString kBoardUrl("http://news.example-bbs.test/news/");
const CVornString kKey("1700000000");

std::string makeLog(int posts) {
    return TavloBenchThreadLog(1, posts, "名無しさん", [](int i) {
        return TavloBenchAnswer(i) +
               "スレッドの読み込みがもっと速くなると嬉しいです。 <br> 詳しくは "
               "http://example.com/page.html を参照してください。 <br> &gt;引用文";
    });
}

void writeSettings(int desktop) {
    VornWriteFileAtomic((g_dir + "/tavlo.ini").c_str(),
                        "[tavlo]\nRootDirectory=" + g_dir +
                            "/logs\nDesktopLayout=" + std::to_string(desktop) +
                            "\nWindowLeft=0\nWindowTop=0\nWindowWidth=1280\nWindowHeight=900\n");
}

bool start(CTavloApp& app) {
    std::string a0 = "bench_layout", a1 = "--ini", a2 = g_dir + "/tavlo.ini";
    char* args[] = {a0.data(), a1.data(), a2.data(), nullptr};
    return app.InitInstance(3, args) == 1;
}

void settle() {
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

// Start-up to a shown window, then the end (arg: 0 single view, 1 desktop layout).
void StartUp(benchmark::State& state) {
    writeSettings(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CTavloApp app;
        if (!start(app)) {
            state.SkipWithError("start-up failed");
            break;
        }
        settle();
        app.ExitInstance();
    }
}
BENCHMARK(StartUp)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(20);

// The heap a shown window with one open thread holds (bytes, as a counter).
void Memory(benchmark::State& state) {
    writeSettings(static_cast<int>(state.range(0)));
    double total = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        CTavloApp app;
        if (!start(app)) {
            state.SkipWithError("start-up failed");
            break;
        }
        app.GetFrame()->ShowView(TAVLO_VIEW_THREAD);
        app.GetFrame()->Views().thread->OpenThread(CVornString(), kKey, kBoardUrl,
                                                   CVornString("news"), -1);
        settle();
        total += static_cast<double>(mallinfo2().uordblks) - static_cast<double>(before);
        app.ExitInstance();
    }
    state.counters["heap_KB"] = total / static_cast<double>(state.iterations()) / 1024.0;
}
BENCHMARK(Memory)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

// Opening the stored thread into a tab and closing it again, the window up.
void ThreadOpen(benchmark::State& state) {
    writeSettings(static_cast<int>(state.range(0)));
    CTavloApp app;
    if (!start(app)) {
        state.SkipWithError("start-up failed");
        return;
    }
    auto* host = dynamic_cast<CTavloDatViewHost*>(app.GetFrame()->Views().thread);
    // As a thread opened from the list: the thread view shown in either layout.
    app.GetFrame()->ShowView(TAVLO_VIEW_THREAD);
    settle();
    for (auto _ : state) {
        host->OpenThread(CVornString(), kKey, kBoardUrl, CVornString("news"), -1);
        settle();
        state.PauseTiming();
        host->View()->CloseTab(0);
        settle();
        state.ResumeTiming();
    }
    app.ExitInstance();
}
BENCHMARK(ThreadOpen)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(30);

// Prints the runs and then desktop / single for each figure. With repetitions
// (--benchmark_repetitions=N, best with --benchmark_enable_random_interleaving=true, so that
// both layouts see the same load) the medians are compared.
class RatioReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& r : runs) {
            if (r.run_type == Run::RT_Aggregate ? r.aggregate_name != "median" : r.repetitions > 1)
                continue;
            const std::string name = r.benchmark_name();
            const auto slash = name.find('/');
            if (slash == std::string::npos)
                continue;
            const std::string figure = name.substr(0, slash);
            const bool desktop = name.compare(slash + 1, 1, "1") == 0;
            auto heap = r.counters.find("heap_KB");
            const size_t i = desktop ? 1 : 0;
            if (heap != r.counters.end()) {
                m_values[figure][i] = static_cast<double>(heap->second);
            } else {
                m_values[figure + " real"][i] = r.GetAdjustedRealTime();
                m_values[figure + " cpu"][i] = r.GetAdjustedCPUTime();
            }
        }
    }
    void Finalize() override {
        ConsoleReporter::Finalize();
        for (const auto& [figure, v] : m_values)
            if (v[0] > 0)
                std::printf("%-16s desktop/single %.3f\n", figure.c_str(), v[1] / v[0]);
    }

private:
    std::map<std::string, std::array<double, 2>> m_values;
};

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qapp(argc, argv);
    g_dir = (std::filesystem::temp_directory_path() / "tavlo-bench-XXXXXX").string();
    if (!mkdtemp(g_dir.data()))
        return 1;
    std::filesystem::create_directories(g_dir + "/logs");
    // An (empty) board list, so that the board tree does not ask for the menu.
    VornWriteFileAtomic((g_dir + "/logs/board.txt").c_str(), "");
    writeSettings(0);
    CTavloSettings::SetProfilePath((g_dir + "/tavlo.ini").c_str());
    const CVornString log = CTavloPath::GetLogPath(kBoardUrl, kKey);
    std::filesystem::create_directories(std::filesystem::path(log.str()).parent_path());
    VornWriteFileAtomic(log.c_str(), makeLog(1000));
    CTavloSettings::Destroy();

    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
    return 0;
}
