#pragma once
// The benchmark programs that measure the whole program: a started CTavloApp on a private
// settings file and an empty log root.

#include "tavlo_app.h"
#include "vorn_file.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

// Starts the program (offscreen unless QT_QPA_PLATFORM says otherwise; a QApplication must
// exist) with dir/tavlo.ini naming dir/logs as its root, where an empty board list keeps the
// board tree from asking for the menu; the ini gets extraIni's lines too. Hands the frame to
// *frame, runs prepare (false: the run fails), runs the registered benchmarks and removes the
// directory. The program's exit code.
inline int TavloRunBenchmarksInApp(int argc, char** argv, const char* name, CMainFrame** frame,
                                   const std::string& extraIni = {},
                                   const std::function<bool(CTavloApp&)>& prepare = {}) {
    std::string dir = (std::filesystem::temp_directory_path() / "tavlo-bench-XXXXXX").string();
    if (!mkdtemp(dir.data()))
        return 1;
    VornWriteFileAtomic((dir + "/tavlo.ini").c_str(),
                        "[tavlo]\nRootDirectory=" + dir + "/logs\n" + extraIni);
    std::filesystem::create_directories(dir + "/logs");
    VornWriteFileAtomic((dir + "/logs/board.txt").c_str(), "");
    int rc = 0;
    {
        CTavloApp app;
        std::string a0 = name, a1 = "--ini", a2 = dir + "/tavlo.ini";
        char* args[] = {a0.data(), a1.data(), a2.data(), nullptr};
        if (!app.InitInstance(3, args)) {
            rc = 1;
        } else if (*frame = app.GetFrame(); prepare && !prepare(app)) {
            rc = 1;
        } else {
            benchmark::Initialize(&argc, argv);
            benchmark::RunSpecifiedBenchmarks();
            benchmark::Shutdown();
        }
        app.ExitInstance();
    }
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
    return rc;
}
