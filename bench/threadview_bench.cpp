// The thread control in its window (offscreen): opening a 1000-post thread, re-laying it out
// at a new width, and repainting one screen after a scroll.
#include "bench_log_fixture.h"
#include "tavlo_dat_ctrl.h"
#include "tavlo_path.h"
#include "tavlo_settings.h"
#include "vorn_file.h"
#include "vorn_kcode.h"

#include <QApplication>

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

const CVornString kBoard("http://bench.example/test/");
const CVornString kKey("1000000000");

std::string makeLog(int posts) {
    std::string utf8;
    for (int i = 1; i <= posts; ++i) {
        char head[256];
        std::snprintf(
            head, sizeof(head),
            "名無しさん＠お腹いっぱい。<>%s<>2009/01/%02d(木) 12:%02d:%02d ID:Ab%05dCd<> ",
            i % 3 == 0 ? "sage" : "", 1 + i % 28, i % 60, (i * 7) % 60, i % 50);
        utf8 += head;
        if (i > 1)
            utf8 += "&gt;&gt;" + std::to_string(i / 2) + " <br> ";
        utf8 += "表示ソフトの能力は十分ですが、スレッドの読み込みがもっと速くなると嬉しいです。"
                "<br> 詳しくは http://example.com/path/to/page.html?id=12345 を参照してください。"
                "<br> 半角ｶﾅも混ざる ｱｲｳｴｵ と ① 髙 ～ の文字 <br> &gt;引用文 <br> "
                "長めの文章を書いておくと折り返しが起きます。折り返し、折り返し、まだ続きます。";
        utf8 += i == 1 ? " <>ベンチマーク用スレッド\n" : " <>\n";
    }
    return VornUtf8ToSjis(utf8);
}

std::unique_ptr<CTavloDatCtrl> openView(int width, int height) {
    auto ctrl = std::make_unique<CTavloDatCtrl>();
    ctrl->GetTextCtrl()->resize(width, height);
    ctrl->GetTextCtrl()->show();
    QApplication::processEvents();
    ctrl->SetThread(kBoard, kKey);
    ctrl->CreateFromFile();
    return ctrl;
}

void OpenInView(benchmark::State& state) {
    auto ctrl = openView(800, 600);
    for (auto _ : state) {
        ctrl->Clear();
        ctrl->CreateFromFile();
        benchmark::DoNotOptimize(ctrl->GetPostCount());
    }
    state.counters["posts"] = ctrl->GetPostCount();
}
BENCHMARK(OpenInView)->Unit(benchmark::kMicrosecond);

void RelayoutInView(benchmark::State& state) {
    auto ctrl = openView(800, 600);
    ctrl->JumpNumber(500, false);
    int width = 700;
    for (auto _ : state) {
        ctrl->GetTextCtrl()->resize(width, 600);
        QApplication::processEvents();
        width = width == 700 ? 701 : 700;
    }
    state.counters["lines"] = ctrl->GetTextCtrl()->GetLineCount();
}
BENCHMARK(RelayoutInView)->Unit(benchmark::kMicrosecond);

// One wheel notch and the repaint of an 800x600 window.
void ScrollAndPaint(benchmark::State& state) {
    auto ctrl = openView(800, 600);
    CTavloTextCtrl* text = ctrl->GetTextCtrl();
    QPixmap target(text->viewport()->size());
    int top = 0;
    for (auto _ : state) {
        top = (top + 3) % (text->GetLineCount() - 50);
        text->SetTopLine(top);
        text->viewport()->render(&target);
    }
}
BENCHMARK(ScrollAndPaint)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    CTavloBenchLogFixture fixture("tavlo-viewbench-", kBoard, kKey, makeLog(1000));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
