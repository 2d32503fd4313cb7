// The anchor index and popups of a 1000-post thread (offscreen): opening the thread with and
// without its index, building the index alone, adding 100 posts to it, and a 10-post popup.
#include "bench_log_fixture.h"
#include "tavlo_anchor_index.h"
#include "tavlo_dat_ctrl.h"
#include "tavlo_path.h"
#include "tavlo_popup.h"
#include "tavlo_settings.h"
#include "vorn_file.h"
#include "vorn_kcode.h"

#include <QApplication>

#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const CVornString kBoard("http://bench.example/test/");
const CVornString kKey("1000000001");
constexpr int kPosts = 1000;

// Posts answer earlier ones (single, range and list anchors); 50 IDs take turns; the last
// post names posts 1 to 10.
std::string makeLog(int posts) {
    std::string utf8;
    for (int i = 1; i <= posts; ++i) {
        char head[256];
        std::snprintf(head, sizeof(head),
                      "名無しさん<>%s<>2009/01/%02d(木) 12:%02d:%02d ID:Ab%05dCd<> ",
                      i % 3 == 0 ? "sage" : "", 1 + i % 28, i % 60, (i * 7) % 60, i % 50);
        utf8 += head;
        if (i == posts)
            utf8 += "&gt;&gt;1-10 <br> ";
        else if (i > 1)
            utf8 += "&gt;&gt;" + std::to_string(i / 2) + " &gt;&gt;" + std::to_string(i / 3 + 1) +
                    "-" + std::to_string(i / 3 + 3) + " <br> ";
        utf8 += "表示ソフトの能力は十分ですが、スレッドの読み込みがもっと速くなると嬉しいです。"
                "<br> 詳しくは http://example.com/path/to/page.html?id=12345 を参照してください。"
                "<br> &gt;引用文 <br> 長めの文章を書いておくと折り返しが起きます。";
        utf8 += i == 1 ? " <>ベンチマーク用スレッド\n" : " <>\n";
    }
    return VornUtf8ToSjis(utf8);
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

// 100 posts appended to an index of the 900 before them (the copy is not timed).
void Append100(benchmark::State& state) {
    auto ctrl = openView();
    std::vector<std::u16string> posts;
    for (int n = 1; n <= ctrl->GetPostCount(); ++n)
        posts.push_back(ctrl->GetPostDisplay(n));
    CTavloAnchorIndex base;
    for (int n = 1; n <= kPosts - 100; ++n)
        base.AddPost(n, posts[static_cast<size_t>(n - 1)]);
    for (auto _ : state) {
        CTavloAnchorIndex index = base;
        auto t0 = std::chrono::steady_clock::now();
        for (int n = kPosts - 99; n <= kPosts; ++n)
            index.AddPost(n, posts[static_cast<size_t>(n - 1)]);
        auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        benchmark::DoNotOptimize(index.GetCount());
    }
}
BENCHMARK(Append100)->Unit(benchmark::kMicrosecond)->UseManualTime();

// The same rebuild timed the same way, so the two compare in one run.
void Rebuild1000(benchmark::State& state) {
    auto ctrl = openView();
    std::vector<std::u16string> posts;
    for (int n = 1; n <= ctrl->GetPostCount(); ++n)
        posts.push_back(ctrl->GetPostDisplay(n));
    for (auto _ : state) {
        CTavloAnchorIndex index;
        auto t0 = std::chrono::steady_clock::now();
        for (int n = 1; n <= kPosts; ++n)
            index.AddPost(n, posts[static_cast<size_t>(n - 1)]);
        auto t1 = std::chrono::steady_clock::now();
        state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
        benchmark::DoNotOptimize(index.GetCount());
    }
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
