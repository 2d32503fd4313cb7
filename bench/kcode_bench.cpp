// Shift_JIS -> UTF-16 conversion of a 5 MB mixed text: the baseline of the thread-open path.
#include "vorn_kcode.h"

#include <benchmark/benchmark.h>
#include <cerrno>
#include <iconv.h>
#include <string>

namespace {
const std::string& mixedText() {
    static const std::string text = [] {
        // Board-like lines: ASCII markup, kanji and kana, half-width kana, trail bytes 0x5C.
        std::string line = VornUtf8ToSjis(
            "名無しさん<>sage<>2009/01/01(木) 12:34:56 ID:AbCdEfGh<> "
            "表示ソフトの能力は十分です。ｱｲｳｴｵ &gt;&gt;12 http://example.com/ <br> ① 髙 ～<>\n");
        std::string s;
        while (s.size() < 5 * 1024 * 1024)
            s += line;
        return s;
    }();
    return text;
}

void SjisToUtf16(benchmark::State& state) {
    const std::string& s = mixedText();
    for (auto _ : state) {
        std::u16string w = VornSjisToUtf16(s);
        benchmark::DoNotOptimize(w.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * s.size()));
}
BENCHMARK(SjisToUtf16)->Unit(benchmark::kMillisecond);

// A bare iconv pass over the same bytes, for comparison.
void BareIconv(benchmark::State& state) {
    const std::string& s = mixedText();
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
BENCHMARK(BareIconv)->Unit(benchmark::kMillisecond);

void Utf16ToSjis(benchmark::State& state) {
    std::u16string w = VornSjisToUtf16(mixedText());
    for (auto _ : state) {
        std::string s = VornUtf16ToSjis(w);
        benchmark::DoNotOptimize(s.data());
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * mixedText().size()));
}
BENCHMARK(Utf16ToSjis)->Unit(benchmark::kMillisecond);
} // namespace

BENCHMARK_MAIN();
