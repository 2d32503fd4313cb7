#pragma once
// Shared by the fuzz targets of network readers: the input becomes everything a server sends
// on one connection, written whole into a socket pair and closed for writing, so that the
// reader under test meets the end of the stream instead of a wait.

#include "vorn_net_internal.h"

#include <cstddef>
#include <cstdint>
#include <sys/socket.h>
#include <unistd.h>

namespace fuzz {

// Fits the pair's buffer, so the writer never blocks.
constexpr size_t kMaxPeerInput = 150000;

class Peer {
public:
    // client() is the adopted end for the socket under test (-1 when the pair failed);
    // the server's end stays open until the object goes, so the client's commands never
    // meet a closed peer.
    Peer(const uint8_t* data, size_t size) {
        int sv[2];
        if (size > kMaxPeerInput || socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
            return;
        int buffer = 1 << 20;
        setsockopt(sv[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
        setsockopt(sv[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
        setsockopt(sv[0], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
        size_t sent = 0;
        while (sent < size) {
            ssize_t n = write(sv[1], data + sent, size - sent);
            if (n <= 0)
                break;
            sent += static_cast<size_t>(n);
        }
        shutdown(sv[1], SHUT_WR);
        m_server = sv[1];
        uint64_t serial = 0;
        if (vornnet::AdoptSocket(sv[0], &serial) >= 0)
            m_client = sv[0];
    }
    ~Peer() {
        if (m_server >= 0)
            close(m_server);
    }
    Peer(const Peer&) = delete;
    Peer& operator=(const Peer&) = delete;
    int client() const { return m_client; }

private:
    int m_client = -1, m_server = -1;
};

} // namespace fuzz
