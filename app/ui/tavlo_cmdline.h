#pragma once

#include <string>
#include <vector>

// The program's command line. Qt's own window options (-platform, -display, ...) are let
// through for QApplication; every other option must be one of ours.
struct CTavloCommandLine {
    enum RunMode {
        MODE_WINDOW,   // the window program (with URLs to open, if any)
        MODE_HEADLESS, // --fetch and/or --check-bookmarks, no window
        MODE_HELP,
        MODE_VERSION,
        MODE_ERROR, // Error says what was wrong
    };
    // Exit statuses of the program.
    enum Exit {
        EXIT_OK = 0,
        EXIT_FAILED = 1,     // a fetch or check failed
        EXIT_USAGE = 2,      // a wrong command line
        EXIT_STORE = 3,      // the log store cannot be used (held by another program, no root)
        EXIT_INTERRUPT = 130 // stopped by SIGINT or SIGTERM
    };

    int Mode = MODE_WINDOW;
    std::string Ini;                // --ini PATH, empty when not given
    std::vector<std::string> Urls;  // thread or board URLs to open in the window
    std::vector<std::string> Fetch; // --fetch URL, in order
    bool CheckBookmarks = false;    // --check-bookmarks
    bool Json = false;              // --json
    std::string Error;              // MODE_ERROR: the message, without the program name

    static CTavloCommandLine Parse(int argc, char** argv);
    static std::string Usage();
    static std::string Version(); // "tavlo 0.0.15"
};
