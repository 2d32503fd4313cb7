#pragma once

#include "vorn_array.h"
#include "vorn_string.h"

#include <array>
#include <string>
#include <vector>

// The program's settings, one record per process. Every field is read from the settings file
// when the record is created; setters write through to the file at once and only on change.
class CTavloSettings {
public:
    // The key-bound commands, in key-table order.
    // clang-format off
    enum Command {
        CMD_CANCEL, CMD_ONLINE, CMD_RELOAD, CMD_DELETE, CMD_SEARCH, CMD_TOP, CMD_BOTTOM,
        CMD_CLOSETAB, CMD_NEXT, CMD_PREV, CMD_NEXTLINK, CMD_PREVLINK, CMD_MENU, CMD_NEXTTAB,
        CMD_PREVTAB, CMD_BACK, CMD_OPENBOOKMARK, CMD_ADDBOOKMARK, CMD_SORT, CMD_EDIT,
        CMD_EDITREPLY, CMD_EDITREPLYALL, CMD_FIND2CH, CMD_NEXTLINE, CMD_PREVLINE, CMD_PAGEUP,
        CMD_PAGEDOWN, CMD_CURRENTSUBJECT, CMD_TOGGLEABONE, CMD_TOGGLEWRAP, CMD_REOPEN,
        CMD_CHANGEVIEW, CMD_GREPID, CMD_GREPNAME, CMD_GREPREFER, CMD_COPYINFORMATION,
        CMD_COPYMESSAGE, CMD_VIEWBACK, CMD_VIEWFORWARD, CMD_JUMP, CMD_CHECKMENU, CMD_EXECBROWSER,
        CMD_POPUP, CMD_FOCUSPANE, CMD_COUNT
    };
    // clang-format on
    // Font slots: board tree, subject list, post editor, cache lists, bookmark lists, tab
    // strips, thread view.
    enum Font {
        FONT_LIST,
        FONT_BOARD,
        FONT_MESSAGE,
        FONT_CACHE,
        FONT_BOOKMARK,
        FONT_TAB,
        FONT_ARTICLE,
        FONT_COUNT
    };
    // The five list views with stored columns.
    enum ListView { LV_BOOKMARK, LV_SUBJECT, LV_CACHE, LV_CACHEIMAGE, LV_BOOKMARKBOARD, LV_COUNT };
    // History lists.
    enum History { HISTORY_NAME, HISTORY_MAIL, HISTORY_SEARCHWORD, HISTORY_JUMP, HISTORY_COUNT };

    static constexpr int kHistoryMax = 30;
    static const char kDefaultUserAgent[];
    static const char kDefaultBoardUrl[];
    static const char kDefaultFontName[];

    // The record, created on first use from the profile path.
    static CTavloSettings& Instance();
    // Sets the settings file for the next Instance(); drops a record already created.
    static void SetProfilePath(const char* path);
    static const CVornString& GetProfilePath();
    static void Destroy();

    static const char* CommandName(int command);  // "Reload"
    static const char* CommandLabel(int command); // "リロード" (UTF-8, for the window side)
    static int DefaultKey(int command);
    static const char* FontSuffix(int font);
    static const char* ListSuffix(int view);
    static const char* HistoryKey(int history);

