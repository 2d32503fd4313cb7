#pragma once

#include "vorn_binary.h"
#include "vorn_socket_core.h"

#include <string>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

// A socket with optional TLS under its reads and writes, and a copy of the last received block
// that a reader can push back (Seek).
//
// TLS verifies the server's certificate chain against the system store plus "ca-bundle.crt" in
// the current directory (when present) and checks that it names the host connected to; the
// host name is sent as SNI.
class CVornSocket : public CVornSocketCore {
public:
    CVornSocket() = default;
    // Copies share the handle, the TLS flag and the pushback, not the TLS session.
    CVornSocket(const CVornSocket& other);
    CVornSocket& operator=(const CVornSocket& other);
    ~CVornSocket() override;

    const char* ClassName() const override { return "CVornSocket"; }
    // Plain connect, then the TLS handshake when TLS is on.
    int Connect(const char* host, unsigned short port) override;
    // Ends the TLS session, closes the socket and empties the pushback; returns 1.
    int Close() override;
    int Send(const char* data, int len) override;
    // Serves pushed-back bytes first; otherwise one receive, whose block is kept for Seek.
    int Recv(char* buf, int size) override;

    virtual void SetSsl(int flag) { m_useSsl = flag == 1 ? 1 : 0; }
    virtual int GetSsl() const { return m_useSsl; }
    // Why the last handshake refused the peer's certificate ("certificate has expired",
    // "unable to get local issuer certificate"); empty when it did not.
    const std::string& GetTlsVerifyError() const { return m_verifyError; }

protected:
    // Internal result of a receive stopped by onTlsWait.
    enum { RECV_STOPPED = -2 };

    // Keeps the last n bytes of the last received block for the next Recv; 0 when n exceeds it.
    int Seek(int n);
    // Handshake over the connected socket for host (SNI and name check). timeoutSec > 0 bounds
    // it in seconds; 0 waits as long as onTlsWait allows.
    int sslConnect(const char* host, int timeoutSec = 0);
    void sslDisconnect();
    // Count, 0 when the peer closed, -1 on failure, RECV_STOPPED when onTlsWait stopped it.
    int sslRecv(char* buf, int size);
    // The length, -1 on failure.
    int sslSend(const char* data, int len);
    // Called after each second that a TLS read, write or handshake waited; non-zero stops it.
    virtual int onTlsWait();
    // True when a receive can return bytes without waiting on the socket.
    bool hasPendingData() const;
    // Pushed-back bytes first, else one receive (TLS or plain); with keep the block becomes
    // the new pushback buffer. Returns as sslRecv.
    int recvBlock(char* buf, int size, bool keep);

private:
    SSL* m_ssl = nullptr;
    SSL_CTX* m_ctx = nullptr;
    int m_useSsl = 0;
    CVornBinary m_pushback;
    int m_pushbackFlag = 0;
    std::string m_verifyError;
};
