#include "vorn_file.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace {
std::atomic<int> g_fault{VORN_FAULT_NONE};

int writeAll(int fd, const char* p, size_t len) {
    while (len > 0) {
        ssize_t n = ::write(fd, p, len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return 0;
        }
        p += n;
        len -= static_cast<size_t>(n);
    }
    return 1;
}
} // namespace

void VornSetFileFault(int fault) {
    g_fault = fault;
}

CVornFile::~CVornFile() {
    if (m_fd >= 0)
        ::close(m_fd);
}

int CVornFile::Open(const char* path, int mode) {
    Close();
    if (!path || !*path)
        return 0;
    int flags = O_CLOEXEC;
    switch (mode) {
    case MODE_READ:
        flags |= O_RDONLY;
        break;
    case MODE_WRITE:
        flags |= O_WRONLY | O_CREAT | O_TRUNC;
        break;
    case MODE_APPEND:
        flags |= O_WRONLY | O_CREAT | O_APPEND;
        break;
    case MODE_READWRITE:
        flags |= O_RDWR | O_CREAT;
        break;
    default:
        return 0;
    }
    m_fd = ::open(path, flags, 0644);
    if (m_fd < 0) {
        m_errno = errno;
        return 0;
    }
    struct stat st {};
    if (fstat(m_fd, &st) == 0 && S_ISDIR(st.st_mode)) {
        ::close(m_fd);
        m_fd = -1;
        m_errno = EISDIR;
        return 0;
    }
    return 1;
}

