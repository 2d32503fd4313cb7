#include "vorn_socket_core.h"

#include "vorn_host_ent.h"
#include "vorn_log.h"
#include "vorn_net_internal.h"
#include "vorn_thread.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

using vornnet::SetLastError;

namespace {

// errno after a failed call, or ENETDOWN when the socket API was stopped under it.
int failure(bool alive) {
    int err = alive ? errno : ENETDOWN;
    SetLastError(err);
    return err;
}

} // namespace

CVornSocketCore::CVornSocketCore(const CVornSocketCore& other)
    : CVornObject(other), m_socket(other.m_socket), m_serial(other.m_serial) {}

CVornSocketCore::CVornSocketCore(CVornSocketCore&& other) noexcept
    : m_socket(other.m_socket), m_serial(other.m_serial) {
    other.release();
}

// A held descriptor that assignment replaces is closed, or it would leak.
void CVornSocketCore::dropHeld(VORN_SOCKET handle, uint64_t serial) {
    if (m_socket != VORN_INVALID_SOCKET && (m_socket != handle || m_serial != serial))
        vornnet::CloseSocket(m_socket, m_serial);
}

CVornSocketCore& CVornSocketCore::operator=(const CVornSocketCore& other) {
    if (this == &other)
        return *this;
    dropHeld(other.m_socket, other.m_serial);
    m_socket = other.m_socket;
    m_serial = other.m_serial;
    return *this;
}

CVornSocketCore& CVornSocketCore::operator=(CVornSocketCore&& other) noexcept {
    if (this != &other) {
        dropHeld(other.m_socket, other.m_serial);
        m_socket = other.m_socket;
        m_serial = other.m_serial;
        other.release();
    }
    return *this;
}

CVornSocketCore& CVornSocketCore::operator=(VORN_SOCKET handle) {
    uint64_t serial = handle == VORN_INVALID_SOCKET ? 0 : vornnet::SerialOf(handle);
    dropHeld(handle, serial);
    m_socket = handle;
    m_serial = serial;
    return *this;
}

CVornSocketCore::~CVornSocketCore() {
    if (m_socket != VORN_INVALID_SOCKET)
        vornnet::CloseSocket(m_socket, m_serial);
}

void CVornSocketCore::release() {
    m_socket = VORN_INVALID_SOCKET;
    m_serial = 0;
}

bool CVornSocketCore::alive() const {
    return m_socket != VORN_INVALID_SOCKET && vornnet::SocketAlive(m_socket, m_serial);
}

int CVornSocketCore::Create(int type, int protocol, int family) {
    if (m_socket != VORN_INVALID_SOCKET)
        Close();
    uint64_t serial = 0;
    int fd = vornnet::OpenSocket(family, type, protocol, &serial);
    if (fd < 0) {
        int err = errno;
        SetLastError(err);
        VLOG(0, "CVornSocketCore::Create", "socket error[%d][%d]", m_socket, err);
        return 0;
    }
    m_socket = fd;
    m_serial = serial;
    return 1;
}

int CVornSocketCore::resolve(const char* host, uint32_t* addr) {
    if (!host || !*host)
        return 0;
    in_addr a{};
    if (inet_pton(AF_INET, host, &a) == 1) {
        *addr = a.s_addr;
        return 1;
    }
    CVornHostEnt ent(host);
    if (!ent.GetAddr() || inet_pton(AF_INET, ent.GetAddr(), &a) != 1)
        return 0;
    *addr = a.s_addr;
    return 1;
}

int CVornSocketCore::Connect(const char* host, unsigned short port) {
    if (m_socket == VORN_INVALID_SOCKET)
        return 0;
    uint32_t addr = 0;
    if (!resolve(host, &addr)) {
        VLOG(0, "CVornSocketCore::Connect", "GetAddr error[%d][%d][%s:%d]", m_socket,
             vornnet::LastError(), host ? host : "", port);
        return 0;
    }
    if (!alive()) {
        SetLastError(ENETDOWN);
        return 0;
    }
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    sin.sin_addr.s_addr = addr;
    if (::connect(m_socket, reinterpret_cast<sockaddr*>(&sin), sizeof sin) == 0)
        return 1;
    failure(alive());
    return 0;
}

int CVornSocketCore::Close() {
    if (m_socket == VORN_INVALID_SOCKET)
        return 0;
    int rc = vornnet::CloseSocket(m_socket, m_serial);
    if (rc < 0) {
        int err = errno;
        SetLastError(err);
        VLOG(0, "CVornSocketCore::Close", "Close error[%d]", err);
        release();
        return 0;
    }
    release();
    return 1;
}

int CVornSocketCore::Bind(const char* addr, unsigned short port) {
    if (m_socket == VORN_INVALID_SOCKET)
        return 0;
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    sin.sin_addr.s_addr = htonl(INADDR_ANY);
    if (addr) {
        uint32_t a = 0;
        if (!resolve(addr, &a))
            return 0;
        sin.sin_addr.s_addr = a;
    }
    if (!alive()) {
        SetLastError(ENETDOWN);
        return 0;
    }
    int one = 1;
    setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(m_socket, reinterpret_cast<sockaddr*>(&sin), sizeof sin) != 0) {
        failure(true);
        return 0;
    }
    return 1;
}

