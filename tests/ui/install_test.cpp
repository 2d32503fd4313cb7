// `cmake --install` into a temporary prefix: what lands where, the launcher entry, and the
// installed program and library in use.
#include "fetch_support.h"
#include "process_util.h"
#include "tavlo_path.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;

// Width and height from a PNG's header.
std::pair<int, int> pngSize(const std::string& path) {
    std::string d = ReadAll(path);
    if (d.size() < 24 || d.compare(1, 3, "PNG") != 0)
        return {0, 0};
    auto be = [&](size_t at) {
        return (uint8_t(d[at]) << 24) | (uint8_t(d[at + 1]) << 16) | (uint8_t(d[at + 2]) << 8) |
               uint8_t(d[at + 3]);
    };
    return {int(be(16)), int(be(20))};
}

Ran run(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {}) {
    Child c(args, env);
    int rc = c.wait();
    return {rc, c.out(), c.err()};
}

class Install : public ::testing::Test {
protected:
    void SetUp() override {
        Ran r = run({TAVLO_CMAKE, "--install", TAVLO_BINARY_DIR, "--prefix", prefix.path()});
        ASSERT_EQ(r.rc, 0) << r.out << r.err;
    }
    std::string at(const std::string& rel) const { return prefix.path() + "/" + rel; }
    TempDir prefix;
};

TEST_F(Install, PutsEverythingWhereADesktopLooksForIt) {
    const std::string lib = TAVLO_LIBDIR;
    for (const std::string& f :
         {std::string("bin/tavlo"), lib + "/libvornnet.so", lib + "/libvornbase.so",
          lib + "/pkgconfig/vornnet.pc", std::string("include/vorn/vorn_http_client.h"),
          std::string("include/vorn/vorn_string.h"), std::string("share/man/man1/tavlo.1"),
          std::string("share/applications/tavlo.desktop"),
          std::string("share/icons/hicolor/scalable/apps/tavlo.svg")})
        EXPECT_TRUE(fs::exists(at(f))) << f;
    EXPECT_FALSE(fs::exists(at("include/vorn/vorn_net_internal.h")));
    for (int size : {16, 24, 32, 48, 64, 128, 256}) {
        const std::string png = at("share/icons/hicolor/" + std::to_string(size) + "x" +
                                   std::to_string(size) + "/apps/tavlo.png");
        EXPECT_EQ(pngSize(png), std::make_pair(size, size)) << png;
    }
    EXPECT_NE(ReadAll(at("share/icons/hicolor/scalable/apps/tavlo.svg")).find("<svg"),
              std::string::npos);

    const std::string desktop = at("share/applications/tavlo.desktop");
    Ran r = run({TAVLO_DESKTOP_FILE_VALIDATE, desktop});
    EXPECT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_TRUE(r.out.empty() && r.err.empty()) << r.out << r.err;
    const std::string entry = ReadAll(desktop);
    EXPECT_NE(entry.find("\nExec=tavlo %U\n"), std::string::npos);
    EXPECT_NE(entry.find("\nIcon=tavlo\n"), std::string::npos);

    const std::string man = ReadAll(at("share/man/man1/tavlo.1"));
    for (const char* o : {"\\-\\-fetch", "\\-\\-check\\-bookmarks", "\\-\\-json", "EXIT STATUS"})
        EXPECT_NE(man.find(o), std::string::npos) << o;
}

TEST_F(Install, TheInstalledProgramRunsAndFetchesWithoutADisplay) {
    const std::map<std::string, std::string> noDisplay{{"DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    Ran r = run({at("bin/tavlo"), "--version"}, noDisplay);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(r.out, "tavlo 0.0.15\n");

    BoardFixture fx;
    ASSERT_TRUE(fx.sim.ok());
    const std::string key = "1740000000";
    ASSERT_EQ(fx.sim.control("/_ctl/create?host=news.example-bbs.test&board=news&key=" + key +
                             "&posts=7"),
              "ok");
    const std::string url = "http://news.example-bbs.test/test/read.cgi/news/" + key + "/";
    r = run({at("bin/tavlo"), "--ini", fx.dir.file("tavlo.ini"), "--fetch", url}, noDisplay);
    ASSERT_EQ(r.rc, 0) << r.err;
    EXPECT_EQ(Fields(Lines(r.out).at(0)).at(1), "7");
    const std::string log =
        CTavloPath::GetLogPath(CVornString("http://news.example-bbs.test/news/"), CVornString(key))
            .str();
    EXPECT_EQ(CTavloDatFile::Count(CVornString(log)), 7);
}

TEST_F(Install, AProgramBuildsAgainstTheInstalledLibraryThroughPkgConfig) {
    TempDir work;
    const std::string src = work.file("client.cpp");
    WriteAll(src, "#include \"vorn_http_client.h\"\n"
                  "#include <cstdio>\n"
                  "int main() {\n"
                  "    CVornHttpClient http;\n"
                  "    http.SetUrl(\"http://127.0.0.1:9/x\");\n"
                  "    std::puts(\"linked\");\n"
                  "    return 0;\n"
                  "}\n");
    const std::string pc = at(std::string(TAVLO_LIBDIR) + "/pkgconfig");
    const std::string cmd = std::string("PKG_CONFIG_PATH='") + pc +
                            "' && export PKG_CONFIG_PATH && '" + TAVLO_CXX + "' -std=c++20 " +
                            TAVLO_SANITIZE_FLAGS + " '" + src +
                            "' $(pkg-config --cflags --libs vornnet) -Wl,-rpath,$(pkg-config " +
                            "--variable=libdir vornnet) -o '" + work.file("client") + "' && '" +
                            work.file("client") + "'";
    Ran r = run({"/bin/sh", "-c", cmd});
    ASSERT_EQ(r.rc, 0) << r.out << r.err;
    EXPECT_EQ(r.out, "linked\n");
}

} // namespace