void CVornFile::Close() {
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int CVornFile::Read(void* buf, int len) {
    if (m_fd < 0 || len < 0)
        return -1;
    if (g_fault == VORN_FAULT_READ) {
        m_errno = EIO;
        return -1;
    }
    for (;;) {
        ssize_t n = ::read(m_fd, buf, static_cast<size_t>(len));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            m_errno = errno;
        return static_cast<int>(n);
    }
}

int CVornFile::Write(const void* buf, int len) {
    if (m_fd < 0 || len < 0)
        return -1;
    if (g_fault == VORN_FAULT_SHORT_WRITE) {
        writeAll(m_fd, static_cast<const char*>(buf), static_cast<size_t>(len / 2));
        m_errno = ENOSPC;
        return -1;
    }
    if (!writeAll(m_fd, static_cast<const char*>(buf), static_cast<size_t>(len))) {
        m_errno = errno;
        return -1;
    }
    return len;
}

int64_t CVornFile::Seek(int64_t offset, int whence) {
    if (m_fd < 0)
        return -1;
    int w = whence == SEEK_FROM_CURRENT ? SEEK_CUR : whence == SEEK_FROM_END ? SEEK_END : SEEK_SET;
    return ::lseek(m_fd, offset, w);
}

int64_t CVornFile::Tell() const {
    return m_fd < 0 ? -1 : ::lseek(m_fd, 0, SEEK_CUR);
}

int64_t CVornFile::GetSize() const {
    struct stat st {};
    if (m_fd < 0 || fstat(m_fd, &st) != 0)
        return -1;
    return st.st_size;
}

int CVornFile::Sync() {
    return m_fd >= 0 && fsync(m_fd) == 0 ? 1 : 0;
}

int CVornFile::Truncate(int64_t size) {
    return m_fd >= 0 && ftruncate(m_fd, size) == 0 ? 1 : 0;
}

int CVornTextFile::Open(const char* path, int mode) {
    m_pos = m_len = 0;
    m_eof = false;
    m_lineComplete = true;
    if (m_buf.empty())
        m_buf.resize(65536);
    return CVornFile::Open(path, mode);
}

void CVornTextFile::Close() {
    m_pos = m_len = 0;
    CVornFile::Close();
}

int CVornTextFile::fill() {
    m_pos = 0;
    m_len = 0;
    int n = CVornFile::Read(m_buf.data(), static_cast<int>(m_buf.size()));
    if (n <= 0) {
        m_eof = true;
        return n;
    }
    m_len = static_cast<size_t>(n);
    return n;
}

int CVornTextFile::Read(void* buf, int len) {
    if (m_fd < 0 || len < 0)
        return -1;
    char* out = static_cast<char*>(buf);
    int done = 0;
    while (done < len) {
        if (m_pos >= m_len && fill() <= 0)
            break;
        size_t k = std::min(m_len - m_pos, static_cast<size_t>(len - done));
        memcpy(out + done, m_buf.data() + m_pos, k);
        m_pos += k;
        done += static_cast<int>(k);
    }
    return done;
}

int CVornTextFile::Write(const void* buf, int len) {
    // Reading state does not survive a write; writes go straight to the file.
    m_pos = m_len = 0;
    return CVornFile::Write(buf, len);
}

int64_t CVornTextFile::Seek(int64_t offset, int whence) {
    if (whence == SEEK_FROM_CURRENT)
        offset -= static_cast<int64_t>(m_len - m_pos);
    m_pos = m_len = 0;
    m_eof = false;
    return CVornFile::Seek(offset, whence);
}

int64_t CVornTextFile::Tell() const {
    int64_t t = CVornFile::Tell();
    return t < 0 ? t : t - static_cast<int64_t>(m_len - m_pos);
}

int CVornTextFile::ReadLine(CVornString& line) {
    line.Empty();
    if (m_fd < 0)
        return 0;
    bool any = false;
    for (;;) {
        if (m_pos >= m_len) {
            if (fill() <= 0) {
                m_lineComplete = false;
                return any ? 1 : 0;
            }
        }
        const char* start = m_buf.data() + m_pos;
        const void* nl = memchr(start, '\n', m_len - m_pos);
        if (nl) {
            size_t k = static_cast<size_t>(static_cast<const char*>(nl) - start);
            line.Append(start, k);
            m_pos += k + 1;
            m_lineComplete = true;
            return 1;
        }
        line.Append(start, m_len - m_pos);
        any = true;
        m_pos = m_len;
    }
}

CVornAtomicFile::~CVornAtomicFile() {
    Abort();
}

namespace {
std::string directoryOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

// After a rename the new name is durable only once its directory is written out: without it
// a power loss can bring back the old file, or no file at all on some file systems.
void syncDirectory(const std::string& path) {
    int fd = ::open(directoryOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    fsync(fd);
    ::close(fd);
}

// "<name>.tmp" and the six letters or digits mkostemp puts in.
bool isTempName(const char* name) {
    size_t n = strlen(name);
    if (n < 11 || memcmp(name + n - 10, ".tmp", 4) != 0)
        return false;
    for (size_t i = n - 6; i < n; ++i)
        if (!((name[i] >= '0' && name[i] <= '9') || (name[i] >= 'a' && name[i] <= 'z') ||
              (name[i] >= 'A' && name[i] <= 'Z')))
            return false;
    return true;
}

// The first atomic write of this process into a directory sweeps it; a forked child is
// another process and sweeps again.
void sweepOnce(const std::string& dir) {
    static std::mutex mutex;
    static std::set<std::pair<pid_t, std::string>> swept;
    // Held through the sweep, so that no writer of this process starts there meanwhile (where
    // flock falls back to POSIX locks, as on NFS, a process does not conflict with itself).
    std::lock_guard<std::mutex> lock(mutex);
    if (swept.emplace(getpid(), dir).second)
        VornSweepTempFiles(dir.c_str());
}
} // namespace

int VornSweepTempFiles(const char* dir) {
    DIR* d = dir ? opendir(dir) : nullptr;
    if (!d)
        return 0;
    int removed = 0;
    while (dirent* e = readdir(d)) {
        if (!isTempName(e->d_name))
            continue;
        std::string path = std::string(dir) + "/" + e->d_name;
        int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            continue;
        struct stat held = {};
        struct stat named = {};
        // A writer holds its lock from creation to rename or removal; only a name that is
        // still this very file is removed, and only while the lock is ours.
        if (fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            lstat(path.c_str(), &named) == 0 && named.st_ino == held.st_ino &&
            named.st_dev == held.st_dev && ::unlink(path.c_str()) == 0)
            ++removed;
        ::close(fd);
    }
    closedir(d);
    return removed;
}

int CVornAtomicFile::Open(const char* path, int mode) {
    Abort();
    if (!path || !*path)
        return 0;
    m_path = path;
    sweepOnce(directoryOf(m_path));
    for (int attempt = 0;; ++attempt) {
        m_temp = m_path + ".tmpXXXXXX";
        m_fd = mkostemp(m_temp.data(), O_CLOEXEC);
        if (m_fd < 0) {
            m_temp.clear();
            return 0;
        }
        // A sweeper may have taken the file between its creation and our lock, and removed
        // it: then it is no longer linked, and a fresh one is made.
        struct stat st = {};
        if (flock(m_fd, LOCK_EX) != 0 || fstat(m_fd, &st) != 0 || st.st_nlink > 0 || attempt == 8)
            break;
        ::close(m_fd);
    }
    fchmod(m_fd, static_cast<mode_t>(mode));
    m_failed = false;
    return 1;
}

int CVornAtomicFile::Write(const void* data, size_t len) {
    if (m_fd < 0 || m_failed)
        return 0;
    if (g_fault == VORN_FAULT_WRITE || !writeAll(m_fd, static_cast<const char*>(data), len)) {
        m_failed = true;
        return 0;
    }
    return 1;
}

int CVornAtomicFile::Commit() {
    if (m_fd < 0)
        return 0;
    bool ok = !m_failed && fsync(m_fd) == 0;
    // The file stays open, and so locked, until it is renamed or removed: a sweeper of another
    // process must not take it in between.
    if (ok && g_fault != VORN_FAULT_RENAME && ::rename(m_temp.c_str(), m_path.c_str()) == 0) {
        ::close(m_fd); // the data is on disk already
        m_fd = -1;
        m_temp.clear();
        syncDirectory(m_path);
        return 1;
    }
    Abort();
    return 0;
}

void CVornAtomicFile::Abort() {
    if (!m_temp.empty())
        ::unlink(m_temp.c_str());
    m_temp.clear();
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int VornWriteFileAtomic(const char* path, std::string_view data) {
    CVornAtomicFile f;
    if (!f.Open(path))
        return 0;
    if (!f.Write(data))
        return 0;
    return f.Commit();
}

int VornReadFile(const char* path, std::string& out) {
    return VornReadFile(path, out, SIZE_MAX);
}

int VornReadFile(const char* path, std::string& out, size_t limit) {
    out.clear();
    CVornFile f;
    if (!f.Open(path, CVornFile::MODE_READ))
        return 0;
    int64_t size = f.GetSize();
    if (size > 0 && static_cast<uint64_t>(size) <= limit)
        out.reserve(static_cast<size_t>(size));
    char buf[65536];
    for (;;) {
        int n = f.Read(buf, sizeof buf);
        if (n < 0) {
            out.clear();
            return 0;
        }
        if (n == 0)
            break;
        if (out.size() + static_cast<size_t>(n) > limit) {
            out.clear();
            return 0;
        }
        out.append(buf, static_cast<size_t>(n));
    }
    return 1;
}

bool VornFileExists(const char* path) {
    struct stat st {};
    return path && stat(path, &st) == 0;
}

bool VornIsDirectory(const char* path) {
    struct stat st {};
    return path && stat(path, &st) == 0 && S_ISDIR(st.st_mode);
}

int64_t VornGetFileSize(const char* path) {
    struct stat st {};
    if (!path || stat(path, &st) != 0 || S_ISDIR(st.st_mode))
        return -1;
    return st.st_size;
}

int64_t VornGetFileTime(const char* path) {
    struct stat st {};
    if (!path || stat(path, &st) != 0)
        return -1;
    return st.st_mtime;
}

int VornSetFileTime(const char* path, int64_t seconds) {
    struct timeval tv[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    return path && utimes(path, tv) == 0 ? 1 : 0;
}

int VornRemoveFile(const char* path) {
    return path && ::unlink(path) == 0 ? 1 : 0;
}

int VornRemoveDirectory(const char* path) {
    return path && ::rmdir(path) == 0 ? 1 : 0;
}

int VornRenameFile(const char* from, const char* to) {
    return from && to && ::rename(from, to) == 0 ? 1 : 0;
}

int VornCopyFile(const char* from, const char* to) {
    std::string data;
    if (!VornReadFile(from, data))
        return 0;
    return VornWriteFileAtomic(to, data);
}

int VornCreateDirectories(const char* path) {
    if (!path || !*path)
        return 0;
    std::string p(path);
    while (p.size() > 1 && p.back() == '/')
        p.pop_back();
    if (VornIsDirectory(p.c_str()))
        return 1;
    size_t slash = p.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (!VornCreateDirectories(p.substr(0, slash).c_str()))
            return 0;
    }
    if (::mkdir(p.c_str(), 0755) == 0 || (errno == EEXIST && VornIsDirectory(p.c_str())))
        return 1;
    return 0;
}

std::vector<std::string> VornListDirectory(const char* path, bool directories) {
    std::vector<std::string> names;
    DIR* d = path ? opendir(path) : nullptr;
    if (!d)
        return names;
    while (dirent* e = readdir(d)) {
        std::string name = e->d_name;
        if (name == "." || name == "..")
            continue;
        std::string full = std::string(path) + "/" + name;
        if (VornIsDirectory(full.c_str()) == directories)
            names.push_back(name);
    }
    closedir(d);
    return names;
}
