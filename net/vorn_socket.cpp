#include "vorn_socket.h"

#include "vorn_log.h"
#include "vorn_net_internal.h"
#include "vorn_tls.h"

#include <cerrno>
#include <cstring>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <sys/socket.h>
#include <sys/time.h>

CVornSocket::CVornSocket(const CVornSocket& other)
    : CVornSocketCore(other), m_useSsl(other.m_useSsl), m_pushback(other.m_pushback),
      m_pushbackFlag(other.m_pushbackFlag) {}

CVornSocket& CVornSocket::operator=(const CVornSocket& other) {
    if (this == &other)
        return *this;
    sslDisconnect();
    CVornSocketCore::operator=(other);
    m_useSsl = other.m_useSsl;
    m_pushback = other.m_pushback;
    m_pushbackFlag = other.m_pushbackFlag;
    return *this;
}

CVornSocket::~CVornSocket() {
    sslDisconnect();
}

int CVornSocket::Connect(const char* host, unsigned short port) {
    if (!CVornSocketCore::Connect(host, port))
        return 0;
    if (m_useSsl && !sslConnect(host)) {
        VLOG(0, "CVornSocket::Connect", "sslConnect error[%d]", errno);
        return 0;
    }
    return 1;
}

int CVornSocket::Close() {
    sslDisconnect();
    CVornSocketCore::Close();
    m_pushback.Clear();
    m_pushbackFlag = 0;
    return 1;
}

int CVornSocket::Send(const char* data, int len) {
    if (m_ssl)
        return sslSend(data, len);
    if (m_useSsl)
        return -1; // no session: never send in the clear what was meant to be encrypted
    return CVornSocketCore::Send(data, len);
}

int CVornSocket::Recv(char* buf, int size) {
    int n = recvBlock(buf, size, true);
    return n == RECV_STOPPED ? -1 : n;
}

int CVornSocket::recvBlock(char* buf, int size, bool keep) {
    if (!buf || size < 0)
        return -1;
    if (m_pushbackFlag && !m_pushback.IsEmpty()) {
        int n = size < m_pushback.GetSize() ? size : m_pushback.GetSize();
        memcpy(buf, m_pushback.GetData(), static_cast<size_t>(n));
        m_pushback.Consume(static_cast<size_t>(n));
        if (m_pushback.IsEmpty())
            m_pushbackFlag = 0;
        return n;
    }
    int n;
    if (m_ssl)
        n = sslRecv(buf, size);
    else if (m_useSsl)
        n = -1;
    else
        n = CVornSocketCore::Recv(buf, size);
    m_pushbackFlag = 0;
    if (keep && n > 0)
        m_pushback.Set(buf, static_cast<size_t>(n));
    else
        m_pushback.Clear();
    return n;
}

int CVornSocket::Seek(int n) {
    if (n < 0 || n > m_pushback.GetSize())
        return 0;
    m_pushback.Consume(static_cast<size_t>(m_pushback.GetSize() - n));
    m_pushbackFlag = 1;
    return 1;
}

bool CVornSocket::hasPendingData() const {
    return (m_pushbackFlag && !m_pushback.IsEmpty()) || (m_ssl && SSL_pending(m_ssl) > 0);
}

int CVornSocket::onTlsWait() {
    return alive() ? 0 : 1;
}

