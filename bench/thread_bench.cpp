// Opening a stored thread: 1000 posts (about 500 KB of Shift_JIS) read, converted to display
// text, laid out and indexed, against a bare iconv pass over the same bytes. Also the
// relayout of that thread at a new width.
#include "tavlo_post_converter.h"
#include "tavlo_post_index.h"
#include "tavlo_text_layout.h"
#include "vorn_file.h"
#include "vorn_kcode.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <iconv.h>
#include <string>
#include <unistd.h>

namespace {

// A board-like log of the usual mix: names with and without trips, sage and plain mails,
// dates with IDs, bodies of a few lines, mostly Japanese, with anchors, links and references.
std::string makeLog(int posts) {
    static const char* const kBodies[] = {
        "表示ソフトの能力は十分ですが、スレッドの読み込みがもっと速くなると嬉しいです。<br> "
        "半角ｶﾅも混ざる ｱｲｳｴｵ と ① 髙 ～ の文字、それから記号も混ぜておきます。",
        "詳しくは http://example.com/path/to/page.html?id=12345 を参照してください。<br> "
        "画像はこちら ttp://img.example.net/pic.jpg <br> <br> <br> <br> "
        "空行の多い書き込みは途中が削られます。",
        "最後の行です。長めの文章を書いておくと折り返しが起きます。折り返し、折り返し、"
        "まだまだ続きます。日本語の文章には空白がないので文字単位で折り返されます。<br> "
        "&quot;引用&quot; と &amp; と &lt;タグ&gt; の参照も少しだけ。",
        "それな",
        "今日は天気が良いので散歩に行ってきました。公園の桜がきれいに咲いていて、"
        "たくさんの人が花見をしていました。<br> 来週も晴れるといいですね。<br> "
        "写真を撮ったので後で貼ります。",
    };
    std::string utf8;
    for (int i = 1; i <= posts; ++i) {
        char head[256];
        std::snprintf(head, sizeof(head),
                      "%s<>%s<>2009/01/%02d(木) 12:%02d:%02d.%02d ID:Ab%05dCd<> ",
                      i % 7 == 0 ? "名無しさん ◆Trip.12345" : "名無しさん＠お腹いっぱい。",
                      i % 3 == 0 ? "sage" : "", 1 + i % 28, i % 60, (i * 7) % 60, i % 100, i % 50);
        utf8 += head;
        if (i > 1) {
            char anchor[64];
            std::snprintf(anchor, sizeof(anchor), "&gt;&gt;%d <br> ", i / 2);
            utf8 += anchor;
        }
        utf8 += kBodies[i % 5];
        utf8 += " <br> ";
        utf8 += kBodies[(i * 3 + 1) % 5];
        if (i % 2)
            utf8 += " <br> " + std::string(kBodies[(i * 7 + 2) % 5]);
        utf8 += i == 1 ? " <>【テスト】スレッドのタイトル Part.1\n" : " <>\n";
    }
    return VornUtf8ToSjis(utf8);
}

const std::string& logPath() {
    static const std::string path = [] {
        std::string p = (std::filesystem::temp_directory_path() /
                         ("tavlo-bench-" + std::to_string(getpid()) + ".dat"))
                            .string();
        VornWriteFileAtomic(p.c_str(), makeLog(1000));
        return p;
    }();
    return path;
}

const std::string& logBytes() {
    static const std::string bytes = [] {
        std::string s;
        VornReadFile(logPath().c_str(), s);
        return s;
    }();
    return bytes;
}

int fixedWidth(char16_t c, void*) {
    if (c < 0x20)
        return 0;
    if (c < 0x80 || (c >= 0xFF61 && c <= 0xFF9F))
        return 7;
    return 13;
}

TavloLayoutParams params(int width) {
    TavloLayoutParams p;
    p.clientWidth = width;
    p.averageWidth = 7;
    p.tabWidth = 56;
    return p;
}

void OpenThread(benchmark::State& state) {
    const std::string& path = logPath();
    for (auto _ : state) {
        std::string bytes;
        VornReadFile(path.c_str(), bytes);
        CTavloPostConverter conv;
        // As the thread view opens a log: from the converter's room straight into the text.
        const size_t length = conv.ConvertSjisAfter({}, bytes, 1, 500, nullptr, true).size();
        CTavloTextLayout layout;
        layout.SetMeasure(fixedWidth, nullptr);
        layout.SetParams(params(800));
        layout.AdoptText(conv.TakeRoom(), length);
        CTavloPostIndex index;
        index.Build(layout);
        benchmark::DoNotOptimize(index.GetCount());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * logBytes().size()));
    state.counters["KB"] = static_cast<double>(logBytes().size()) / 1024.0;
}
BENCHMARK(OpenThread)->Unit(benchmark::kMicrosecond);

