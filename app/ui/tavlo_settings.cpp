#include "tavlo_settings.h"

#include "vorn_config.h"
#include "vorn_file.h"
#include "vorn_kcode.h"

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <unistd.h>

const char CTavloSettings::kDefaultUserAgent[] = "Monazilla/1.00 (tavlo/0.0.15)";
const char CTavloSettings::kDefaultBoardUrl[] = "https://menu.5ch.io/bbsmenu.html";
const char CTavloSettings::kDefaultFontName[] = "ＭＳ Ｐゴシック"; // UTF-8 here; held as Shift_JIS

namespace {

struct CommandInfo {
    const char* name;
    const char* label;
    int key;
};

const CommandInfo kCommands[CTavloSettings::CMD_COUNT] = {
    {"Cancel", "中止", 0},
    {"Online", "On/Off", 84},
    {"Reload", "リロード", 82},
    {"Delete", "削除", 68},
    {"Search", "検索", 83},
    {"Top", "上", 80},
    {"Bottom", "下", 78},
    {"CloseTab", "タブを閉じる", 81},
    {"Next", "次のメッセージ", 39},
    {"Prev", "前のメッセージ", 37},
    {"NextLink", "次のリンク", 9},
    {"PrevLink", "前のリンク", 0},
    {"Menu", "メニュー", 32},
    {"NextTab", "次のタブ", 70},
    {"PrevTab", "前のタブ", 66},
    {"Back", "リンク元へ移動", 8},
    {"OpenBookmark", "ブックマーク", 79},
    {"AddBookmark", "ブックマーク追加", 65},
    {"Sort", "ソート", 9},
    {"Edit", "メッセージ作成", 69},
    {"EditReply", "返信", 87},
    {"EditReplyAll", "返信(本文引用)", 0},
    {"Find2ch", "２ちゃんねる検索", 0},
    {"NextLine", "下スクロール", 40},
    {"PrevLine", "上スクロール", 38},
    {"PageUp", "ページアップ", 0},
    {"PageDown", "ページダウン", 0},
    {"CurrentSubject", "表示スレッドの板を開く", 0},
    {"ToggleAbone", "透明あぼーん", 0},
    {"ToggleWrap", "折り返し", 0},
    {"Reopen", "再読み込み", 0},
    {"ChangeView", "ビュー切り替え", 0},
    {"GrepId", "ID抽出", 0},
    {"GrepName", "名前抽出", 0},
    {"GrepRefer", "被レス抽出", 0},
    {"CopyInformation", "情報コピー", 0},
    {"CopyMessage", "レスコピー", 0},
    {"ViewBack", "戻る", 27},
    {"ViewForward", "進む", 0},
    {"Jump", "直接入力", 71},
    {"CheckMenu", "複数選択メニュー", 0},
    {"ExecBrowser", "ブラウザ起動", 0},
    {"Popup", "ポップアップ", 86},
    {"FocusPane", "ペイン移動", 117}, // F6; Shift moves back
};

const char* const kFontSuffix[] = {"List",     "Board", "Message", "Cache",
                                   "Bookmark", "Tab",   "Article"};
const char* const kListSuffix[] = {"Bookmark", "Subject", "Cache", "CacheImage", "BookmarkBoard"};
const char* const kHistoryKey[] = {"HistoryName", "HistoryMail", "HistorySearchWord",
                                   "HistoryJump"};

std::unique_ptr<CTavloSettings> g_instance;
CVornString g_profilePath;

void stripTrailingSeparators(CVornString& s) {
    while (!s.IsEmpty() && s.str().back() == '/')
        s.str().pop_back();
}

} // namespace

// One key of the file: where its value lives in the record and what it defaults to.
struct CTavloSettings::Entry {
    std::string key;
    bool isString;
    std::function<int&(CTavloSettings&)> intField;
    std::function<CVornString&(CTavloSettings&)> stringField;
    int intDefault;
    std::string stringDefault; // Shift_JIS
};

