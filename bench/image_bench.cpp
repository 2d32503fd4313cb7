// Images and the cache, each beside its baseline in the same run:
// - the thread cache of 10,000 logs beside a plain tree walk reading each log's first line;
// - scrolling and repainting a thread with 50 cached thumbnails beside the same thread
//   without inline images;
// - opening a cached 2000x2000 JPEG in the image view beside a bare QImageReader decode.
// The three ratios and their goals are printed after the runs.
#include "bench_fixture.h"
#include "tavlo_cache_file.h"
#include "tavlo_cache_image_file.h"
#include "tavlo_dat_ctrl.h"
#include "tavlo_image_view.h"
#include "tavlo_inline_images.h"
#include "tavlo_path.h"
#include "tavlo_settings.h"
#include "vorn_file.h"
#include "vorn_kcode.h"

#include <QApplication>
#include <QImage>
#include <QImageReader>
#include <QPainter>

#include <benchmark/benchmark.h>
#include <dirent.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

std::string g_dir, g_root, g_store;
const char kJpegLink[] = "http://img.bench.example/big/photo.jpg";
const CVornString kBoard("http://bench.example/pics/");
const CVornString kKey("1000000000");

void makeStore() {
    // 10,000 logs over 40 boards on two hosts, with a board list naming them.
    std::string menu;
    for (int b = 0; b < 40; ++b) {
        const std::string host = b % 2 ? "a.bench.example" : "b.bench.example";
        const std::string id = "board" + std::to_string(b);
        menu += VornUtf8ToSjis("板") + std::to_string(b) + "\nhttp://" + host + "/" + id + "/\n" +
                id + "\n";
        const std::string dir = g_store + "/" + host + "/" + id;
        VornCreateDirectories(dir.c_str());
        for (int k = 0; k < 250; ++k) {
            std::string line =
                VornUtf8ToSjis(
                    "名無しさん<>sage<>2009/01/01(木) 12:00:00 ID:x<> 本文 <>スレッドの題名 ") +
                std::to_string(k) + "\n";
            line += std::string(300, 'x') + "<><><><>\n";
            VornWriteFileAtomic((dir + "/" + std::to_string(1200000000 + k) + ".dat").c_str(),
                                line);
        }
    }
    VornWriteFileAtomic((g_store + "/board.txt").c_str(), menu);
}

void walkFirstLines(const std::string& dir, int& count) {
    DIR* d = opendir(dir.c_str());
    if (!d)
        return;
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        const std::string full = dir + "/" + n;
        struct stat st {};
        if (lstat(full.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            walkFirstLines(full, count);
        } else if (strlen(n) > 4 && strcmp(n + strlen(n) - 4, ".dat") == 0) {
            if (FILE* f = fopen(full.c_str(), "rb")) {
                char line[4096];
                if (fgets(line, sizeof line, f))
                    ++count;
                fclose(f);
            }
        }
    }
    closedir(d);
}

void PlainWalk10000(benchmark::State& state) {
    int count = 0;
    for (auto _ : state) {
        count = 0;
        walkFirstLines(g_store, count);
    }
    state.counters["logs"] = count;
}
BENCHMARK(PlainWalk10000)->Unit(benchmark::kMillisecond);

void ThreadCache10000(benchmark::State& state) {
    int count = 0;
    for (auto _ : state) {
        CTavloCacheFile list;
        list.SetRoot(CVornString(g_store));
        count = list.Build(CVornString(g_store), 1);
    }
    state.counters["logs"] = count;
}
BENCHMARK(ThreadCache10000)->Unit(benchmark::kMillisecond);

// A thread of 50 posts, each linking one picture of the cache.
void makeThread() {
    std::string utf8;
    for (int i = 1; i <= 50; ++i) {
        utf8 += "名無しさん<>sage<>2009/01/01(木) 12:00:00 ID:x<> 画像です <br> "
                "http://img.bench.example/p/" +
                std::to_string(i) +
                ".png <br> 感想をどうぞ。長めの文章を書いておくと折り返しが起きます。 <>" +
                (i == 1 ? "画像スレ" : "") + "\n";
        QImage image(320, 240, QImage::Format_RGB32);
        image.fill(QColor::fromHsv((i * 7) % 360, 200, 220));
        const CVornString path = CTavloPath::GetImageCachePath(
            CVornString("http://img.bench.example/p/" + std::to_string(i) + ".png"));
        VornCreateDirectories(CTavloPath::GetDirectory(path).c_str());
        image.save(QString::fromLocal8Bit(path.c_str()), "PNG");
    }
    const CVornString log = CTavloPath::GetLogPath(kBoard, kKey);
    VornCreateDirectories(CTavloPath::GetDirectory(log).c_str());
    VornWriteFileAtomic(log.c_str(), VornUtf8ToSjis(utf8));
}