int CVornSocket::sslConnect(const char* host, int timeoutSec) {
    sslDisconnect();
    m_verifyError.clear();
    if (GetSocket() == VORN_INVALID_SOCKET)
        return 0;
    m_ctx = vornnet::AcquireClientContext();
    BIO* bio = nullptr;
    if (m_ctx)
        m_ssl = SSL_new(m_ctx);
    if (m_ssl)
        bio = vornnet::NewSocketBio(GetSocket());
    if (!bio) {
        VLOG(0, "CVornSocket::sslConnect", "SSL接続に失敗しました。");
        sslDisconnect();
        return 0;
    }
    SSL_set_bio(m_ssl, bio, bio);
    if (host && *host) {
        if (vornnet::IsDottedAddress(host)) {
            X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(m_ssl), host);
        } else {
            SSL_set_tlsext_host_name(m_ssl, host);
            SSL_set1_host(m_ssl, host);
        }
    }
    // Reads and writes give up every second so that waits can be reported and cancelled.
    timeval tv{1, 0};
    setsockopt(GetSocket(), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
    setsockopt(GetSocket(), SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
    int waited = 0;
    for (;;) {
        ERR_clear_error();
        errno = 0;
        int r = SSL_connect(m_ssl);
        if (r == 1)
            break;
        int e = SSL_get_error(m_ssl, r);
        bool again = (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) && alive();
        if (again && !onTlsWait() && (timeoutSec <= 0 || ++waited < timeoutSec))
            continue;
        char text[256];
        VLOG(0, "CVornSocket::sslConnect", "SSL接続に失敗しました。");
        long verify = SSL_get_verify_result(m_ssl);
        if (verify != X509_V_OK) {
            m_verifyError = X509_verify_cert_error_string(verify);
            VLOG(0, "CVornSocket::sslConnect", "verify error[%ld][%s]", verify,
                 m_verifyError.c_str());
        } else if (!again)
            VLOG(0, "CVornSocket::sslConnect", "handshake error[%d][%d][%s]", e, errno,
                 vornnet::LastTlsErrorText(text, sizeof text));
        vornnet::SetLastError(alive() ? (errno ? errno : ECONNABORTED) : ENETDOWN);
        sslDisconnect();
        return 0;
    }
    VLOG(1, "CVornSocket::sslConnect", "使用する暗号化方式は %s です。",
         SSL_get_cipher_name(m_ssl));
    VLOG(1, "CVornSocket::sslConnect", "使用するプロトコルは %s です。", SSL_get_version(m_ssl));
    return 1;
}

void CVornSocket::sslDisconnect() {
    if (m_ssl) {
        if (alive() && SSL_is_init_finished(m_ssl))
            SSL_shutdown(m_ssl);
        SSL_free(m_ssl);
        m_ssl = nullptr;
    }
    if (m_ctx) {
        SSL_CTX_free(m_ctx);
        m_ctx = nullptr;
    }
    ERR_clear_error();
}

int CVornSocket::sslRecv(char* buf, int size) {
    if (!m_ssl)
        return -1;
    if (size == 0)
        return 0;
    for (;;) {
        if (!alive()) {
            vornnet::SetLastError(ENETDOWN);
            return -1;
        }
        ERR_clear_error();
        errno = 0;
        int r = SSL_read(m_ssl, buf, size);
        if (r > 0)
            return r;
        int e = SSL_get_error(m_ssl, r);
        if (e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) {
            if (!alive())
                continue;
            if (onTlsWait())
                return RECV_STOPPED;
            continue;
        }
        if (e == SSL_ERROR_ZERO_RETURN || (e == SSL_ERROR_SYSCALL && errno == 0)) {
            if (alive())
                return 0;
            vornnet::SetLastError(ENETDOWN);
            return -1;
        }
        char text[256];
        int err = alive() ? errno : ENETDOWN;
        vornnet::SetLastError(err);
        VLOG(0, "CVornSocket::sslRecv", "SSL_read error[%d][%d][%s]", e, err,
             vornnet::LastTlsErrorText(text, sizeof text));
        return -1;
    }
}

int CVornSocket::sslSend(const char* data, int len) {
    if (!m_ssl || len < 0 || (!data && len > 0))
        return -1;
    if (len == 0)
        return 0;
    for (;;) {
        if (!alive()) {
            vornnet::SetLastError(ENETDOWN);
            return -1;
        }
        ERR_clear_error();
        errno = 0;
        int r = SSL_write(m_ssl, data, len);
        if (r > 0)
            return r;
        int e = SSL_get_error(m_ssl, r);
        if ((e == SSL_ERROR_WANT_READ || e == SSL_ERROR_WANT_WRITE) && alive() && !onTlsWait())
            continue;
        char text[256];
        int err = alive() ? errno : ENETDOWN;
        vornnet::SetLastError(err);
        VLOG(0, "CVornSocket::sslSend", "SSL_write error[%d][%d][%s]", e, err,
             vornnet::LastTlsErrorText(text, sizeof text));
        return -1;
    }
}