const std::vector<CTavloSettings::Entry>& CTavloSettings::entries() {
    static const std::vector<Entry> table = [] {
        std::vector<Entry> t;
        auto i = [&](const char* key, int CTavloSettings::*field, int def) {
            t.push_back(
                {key, false, [field](CTavloSettings& s) -> int& { return s.*field; }, {}, def, {}});
        };
        auto s = [&](const char* key, CVornString CTavloSettings::*field, std::string def) {
            t.push_back({key,
                         true,
                         {},
                         [field](CTavloSettings& r) -> CVornString& { return r.*field; },
                         0,
                         std::move(def)});
        };
        // RootDirectory has its own default rule (see load).
        s("RootDirectory", &CTavloSettings::RootDirectory, "");
        s("BoardUrl", &CTavloSettings::BoardUrl, kDefaultBoardUrl);
        s("Browser", &CTavloSettings::Browser, "iexplore.exe");
        i("ThreadMax", &CTavloSettings::ThreadMax, 8);
        i("TabMax", &CTavloSettings::TabMax, 4);
        i("TabWidth", &CTavloSettings::TabWidth, 300);
        i("Online", &CTavloSettings::Online, 0);
        i("Debug", &CTavloSettings::Debug, 0);
        i("ListMargin", &CTavloSettings::ListMargin, 0);
        i("ListSingleLine", &CTavloSettings::ListSingleLine, 0);
        i("ProxyUse", &CTavloSettings::ProxyUse, 0);
        s("ProxyHost", &CTavloSettings::ProxyHost, "");
        i("ProxyPort", &CTavloSettings::ProxyPort, 8080);
        s("ProxyId", &CTavloSettings::ProxyId, "");
        s("ProxyPass", &CTavloSettings::ProxyPass, "");
        s("DoLibId", &CTavloSettings::DoLibId, "");
        s("DoLibPass", &CTavloSettings::DoLibPass, "");
        s("DoLibSid", &CTavloSettings::DoLibSid, ""); // not read at start-up
        i("Sage", &CTavloSettings::Sage, 1);
        i("Connection", &CTavloSettings::Connection, -1);
        s("UserAgent", &CTavloSettings::UserAgent, kDefaultUserAgent);
        i("WriteChange", &CTavloSettings::WriteChange, 0);
        i("WriteConnection", &CTavloSettings::WriteConnection, -1);
        i("WriteProxyUse", &CTavloSettings::WriteProxyUse, 0);
        s("WriteProxyHost", &CTavloSettings::WriteProxyHost, "");
        i("WriteProxyPort", &CTavloSettings::WriteProxyPort, 8080);
        s("WriteProxyId", &CTavloSettings::WriteProxyId, "");
        s("WriteProxyPass", &CTavloSettings::WriteProxyPass, "");
        s("WriteUserAgent", &CTavloSettings::WriteUserAgent, kDefaultUserAgent);
        std::string font = VornUtf8ToSjis(kDefaultFontName);
        for (int f = 0; f < FONT_COUNT; ++f)
            t.push_back({std::string("FontName") + kFontSuffix[f],
                         true,
                         {},
                         [f](CTavloSettings& r) -> CVornString& {
                             return r.FontName[static_cast<size_t>(f)];
                         },
                         0,
                         font});
        for (int f = 0; f < FONT_COUNT; ++f)
            t.push_back(
                {std::string("FontSize") + kFontSuffix[f],
                 false,
                 [f](CTavloSettings& r) -> int& { return r.FontSize[static_cast<size_t>(f)]; },
                 {},
                 8,
                 {}});
        for (int f = 0; f < FONT_COUNT; ++f)
            t.push_back(
                {std::string("FontBold") + kFontSuffix[f],
                 false,
                 [f](CTavloSettings& r) -> int& { return r.FontBold[static_cast<size_t>(f)]; },
                 {},
                 0,
                 {}});
        i("ColorFore", &CTavloSettings::ColorFore, 0x000000);
        i("ColorBack", &CTavloSettings::ColorBack, 0xFFFFFF);
        i("ColorCache", &CTavloSettings::ColorCache, 0x999999);
        i("ColorNew", &CTavloSettings::ColorNew, 0xFFFFFF);
        i("ColorError", &CTavloSettings::ColorError, 0x999999);
        i("ColorSearch", &CTavloSettings::ColorSearch, 0xFF0000);
        i("ColorActive", &CTavloSettings::ColorActive, 0x0000FF);
        i("ColorFrom", &CTavloSettings::ColorFrom, 0x008000);
        i("ColorFromWithMail", &CTavloSettings::ColorFromWithMail, 0x0000FF);
        i("ColorFromWithSage", &CTavloSettings::ColorFromWithSage, 0xFF0000);
        i("ColorDate", &CTavloSettings::ColorDate, 0x000000);
        i("ColorDateNew", &CTavloSettings::ColorDateNew, 0x0000FF);
        i("ColorMessage", &CTavloSettings::ColorMessage, 0x666666);
        i("ColorLink", &CTavloSettings::ColorLink, 0xFF0000);
        i("ColorAbone", &CTavloSettings::ColorAbone, 0xCCCCCC);
        i("ColorCite", &CTavloSettings::ColorCite, 0x666666);
        for (int c = 0; c < CMD_COUNT; ++c) {
            t.push_back({std::string("Key") + kCommands[c].name,
                         false,
                         [c](CTavloSettings& r) -> int& { return r.Key[static_cast<size_t>(c)]; },
                         {},
                         kCommands[c].key,
                         {}});
            t.push_back(
                {std::string("SubKey") + kCommands[c].name,
                 false,
                 [c](CTavloSettings& r) -> int& { return r.SubKey[static_cast<size_t>(c)]; },
                 {},
                 0,
                 {}});
        }
        i("TransParentAbone", &CTavloSettings::TransParentAbone, 1);
        i("PopupUse", &CTavloSettings::PopupUse, 1);
        i("PopupRefer", &CTavloSettings::PopupRefer, 1);
        i("PopupIdCount", &CTavloSettings::PopupIdCount, 1);
        i("PopupDelay", &CTavloSettings::PopupDelay, 300);
        i("UseDefaultTemplate", &CTavloSettings::UseDefaultTemplate, 1);
        i("FocusOnMessage", &CTavloSettings::FocusOnMessage, 0);
        i("UseImageView", &CTavloSettings::UseImageView, 0);
        i("InlineImage", &CTavloSettings::InlineImage, 0);
        i("InlineImageHeight", &CTavloSettings::InlineImageHeight, 5);
        i("ViewAfterDownload", &CTavloSettings::ViewAfterDownload, 1);
        i("DeleteBlankLines", &CTavloSettings::DeleteBlankLines, 1);
        i("NextControl", &CTavloSettings::NextControl, 0);
        i("VentControl", &CTavloSettings::VentControl, 0);
        i("BookmarkWhenStarting", &CTavloSettings::BookmarkWhenStarting, 0);
        i("MenuNumber", &CTavloSettings::MenuNumber, 0);
        i("UseYoutube", &CTavloSettings::UseYoutube, 0);
        s("YoutubeBrowser", &CTavloSettings::YoutubeBrowser, "");
        for (int v = 0; v < LV_COUNT; ++v)
            t.push_back(
                {std::string("SortColumn") + kListSuffix[v],
                 false,
                 [v](CTavloSettings& r) -> int& { return r.SortColumn[static_cast<size_t>(v)]; },
                 {},
                 0,
                 {}});
        for (int v = 0; v < LV_COUNT; ++v)
            t.push_back(
                {std::string("SortAsc") + kListSuffix[v],
                 false,
                 [v](CTavloSettings& r) -> int& { return r.SortAsc[static_cast<size_t>(v)]; },
                 {},
                 1,
                 {}});
        i("SortFind2ch", &CTavloSettings::SortFind2ch, 0);
        i("WindowLeft", &CTavloSettings::WindowLeft, 0);
        i("WindowTop", &CTavloSettings::WindowTop, 0);
        i("WindowWidth", &CTavloSettings::WindowWidth, 0);
        i("WindowHeight", &CTavloSettings::WindowHeight, 0);
        i("WindowMaximized", &CTavloSettings::WindowMaximized, 0);
        i("DesktopLayout", &CTavloSettings::DesktopLayout, 0);
        i("DesktopTreeWidth", &CTavloSettings::DesktopTreeWidth, 240);
        i("DesktopListHeight", &CTavloSettings::DesktopListHeight, 280);
        return t;
    }();
    return table;
}