int CVornSocketCore::Listen(int backlog) {
    if (m_socket == VORN_INVALID_SOCKET)
        return 0;
    if (!alive() || ::listen(m_socket, backlog) != 0) {
        failure(alive());
        return 0;
    }
    return 1;
}

CVornSocketCore CVornSocketCore::Accept(uint32_t* peerAddr) {
    CVornSocketCore result;
    if (m_socket == VORN_INVALID_SOCKET)
        return result;
    for (;;) {
        if (!alive()) {
            SetLastError(ENETDOWN);
            return result;
        }
        sockaddr_in sin{};
        socklen_t len = sizeof sin;
        int fd = ::accept4(m_socket, reinterpret_cast<sockaddr*>(&sin), &len, SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EINTR || errno == ECONNABORTED)
                continue;
            failure(alive());
            return result;
        }
        uint64_t serial = 0;
        if (vornnet::AdoptSocket(fd, &serial) < 0) {
            SetLastError(ENETDOWN);
            return result;
        }
        if (peerAddr)
            *peerAddr = sin.sin_addr.s_addr;
        result.m_socket = fd;
        result.m_serial = serial;
        return result;
    }
}

int CVornSocketCore::waitEvents(short events, int timeoutMs, short* revents) {
    if (!alive()) {
        SetLastError(ENETDOWN);
        return -1;
    }
    int64_t deadline = CVornTime::NowMs() + timeoutMs;
    for (;;) {
        pollfd p{m_socket, events, 0};
        int left = static_cast<int>(deadline - CVornTime::NowMs());
        if (left < 0)
            left = 0;
        int rc = ::poll(&p, 1, left);
        if (rc < 0 && errno == EINTR)
            continue;
        if (!alive()) {
            SetLastError(ENETDOWN);
            return -1;
        }
        if (rc < 0 || (p.revents & POLLNVAL)) {
            SetLastError(rc < 0 ? errno : EBADF);
            return -1;
        }
        if (revents)
            *revents = p.revents;
        return rc > 0 ? 1 : 0;
    }
}

int CVornSocketCore::Select(int seconds, int interest) {
    if (m_socket == VORN_INVALID_SOCKET)
        return -1;
    short events = 0;
    if (interest & SELECT_READ)
        events |= POLLIN;
    if (interest & SELECT_WRITE)
        events |= POLLOUT;
    short rev = 0;
    int rc = waitEvents(events, seconds < 0 ? 0 : seconds * 1000, &rev);
    if (rc <= 0)
        return rc;
    int bits = 0;
    // As select does: a closed or failed socket counts as readable and writable.
    if ((interest & SELECT_READ) && (rev & (POLLIN | POLLHUP | POLLERR)))
        bits |= SELECT_READ;
    if ((interest & SELECT_WRITE) && (rev & (POLLOUT | POLLERR)))
        bits |= SELECT_WRITE;
    if ((interest & SELECT_ERROR) && (rev & POLLERR))
        bits |= SELECT_ERROR;
    return bits;
}

int CVornSocketCore::Send(const char* data, int len) {
    if (m_socket == VORN_INVALID_SOCKET)
        return -1;
    if (len < 0 || (!data && len > 0))
        return -1;
    int sent = 0;
    while (sent < len) {
        if (!alive()) {
            SetLastError(ENETDOWN);
            return -1;
        }
        int piece = len - sent < kSendPiece ? len - sent : kSendPiece;
        ssize_t n = ::send(m_socket, data + sent, static_cast<size_t>(piece), MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            failure(alive());
            return -1;
        }
        sent += static_cast<int>(n);
    }
    return sent;
}

int CVornSocketCore::Recv(char* buf, int size) {
    if (m_socket == VORN_INVALID_SOCKET)
        return -1;
    if (!buf || size < 0)
        return -1;
    for (;;) {
        if (!alive()) {
            SetLastError(ENETDOWN);
            VLOG(0, "CVornSocketCore::Recv", "recv error[%d]", ENETDOWN);
            return -1;
        }
        ssize_t n = ::recv(m_socket, buf, static_cast<size_t>(size), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0)
            return static_cast<int>(n);
        // A socket shut down by stopping the API reads as closed; that is a failure.
        bool ok = alive();
        if (n == 0 && ok)
            return 0;
        int err = failure(ok);
        VLOG(0, "CVornSocketCore::Recv", "recv error[%d]", err);
        return -1;
    }
}