    // Fields, named as their keys.
    CVornString FilePath;
    CVornString RootDirectory;
    CVornString BoardUrl;
    CVornString Browser;
    int ThreadMax = 8;
    int TabMax = 4;
    int TabWidth = 300;
    int Online = 0;
    int Debug = 0;
    int ListMargin = 0;
    int ListSingleLine = 0;
    int ProxyUse = 0;
    CVornString ProxyHost;
    int ProxyPort = 8080;
    CVornString ProxyId;
    CVornString ProxyPass;
    CVornString DoLibId;
    CVornString DoLibPass;
    CVornString DoLibSid;
    int Sage = 1;
    int Connection = -1;
    CVornString UserAgent;
    int WriteChange = 0;
    int WriteConnection = -1;
    int WriteProxyUse = 0;
    CVornString WriteProxyHost;
    int WriteProxyPort = 8080;
    CVornString WriteProxyId;
    CVornString WriteProxyPass;
    CVornString WriteUserAgent;
    std::array<CVornString, FONT_COUNT> FontName;
    std::array<int, FONT_COUNT> FontSize{};
    std::array<int, FONT_COUNT> FontBold{};
    int ColorFore = 0x000000;
    int ColorBack = 0xFFFFFF;
    int ColorCache = 0x999999;
    int ColorNew = 0xFFFFFF;
    int ColorError = 0x999999;
    int ColorSearch = 0xFF0000;
    int ColorActive = 0x0000FF;
    int ColorFrom = 0x008000;
    int ColorFromWithMail = 0x0000FF;
    int ColorFromWithSage = 0xFF0000;
    int ColorDate = 0x000000;
    int ColorDateNew = 0x0000FF;
    int ColorMessage = 0x666666;
    int ColorLink = 0xFF0000;
    int ColorAbone = 0xCCCCCC;
    int ColorCite = 0x666666;
    std::array<int, CMD_COUNT> Key{};
    std::array<int, CMD_COUNT> SubKey{};
    int TransParentAbone = 1;
    int UseDefaultTemplate = 1;
    int FocusOnMessage = 0;
    int UseImageView = 0;
    int InlineImage = 0;
    int InlineImageHeight = 5;
    int ViewAfterDownload = 1;
    int DeleteBlankLines = 1;
    int NextControl = 0;
    int VentControl = 0;
    int BookmarkWhenStarting = 0;
    int MenuNumber = 0;
    int UseYoutube = 0;
    CVornString YoutubeBrowser;
    std::array<CVornDataArray, HISTORY_COUNT> HistoryList;
    std::array<std::vector<int>, LV_COUNT> ColumnWidth;
    std::array<int, LV_COUNT> SortColumn{};
    std::array<int, LV_COUNT> SortAsc{};
    int SortFind2ch = 0;
    // The window's place and size (width 0: never stored) and whether it was maximized.
    int WindowLeft = 0;
    int WindowTop = 0;
    int WindowWidth = 0;
    int WindowHeight = 0;
    int WindowMaximized = 0;
    // Anchor popups, reverse-reference counts on headers, ID counts beside IDs, and how long
    // the mouse rests on an anchor before its popup opens (ms).
    int PopupUse = 1;
    int PopupRefer = 1;
    int PopupIdCount = 1;
    int PopupDelay = 300;
    // The desktop layout (tree, list and thread at once) instead of one view at a time, the
    // tree pane's width and the list pane's height in it.
    int DesktopLayout = 0;
    int DesktopTreeWidth = 240;
    int DesktopListHeight = 280;

    // Write-through setters by key name; 1 when the value changed and was written, 0 when it
    // was equal already, -1 for an unknown key.
    int SetInt(const char* key, int value);
    int SetString(const char* key, const CVornString& value);
    int GetInt(const char* key, int* value) const;
    int GetString(const char* key, CVornString* value) const;

    int SetOnline(int value) { return SetInt("Online", value); }
    int SetDoLibSid(const CVornString& value) { return SetString("DoLibSid", value); }
    int SetRootDirectory(const CVornString& value) { return SetString("RootDirectory", value); }
    int SetUserAgent(const CVornString& value) { return SetString("UserAgent", value); }
    int SetWriteUserAgent(const CVornString& value) { return SetString("WriteUserAgent", value); }
    int SetSortColumn(int view, int column);
    int SetSortAsc(int view, int asc);
    int SetKey(int command, int code);
    int SetSubKey(int command, int code);

    // History lists: the entry moves to the front, duplicates go, at most 30 stay.
    void AddHistory(int history, const CVornString& entry);
    // Column widths: written only when they differ from the held list.
    int SetColumnWidth(int view, const std::vector<int>& widths);
    // Re-reads the key table from the file (after the key page changed it).
    void ReloadKeys();

    // The command whose Key or SubKey is code, scanning in table order; -1 when none (code 0
    // never matches).
    int FindCommand(int code) const;
    // Whether code is the Key or SubKey of command (code 0 never is).
    bool IsKey(int command, int code) const;

private:
    explicit CTavloSettings(const char* path);
    void load();
    struct Entry;
    static const std::vector<Entry>& entries();
    const Entry* find(const char* key) const;
};

// Whether vk is bound to command (its Key or SubKey) in the settings now in force.
inline bool TavloKeyIs(int command, int vk) {
    return CTavloSettings::Instance().IsKey(command, vk);
}

// Where the settings file lives: "--ini PATH" on the command line, else tavlo.ini beside the
// executable when it exists, else $XDG_CONFIG_HOME/tavlo/tavlo.ini (its directory created).
std::string TavloResolveProfilePath(int argc, char** argv);