const CTavloSettings::Entry* CTavloSettings::find(const char* key) const {
    if (!key)
        return nullptr;
    for (const Entry& e : entries())
        if (e.key == key)
            return &e;
    return nullptr;
}

CTavloSettings& CTavloSettings::Instance() {
    if (!g_instance) {
        if (g_profilePath.IsEmpty())
            g_profilePath = TavloResolveProfilePath(0, nullptr);
        g_instance.reset(new CTavloSettings(g_profilePath.c_str()));
    }
    return *g_instance;
}

void CTavloSettings::SetProfilePath(const char* path) {
    g_instance.reset();
    g_profilePath = path ? path : "";
}

const CVornString& CTavloSettings::GetProfilePath() {
    return g_profilePath;
}

void CTavloSettings::Destroy() {
    g_instance.reset();
}

const char* CTavloSettings::CommandName(int c) {
    return c >= 0 && c < CMD_COUNT ? kCommands[c].name : "";
}
const char* CTavloSettings::CommandLabel(int c) {
    return c >= 0 && c < CMD_COUNT ? kCommands[c].label : "";
}
int CTavloSettings::DefaultKey(int c) {
    return c >= 0 && c < CMD_COUNT ? kCommands[c].key : 0;
}
const char* CTavloSettings::FontSuffix(int f) {
    return f >= 0 && f < FONT_COUNT ? kFontSuffix[f] : "";
}
const char* CTavloSettings::ListSuffix(int v) {
    return v >= 0 && v < LV_COUNT ? kListSuffix[v] : "";
}
const char* CTavloSettings::HistoryKey(int h) {
    return h >= 0 && h < HISTORY_COUNT ? kHistoryKey[h] : "";
}

