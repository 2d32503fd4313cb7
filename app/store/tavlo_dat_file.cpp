#include "tavlo_dat_file.h"

#include "tavlo_article_file.h"
#include "tavlo_path.h"
#include "vorn_file.h"
#include "vorn_log.h"
#include "vorn_thread.h"

#include <cerrno>
#include <cstdint>
#include <cstring>

namespace {

// The title sits at the end of the first line; a first line longer than this is no log.
constexpr size_t kMaxFirstLine = 16 * 1024 * 1024;

} // namespace

int CTavloDatFile::Count(const CVornString& path) {
    CVornTime timer;
    CVornFile file;
    if (!file.Open(path.c_str(), CVornFile::MODE_READ)) {
        VLOG(0, "CTavloDatFile::Count", "error %s(%d)", path.c_str(), file.GetLastError());
        return -1;
    }
    int count = 0;
    char buf[16383];
    for (;;) {
        int n = file.Read(buf, sizeof buf);
        if (n < 0) {
            VLOG(0, "CTavloDatFile::Count", "error %s(%d)", path.c_str(), file.GetLastError());
            return -1;
        }
        if (n == 0)
            break;
        for (const char* p = buf;
             (p = static_cast<const char*>(memchr(p, '\n', static_cast<size_t>(buf + n - p)))); ++p)
            ++count;
    }
    VLOG(2, "CTavloDatFile::Count", "done [%s]%d(msec)", path.c_str(), timer.Elapsed());
    return count;
}

int CTavloDatFile::GetTitle(const CVornString& path, CVornString& title) {
    CVornFile file;
    if (!file.Open(path.c_str(), CVornFile::MODE_READ))
        return 0;
    std::string line;
    char buf[16384];
    for (;;) {
        int n = file.Read(buf, sizeof buf);
        if (n <= 0)
            break;
        const char* nl = static_cast<const char*>(memchr(buf, '\n', static_cast<size_t>(n)));
        line.append(buf, nl ? static_cast<size_t>(nl - buf) : static_cast<size_t>(n));
        if (line.size() > kMaxFirstLine)
            return 0;
        if (nl)
            break;
    }
    // ">" is never a trail byte, so the byte search is safe.
    size_t gt = line.rfind('>');
    if (gt == std::string::npos)
        return 0;
    title = CVornString(line.substr(gt + 1));
    title.Trim();
    return 1;
}

int CTavloDatFile::Append(const CVornString& path, std::string_view data) {
    size_t end = data.rfind('\n');
    if (end == std::string_view::npos)
        return 0;
    size_t len = end + 1;
    if (len > static_cast<size_t>(INT32_MAX))
        return -1;
    CVornString dir = CTavloPath::GetDirectory(path);
    if (!dir.IsEmpty())
        CTavloPath::MakeDirectory(dir);
    CVornFile file;
    if (!file.Open(path.c_str(), CVornFile::MODE_APPEND)) {
        VLOG(0, "CTavloDatFile::Append", "error %s(%d)", path.c_str(), file.GetLastError());
        return -1;
    }
    int64_t before = file.GetSize();
    if (before < 0 || file.Write(data.data(), static_cast<int>(len)) != static_cast<int>(len)) {
        VLOG(0, "CTavloDatFile::Append", "error %s(%d)", path.c_str(), file.GetLastError());
        if (before >= 0)
            file.Truncate(before);
        return -1;
    }
    return static_cast<int>(len);
}

bool CTavloDatFile::Exists(const CVornString& path) {
    return CTavloPath::GetFileStatus(path) != 0;
}

int CTavloDatFile::GetStatus(const CVornString& path, int64_t* size, int64_t* time) {
    return CTavloPath::GetFileStatus(path, size, time);
}

bool CTavloDatFile::EndsWithLine(const CVornString& path, int64_t size) {
    if (size <= 0)
        return false;
    CVornFile f;
    if (!f.Open(path.c_str(), CVornFile::MODE_READ) ||
        f.Seek(size - 1, CVornFile::SEEK_FROM_BEGIN) < 0)
        return false;
    char c = 0;
    return f.Read(&c, 1) == 1 && c == '\n';
}

int CTavloDatFile::Delete(const CVornString& boardUrl, const CVornString& key) {
    CVornString log = CTavloPath::GetLogPath(boardUrl, key);
    CVornString info = CTavloPath::GetInfoPath(boardUrl, key);
    if (log.IsEmpty() || info.IsEmpty())
        return 0;
    int ok = 1;
    for (const CVornString& path : {log, info}) {
        if (!CTavloPath::DeleteFile(path) && CTavloPath::GetFileStatus(path)) {
            VLOG(0, "CTavloDatFile::Delete", "error %s(%d)", path.c_str(), errno);
            ok = 0;
        }
    }
    CTavloArticleFile summary;
    if (summary.Load(boardUrl) && summary.RemoveKey(key) && !summary.Save())
        ok = 0;
    return ok;
}
