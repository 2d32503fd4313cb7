// Updating 100 stored threads that each gained 10 posts: the differential fetch (range from
// the end of the log) against fetching every log whole. Bytes on the wire come from the board
// server's request log; wall time includes the server (a local Python process).
#include "fetch_support.h"
#include "tavlo_bbs_manager.h"
#include "tavlo_path.h"
#include "tavlo_settings.h"
#include "test_util.h"
#include "vorn_file.h"
#include "vorn_winsock.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

const int kThreads = 100;
const char kBoardUrl[] = "http://news.example-bbs.test/bench/";

struct World : BoardFixture {
    World() {
        for (int i = 0; i < kThreads; ++i)
            sim.control("/_ctl/create?host=news.example-bbs.test&board=bench&key=" + key(i) +
                        "&posts=300");
    }
    static std::string key(int i) { return std::to_string(1700000000 + i); }
    void fetchAll() {
        for (int i = 0; i < kThreads; ++i) {
            CVornString error;
            CTavloBbsManager::Instance().Fetch(CVornString(kBoardUrl), CVornString(key(i)), nullptr,
                                               error);
        }
    }
    void appendAll(int n) {
        for (int i = 0; i < kThreads; ++i)
            sim.control("/_ctl/append?host=news.example-bbs.test&board=bench&key=" + key(i) +
                        "&n=" + std::to_string(n));
    }
    void deleteLogs() {
        for (int i = 0; i < kThreads; ++i)
            VornRemoveFile(
                CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString(key(i))).c_str());
    }
    // Body bytes the server sent for log requests since the last clear.
    double wireBytes() {
        double total = 0;
        for (const std::string& line : sim.requests()) {
            if (line.find("/dat/") == std::string::npos)
                continue;
            size_t b = line.find("\"bytes\": ");
            if (b != std::string::npos)
                total += atof(line.c_str() + b + 9);
        }
        return total;
    }
};

World& world() {
    static World* w = new World;
    return *w;
}

void UpdateByDifference(benchmark::State& state) {
    World& w = world();
    w.deleteLogs();
    w.fetchAll();
    double bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.appendAll(10);
        w.sim.clearRequests();
        state.ResumeTiming();
        w.fetchAll();
        state.PauseTiming();
        bytes += w.wireBytes();
        state.ResumeTiming();
    }
    state.counters["wire_bytes_per_update"] = bytes / static_cast<double>(state.iterations());
}
BENCHMARK(UpdateByDifference)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void FetchWhole(benchmark::State& state) {
    World& w = world();
    double bytes = 0;
    for (auto _ : state) {
        state.PauseTiming();
        w.appendAll(10);
        w.deleteLogs();
        w.sim.clearRequests();
        state.ResumeTiming();
        w.fetchAll();
        state.PauseTiming();
        bytes += w.wireBytes();
        state.ResumeTiming();
    }
    state.counters["wire_bytes_per_update"] = bytes / static_cast<double>(state.iterations());
}
BENCHMARK(FetchWhole)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
