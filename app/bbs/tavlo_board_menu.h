#pragma once

#include "tavlo_board_file.h"
#include "tavlo_http_fetch.h"
#include "tavlo_window.h"
#include "vorn_string.h"

#include <string>
#include <string_view>
#include <vector>

// Texts the board view shows for the operations below (UTF-8), kept in one place.
struct CTavloBoardMenuText {
    static constexpr char kMoveError[] = "板移転処理でエラーが発生しました。\n";
    static constexpr char kMoveErrorLine[] = "%s -> %s\n"; // old URL, new URL
    static constexpr char kMoveFound[] = "移転先を検出しました";
    static constexpr char kMoveNotFound[] = "移転先を検出できませんでした";
};

// Something the view has to show after an operation, in the order given.
struct CTavloNotice {
    enum Kind {
        ERROR_CODE,  // show code through the shared error report (caption "tavlo")
        INFORMATION, // text in a message box, information icon, caption kTavloCaption
        ERROR_TEXT,  // text in a message box, error icon, caption kTavloCaption
    };
    Kind kind = ERROR_CODE;
    int code = 0;
    std::string text; // UTF-8
};

// A board found at a new address.
struct CTavloBoardMove {
    CVornString oldUrl;
    CVornString newUrl;
    bool merged = false; // its directory was merged without error
};

// What an operation found and what the view has to show.
struct CTavloMenuReport {
    std::vector<CTavloNotice> notices;
    std::vector<CTavloBoardMove> moves;
    void Clear() {
        notices.clear();
        moves.clear();
    }
};

// The board menu fetch and board moves, on the window thread. The board view keeps its busy
// flag, the "work starts/ends" messages, the message boxes (from the report) and the tree
// rebuild; etc.txt and bookmark2.txt are rewritten on disk here (the view reloads its etc
// table afterwards), the bookmark list through its one instance.
class CTavloBoardMenu {
public:
    // Bodies held in memory larger than this end the transfer as a receive failure.
    static constexpr size_t kMaxPage = 32u << 20;

    explicit CTavloBoardMenu(CTavloWindow* window = nullptr, TavloStopRequest stop = {});

    // The menu fetch itself is CTavloBoardFile::CreateFromHttp.
    // The rows of a menu page (categories, then their boards), appended to out in page
    // order; the number of categories found.
    static int ParseMenu(std::string_view body, CTavloBoardFile& out);

    // Fetch, then move boards found at new addresses. 1, or 0 with the failure's code in the
    // report. The view rebuilds its tree from board afterwards.
    int Refresh(CTavloBoardFile& board, const CVornString& menuUrl, CTavloMenuReport& report);
    // Compares board.txt.bak (next to current's path) with current by board id and moves every
    // board whose address changed: directory merged, bookmarks and etc.txt rewritten. A board
    // whose old address is still listed is not moved. Merge failures are collected into one
    // ERROR_TEXT notice. Returns 1.
    int DetectMovesByComparison(const CTavloBoardFile& current, CTavloMenuReport& report);
    // Moves a board's directory to the new address: article summaries merged (the new board's
    // entries win), files copied over, the old directory removed, and its host directory too
    // when that became empty. True when done; two URLs of one directory need no work.
    static bool MergeDirectory(const CVornString& oldUrl, const CVornString& newUrl);
    // Reads the redirect script of the old board page. 1 with newUrl set when a new address
    // was found and applied (board.txt, directory, bookmarks, etc.txt), else 0; the report
    // holds what to show (nothing when the user stopped the transfer).
    int DetectMoveFromPage(const CVornString& oldUrl, CVornString& newUrl,
                           CTavloMenuReport& report);
    // The new address in a board page's redirect script, or empty.
    static CVornString FindRedirect(std::string_view page);

private:
    friend class CTavloBoardFile; // its menu fetch reads the page through fetchPage
    int fetchPage(const CVornString& url, std::string& body, const char* trace);
    static void moveReferences(const CVornString& oldUrl, const CVornString& newUrl);

    CTavloWindow* m_window;
    TavloStopRequest m_stop;
};
