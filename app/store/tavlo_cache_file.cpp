#include "tavlo_cache_file.h"

#include "tavlo_board_file.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_dat_file.h"
#include "tavlo_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <ctime>

namespace {

// Symbolic links are not followed and the depth is bounded, so a loop in the tree ends.
constexpr int kMaxDepth = 32;

// The board directory, board id and key of a log path relative to the root:
// "/<dir>/<id>/<key>.dat" with at least one element before the id.
bool splitLogPath(std::string_view rest, std::string_view* dir, std::string_view* id,
                  std::string_view* key) {
    if (rest.size() < 6 || rest[0] != '/' || rest.substr(rest.size() - 4) != ".dat")
        return false;
    const size_t slash = rest.rfind('/');
    *key = rest.substr(slash + 1, rest.size() - 4 - slash - 1);
    if (key->empty())
        return false;
    for (char c : *key)
        if (c < '0' || c > '9')
            return false;
    *dir = rest.substr(1, slash); // with its trailing "/"
    // ".+/(.+)/": the id is the last element, and something lies before it.
    const size_t idSlash = dir->size() >= 2 ? dir->rfind('/', dir->size() - 2) : std::string::npos;
    if (idSlash == std::string::npos || idSlash == 0)
        return false;
    *id = dir->substr(idSlash + 1, dir->size() - idSlash - 2);
    return !id->empty();
}

} // namespace

CVornString TavloFileTimeText(int64_t time) {
    time_t t = static_cast<time_t>(time);
    struct tm lt {};
    localtime_r(&t, &lt);
    char buf[96];
    snprintf(buf, sizeof buf, "%04d/%02d/%02d %02d:%02d:%02d", lt.tm_year + 1900, lt.tm_mon + 1,
             lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec);
    return CVornString(buf);
}

CTavloCacheItem::CTavloCacheItem(int index, const CVornString& title, const CVornString& key,
                                 const CVornString& boardName, const CVornString& boardId,
                                 const CVornString& boardUrl, const CVornString& timeText)
    : CTavloListItem(index, title, key, boardName, boardId, boardUrl), m_time(timeText) {}

int CTavloCacheItem::GetMark() const {
    return (m_bookmarked ? MARK_BOOKMARKED : MARK_NORMAL) | (m_selected ? MARK_SELECTED : 0);
}

void CTavloCacheFile::loadNames() {
    if (m_names.loaded)
        return;
    m_names.loaded = true;
    // Extra boards first: a name found there wins over the menu's.
    CTavloBoardFileEtc etc;
    CTavloBoardFile menu;
    for (CTavloBoardFile* f : {static_cast<CTavloBoardFile*>(&etc), &menu}) {
        if (!m_root.IsEmpty())
            f->SetPath(m_root + (f == &etc ? "/etc.txt" : "/board.txt"));
        if (f->Load() != 0 && f->GetRowCount() == 0)
            continue;
        for (int r = 0; r < f->GetRowCount(); ++r) {
            const std::string id = f->Get(r, CTavloBoardFile::COL_ID).c_str();
            const std::string url = f->Get(r, CTavloBoardFile::COL_URL).c_str();
            const std::string name = f->Get(r, CTavloBoardFile::COL_NAME).c_str();
            if (!id.empty())
                m_names.byId.emplace(id, name);
            if (!url.empty())
                m_names.byUrl.emplace(url, name);
        }
    }
}

CTavloCacheItem* CTavloCacheFile::offer(const std::string& path, int64_t time, int index) {
    const std::string_view root = m_root.view();
    std::string_view all(path);
    if (all.substr(0, root.size()) != root)
        return nullptr;
    std::string_view rest = all.substr(root.size());
    if (!root.empty() && root.back() == '/')
        rest = all.substr(root.size() - 1);
    std::string_view dir, id, key;
    if (!splitLogPath(rest, &dir, &id, &key))
        return nullptr;
    CVornString title;
    if (!CTavloDatFile::GetTitle(CVornString(path), title))
        return nullptr;
    const std::string boardUrl = "http://" + std::string(dir);
    loadNames();
    CVornString name;
    auto it = m_names.byId.find(std::string(id));
    if (it != m_names.byId.end()) {
        name = it->second.c_str();
    } else {
        auto u = m_names.byUrl.find(boardUrl);
        if (u != m_names.byUrl.end())
            name = u->second.c_str();
    }
    return new CTavloCacheItem(index, title, CVornString(std::string(key)), name,
                               CVornString(std::string(id)), CVornString(boardUrl),
                               TavloFileTimeText(time));
}