CTavloSettings::CTavloSettings(const char* path) : FilePath(path ? path : "") {
    load();
}

void CTavloSettings::load() {
    const char* file = FilePath.c_str();
    CVornConfig::CreateCache(file);
    for (const Entry& e : entries()) {
        if (e.key == "DoLibSid")
            continue;
        if (e.isString) {
            CVornString v = CVornConfig::ReadString(file, e.key.c_str(), 1);
            e.stringField(*this) = v.IsEmpty() ? CVornString(e.stringDefault) : v;
        } else {
            // A key present with an empty value counts as absent.
            bool present = CVornConfig::ExistEntry(file, e.key.c_str()) &&
                           !CVornConfig::ReadString(file, e.key.c_str(), 0).Trim().IsEmpty();
            e.intField(*this) =
                present ? CVornConfig::ReadInt(file, e.key.c_str(), e.intDefault) : e.intDefault;
        }
    }
    if (RootDirectory.IsEmpty()) {
        int slash = FilePath.FindR('/');
        RootDirectory = (slash >= 0 ? FilePath.Left(slash) : CVornString()) + "/.navi2ch";
    }
    stripTrailingSeparators(RootDirectory);
    for (int h = 0; h < HISTORY_COUNT; ++h)
        CVornConfig::ReadStringArray(file, kHistoryKey[h], HistoryList[static_cast<size_t>(h)], 1);
    for (int v = 0; v < LV_COUNT; ++v)
        CVornConfig::ReadIntArray(file, (std::string("ColumnWidth") + kListSuffix[v]).c_str(),
                                  ColumnWidth[static_cast<size_t>(v)]);
    CVornConfig::DestroyCache(file);
}

int CTavloSettings::SetInt(const char* key, int value) {
    const Entry* e = find(key);
    if (!e || e->isString)
        return -1;
    int& field = e->intField(*this);
    if (field == value)
        return 0;
    field = value;
    CVornConfig::WriteInt(FilePath.c_str(), key, value);
    return 1;
}

int CTavloSettings::SetString(const char* key, const CVornString& value) {
    const Entry* e = find(key);
    if (!e || !e->isString)
        return -1;
    CVornString& field = e->stringField(*this);
    CVornString v = value;
    if (e->key == "RootDirectory")
        stripTrailingSeparators(v);
    if ((e->key == "UserAgent" || e->key == "WriteUserAgent") && v.IsEmpty()) {
        // Empty restores the default and lets it apply again at the next start.
        field = kDefaultUserAgent;
        CVornConfig::RemoveEntry(FilePath.c_str(), key);
        return 1;
    }
    if (field == v)
        return 0;
    field = v;
    CVornConfig::WriteString(FilePath.c_str(), key, v.c_str(), 1);
    return 1;
}

int CTavloSettings::GetInt(const char* key, int* value) const {
    const Entry* e = find(key);
    if (!e || e->isString || !value)
        return 0;
    *value = e->intField(const_cast<CTavloSettings&>(*this));
    return 1;
}

