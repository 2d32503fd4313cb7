#pragma once
// The thread-view benchmarks' store: a private settings file and root holding one thread log.

#include "tavlo_path.h"
#include "tavlo_settings.h"
#include "vorn_file.h"

#include <filesystem>
#include <string>

#include <unistd.h>

// Made with the log's bytes; the directory goes with the fixture.
struct CTavloBenchLogFixture {
    std::string dir;
    CTavloBenchLogFixture(const char* prefix, const CVornString& board, const CVornString& key,
                          const std::string& log) {
        dir =
            (std::filesystem::temp_directory_path() / (prefix + std::to_string(getpid()))).string();
        VornCreateDirectories(dir.c_str());
        CTavloSettings::SetProfilePath((dir + "/tavlo.ini").c_str());
        CTavloSettings::Instance().SetRootDirectory(CVornString(dir + "/root"));
        CVornString path = CTavloPath::GetLogPath(board, key);
        VornCreateDirectories(CTavloPath::GetDirectory(path).c_str());
        VornWriteFileAtomic(path.c_str(), log);
    }
    ~CTavloBenchLogFixture() {
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
};
