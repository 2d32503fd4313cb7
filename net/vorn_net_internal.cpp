#include "vorn_net_internal.h"

#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <unistd.h>
#include <unordered_map>

namespace vornnet {
namespace {

struct Entry {
    uint64_t serial;
    uint64_t generation;
};

struct Registry {
    std::mutex mutex;
    std::unordered_map<int, Entry> sockets;
    uint64_t generation = 1;
    uint64_t nextSerial = 1;
    bool running = false;
};

Registry& registry() {
    static Registry* r = new Registry; // never destroyed: sockets may close during exit
    return *r;
}

std::mutex g_hookMutex;
ResolveHook g_hook;

thread_local int t_lastError = 0;

} // namespace

bool ApiRunning() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.running;
}

bool ApiStart() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (r.running)
        return false;
    r.running = true;
    return true;
}

bool ApiStop() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (!r.running)
        return false;
    r.running = false;
    ++r.generation;
    // Wakes every thread blocked on one of them; the owners still close their descriptors.
    for (auto& [fd, entry] : r.sockets)
        ::shutdown(fd, SHUT_RDWR);
    return true;
}

int OpenSocket(int family, int type, int protocol, uint64_t* serial) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (!r.running) {
        errno = ENETDOWN;
        return -1;
    }
    int fd = ::socket(family, type | SOCK_CLOEXEC, protocol);
    if (fd < 0)
        return -1;
    Entry e{r.nextSerial++, r.generation};
    r.sockets[fd] = e;
    *serial = e.serial;
    return fd;
}

int AdoptSocket(int fd, uint64_t* serial) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (!r.running) {
        ::close(fd);
        errno = ENETDOWN;
        return -1;
    }
    Entry e{r.nextSerial++, r.generation};
    r.sockets[fd] = e;
    *serial = e.serial;
    return fd;
}

int CloseSocket(int fd, uint64_t serial) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.sockets.find(fd);
    if (it == r.sockets.end() || it->second.serial != serial)
        return 0;
    r.sockets.erase(it);
    ::shutdown(fd, SHUT_RDWR);
    // Closed under the lock so that the number cannot be reused and shut down by ApiStop
    // between the two steps.
    if (::close(fd) != 0 && errno != EINTR)
        return -1;
    return 1;
}

void ShutdownSocket(int fd, uint64_t serial) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.sockets.find(fd);
    if (it != r.sockets.end() && it->second.serial == serial)
        ::shutdown(fd, SHUT_RDWR);
}

uint64_t SerialOf(int fd) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    auto it = r.sockets.find(fd);
    return it == r.sockets.end() ? 0 : it->second.serial;
}

bool SocketAlive(int fd, uint64_t serial) {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    if (!r.running)
        return false;
    auto it = r.sockets.find(fd);
    return it != r.sockets.end() && it->second.serial == serial &&
           it->second.generation == r.generation;
}

void SetLastError(int err) {
    t_lastError = err;
}
int LastError() {
    return t_lastError;
}

bool IsDottedAddress(const char* host) {
    if (!host || !*host)
        return false;
    in_addr a{};
    return inet_pton(AF_INET, host, &a) == 1;
}

int ResolveName(const char* name, std::string* addr, std::string* canon) {
    if (!name || !*name)
        return EAI_NONAME;
    ResolveHook hook;
    {
        std::lock_guard<std::mutex> lock(g_hookMutex);
        hook = g_hook;
    }
    if (hook) {
        std::string a;
        int rc = hook(name, &a);
        if (rc != 0)
            return rc;
        if (addr)
            *addr = a;
        if (canon)
            *canon = name;
        return 0;
    }
    addrinfo hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_CANONNAME;
    addrinfo* res = nullptr;
    int rc = getaddrinfo(name, nullptr, &hints, &res);
    if (rc != 0)
        return rc == EAI_SYSTEM ? (errno ? errno : EAI_SYSTEM) : rc;
    for (addrinfo* p = res; p; p = p->ai_next) {
        if (p->ai_family != AF_INET)
            continue;
        char buf[INET_ADDRSTRLEN];
        auto* sin = reinterpret_cast<sockaddr_in*>(p->ai_addr);
        inet_ntop(AF_INET, &sin->sin_addr, buf, sizeof buf);
        if (addr)
            *addr = buf;
        if (canon)
            *canon = res->ai_canonname ? res->ai_canonname : name;
        freeaddrinfo(res);
        return 0;
    }
    freeaddrinfo(res);
    return EAI_NONAME;
}

int ResolveAddr(const char* dotted, std::string* name) {
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    if (inet_pton(AF_INET, dotted, &sin.sin_addr) != 1)
        return EAI_NONAME;
    char host[NI_MAXHOST];
    int rc = getnameinfo(reinterpret_cast<sockaddr*>(&sin), sizeof sin, host, sizeof host, nullptr,
                         0, NI_NAMEREQD);
    if (rc != 0)
        return rc;
    if (name)
        *name = host;
    return 0;
}

void SetResolveHook(ResolveHook hook) {
    std::lock_guard<std::mutex> lock(g_hookMutex);
    g_hook = std::move(hook);
}

void ApplyThreadPriority(int priority) {
    int nice = -priority * 5;
    if (nice < -20)
        nice = -20;
    if (nice > 19)
        nice = 19;
    if (nice == 0)
        return;
    int saved = errno;
    setpriority(PRIO_PROCESS, static_cast<id_t>(syscall(SYS_gettid)), nice);
    errno = saved;
}

} // namespace vornnet
