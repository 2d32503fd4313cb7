#include "tavlo_store_lock.h"

#include "vorn_log.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

int CTavloStoreLock::ReadHolder(const CVornString& path) {
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char text[32] = {};
    ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    if (n <= 0)
        return 0;
    long pid = strtol(text, nullptr, 10);
    return pid > 0 && pid < 0x7fffffff ? static_cast<int>(pid) : 0;
}

int CTavloStoreLock::Acquire(const CVornString& root, int* holder) {
    if (holder)
        *holder = 0;
    if (m_fd >= 0)
        return 1;
    const CVornString path = GetPath(root);
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        VLOG(0, "CTavloStoreLock::Acquire", "open %s: %d", path.c_str(), errno);
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        if (error != EWOULDBLOCK) {
            VLOG(0, "CTavloStoreLock::Acquire", "flock %s: %d", path.c_str(), error);
            return -1;
        }
        if (holder)
            *holder = ReadHolder(path);
        return 0;
    }
    // Ours now, whatever pid a holder that is gone left in it.
    char text[32];
    int len = snprintf(text, sizeof text, "%d\n", static_cast<int>(getpid()));
    if (ftruncate(fd, 0) != 0 || pwrite(fd, text, static_cast<size_t>(len), 0) != len)
        VLOG(0, "CTavloStoreLock::Acquire", "write %s: %d", path.c_str(), errno);
    m_fd = fd;
    return 1;
}

void CTavloStoreLock::Release() {
    if (m_fd < 0)
        return;
    // The file stays: removing it would let a program that opened it just now lock a file
    // nobody else sees.
    if (ftruncate(m_fd, 0) != 0)
        VLOG(1, "CTavloStoreLock::Release", "truncate: %d", errno);
    flock(m_fd, LOCK_UN);
    close(m_fd);
    m_fd = -1;
}
