#include "tavlo_path.h"

#include "tavlo_settings.h"
#include "vorn_file.h"

#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool hasNul(const CVornString& s) {
    return s.view().find('\0') != std::string_view::npos;
}

// Joins root and rest with one "/" between them.
CVornString joinRoot(const CVornString& root, const CVornString& rest) {
    CVornString path = root;
    if (!path.EndsWith("/"))
        path += "/";
    path += rest;
    return path;
}

// True when every "/"-separated element of rest is a plain name.
bool plainElements(std::string_view rest) {
    size_t start = 0;
    for (;;) {
        size_t slash = rest.find('/', start);
        std::string_view element = rest.substr(
            start, slash == std::string_view::npos ? std::string_view::npos : slash - start);
        if (element.empty() || element == "." || element == "..")
            return false;
        if (slash == std::string_view::npos)
            return true;
        start = slash + 1;
    }
}

} // namespace

CVornString CTavloPath::GetRoot() {
    return CTavloSettings::Instance().RootDirectory;
}

CVornString CTavloPath::GetBoardDirectory(const CVornString& url) {
    return GetBoardDirectory(url, GetRoot());
}

CVornString CTavloPath::GetBoardDirectory(const CVornString& url, const CVornString& root) {
    int scheme = url.Find("://");
    if (scheme < 0 || hasNul(url))
        return CVornString();
    CVornString rest = url.Mid(scheme + 3);
    if (rest.EndsWith("/"))
        rest = rest.Left(rest.GetLength() - 1);
    // "/" is never a trail byte of Shift_JIS, so splitting bytes is safe here.
    if (!plainElements(rest.view()))
        return CVornString();
    return joinRoot(root, rest);
}

bool CTavloPath::IsSafeKey(const CVornString& key) {
    if (key.IsEmpty() || key == "." || key == ".." || hasNul(key))
        return false;
    return key.Find('/') < 0;
}

CVornString CTavloPath::GetLogPath(const CVornString& boardUrl, const CVornString& key) {
    if (!IsSafeKey(key))
        return CVornString();
    CVornString dir = GetBoardDirectory(boardUrl);
    if (dir.IsEmpty())
        return dir;
    return dir + "/" + key + ".dat";
}

CVornString CTavloPath::GetInfoPath(const CVornString& boardUrl, const CVornString& key) {
    if (!IsSafeKey(key))
        return CVornString();
    CVornString dir = GetBoardDirectory(boardUrl);
    if (dir.IsEmpty())
        return dir;
    return dir + "/info/" + key;
}

CVornString CTavloPath::GetImageCachePath(const CVornString& url) {
    return GetImageCachePath(url, GetRoot());
}

CVornString CTavloPath::GetImageCachePath(const CVornString& url, const CVornString& root) {
    int scheme = url.Find("://");
    if (scheme < 0 || hasNul(url))
        return CVornString();
    CVornString rest = url.Mid(scheme + 3);
    CVornString ext;
    int dot = rest.FindR('.');
    if (dot >= 0) {
        ext = rest.Mid(dot);
        if (ext.view().find_first_of("\\/:*?\"<>|") != std::string_view::npos)
            ext.Empty();
    }
    CVornString name = rest.Left(rest.GetLength() - ext.GetLength());
    name.UrlEncode();
    name += ext;
    if (name.IsEmpty() || name == "." || name == "..")
        return CVornString();
    return joinRoot(root, CVornString(".img/") + name);
}

CVornString CTavloPath::GetDirectory(const CVornString& path) {
    int slash = path.FindR('/');
    return slash < 0 ? CVornString() : path.Left(slash);
}

int CTavloPath::MakeDirectory(const CVornString& path) {
    return VornCreateDirectories(path.c_str());
}

int CTavloPath::GetFileStatus(const CVornString& path, int64_t* size, int64_t* time) {
    struct stat st {};
    if (path.IsEmpty() || stat(path.c_str(), &st) != 0)
        return 0;
    if (size)
        *size = st.st_size;
    if (time)
        *time = st.st_mtime;
    return 1;
}

int64_t CTavloPath::GetFileTimeNs(const CVornString& path) {
    struct stat st {};
    if (path.IsEmpty() || stat(path.c_str(), &st) != 0)
        return -1;
    return static_cast<int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

int CTavloPath::RenameReplace(const CVornString& from, const CVornString& to) {
    // rename() replaces the target in one step; nothing to delete first.
    return VornRenameFile(from.c_str(), to.c_str());
}

int CTavloPath::CopyTree(const CVornString& from, const CVornString& to) {
    DIR* d = opendir(from.c_str());
    if (!d)
        return 0;
    int ok = MakeDirectory(to);
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        CVornString src = from + "/" + name.c_str();
        CVornString dst = to + "/" + name.c_str();
        struct stat st {};
        if (lstat(src.c_str(), &st) != 0)
            continue;
        // Links are not followed: a link to a directory could loop or leave the store.
        if (S_ISDIR(st.st_mode)) {
            if (!CopyTree(src, dst))
                ok = 0;
        } else if (S_ISREG(st.st_mode)) {
            if (!VornCopyFile(src.c_str(), dst.c_str())) {
                ok = 0;
                continue;
            }
            // The copies keep their times: a log's time is the If-Modified-Since of its next
            // fetch, and a fresh one would be answered 304 with posts still missing.
            const timespec times[2] = {st.st_atim, st.st_mtim};
            if (utimensat(AT_FDCWD, dst.c_str(), times, 0) != 0 &&
                !VornSetFileTime(dst.c_str(), 0))
                ok = 0;
        }
    }
    closedir(d);
    return ok ? 1 : 0;
}

int CTavloPath::RemoveTree(const CVornString& path) {
    struct stat st {};
    if (path.IsEmpty() || lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
        return 0;
    DIR* d = opendir(path.c_str());
    if (!d)
        return 0;
    int ok = 1;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        CVornString child = path + "/" + name.c_str();
        struct stat cs {};
        if (lstat(child.c_str(), &cs) != 0) {
            ok = 0;
            break;
        }
        // A link is removed itself, never what it points to.
        ok = S_ISDIR(cs.st_mode) ? RemoveTree(child) : VornRemoveFile(child.c_str());
        if (!ok)
            break;
    }
    closedir(d);
    return ok && VornRemoveDirectory(path.c_str()) ? 1 : 0;
}

int CTavloPath::DeleteFile(const CVornString& path) {
    return VornRemoveFile(path.c_str());
}

int CTavloPath::ResetFileTime(const CVornString& path) {
    return VornSetFileTime(path.c_str(), 0);
}
