// A board's thread list of 10,000 threads: load, mark against the previous list and sort, each
// step alone and all three together, against plain line-split passes over the same file.
#include "tavlo_list_sort.h"
#include "tavlo_settings.h"
#include "tavlo_subject_file.h"
#include "vorn_file.h"
#include "vorn_kcode.h"

#include <benchmark/benchmark.h>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>

namespace {

constexpr int kThreads = 10000;

// A store in a temporary root with the current and the previous subject.txt of one board.
struct Fixture {
    std::string dir;
    std::string current;
    std::string previous;

    Fixture() {
        dir = (std::filesystem::temp_directory_path() / "tavlo-bench-XXXXXX").string();
        if (!mkdtemp(dir.data()))
            abort();
        CTavloSettings::SetProfilePath((dir + "/tavlo.ini").c_str());
        CTavloSettings::Instance().SetRootDirectory(CVornString(dir + "/root"));
        std::string board = dir + "/root/news.example.test/news";
        VornCreateDirectories(board.c_str());
        current = board + "/subject.txt";
        previous = dir + "/root/news.example.test/news/previous/subject.txt";
        VornCreateDirectories((board + "/previous").c_str());
        std::mt19937 rng(1);
        const char* words[] = {"雑談", "ニュース速報", "(東京)",    "&amp;", "表示ソフト",
                               "Part", "【実況】",     "&gt;&gt;1", "質問",  "ｱｲｳ"};
        std::string now, before;
        long long base = static_cast<long long>(time(nullptr)) - 86400LL * 30;
        for (int i = 0; i < kThreads; ++i) {
            std::string title;
            for (int w = 0; w < 4; ++w)
                title += words[rng() % 10];
            title = VornUtf8ToSjis(title + " " + std::to_string(i));
            int count = static_cast<int>(rng() % 1000) + 1;
            std::string key = std::to_string(base + i * 97);
            // One in ten is new, one in three has grown since the previous list.
            if (i % 10 != 0) {
                int old = i % 3 == 0 ? std::max(1, count - static_cast<int>(rng() % 50)) : count;
                before += key + ".dat<>" + title + " (" + std::to_string(old) + ")\n";
            }
            now += key + ".dat<>" + title + " (" + std::to_string(count) + ")\n";
        }
        VornWriteFileAtomic(current.c_str(), now);
        VornWriteFileAtomic(previous.c_str(), before);
    }
    ~Fixture() {
        CTavloSettings::Destroy();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

// Baseline: the same file read and split into lines by the text reader the loader uses.
void SplitLinesTextFile(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        CVornTextFile file;
        file.Open(f.current.c_str(), CVornFile::MODE_READ);
        CVornString line;
        size_t lines = 0;
        while (file.ReadLine(line))
            lines += !line.IsEmpty();
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(SplitLinesTextFile)->Unit(benchmark::kMillisecond);

// Baseline: the whole file read at once and cut at every line feed.
void SplitLinesMemchr(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        std::string text;
        VornReadFile(f.current.c_str(), text);
        size_t lines = 0;
        const char* p = text.data();
        const char* end = p + text.size();
        while (p < end) {
            const char* nl = static_cast<const char*>(memchr(p, '\n', end - p));
            if (!nl)
                nl = end;
            std::string line(p, nl);
            benchmark::DoNotOptimize(line.data());
            ++lines;
            p = nl + 1;
        }
        benchmark::DoNotOptimize(lines);
    }
}
BENCHMARK(SplitLinesMemchr)->Unit(benchmark::kMillisecond);

void Load(benchmark::State& state) {
    const Fixture& f = fixture();
    CTavloSubjectFile list;
    for (auto _ : state)
        list.CreateFromFile(CVornString(f.current));
    state.counters["entries"] = list.GetCount();
}
BENCHMARK(Load)->Unit(benchmark::kMillisecond);

void Mark(benchmark::State& state) {
    const Fixture& f = fixture();
    CTavloSubjectFile previous, list;
    previous.CreateFromFile(CVornString(f.previous));
    list.CreateFromFile(CVornString(f.current));
    int marked = 0;
    for (auto _ : state)
        marked = list.Mark(previous);
    state.counters["marked"] = marked;
}
BENCHMARK(Mark)->Unit(benchmark::kMillisecond);

// Sort by one key, from file order each time.
void Sort(benchmark::State& state) {
    const Fixture& f = fixture();
    CTavloSubjectFile previous, list;
    previous.CreateFromFile(CVornString(f.previous));
    list.CreateFromFile(CVornString(f.current));
    list.Mark(previous);
    int key = static_cast<int>(state.range(0));
    for (auto _ : state) {
        state.PauseTiming();
        TavloSortSubjects(list, SUBJECT_SORT_INDEX, 1);
        state.ResumeTiming();
        TavloSortSubjects(list, key, key == SUBJECT_SORT_COUNT ? 0 : 1);
    }
}
BENCHMARK(Sort)->DenseRange(0, 8)->Unit(benchmark::kMillisecond);

// What a fetched list costs before it is shown: load, mark, sort by marks.
void LoadMarkSort(benchmark::State& state) {
    const Fixture& f = fixture();
    CTavloSubjectFile previous, list;
    previous.CreateFromFile(CVornString(f.previous));
    for (auto _ : state) {
        list.CreateFromFile(CVornString(f.current));
        list.Mark(previous);
        TavloSortSubjects(list, SUBJECT_SORT_MARK, 1);
    }
}
BENCHMARK(LoadMarkSort)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
