// The anchor index and popups of a 1000-post thread (offscreen): opening the thread with and
// without its index, building the index alone, adding 100 posts to it, and a 10-post popup.
#include "bench_fixture.h"
#include "bench_log_fixture.h"
#include "tavlo_anchor_index.h"
#include "tavlo_dat_ctrl.h"
#include "tavlo_path.h"
#include "tavlo_popup.h"
#include "tavlo_post_converter.h"
#include "tavlo_settings.h"
#include "vorn_file.h"
#include "vorn_kcode.h"

#include <QApplication>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <time.h>
#include <unistd.h>

namespace {

const CVornString kBoard("http://bench.example/test/");
const CVornString kKey("1000000001");
constexpr int kPosts = 1000;

// Posts answer earlier ones (single, range and list anchors); 50 IDs take turns; the last
// post names posts 1 to 10.
std::string makeLog(int posts) {
    return TavloBenchThreadLog(1, posts, "名無しさん", [posts](int i) {
        std::string anchors;
        if (i == posts)
            anchors = "&gt;&gt;1-10 <br> ";
        else if (i > 1)
            anchors = "&gt;&gt;" + std::to_string(i / 2) + " &gt;&gt;" + std::to_string(i / 3 + 1) +
                      "-" + std::to_string(i / 3 + 3) + " <br> ";
        return anchors +
               "表示ソフトの能力は十分ですが、スレッドの読み込みがもっと速くなると嬉しいです。"
               "<br> 詳しくは http://example.com/path/to/page.html?id=12345 を参照してください。"
               "<br> &gt;引用文 <br> 長めの文章を書いておくと折り返しが起きます。";
    });
}

std::unique_ptr<CTavloDatCtrl> openView() {
    auto ctrl = std::make_unique<CTavloDatCtrl>();
    ctrl->GetTextCtrl()->resize(800, 600);
    ctrl->GetTextCtrl()->show();
    QApplication::processEvents();
    ctrl->SetThread(kBoard, kKey);
    ctrl->CreateFromFile();
    return ctrl;
}

// The baseline: opening the thread as it was before it had an index.
void OpenWithoutIndex(benchmark::State& state) {
    auto ctrl = openView();
    ctrl->SetAnchorSource(nullptr);
    for (auto _ : state) {
        ctrl->Clear();
        ctrl->CreateFromFile();
        benchmark::DoNotOptimize(ctrl->GetPostCount());
    }
    state.counters["indexed"] = ctrl->GetAnchors().GetCount();
}
BENCHMARK(OpenWithoutIndex)->Unit(benchmark::kMicrosecond);

void OpenWithIndex(benchmark::State& state) {
    auto ctrl = openView();
    for (auto _ : state) {
        ctrl->Clear();
        ctrl->CreateFromFile();
        benchmark::DoNotOptimize(ctrl->GetAnchors().GetCount());
    }
    state.counters["indexed"] = ctrl->GetAnchors().GetCount();
}
BENCHMARK(OpenWithIndex)->Unit(benchmark::kMicrosecond);

// The index alone, the way the thread control builds it: from the shown text in place.
void BuildIndex(benchmark::State& state) {
    auto ctrl = openView();
    const std::u16string text = ctrl->GetTextCtrl()->GetText();
    CTavloAnchorIndex index;
    for (auto _ : state) {
        index.Clear();
        index.AddDisplay(text);
        benchmark::DoNotOptimize(index.ReferredCount(1));
    }
    state.counters["answers_of_1"] = index.ReferredCount(1);
}
BENCHMARK(BuildIndex)->Unit(benchmark::kMicrosecond);

// The display text of the thread in two conversions, as a fetch leaves it: posts 1 to 900
// shown before, then posts 901 to 1000 just converted, with what their conversion found.
struct Appended {
    std::u16string before, added, whole;
    TavloConvertedPosts converted;
};

// The thread's CPU time, in seconds: with other work on the machine it stays what this
// thread spent, where the wall clock would count the waits.
double cpuNow() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

const Appended& appended() {
    static const Appended a = [] {
        Appended r;
        const std::string log = makeLog(kPosts);
        size_t cut = 0;
        for (int k = 0; k < kPosts - 100; ++k)
            cut = log.find('\n', cut) + 1;
        CTavloPostConverter conv;
        conv.ConvertSjis(std::string_view(log).substr(0, cut), 1, 1, nullptr, false, r.before);
        conv.ConvertSjis(std::string_view(log).substr(cut), kPosts - 99, kPosts - 99, nullptr,
                         false, r.added);
        r.converted = conv.GetConverted();
        r.whole = r.before + r.added;
        return r;
    }();
    return a;
}

// The update for 100 appended posts, the way the thread control makes it, on an index of the
// 900 before them as an open leaves it (that build is not timed).
void Append100(benchmark::State& state) {
    const Appended& a = appended();
    const std::u16string_view added = std::u16string_view(a.added).substr(a.converted.textStart);
    for (auto _ : state) {
        CTavloAnchorIndex index;
        index.AddDisplay(a.before);
        const double t0 = cpuNow();
        bool ok = index.AddConverted(added, a.converted);
        state.SetIterationTime(cpuNow() - t0);
        benchmark::DoNotOptimize(ok);
        if (!ok || index.GetCount() != kPosts)
            state.SkipWithError("the appended posts were not taken");
    }
}
BENCHMARK(Append100)->Unit(benchmark::kMicrosecond)->UseManualTime();

// The same update read from the appended text alone.
void Append100FromText(benchmark::State& state) {
    const Appended& a = appended();
    for (auto _ : state) {
        CTavloAnchorIndex index;
        index.AddDisplay(a.before);
        const double t0 = cpuNow();
        index.AddDisplay(a.added);
        state.SetIterationTime(cpuNow() - t0);
        benchmark::DoNotOptimize(index.GetCount());
    }
}
BENCHMARK(Append100FromText)->Unit(benchmark::kMicrosecond)->UseManualTime();

// What the update spares: indexing the whole thread again after the append, from its text
// (the conversion's findings are there only for the posts it has just converted). The arrays
// keep their room from the last round, so no growing is timed.
void Rebuild1000(benchmark::State& state) {
    const Appended& a = appended();
    CTavloAnchorIndex index;
    index.AddDisplay(a.whole);
    for (auto _ : state) {
        const double t0 = cpuNow();
        index.Clear();
        index.AddDisplay(a.whole);
        state.SetIterationTime(cpuNow() - t0);
        benchmark::DoNotOptimize(index.GetCount());
    }
    state.counters["posts"] = index.GetCount();
}
BENCHMARK(Rebuild1000)->Unit(benchmark::kMicrosecond)->UseManualTime();

// A popup of posts 1 to 10 opened from the last post's anchor, shown and laid out.
void Popup10(benchmark::State& state) {
    auto ctrl = openView();
    CTavloPopupSet* popups = ctrl->GetPopups();
    std::u16string text = ctrl->GetTextCtrl()->GetText();
    size_t at = text.rfind(u">>1-10") + 2;
    int shown = 0;
    for (auto _ : state) {
        CTavloPopup* p = popups->OpenAt(ctrl.get(), at);
        shown = p ? static_cast<int>(p->Numbers().size()) : 0;
        popups->CloseAll();
    }
    state.counters["posts"] = shown;
}
BENCHMARK(Popup10)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    CTavloBenchLogFixture fixture("tavlo-popupbench-", kBoard, kKey, makeLog(kPosts));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