void scrollAndPaint(benchmark::State& state, int inlineImages) {
    CTavloSettings::Instance().SetInt("InlineImage", inlineImages);
    CTavloCacheImageFile::Reset();
    auto ctrl = std::make_unique<CTavloDatCtrl>();
    CTavloTextCtrl* text = ctrl->GetTextCtrl();
    text->resize(800, 600);
    text->show();
    QApplication::processEvents();
    ctrl->SetThread(kBoard, kKey);
    ctrl->CreateFromFile();
    QPixmap target(text->viewport()->size());
    const int lines = text->GetLineCount();
    // Every thumbnail made once before the timing: the thread shows cached ones.
    for (int top = 0; top < lines; top += 20) {
        text->SetTopLine(top);
        text->viewport()->render(&target);
    }
    int top = 0;
    for (auto _ : state) {
        top = (top + 3) % std::max(1, lines - 40);
        text->SetTopLine(top);
        text->viewport()->render(&target);
    }
    state.counters["lines"] = lines;
    // 50 with inline images: every picture drawn from its thumbnail, none as an icon.
    state.counters["thumbnails"] = ctrl->GetInlineImages()->ThumbnailCount();
}

void ScrollThreadWithoutImages(benchmark::State& state) {
    scrollAndPaint(state, 0);
}
BENCHMARK(ScrollThreadWithoutImages)->Unit(benchmark::kMicrosecond);

void ScrollThreadWith50Thumbnails(benchmark::State& state) {
    scrollAndPaint(state, 1);
}
BENCHMARK(ScrollThreadWith50Thumbnails)->Unit(benchmark::kMicrosecond);

void makeJpeg() {
    QImage image(2000, 2000, QImage::Format_RGB32);
    QPainter p(&image);
    for (int y = 0; y < 2000; y += 50)
        for (int x = 0; x < 2000; x += 50)
            p.fillRect(x, y, 50, 50, QColor::fromHsv((x + y) % 360, 180, 200));
    p.end();
    const CVornString path = CTavloPath::GetImageCachePath(CVornString(kJpegLink));
    VornCreateDirectories(CTavloPath::GetDirectory(path).c_str());
    image.save(QString::fromLocal8Bit(path.c_str()), "JPEG", 90);
}

void BareJpegDecode2000(benchmark::State& state) {
    const QString path =
        QString::fromLocal8Bit(CTavloPath::GetImageCachePath(CVornString(kJpegLink)).c_str());
    for (auto _ : state) {
        QImageReader reader(path);
        QImage image = reader.read();
        benchmark::DoNotOptimize(image.bits());
    }
}
BENCHMARK(BareJpegDecode2000)->Unit(benchmark::kMillisecond);

void OpenJpegInImageView2000(benchmark::State& state) {
    CTavloImageView view(nullptr);
    view.resize(800, 600);
    for (auto _ : state) {
        view.Show(CVornString(kJpegLink));
        benchmark::DoNotOptimize(view.GetImage().GetWidth());
    }
    state.counters["width"] = view.GetImage().GetWidth();
}
BENCHMARK(OpenJpegInImageView2000)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    g_dir =
        (std::filesystem::temp_directory_path() / ("tavlo-imagebench-" + std::to_string(getpid())))
            .string();
    g_root = g_dir + "/root";
    g_store = g_dir + "/store";
    VornCreateDirectories(g_root.c_str());
    VornCreateDirectories(g_store.c_str());
    CTavloSettings::SetProfilePath((g_dir + "/tavlo.ini").c_str());
    CTavloSettings::Instance().SetRootDirectory(CVornString(g_root));
    makeStore();
    makeThread();
    makeJpeg();
    benchmark::Initialize(&argc, argv);
    CTavloBenchRatioReporter reporter(
        {{"ThreadCache10000", "PlainWalk10000", 1.5},
         {"ScrollThreadWith50Thumbnails", "ScrollThreadWithoutImages", 2.0},
         {"OpenJpegInImageView2000", "BareJpegDecode2000", 1.2}});
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    CTavloCacheImageFile::Reset();
    std::error_code ec;
    std::filesystem::remove_all(g_dir, ec);
    return 0;
}
