// The bookmark update check: 100 bookmarks, a server that takes 100 ms per request, ThreadMax 8.
// The ideal is ceil(100 / 8) x 100 ms = 1.3 s; the ratio to it is reported.
#include "fetch_support.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_bookmark_updater.h"
#include "tavlo_settings.h"
#include "test_util.h"
#include "vorn_winsock.h"

#include <benchmark/benchmark.h>
#include <string>

namespace {

const int kBookmarks = 100;
const int kLatencyMs = 100;
const int kThreadMax = 8;

struct World : BoardFixture {
    CTavloBookmarkFile list;
    World() {
        CTavloSettings::Instance().SetInt("ThreadMax", kThreadMax);
        for (int i = 0; i < kBookmarks; ++i) {
            std::string key = std::to_string(1720000000 + i);
            sim.control("/_ctl/create?host=news.example-bbs.test&board=bm&key=" + key +
                        "&posts=50");
            list.Add(CVornString("http://news.example-bbs.test/bm/"), CVornString("t"),
                     CVornString(key), CVornString("bm"), CVornString("bm"));
        }
        // First check fetches every log; the measured ones are differential.
        CTavloBookmarkUpdater updater(nullptr);
        updater.Start(list);
        updater.Wait();
        sim.control("/_ctl/latency?ms=" + std::to_string(kLatencyMs));
    }
};

World* g_world = nullptr;

void BookmarkCheck(benchmark::State& state) {
    if (!g_world)
        g_world = new World;
    World* world = g_world;
    CTavloBookmarkUpdater updater(nullptr);
    for (auto _ : state) {
        updater.Start(world->list);
        updater.Wait();
    }
    double ideal = (kBookmarks + kThreadMax - 1) / kThreadMax * kLatencyMs / 1000.0;
    state.counters["ideal_s"] = ideal;
    state.counters["peak_workers"] = updater.GetPeakWorkers();
}
BENCHMARK(BookmarkCheck)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The same check against a server without added latency: the fixed cost of 100 fetches.
void BookmarkCheckNoLatency(benchmark::State& state) {
    if (!g_world)
        g_world = new World;
    World* world = g_world;
    world->sim.control("/_ctl/latency?ms=0");
    CTavloBookmarkUpdater updater(nullptr);
    for (auto _ : state) {
        updater.Start(world->list);
        updater.Wait();
    }
    world->sim.control("/_ctl/latency?ms=" + std::to_string(kLatencyMs));
}
BENCHMARK(BookmarkCheckNoLatency)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
