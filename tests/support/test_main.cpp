#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

// fontconfig keeps a cache it never frees; that is not a leak of ours. (Only read by the
// leak checker of sanitizer builds.)
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

// Every test binary runs headless with a runtime directory of its own.
int main(int argc, char** argv) {
    std::string runtime = (std::filesystem::temp_directory_path() / "tavlo-rt-XXXXXX").string();
    if (mkdtemp(runtime.data())) {
        std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
        setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    }
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    testing::InitGoogleTest(&argc, argv);
    int rc = RUN_ALL_TESTS();
    std::error_code ec;
    std::filesystem::remove_all(runtime, ec);
    return rc;
}
