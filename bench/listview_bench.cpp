// The board tree and the thread list on the window thread: painting a screen of a 10,000-thread
// list, sorting it with a redraw, fitting its columns, paging through it; building a tree of
// 800 boards and searching it from the top to the last board.
#include "tavlo_board_tree.h"
#include "tavlo_board_view.h"
#include "tavlo_list_ctrl.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_subject_view.h"
#include "vorn_file.h"
#include "vorn_kcode.h"

#include <QApplication>
#include <QPixmap>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

constexpr int kThreads = 10000;
constexpr int kBoards = 800;

// The main window as far as these views need one: every message is answered 0.
class QuietWindow : public CTavloWindow {
public:
    intptr_t SendMessage(unsigned, uintptr_t, intptr_t) override { return 0; }
    void PostMessage(unsigned, uintptr_t, intptr_t) override {}
};

QuietWindow g_window;
std::string g_root;
std::unique_ptr<CTavloSubjectView> g_list;

void writeStore() {
    std::string subject;
    for (int i = 0; i < kThreads; ++i)
        subject += std::to_string(1600000000 + i * 60) + ".dat<>" +
                   VornUtf8ToSjis("スレッドの題名 ") + std::to_string(i) + " (" +
                   std::to_string((i * 37) % 1000 + 1) + ")\n";
    std::filesystem::create_directories(g_root + "/news.example-bbs.test/news");
    VornWriteFileAtomic((g_root + "/news.example-bbs.test/news/subject.txt").c_str(), subject);
    std::string boards;
    for (int i = 0; i < kBoards; ++i) {
        if (i % 20 == 0)
            boards += VornUtf8ToSjis("カテゴリ") + std::to_string(i / 20) + "\n\n\n";
        boards += VornUtf8ToSjis("板の名前") + std::to_string(i) + "\nhttp://host" +
                  std::to_string(i % 7) + ".example-bbs.test/b" + std::to_string(i) + "/\nb" +
                  std::to_string(i) + "\n";
    }
    VornWriteFileAtomic((g_root + "/board.txt").c_str(), boards);
}

CTavloSubjectView& list() {
    if (!g_list) {
        g_list = std::make_unique<CTavloSubjectView>(&g_window);
        g_list->OnInitialUpdate();
        g_list->resize(640, 480);
        g_list->show();
        g_list->CreateFromFile(CVornString("news"),
                               CVornString("http://news.example-bbs.test/news/"),
                               CVornString("news"));
    }
    return *g_list;
}

// One screen of rows, drawn by the list's rules.
void PaintScreen(benchmark::State& state) {
    CTavloSubjectView& l = list();
    QPixmap target(640, 480);
    for (auto _ : state)
        l.GetListCtrl()->viewport()->render(&target);
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(PaintScreen)->Unit(benchmark::kMicrosecond);

// Every sort key in turn, with the redraw request.
void SortAllKeys(benchmark::State& state) {
    CTavloSubjectView& l = list();
    for (auto _ : state)
        for (int key = 0; key <= 7; ++key)
            l.SortItems(key, key == 1 || key == 3 ? 0 : 1);
    l.SortItems(0, 1);
    state.SetItemsProcessed(state.iterations() * 8 * kThreads);
}
BENCHMARK(SortAllKeys)->Unit(benchmark::kMillisecond);

void FitColumns(benchmark::State& state) {
    CTavloSubjectView& l = list();
    for (auto _ : state)
        l.FitColumns();
    state.SetItemsProcessed(state.iterations() * kThreads);
}
BENCHMARK(FitColumns)->Unit(benchmark::kMillisecond);

// Page down from the top to the end, painting each page.
void PageThrough(benchmark::State& state) {
    CTavloSubjectView& l = list();
    QPixmap target(640, 480);
    int pages = 0;
    for (auto _ : state) {
        l.SelectRow(0);
        while (l.GetSelectedRow() < l.GetItemCount() - 1) {
            l.GetListCtrl()->PageKey(true);
            l.GetListCtrl()->viewport()->render(&target);
            ++pages;
        }
    }
    state.counters["pages"] = benchmark::Counter(pages, benchmark::Counter::kAvgIterations);
}
BENCHMARK(PageThrough)->Unit(benchmark::kMillisecond);

// board.txt of 800 boards read into the tree.
void BuildBoardTree(benchmark::State& state) {
    for (auto _ : state) {
        CTavloBoardView view(&g_window);
        view.OnInitialUpdate();
        benchmark::DoNotOptimize(view.GetTree()->topLevelItemCount());
    }
    state.SetItemsProcessed(state.iterations() * kBoards);
}
BENCHMARK(BuildBoardTree)->Unit(benchmark::kMillisecond);

// From the top to the last board: every item tested once.
void SearchToTheLastBoard(benchmark::State& state) {
    CTavloBoardView view(&g_window);
    view.OnInitialUpdate();
    CVornString last("^b" + std::to_string(kBoards - 1) + "$");
    for (auto _ : state) {
        view.SelectItem(view.GetRootItem());
        benchmark::DoNotOptimize(view.SearchBoard(last));
    }
    state.SetItemsProcessed(state.iterations() * kBoards);
}
BENCHMARK(SearchToTheLastBoard)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication qapp(argc, argv);
    std::string dir = (std::filesystem::temp_directory_path() / "tavlo-bench-XXXXXX").string();
    if (!mkdtemp(dir.data()))
        return 1;
    g_root = dir + "/logs";
    CTavloSettings::SetProfilePath((dir + "/tavlo.ini").c_str());
    CTavloSettings::Instance().SetRootDirectory(CVornString(g_root));
    writeStore();
    // A search that ends at the last board answers with a box: answered at once.
    TavloSetMessageBoxHook([](const QString&, const QString&, int) { return int(TAVLO_IDOK); });
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    g_list.reset();
    CTavloSettings::Destroy();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return 0;
}
