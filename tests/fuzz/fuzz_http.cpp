// The HTTP response reader: the input is what the server sends on the connection (status
// line, headers, chunked / length / close framing, gzip and deflate bodies), fed through a
// socket pair. A response that leaves bytes behind is followed by a second request on the
// same connection, as keep-alive does.
#include "fuzz_peer.h"
#include "vorn_http_client.h"
#include "vorn_winsock.h"

namespace {
int Drain(CVornHttpClient& c) {
    char buf[4096];
    int r;
    while ((r = c.Recv(buf, sizeof buf)) > 0) {
    }
    return r;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static bool started = CVornWinSock::InitSocket(2, 2) == 1;
    if (!started)
        return 0;
    fuzz::Peer peer(data, size);
    if (peer.client() < 0)
        return 0;
    {
        CVornHttpClient c;
        c.SetUrl("http://news.5ch.io/news/dat/1.dat");
        c.SetKeepAlive(1);
        c.SetMaxDecodedSize(4 << 20);
        c.SetRecvTimeout(5);
        static_cast<CVornSocketCore&>(c) = peer.client();
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
    return 0;
}
