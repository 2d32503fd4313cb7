// The HTTP response reader: the input is what the server sends on the connection (status
// line, headers, chunked / length / close framing, gzip and deflate bodies), fed through a
// socket pair. A response that leaves bytes behind is followed by a second request on the
// same connection, as keep-alive does.
#include "fuzz_support.h"
#include "vorn_http_client.h"
#include "vorn_net_internal.h"
#include "vorn_winsock.h"

#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr size_t kMaxInput = 150000; // fits the pair's buffer, so the writer never blocks

int Drain(CVornHttpClient& c) {
    char buf[4096];
    int r;
    int64_t total = 0;
    while ((r = c.Recv(buf, sizeof buf)) > 0)
        total += r;
    return r;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = CVornWinSock::InitSocket(2, 2) == 1;
    if (!started || size > kMaxInput)
        return 0;
    int sv[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        return 0;
    int buffer = 1 << 20;
    setsockopt(sv[1], SOL_SOCKET, SO_SNDBUF, &buffer, sizeof buffer);
    setsockopt(sv[0], SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    size_t sent = 0;
    while (sent < size) {
        ssize_t n = write(sv[1], data + sent, size - sent);
        if (n <= 0)
            break;
        sent += static_cast<size_t>(n);
    }
    shutdown(sv[1], SHUT_WR);
    uint64_t serial = 0;
    if (vornnet::AdoptSocket(sv[0], &serial) < 0) {
        close(sv[1]);
        return 0;
    }
    {
        CVornHttpClient c;
        c.SetUrl("http://news.5ch.io/news/dat/1.dat");
        c.SetKeepAlive(1);
        c.SetMaxDecodedSize(4 << 20);
        c.SetRecvTimeout(5);
        static_cast<CVornSocketCore&>(c) = sv[0];
        for (int round = 0; round < 2; ++round) {
            if (c.Get() != 1)
                break;
            c.GetResultCode();
            c.GetResponseHeader("Content-Type");
            c.GetResponseHeader("Set-Cookie", 1);
            if (Drain(c) != 0)
                break;
        }
        c.Close();
    }
    close(sv[1]);
    return 0;
}
