#include "tavlo_cache_image_file.h"

#include "tavlo_cache_file.h"
#include "tavlo_path.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>

namespace {

constexpr int kMaxDepth = 32;
std::unique_ptr<CTavloCacheImageFile> g_instance;

} // namespace

CTavloCacheImageItem::CTavloCacheImageItem(int index, const CVornString& path,
                                           const CVornString& displayName,
                                           const CVornString& timeText)
    : CTavloListItem(index, CVornString(), CVornString(), CVornString(), CVornString(),
                     CVornString(), false),
      m_display(displayName), m_path(path), m_url(CVornString("http://") + displayName),
      m_time(timeText) {}

int CTavloCacheImageItem::GetMark() const {
    return m_selected ? (MARK_SELECTED | MARK_NORMAL) : MARK_NORMAL;
}

CTavloCacheImageFile& CTavloCacheImageFile::Instance() {
    if (!g_instance) {
        g_instance = std::make_unique<CTavloCacheImageFile>();
        g_instance->Build(CTavloPath::GetRoot() + "/.img");
    }
    return *g_instance;
}

void CTavloCacheImageFile::Reset() {
    g_instance.reset();
}

CVornString CTavloCacheImageFile::DisplayName(const CVornString& dir, const CVornString& path) {
    // The file's name below dir holds the whole encoded URL; decoding brings its "/" back.
    CVornString rest = path;
    if (path.GetLength() > dir.GetLength() && path.Left(dir.GetLength()) == dir &&
        path[dir.GetLength()] == '/')
        rest = path.Mid(dir.GetLength() + 1);
    else if (path.FindR('/') >= 0)
        rest = path.Mid(path.FindR('/') + 1);
    rest.UrlDecode();
    return rest;
}

void CTavloCacheImageFile::walk(const std::string& dir, int depth, int& counter) {
    if (depth > kMaxDepth)
        return;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return;
    while (dirent* e = readdir(d)) {
        const char* n = e->d_name;
        if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0)))
            continue;
        const std::string full = dir + "/" + n;
        struct stat st {};
        if (lstat(full.c_str(), &st) != 0)
            continue;
        if (S_ISDIR(st.st_mode)) {
            walk(full, depth + 1, counter);
        } else if (S_ISREG(st.st_mode)) {
            Insert(counter, CVornString(full), TavloFileTimeText(st.st_mtime));
            ++counter;
        }
    }
    closedir(d);
}

int CTavloCacheImageFile::Build(const CVornString& dir) {
    m_dir = dir;
    int counter = GetCount() + 1;
    const int first = counter;
    walk(dir.c_str(), 0, counter);
    return counter - first;
}

void CTavloCacheImageFile::Insert(int index, const CVornString& path, const CVornString& timeText) {
    if (index < 1)
        index = 1;
    if (index > GetCount() + 1)
        index = GetCount() + 1;
    for (CTavloCacheImageItem* e : *this)
        if (e->GetIndex() >= index)
            e->SetIndex(e->GetIndex() + 1);
    auto* item = new CTavloCacheImageItem(index, path, DisplayName(m_dir, path), timeText);
    CVornPtrArray<CTavloCacheImageItem>::Insert(index - 1, item);
    m_paths.insert(path.c_str());
}

void CTavloCacheImageFile::AddFile(const CVornString& path) {
    const int position = FindPath(path);
    if (position >= 0) {
        Refresh(position);
        return;
    }
    int64_t time = 0;
    if (CTavloPath::GetFileStatus(path, nullptr, &time))
        Insert(1, path, TavloFileTimeText(time));
}

int CTavloCacheImageFile::Refresh(int position) {
    CTavloCacheImageItem* item = Get(position);
    if (!item)
        return 0;
    int64_t time = 0;
    if (!CTavloPath::GetFileStatus(item->GetPath(), nullptr, &time)) {
        Remove(position);
        return 0;
    }
    item->SetTimeText(TavloFileTimeText(time));
    return 1;
}

int CTavloCacheImageFile::Remove(int position) {
    CTavloCacheImageItem* item = Get(position);
    if (!item)
        return 0;
    const int index = item->GetIndex();
    m_paths.erase(item->GetPath().c_str());
    CVornAllocPtrArray<CTavloCacheImageItem>::Remove(position);
    for (CTavloCacheImageItem* e : *this)
        if (e->GetIndex() > index)
            e->SetIndex(e->GetIndex() - 1);
    return 1;
}

void CTavloCacheImageFile::RemoveAll() {
    m_paths.clear();
    CVornAllocPtrArray<CTavloCacheImageItem>::RemoveAll();
}

int CTavloCacheImageFile::FindPath(const CVornString& path) const {
    if (!IsCached(path))
        return -1;
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i)->GetPath() == path)
            return i;
    return -1;
}
