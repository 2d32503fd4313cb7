// The frame's share of a fetch: view messages a worker sends to the window thread (each waits
// until it was handled) against the same messages handled by a direct call, and key dispatch.
#include "bench_app_fixture.h"
#include "tavlo_app.h"
#include "tavlo_message.h"
#include "tavlo_settings.h"
#include "vorn_file.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace {

CMainFrame* g_frame = nullptr;
constexpr int kMessages = 1000;

CTavloMessage* progress(int i) {
    return new CTavloReadUrlMessage(CVornString("1700000000"),
                                    CVornString("http://news.example-bbs.test/news/"),
                                    CVornString(), i * 512, kMessages * 512);
}

// A worker sends; the window thread serves the queued calls as it would in its event loop.
void ViewMessagesFromWorker(benchmark::State& state) {
    for (auto _ : state) {
        std::atomic<bool> done{false};
        std::thread worker([&] {
            for (int i = 0; i < kMessages; ++i)
                g_frame->SendMessage(TAVLO_WM_VIEWMESSAGE, 0,
                                     reinterpret_cast<intptr_t>(progress(i)));
            done = true;
        });
        while (!done.load())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        worker.join();
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(ViewMessagesFromWorker)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same handling called directly on the window thread: the cost of the handler alone.
void ViewMessagesDirect(benchmark::State& state) {
    for (auto _ : state)
        for (int i = 0; i < kMessages; ++i)
            g_frame->SendMessage(TAVLO_WM_VIEWMESSAGE, 0, reinterpret_cast<intptr_t>(progress(i)));
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(ViewMessagesDirect)->Unit(benchmark::kMillisecond)->UseRealTime();

// A key nobody binds travels through the container, frame and view checks.
void KeyDispatchUnbound(benchmark::State& state) {
    for (auto _ : state)
        benchmark::DoNotOptimize(g_frame->DispatchKey('K'));
}
BENCHMARK(KeyDispatchUnbound);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qapp(argc, argv);
    return TavloRunBenchmarksInApp(argc, argv, "bench_shell", &g_frame);
}