void CTavloCacheFile::walk(const std::string& dir, int depth, int& counter) {
    if (depth > kMaxDepth)
        return;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return;
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        std::string full = dir;
        if (full.empty() || full.back() != '/')
            full += '/';
        full += n;
        unsigned type = e->d_type;
        struct stat st {};
        const size_t len = strlen(n);
        const bool dat = len > 4 && memcmp(n + len - 4, ".dat", 4) == 0;
        if (type == DT_UNKNOWN || dat) {
            if (lstat(full.c_str(), &st) != 0)
                continue;
            type = S_ISDIR(st.st_mode) ? DT_DIR : S_ISREG(st.st_mode) ? DT_REG : DT_LNK;
        }
        if (type == DT_DIR) {
            walk(full, depth + 1, counter);
        } else if (type == DT_REG && dat) {
            if (CTavloCacheItem* item = offer(full, st.st_mtime, counter)) {
                // Position index - 1; the entries after it move down one.
                Insert(counter - 1, item);
                for (int i = counter; i < GetCount(); ++i)
                    Get(i)->SetIndex(Get(i)->GetIndex() + 1);
                ++counter;
            }
        }
    }
    closedir(d);
}

int CTavloCacheFile::Build(const CVornString& dir, int firstIndex) {
    if (m_root.IsEmpty())
        m_root = CTavloPath::GetRoot();
    m_names = Names();
    int counter = firstIndex;
    walk(dir.c_str(), 0, counter);
    RefreshBookmarks();
    return counter - firstIndex;
}

int CTavloCacheFile::AddLog(const CVornString& logPath) {
    int64_t time = 0;
    if (!CTavloPath::GetFileStatus(logPath, nullptr, &time))
        return 0;
    if (m_root.IsEmpty())
        m_root = CTavloPath::GetRoot();
    CTavloCacheItem* item = offer(logPath.c_str(), time, 1);
    if (!item)
        return 0;
    for (CTavloCacheItem* e : *this)
        e->SetIndex(e->GetIndex() + 1);
    Insert(0, item);
    item->SetBookmarked(CTavloBookmarkFile::Instance().FindLogPath(logPath) ? 1 : 0);
    return 1;
}

int CTavloCacheFile::Refresh(int position) {
    CTavloCacheItem* item = Get(position);
    if (!item)
        return 0;
    int64_t time = 0;
    if (!CTavloPath::GetFileStatus(item->GetLogPath(), nullptr, &time)) {
        Remove(position);
        return 0;
    }
    item->SetTimeText(TavloFileTimeText(time));
    CVornString title;
    if (CTavloDatFile::GetTitle(item->GetLogPath(), title) && !title.IsEmpty())
        item->SetTitle(title);
    item->SetBookmarked(CTavloBookmarkFile::Instance().FindLogPath(item->GetLogPath()) ? 1 : 0);
    return 1;
}

int CTavloCacheFile::FindLogPath(const CVornString& logPath) const {
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i)->GetLogPath() == logPath)
            return i;
    return -1;
}

int CTavloCacheFile::Remove(int position) {
    CTavloCacheItem* item = Get(position);
    if (!item)
        return 0;
    const int index = item->GetIndex();
    CVornAllocPtrArray<CTavloCacheItem>::Remove(position);
    for (CTavloCacheItem* e : *this)
        if (e->GetIndex() > index)
            e->SetIndex(e->GetIndex() - 1);
    return 1;
}

void CTavloCacheFile::RefreshBookmarks() {
    CTavloBookmarkFile& bookmarks = CTavloBookmarkFile::Instance();
    if (bookmarks.GetCount() == 0) {
        for (CTavloCacheItem* e : *this)
            e->SetBookmarked(0);
        return;
    }
    std::unordered_map<std::string, int> paths;
    for (CTavloListItem* b : bookmarks)
        paths.emplace(b->GetLogPath().c_str(), 1);
    for (CTavloCacheItem* e : *this)
        e->SetBookmarked(paths.count(e->GetLogPath().c_str()) ? 1 : 0);
}