int CVornSocketCore::SendTo(const char* host, const char* data, int len, unsigned short port) {
    if (m_socket == VORN_INVALID_SOCKET)
        return -1;
    uint32_t addr = 0;
    if (!resolve(host, &addr))
        return 0;
    if (!alive()) {
        SetLastError(ENETDOWN);
        return -1;
    }
    sockaddr_in sin{};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    sin.sin_addr.s_addr = addr;
    ssize_t n =
        ::sendto(m_socket, data, static_cast<size_t>(len < 0 ? 0 : len),
                 MSG_DONTROUTE | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&sin), sizeof sin);
    if (n < 0) {
        failure(true);
        return -1;
    }
    return static_cast<int>(n);
}

int CVornSocketCore::RecvFrom(char* buf, int size, uint32_t* addr, unsigned short* port,
                              unsigned short* family) {
    if (m_socket == VORN_INVALID_SOCKET)
        return -1;
    for (;;) {
        if (!alive()) {
            SetLastError(ENETDOWN);
            return -1;
        }
        sockaddr_in sin{};
        socklen_t slen = sizeof sin;
        ssize_t n = ::recvfrom(m_socket, buf, static_cast<size_t>(size < 0 ? 0 : size), 0,
                               reinterpret_cast<sockaddr*>(&sin), &slen);
        if (n < 0 && errno == EINTR)
            continue;
        if (!alive()) {
            SetLastError(ENETDOWN);
            return -1;
        }
        if (n < 0) {
            failure(true);
            return -1;
        }
        if (addr)
            *addr = sin.sin_addr.s_addr;
        if (port)
            *port = ntohs(sin.sin_port);
        if (family)
            *family = sin.sin_family;
        return static_cast<int>(n);
    }
}

int CVornSocketCore::GetPeerName(uint32_t* addr, unsigned short* port, unsigned short* family) {
    if (m_socket == VORN_INVALID_SOCKET)
        return 0;
    sockaddr_in sin{};
    socklen_t len = sizeof sin;
    if (::getpeername(m_socket, reinterpret_cast<sockaddr*>(&sin), &len) != 0) {
        failure(true);
        return 0;
    }
    if (addr)
        *addr = sin.sin_addr.s_addr;
    if (port)
        *port = ntohs(sin.sin_port);
    if (family)
        *family = sin.sin_family;
    return 1;
}

int CVornSocketCore::IsConnected() {
    return GetPeerName(nullptr, nullptr, nullptr);
}

int CVornSocketCore::IOCtl(unsigned long cmd, unsigned long* arg) {
    if (m_socket == VORN_INVALID_SOCKET || !arg)
        return -1;
    int rc;
    if (cmd == FIONBIO || cmd == FIONREAD) {
        int v = static_cast<int>(*arg);
        rc = ::ioctl(m_socket, cmd, &v);
        if (rc == 0 && cmd == FIONREAD)
            *arg = static_cast<unsigned long>(v);
    } else {
        rc = ::ioctl(m_socket, cmd, arg);
    }
    if (rc != 0)
        failure(true);
    return rc;
}

int CVornSocketCore::SetSockOpt(int level, int option, const void* value, int len) {
    if (m_socket == VORN_INVALID_SOCKET)
        return 0;
    if (::setsockopt(m_socket, level, option, value, static_cast<socklen_t>(len)) != 0) {
        failure(true);
        return 0;
    }
    return 1;
}

int CVornSocketCore::GetSockOpt(int level, int option, void* value, int* len) {
    if (m_socket == VORN_INVALID_SOCKET || !len)
        return 0;
    socklen_t l = static_cast<socklen_t>(*len);
    if (::getsockopt(m_socket, level, option, value, &l) != 0) {
        failure(true);
        return 0;
    }
    *len = static_cast<int>(l);
    return 1;
}

int CVornSocketCore::setBlocking(bool blocking) {
    if (m_socket == VORN_INVALID_SOCKET)
        return 0;
    unsigned long nb = blocking ? 0 : 1;
    return IOCtl(FIONBIO, &nb) == 0 ? 1 : 0;
}

void CVornSocketCore::shutdownBoth() {
    if (m_socket != VORN_INVALID_SOCKET)
        vornnet::ShutdownSocket(m_socket, m_serial);
}

uint32_t CVornSocketCore::InetAddr(const char* dotted) {
    in_addr a{};
    if (!dotted || inet_pton(AF_INET, dotted, &a) != 1)
        return 0xFFFFFFFFu;
    return a.s_addr;
}

CVornString CVornSocketCore::InetNtoa(uint32_t addr) {
    in_addr a{};
    a.s_addr = addr;
    char buf[INET_ADDRSTRLEN];
    inet_ntop(AF_INET, &a, buf, sizeof buf);
    return CVornString(buf);
}

unsigned short CVornSocketCore::Htons(unsigned short v) {
    return htons(v);
}
unsigned short CVornSocketCore::Ntohs(unsigned short v) {
    return ntohs(v);
}
uint32_t CVornSocketCore::Htonl(uint32_t v) {
    return htonl(v);
}
uint32_t CVornSocketCore::Ntohl(uint32_t v) {
    return ntohl(v);
}
