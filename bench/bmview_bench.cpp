// The bookmark check as the program runs it: the bookmark view starts it and the window thread
// serves its progress messages and row redraws. 100 bookmarks, a server that takes 100 ms per
// request, ThreadMax 8: the ideal is ceil(100 / 8) x 100 ms = 1.3 s, and bench_bookmark gives
// the engine alone. Then the window thread's share of a large list: sorting 1,000 bookmarks by
// new posts and asking for every cell's text, as a repaint of the whole list would.
#include "bench_app_fixture.h"
#include "boardsim.h"
#include "tavlo_app.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_bookmark_view.h"
#include "vorn_file.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

const int kBookmarks = 100;
const int kLatencyMs = 100;
const int kThreadMax = 8;
const int kListSize = 1000;
const char kBoardUrl[] = "http://news.example-bbs.test/bm/";

BoardSim* g_sim = nullptr;
CTavloBookmarkView* g_view = nullptr;

void checkOnce() {
    g_view->StartCheck();
    while (g_view->IsChecking())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BookmarkViewCheck(benchmark::State& state) {
    g_sim->control("/_ctl/latency?ms=" + std::to_string(kLatencyMs));
    for (auto _ : state)
        checkOnce();
    g_sim->control("/_ctl/latency?ms=0");
    state.counters["ideal_s"] = (kBookmarks + kThreadMax - 1) / kThreadMax * kLatencyMs / 1000.0;
}
BENCHMARK(BookmarkViewCheck)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// Without added latency: the fixed cost of 100 fetches with the window thread in the loop.
void BookmarkViewCheckNoLatency(benchmark::State& state) {
    for (auto _ : state)
        checkOnce();
}
BENCHMARK(BookmarkViewCheckNoLatency)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BookmarkViewSortAndTexts(benchmark::State& state) {
    CTavloBookmarkFile& list = CTavloBookmarkFile::Instance();
    for (int i = list.GetCount(); i < kListSize; ++i)
        list.Add(CVornString(kBoardUrl), CVornString("t" + std::to_string(i)),
                 CVornString(std::to_string(1730000000 + i)), CVornString("bm"), CVornString("bm"));
    g_view->Reload();
    QString text;
    for (auto _ : state) {
        g_view->SortItems(CTavloBookmarkView::SORT_UPDATED, 1);
        for (int row = 0; row < g_view->GetItemCount(); ++row)
            for (int column = 0; column < 6; ++column)
                benchmark::DoNotOptimize(g_view->GetItemText(text, row, column));
        g_view->SortItems(CTavloBookmarkView::SORT_INDEX, 1);
    }
    state.SetItemsProcessed(state.iterations() * g_view->GetItemCount());
}
BENCHMARK(BookmarkViewSortAndTexts)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qapp(argc, argv);
    BoardSim sim;
    g_sim = &sim;
    if (!sim.ok())
        return 1;
    const std::string ini =
        "ProxyUse=1\nProxyHost=127.0.0.1\nProxyPort=" + std::to_string(sim.port()) +
        "\nThreadMax=" + std::to_string(kThreadMax) + "\n";
    CMainFrame* frame = nullptr;
    return TavloRunBenchmarksInApp(argc, argv, "bench_bmview", &frame, ini, [&](CTavloApp&) {
        CTavloBookmarkFile& list = CTavloBookmarkFile::Instance();
        for (int i = 0; i < kBookmarks; ++i) {
            std::string key = std::to_string(1720000000 + i);
            sim.control("/_ctl/create?host=news.example-bbs.test&board=bm&key=" + key +
                        "&posts=50");
            list.Add(CVornString(kBoardUrl), CVornString("t"), CVornString(key), CVornString("bm"),
                     CVornString("bm"));
        }
        list.Save();
        frame->SendMessage(TAVLO_WM_SHOWBOOKMARKS, 0, 0);
        g_view = static_cast<CTavloBookmarkView*>(frame->Views().bookmarkList);
        // The first check fetches every log; the measured ones are differential.
        checkOnce();
        return true;
    });
}