int CTavloSettings::GetString(const char* key, CVornString* value) const {
    const Entry* e = find(key);
    if (!e || !e->isString || !value)
        return 0;
    *value = e->stringField(const_cast<CTavloSettings&>(*this));
    return 1;
}

int CTavloSettings::SetSortColumn(int view, int column) {
    return SetInt((std::string("SortColumn") + ListSuffix(view)).c_str(), column);
}

int CTavloSettings::SetSortAsc(int view, int asc) {
    return SetInt((std::string("SortAsc") + ListSuffix(view)).c_str(), asc);
}

int CTavloSettings::SetKey(int command, int code) {
    return SetInt((std::string("Key") + CommandName(command)).c_str(), code);
}

int CTavloSettings::SetSubKey(int command, int code) {
    return SetInt((std::string("SubKey") + CommandName(command)).c_str(), code);
}

void CTavloSettings::AddHistory(int history, const CVornString& entry) {
    if (history < 0 || history >= HISTORY_COUNT)
        return;
    auto& items = HistoryList[static_cast<size_t>(history)].Items();
    std::erase_if(items, [&](const CVornString& s) { return s == entry; });
    items.insert(items.begin(), entry);
    if (items.size() > static_cast<size_t>(kHistoryMax))
        items.resize(kHistoryMax);
    CVornConfig::RemoveEntry(FilePath.c_str(), kHistoryKey[history]);
    CVornConfig::WriteStringArray(FilePath.c_str(), kHistoryKey[history],
                                  HistoryList[static_cast<size_t>(history)], 1);
}

int CTavloSettings::SetColumnWidth(int view, const std::vector<int>& widths) {
    if (view < 0 || view >= LV_COUNT)
        return -1;
    auto& held = ColumnWidth[static_cast<size_t>(view)];
    if (held == widths)
        return 0;
    held = widths;
    std::string key = std::string("ColumnWidth") + kListSuffix[view];
    CVornConfig::RemoveEntry(FilePath.c_str(), key.c_str());
    CVornConfig::WriteIntArray(FilePath.c_str(), key.c_str(), held);
    return 1;
}

void CTavloSettings::ReloadKeys() {
    const char* file = FilePath.c_str();
    for (const Entry& e : entries()) {
        if (e.isString || !(e.key.starts_with("Key") || e.key.starts_with("SubKey")))
            continue;
        bool present = CVornConfig::ExistEntry(file, e.key.c_str()) &&
                       !CVornConfig::ReadString(file, e.key.c_str(), 0).Trim().IsEmpty();
        e.intField(*this) =
                present ? CVornConfig::ReadInt(file, e.key.c_str(), e.intDefault) : e.intDefault;
    }
}

int CTavloSettings::FindCommand(int code) const {
    if (code == 0)
        return -1;
    for (int c = 0; c < CMD_COUNT; ++c)
        if (Key[static_cast<size_t>(c)] == code || SubKey[static_cast<size_t>(c)] == code)
            return c;
    return -1;
}

bool CTavloSettings::IsKey(int command, int code) const {
    if (code == 0 || command < 0 || command >= CMD_COUNT)
        return false;
    return Key[static_cast<size_t>(command)] == code ||
           SubKey[static_cast<size_t>(command)] == code;
}

std::string TavloResolveProfilePath(int argc, char** argv) {
    for (int i = 1; argv && i + 1 < argc; ++i)
        if (strcmp(argv[i], "--ini") == 0)
            return argv[i + 1];
    for (int i = 1; argv && i < argc; ++i)
        if (strncmp(argv[i], "--ini=", 6) == 0)
            return argv[i] + 6;
    char exe[4096];
    ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
    if (n > 0) {
        exe[n] = 0;
        std::string dir(exe);
        dir = dir.substr(0, dir.rfind('/'));
        std::string beside = dir + "/tavlo.ini";
        if (VornFileExists(beside.c_str()))
            return beside;
    }
    std::string base;
    const char* xdg = getenv("XDG_CONFIG_HOME");
    if (xdg && *xdg) {
        base = xdg;
    } else {
        const char* home = getenv("HOME");
        base = std::string(home && *home ? home : ".") + "/.config";
    }
    std::string dir = base + "/tavlo";
    VornCreateDirectories(dir.c_str());
    return dir + "/tavlo.ini";
}
