#include "tavlo_cmdline.h"

#include <cstring>
#include <string_view>

#ifndef TAVLO_VERSION
#define TAVLO_VERSION "0.0.15"
#endif

namespace {

// QApplication's own options: those that take a value, then the flags.
const char* const kQtValueOptions[] = {"-platform",
                                       "-platformpluginpath",
                                       "-platformtheme",
                                       "-plugin",
                                       "-qwindowgeometry",
                                       "-qwindowicon",
                                       "-qwindowtitle",
                                       "-display",
                                       "-geometry",
                                       "-style",
                                       "-stylesheet",
                                       "-session",
                                       "-name",
                                       "-title",
                                       "-visual",
                                       "-qmljsdebugger"};
const char* const kQtFlags[] = {"-reverse", "-nograb", "-dograb", "-sync", "-widgetcount"};

bool isQtValueOption(std::string_view a) {
    for (const char* o : kQtValueOptions)
        if (a == o)
            return true;
    return false;
}

bool isQtOption(std::string_view a) {
    for (const char* o : kQtFlags)
        if (a == o)
            return true;
    // "-style=fusion" and the like.
    for (const char* o : kQtValueOptions) {
        size_t n = strlen(o);
        if (a.size() > n && a.substr(0, n) == o && a[n] == '=')
            return true;
    }
    return false;
}

} // namespace

CTavloCommandLine CTavloCommandLine::Parse(int argc, char** argv) {
    CTavloCommandLine c;
    auto fail = [&c](std::string message) {
        c.Mode = MODE_ERROR;
        c.Error = std::move(message);
        return c;
    };
    bool help = false, version = false, positionalOnly = false;
    for (int i = 1; i < argc && argv; ++i) {
        const std::string_view a = argv[i] ? argv[i] : "";
        if (positionalOnly || a.empty() || a[0] != '-' || a == "-") {
            c.Urls.emplace_back(a);
            continue;
        }
        // A value either after "=" or as the next argument.
        auto value = [&](std::string_view name, std::string* out) -> bool {
            if (a.size() > name.size() && a[name.size()] == '=') {
                *out = std::string(a.substr(name.size() + 1));
                return !out->empty();
            }
            if (i + 1 >= argc || !argv[i + 1] || !*argv[i + 1])
                return false;
            *out = argv[++i];
            return true;
        };
        auto is = [&](std::string_view name) {
            return a == name || (a.size() > name.size() && a.substr(0, name.size()) == name &&
                                 a[name.size()] == '=');
        };
        if (a == "--") {
            positionalOnly = true;
        } else if (a == "--help" || a == "-h") {
            help = true;
        } else if (a == "--version") {
            version = true;
        } else if (is("--ini")) {
            if (!value("--ini", &c.Ini))
                return fail("option '--ini' needs a settings file");
        } else if (is("--fetch")) {
            std::string url;
            if (!value("--fetch", &url))
                return fail("option '--fetch' needs a thread or board URL");
            c.Fetch.push_back(url);
        } else if (a == "--check-bookmarks") {
            c.CheckBookmarks = true;
        } else if (a == "--json") {
            c.Json = true;
        } else if (isQtValueOption(a)) {
            ++i; // QApplication reads it and its value
        } else if (isQtOption(a)) {
        } else {
            return fail("unknown option '" + std::string(a) + "'");
        }
    }
    if (help) {
        c.Mode = MODE_HELP;
        return c;
    }
    if (version) {
        c.Mode = MODE_VERSION;
        return c;
    }
    if (!c.Fetch.empty() || c.CheckBookmarks) {
        if (!c.Urls.empty())
            return fail("URLs to open need the window; fetch them with '--fetch URL'");
        c.Mode = MODE_HEADLESS;
        return c;
    }
    if (c.Json)
        return fail("option '--json' goes with '--fetch' or '--check-bookmarks'");
    c.Mode = MODE_WINDOW;
    return c;
}

std::string CTavloCommandLine::Version() {
    return "tavlo " TAVLO_VERSION;
}

std::string CTavloCommandLine::Usage() {
    return "Usage: tavlo [OPTION]... [URL]...\n"
           "A key-driven reader and poster for text boards of the 2ch family.\n"
           "\n"
           "Each URL (a thread or a board) is opened in the window, as direct input opens it.\n"
           "When a Tavlo with the same settings file runs already, the URLs are handed to its\n"
           "window instead of starting another one.\n"
           "\n"
           "  --ini PATH          use the settings file PATH\n"
           "  --fetch URL         without a window: fetch a thread's log or a board's thread\n"
           "                      list into the log store (may be given more than once)\n"
           "  --check-bookmarks   without a window: fetch every bookmarked thread, at most\n"
           "                      ThreadMax at once, and print one line per bookmark\n"
           "  --json              print what --fetch and --check-bookmarks found as JSON\n"
           "  -h, --help          show this help and exit\n"
           "      --version       show the version and exit\n"
           "\n"
           "Lines of --fetch and --check-bookmarks: new posts (new or updated threads for a\n"
           "board), posts (threads), URL, title, separated by tabs; a failed one adds the\n"
           "error as a fifth field. Progress goes to standard error when it is a terminal.\n"
           "\n"
           "Settings file: --ini PATH, else tavlo.ini beside the program, else\n"
           "$XDG_CONFIG_HOME/tavlo/tavlo.ini. The log store (RootDirectory) is used by one\n"
           "Tavlo at a time.\n"
           "\n"
           "Exit status: 0 success, 1 a fetch failed, 2 a wrong command line, 3 the log store\n"
           "cannot be used (another Tavlo holds it, or its root is missing), 130 interrupted.\n";
}
