// The store's readers at realistic sizes: a long bookmark list, a busy board's summary, the
// info line read at every thread open, the NG expression of a large rule set, post counting.
#include "tavlo_article_file.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_dat_file.h"
#include "tavlo_info_file.h"
#include "tavlo_list_item.h"
#include "tavlo_ng_file.h"
#include "tavlo_settings.h"
#include "vorn_file.h"
#include "vorn_kcode.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

// A private root for the benchmarks that touch files.
const std::string& benchRoot() {
    static const std::string root = [] {
        std::string dir = (std::filesystem::temp_directory_path() / "tavlo-bench-XXXXXX").string();
        if (!mkdtemp(dir.data()))
            abort();
        CTavloSettings::SetProfilePath((dir + "/tavlo.ini").c_str());
        std::string r = CTavloSettings::Instance().RootDirectory.str();
        VornCreateDirectories(r.c_str());
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(
                std::filesystem::path(CTavloSettings::Instance().RootDirectory.str()).parent_path(),
                ec);
        });
        return r;
    }();
    return root;
}

std::string bookmarks(int n) {
    std::string text = "((\"\" \"\" ";
    std::string title = VornUtf8ToSjis("【実況】表示ソフトの能力を語るスレ \\\"その\\\" ");
    for (int i = 0; i < n; ++i) {
        std::string key = std::to_string(1600000000 + i);
        std::string board = "http://host" + std::to_string(i % 20) + ".example/board/";
        text += "(\"" + board + key + "\" (board (name . \"" + VornUtf8ToSjis("板の名前") +
                "\") (uri . \"" + board + "\") (id . \"board\")) (article (subject . \"" + title +
                key + "\") (artid . \"" + key + "\") (count . \"123\"))) ";
    }
    return text + "))";
}

void BookmarkParse(benchmark::State& state) {
    benchRoot();
    std::string text = bookmarks(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        CTavloBookmarkFile list;
        list.Parse(text);
        benchmark::DoNotOptimize(list.GetCount());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BookmarkParse)->Arg(1000)->Unit(benchmark::kMillisecond);

// Hostile input must stay linear: nested openings, unclosed lists, a string left open.
void BookmarkParseHostile(benchmark::State& state) {
    benchRoot();
    std::string text;
    while (text.size() < 4 * 1024 * 1024) {
        text += "(\"(\"(\"";
        text += "(\"a\" (board (uri . \"http://h/b/\")) (article ";
        for (int i = 0; i < 200; ++i)
            text += "(x . \"y\") ";
    }
    text += "\"";
    for (auto _ : state) {
        CTavloBookmarkFile list;
        list.Parse(text);
        benchmark::DoNotOptimize(list.GetCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(BookmarkParseHostile)->Unit(benchmark::kMillisecond);

void BookmarkFormat(benchmark::State& state) {
    benchRoot();
    CTavloBookmarkFile list;
    list.Parse(bookmarks(static_cast<int>(state.range(0))));
    for (auto _ : state) {
        CVornString text = list.Format();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BookmarkFormat)->Arg(1000)->Unit(benchmark::kMillisecond);

void SummaryParse(benchmark::State& state) {
    std::string text = ";;; -*- mode: emacs-lisp; -*-\n(";
    for (int i = 0; i < state.range(0); ++i)
        text += "(\"" + std::to_string(1600000000 + i) + "\" :seen " + std::to_string(i % 1000) +
                " :access-time (26000 " + std::to_string(i % 65536) + " 123456 0))";
    text += ")";
    for (auto _ : state) {
        CTavloArticleFile summary;
        summary.Parse(text);
        benchmark::DoNotOptimize(summary.GetRowCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * text.size()));
}
BENCHMARK(SummaryParse)->Arg(10000)->Unit(benchmark::kMillisecond);

void InfoParse(benchmark::State& state) {
    const std::string line = "((number . 512) (name . \"" + VornUtf8ToSjis("名無し") +
                             "\") (time . \"Sun, 02 Jan 2000 10:00:00 GMT\") (hide 3 5 7) nil "
                             "(mail . \"sage\") (new 1) (count 1000) (max 990) nil)";
    for (auto _ : state) {
        CTavloInfoFile info;
        info.Parse(line);
        benchmark::DoNotOptimize(info.Count);
    }
}
BENCHMARK(InfoParse);

void NgExpression(benchmark::State& state) {
    benchRoot();
    CTavloNgFile ng;
    for (int i = 0; i < state.range(0); ++i) {
        CVornString scope = i % 3 ? CVornString() : CVornString("http://host.example/board/");
        ng.AddRow({scope, CVornString(VornUtf8ToSjis("荒らし") + std::to_string(i))});
    }
    ng.GetExpression("1600000000", "http://host.example/board/"); // compiles once
    for (auto _ : state) {
        CVornString e = ng.GetExpression("1600000000", "http://host.example/board/");
        benchmark::DoNotOptimize(e.data());
    }
}
BENCHMARK(NgExpression)->Arg(500)->Unit(benchmark::kMicrosecond);

void DatCount(benchmark::State& state) {
    const std::string& root = benchRoot();
    std::string line = VornUtf8ToSjis("名無しさん<>sage<>2009/01/01(木) 12:34:56 ID:AbCdEfGh<> "
                                      "表示ソフトの能力は十分です。 &gt;&gt;12 <br> ① <>\n");
    std::string log;
    while (log.size() < 512 * 1024)
        log += line;
    std::string path = root + "/count.dat";
    VornWriteFileAtomic(path.c_str(), log);
    for (auto _ : state)
        benchmark::DoNotOptimize(CTavloDatFile::Count(path.c_str()));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * log.size()));
}
BENCHMARK(DatCount)->Unit(benchmark::kMicrosecond);

void CleanTitle(benchmark::State& state) {
    const CVornString title(
        VornUtf8ToSjis("<b>【速報】</b>表示&amp;能力&gt;&lt;スレ<br>その２ &quot;x&quot;"));
    for (auto _ : state) {
        CVornString t = title;
        TavloCleanTitle(t);
        benchmark::DoNotOptimize(t.data());
    }
}
BENCHMARK(CleanTitle);

} // namespace

BENCHMARK_MAIN();
