#include "tavlo_process.h"
#include "test_util.h"

#include <chrono>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <thread>

namespace {
// A program that writes each of its arguments on a line of its own.
std::string makeRecorder(const TempDir& dir) {
    std::string script = dir.file("record args.sh");
    WriteAll(script, "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"" +
                         dir.file("out.tmp") + "\"\nmv \"" + dir.file("out.tmp") + "\" \"" +
                         dir.file("out") + "\"\n");
    chmod(script.c_str(), 0755);
    return script;
}

std::string waitFor(const std::string& path) {
    for (int i = 0; i < 200 && !std::filesystem::exists(path); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return ReadAll(path);
}
} // namespace

TEST(Process, UrlReachesTheProgramAsOneArgumentWithoutAShell) {
    TempDir dir;
    std::string program = makeRecorder(dir); // its path has a blank in it
    const char* url = "http://x.test/a b?q=\"1\";rm -rf /tmp/nothing&$(echo no)`id`'";
    ASSERT_EQ(TavloStartProcess(program.c_str(), url), 1);
    EXPECT_EQ(waitFor(dir.file("out")), std::string(url) + "\n");
}

TEST(Process, ProgramWithItsOwnArguments) {
    TempDir dir;
    std::string program = makeRecorder(dir);
    std::string command = "\"" + program + "\" --new-window";
    ASSERT_EQ(TavloStartProcess(command.c_str(), "youtube://abc"), 1);
    EXPECT_EQ(waitFor(dir.file("out")), "--new-window\nyoutube://abc\n");
}

TEST(Process, MissingProgramIsAFailure) {
    EXPECT_EQ(TavloStartProcess("/no/such/program", "x"), 0);
    EXPECT_EQ(TavloStartProcess("iexplore.exe", "http://x/"), 0);
    EXPECT_EQ(TavloStartProcess("", "x"), 0);
}
