#pragma once
// Shared by the fuzz targets: a private scratch directory for the files a parser reads from
// disk, and a settings record whose log root lies inside it.

#include "tavlo_settings.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace fuzz {

inline const std::string& Scratch() {
    static const std::string dir = [] {
        char tmpl[] = "/tmp/tavlo-fuzz-XXXXXX";
        const char* made = mkdtemp(tmpl);
        if (!made)
            abort();
        std::string d = made;
        static std::string forRemoval = d;
        atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(forRemoval, ec);
        });
        return d;
    }();
    return dir;
}

// The settings file and log root under the scratch directory, once per process.
inline void UseSettings() {
    static bool done = [] {
        std::string ini = Scratch() + "/tavlo.ini";
        CTavloSettings::SetProfilePath(ini.c_str());
        CTavloSettings::Instance().SetRootDirectory(CVornString(Scratch() + "/logs"));
        return true;
    }();
    (void)done;
}

inline bool WriteFile(const std::string& path, std::string_view data) {
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(path).parent_path(), ec);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    bool ok = fwrite(data.data(), 1, data.size(), f) == data.size();
    return fclose(f) == 0 && ok;
}

inline std::string_view View(const uint8_t* data, size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size);
}

} // namespace fuzz