// The baseline: one iconv call over the bytes already in memory.
void BareIconvSameBytes(benchmark::State& state) {
    const std::string& s = logBytes();
    iconv_t cd = iconv_open("UTF-16LE", "CP932");
    std::u16string out(s.size(), u'\0');
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(s.data());
        size_t srcLeft = s.size();
        char* dst = reinterpret_cast<char*>(out.data());
        size_t dstLeft = out.size() * 2;
        iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        benchmark::DoNotOptimize(out.data());
    }
    iconv_close(cd);
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(BareIconvSameBytes)->Unit(benchmark::kMicrosecond);

// The parts of opening, one by one.
void ConvertOnly(benchmark::State& state) {
    std::u16string wide;
    VornAppendSjisToUtf16Fast(logBytes(), wide);
    for (auto _ : state) {
        CTavloPostConverter conv;
        std::u16string display;
        conv.Convert(wide, 1, 500, nullptr, true, display);
        benchmark::DoNotOptimize(display.data());
    }
}
BENCHMARK(ConvertOnly)->Unit(benchmark::kMicrosecond);

void ReadAndDecodeOnly(benchmark::State& state) {
    for (auto _ : state) {
        std::string bytes;
        VornReadFile(logPath().c_str(), bytes);
        std::u16string wide;
        VornAppendSjisToUtf16Fast(bytes, wide);
        benchmark::DoNotOptimize(wide.data());
    }
}
BENCHMARK(ReadAndDecodeOnly)->Unit(benchmark::kMicrosecond);

// A width change: every line start recomputed, then the index.
void RelayoutAtNewWidth(benchmark::State& state) {
    std::u16string wide;
    VornAppendSjisToUtf16Fast(logBytes(), wide);
    CTavloPostConverter conv;
    std::u16string display;
    conv.Convert(wide, 1, 500, nullptr, true, display);
    CTavloTextLayout layout;
    layout.SetMeasure(fixedWidth, nullptr);
    layout.SetParams(params(800));
    layout.SetText(display);
    CTavloPostIndex index;
    int width = 600;
    for (auto _ : state) {
        layout.SetParams(params(width));
        layout.Relayout();
        index.Build(layout);
        width = width == 600 ? 601 : 600;
        benchmark::DoNotOptimize(index.GetCount());
    }
    state.counters["lines"] = layout.LineCount();
}
BENCHMARK(RelayoutAtNewWidth)->Unit(benchmark::kMicrosecond);

// Appending 50 fetched posts to an open 1000-post thread.
void AppendAfterFetch(benchmark::State& state) {
    std::u16string wide;
    VornAppendSjisToUtf16Fast(logBytes(), wide);
    std::u16string more;
    VornAppendSjisToUtf16Fast(makeLog(50), more);
    CTavloPostConverter conv;
    std::u16string display;
    conv.Convert(wide, 1, 500, nullptr, true, display);
    for (auto _ : state) {
        state.PauseTiming();
        CTavloTextLayout layout;
        layout.SetMeasure(fixedWidth, nullptr);
        layout.SetParams(params(800));
        layout.SetText(display);
        state.ResumeTiming();
        std::u16string added = u"\r\n";
        conv.Convert(more, 1001, 1001, nullptr, true, added);
        layout.Append(added);
        CTavloPostIndex index;
        index.Build(layout);
        benchmark::DoNotOptimize(index.GetCount());
    }
}
BENCHMARK(AppendAfterFetch)->Unit(benchmark::kMicrosecond);

struct Cleanup {
    ~Cleanup() { std::remove(logPath().c_str()); }
};

} // namespace

int main(int argc, char** argv) {
    Cleanup cleanup;
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
