#include "tavlo_vent.h"

#include "vorn_log.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <sstream>
#include <vector>

int CTavloConnectionManager::Connect(int, CancelQuery, void*) {
    return 1;
}

int CTavloConnectionManager::Disconnect() {
    return 1;
}

int CTavloConnectionManager::IsConnected(int) {
    return 1;
}

CTavloVentPlatform& CTavloVentPlatform::Get() {
    // No handset core library here: the service functions are never found.
    static CTavloVentPlatform p{
        [] { return false; }, [] { return false; }, [] { return false; }, [] {},
        [] { return 8975; },
    };
    return p;
}

namespace {

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point end) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool waitFor(int fd, short events, Clock::time_point end) {
    for (;;) {
        int ms = remainingMs(end);
        if (ms <= 0)
            return false;
        pollfd p{fd, events, 0};
        int r = ::poll(&p, 1, ms);
        if (r > 0)
            return true;
        if (r == 0 || errno != EINTR)
            return false;
    }
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> fields(const std::string& line) {
    std::vector<std::string> out;
    size_t i = 0;
    for (;;) {
        size_t j = line.find('\t', i);
        out.push_back(line.substr(i, j == std::string::npos ? std::string::npos : j - i));
        if (j == std::string::npos)
            return out;
        i = j + 1;
    }
}

bool number(const std::string& text, int* value) {
    if (text.empty())
        return false;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 10);
    if (end == text.c_str() || *end != '\0')
        return false;
    *value = static_cast<int>(v);
    return true;
}

} // namespace

bool CTavloVentDb::Request(const std::string& text, size_t limit, std::string* reply) const {
    const char* where = "CTavloVentDb::Request";
    reply->clear();
    const auto start = Clock::now();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    struct Closer {
        int fd;
        ~Closer() {
            ::shutdown(fd, SHUT_RDWR);
            ::close(fd);
        }
    } closer{fd};
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(m_port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const auto sendEnd = start + std::chrono::milliseconds(sendMs);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
        if (errno != EINPROGRESS || !waitFor(fd, POLLOUT, sendEnd)) {
            VLOG(0, where, "connect failed[%d]", m_port);
            return false;
        }
        int err = 0;
        socklen_t len = sizeof err;
        ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len);
        if (err != 0) {
            VLOG(0, where, "connect failed[%d][%d]", m_port, err);
            return false;
        }
    }
    size_t sent = 0;
    while (sent < text.size()) {
        if (!waitFor(fd, POLLOUT, sendEnd)) {
            VLOG(0, where, "send timeout");
            return false;
        }
        ssize_t n = ::send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n <= 0)
            return false;
        sent += static_cast<size_t>(n);
    }
    const auto recvEnd = start + std::chrono::milliseconds(recvMs);
    char buf[1024];
    while (reply->size() < limit) {
        if (!waitFor(fd, POLLIN, recvEnd)) {
            VLOG(0, where, "recv timeout");
            return false;
        }
        size_t want = std::min(sizeof buf, limit - reply->size());
        ssize_t n = ::recv(fd, buf, want, 0);
        if (n < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        reply->append(buf, static_cast<size_t>(n));
        if (reply->size() >= 2 && reply->compare(reply->size() - 2, 2, "\n\n") == 0)
            return true;
    }
    // The most this request may bring: what came is the reply.
    return true;
}

int CTavloVentDb::ParseStatus(const std::string& reply) {
    size_t at = reply.find("status");
    if (at == std::string::npos)
        return -1;
    size_t i = at + 6;
    while (i < reply.size() && (reply[i] == ' ' || reply[i] == '\t'))
        ++i;
    size_t j = i;
    while (j < reply.size() && reply[j] != ' ' && reply[j] != '\t' && reply[j] != '\n' &&
           reply[j] != '\r')
        ++j;
    int v = -1;
    return number(reply.substr(i, j - i), &v) ? v : -1;
}

int CTavloVentDb::ParseRowId(const std::string& reply, const std::string& table) {
    for (const std::string& line : splitLines(reply)) {
        std::vector<std::string> f = fields(line);
        int v = -1;
        if (f.size() >= 2 && f[1] == table && number(f[0], &v))
            return v;
    }
    return -1;
}

int CTavloVentDb::ParseProfile(const std::string& reply) {
    std::vector<std::string> lines = splitLines(reply);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        if (lines[i].find("status") == std::string::npos)
            continue;
        int v = -1;
        return number(fields(lines[i + 1])[0], &v) ? v : -1;
    }
    return -1;
}

bool CTavloVentDb::GetLookupRowId(int* row) const {
    std::string reply;
    if (!Request("GET rowid,tablename\nFROM MetaTable\n", 8191, &reply) || ParseStatus(reply) != 0)
        return false;
    *row = ParseRowId(reply, "VSLookupParams");
    return *row >= 0;
}

bool CTavloVentDb::GetProfile(int* profile) const {
    std::string reply;
    if (!Request("GET vpn_prof,nr_profiles\nFROM VSLookupParams\n", 127, &reply) ||
        ParseStatus(reply) != 0)
        return false;
    *profile = ParseProfile(reply);
    return *profile >= 0;
}

bool CTavloVentDb::SetProfile(int profile) const {
    char text[96];
    std::snprintf(text, sizeof text, "SET vpn_prof=%d\nWHERE rowid=%d\nFROM VSLookupParams\n",
                  profile, 0);
    std::string reply;
    return Request(text, 127, &reply) && ParseStatus(reply) == 0;
}

bool CTavloVentDb::MarkModified(int row) const {
    char text[96];
    std::snprintf(text, sizeof text, "SET modified=%d\nWHERE rowid=%d\nFROM MetaTable\n", 1, row);
    std::string reply;
    return Request(text, 127, &reply) && ParseStatus(reply) == 0;
}

namespace {
bool switchProfile(const CTavloVentDb& db, int profile) {
    int row = -1;
    return db.GetLookupRowId(&row) && db.SetProfile(profile) && db.MarkModified(row);
}
} // namespace

CTavloVentPause::CTavloVentPause(bool enabled) {
    if (!enabled)
        return;
    CTavloVentPlatform& p = CTavloVentPlatform::Get();
    if (!p.start || !p.start())
        return;
    m_started = true;
    if (!p.installed || !p.installed())
        return;
    if (!p.running || !p.running())
        return;
    CTavloVentDb db(p.dbPort ? p.dbPort() : 8975);
    int profile = -1;
    if (!db.GetProfile(&profile) || profile != 0)
        return;
    if (switchProfile(db, 1)) {
        m_changed = true;
        return;
    }
    // The post goes on with the profile as it was.
    if (p.stop)
        p.stop();
    m_started = false;
}

CTavloVentPause::~CTavloVentPause() {
    CTavloVentPlatform& p = CTavloVentPlatform::Get();
    if (m_changed) {
        CTavloVentDb db(p.dbPort ? p.dbPort() : 8975);
        if (!switchProfile(db, 0))
            VLOG(0, "CTavloVentPause", "profile not restored");
    }
    if (m_started && p.stop)
        p.stop();
}
