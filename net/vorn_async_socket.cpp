#include "vorn_async_socket.h"

#include "vorn_async_host_ent.h"
#include "vorn_log.h"
#include "vorn_net_internal.h"

#include <algorithm>
#include <cerrno>
#include <poll.h>
#include <string>
#include <sys/socket.h>

namespace {

// Milliseconds between two callbacks while a transfer waits, per thread: a window thread that
// keeps its window alive from the callback needs it often, a worker does not.
thread_local int t_callbackInterval = 1000;

} // namespace

void CVornAsyncSocket::SetCallbackInterval(int ms) {
    t_callbackInterval = std::clamp(ms, 1, 1000);
}

int CVornAsyncSocket::CallbackInterval() {
    return t_callbackInterval;
}

int CVornAsyncSocket::CallbackProc(MESSAGE message, intptr_t data) {
    if (!m_callback)
        return 0;
    CVornSocketMessage msg;
    msg.result = 0;
    msg.message = message;
    msg.data = data;
    m_callback(msg, m_user);
    return msg.result == 1 ? 1 : 0;
}

int CVornAsyncSocket::connectFail() {
    setBlocking(true);
    return 0;
}

int CVornAsyncSocket::Connect(const char* host, unsigned short port, int timeout) {
    const char* where = "CVornAsyncSocket::Connect";
    Close();
    if (!Create(1, 0, 2))
        return 0;
    int fd = GetSocket();
    if (CallbackProc(MESSAGE_CONNECT_BEGIN, 0))
        return 0;
    if (!host || !*host) {
        VLOG(0, where, "GetAddr error[%d][%d][%s:%d]", fd, 0, "", port);
        return 0;
    }
    if (timeout < 0)
        timeout = 0;

    std::string address = host;
    if (!vornnet::IsDottedAddress(host)) {
        CVornAsyncHostEnt resolver;
        if (!resolver.GetHostByName(host))
            return 0;
        bool answered = false;
        for (int attempt = 0; attempt < timeout * 10; ++attempt) {
            if (resolver.Wait(100) == 0) {
                answered = true;
                break;
            }
            if (!alive()) {
                resolver.Cancel();
                return 0;
            }
            if (CallbackProc(MESSAGE_RESOLVE_WAIT, 0)) {
                VLOG(2, where, "Resolv cancel[%d][%s][%d]", fd, host, attempt);
                resolver.Cancel();
                return 0;
            }
            VLOG(2, where, "Resolv[%d][%s][%d]", fd, host, attempt);
        }
        if (!answered) {
            // A blocking look-up now would ignore both the timeout and the callback.
            resolver.Cancel();
            VLOG(0, where, "TIMEOUT[%d][%d](%s:%d,%d)", fd, ETIMEDOUT, host, port, timeout);
            vornnet::SetLastError(ETIMEDOUT);
            return 0;
        }
        if (resolver.GetLastError() != 0 || !resolver.GetAddr()) {
            VLOG(0, where, "Resolv error[%d][%s][%d]", fd, host, resolver.GetLastError());
            vornnet::SetLastError(resolver.GetLastError());
            return 0;
        }
        address = resolver.GetAddr();
        VLOG(2, where, "Resolv done[%d][%s][%s]", fd, host, address.c_str());
    }

    if (!setBlocking(false)) {
        VLOG(2, where, "ioctl error[%d]", vornnet::LastError());
        return 0;
    }
    bool connected = CVornSocketCore::Connect(address.c_str(), port) == 1;
    if (!connected && vornnet::LastError() != EINPROGRESS && vornnet::LastError() != EAGAIN) {
        VLOG(0, where, "connect error[%d][%d][%d][%s:%d]", fd, vornnet::LastError(),
             vornnet::LastError(), host, port);
        return connectFail();
    }
    const int slice = CallbackInterval();
    for (long waited = 0; !connected && waited < timeout * 1000L; waited += slice) {
        if (CallbackProc(MESSAGE_CONNECT_WAIT, 0)) {
            VLOG(0, where, "CANCEL[%d][%d](%s:%d,%d)", fd, vornnet::LastError(), host, port,
                 timeout);
            break;
        }
        short rev = 0;
        int w = waitEvents(POLLIN | POLLOUT, slice, &rev);
        if (w < 0)
            return connectFail();
        if (w == 0)
            continue;
        int err = 0;
        int len = sizeof err;
        if (!GetSockOpt(SOL_SOCKET, SO_ERROR, &err, &len))
            return connectFail();
        if (err != 0) {
            vornnet::SetLastError(err);
            VLOG(0, where, "connect error[%d][%d][%d][%s:%d]", fd, err, err, host, port);
            return connectFail();
        }
        connected = true;
    }
    if (!connected) {
        VLOG(0, where, "TIMEOUT[%d][%d](%s:%d,%d)", fd, vornnet::LastError(), host, port, timeout);
        vornnet::SetLastError(ETIMEDOUT);
        return connectFail();
    }
    CallbackProc(MESSAGE_CONNECTED, 0);
    if (!setBlocking(true)) {
        VLOG(0, where, "IOCtl error[%d]", vornnet::LastError());
        return 0;
    }
    if (GetSsl()) {
        resetWait();
        m_tlsWaitMessage = MESSAGE_RECV_WAIT;
        return sslConnect(host, timeout > 0 ? timeout : 1);
    }
    return 1;
}

int CVornAsyncSocket::Send(const char* data, int len) {
    CallbackProc(MESSAGE_SEND_BEGIN, 0);
    resetWait();
    m_tlsWaitMessage = MESSAGE_RECV_WAIT;
    int n = CVornSocket::Send(data, len);
    if (n != -1)
        CallbackProc(MESSAGE_SEND_DONE, 0);
    return n;
}

int CVornAsyncSocket::Recv(char* buf, int size) {
    return recvWait(buf, size, MESSAGE_RECV_WAIT, true, true);
}

int CVornAsyncSocket::waitReadable(MESSAGE waitMessage, bool reportDone) {
    const int slice = CallbackInterval();
    int w = hasPendingData() ? 1 : waitEvents(POLLIN, slice);
    if (w < 0) {
        m_waitState = WAIT_FAILED;
        if (reportDone)
            CallbackProc(MESSAGE_RECV_DONE, 0);
        return -1;
    }
    if (CallbackProc(waitMessage, 0)) {
        m_waitState = WAIT_CANCELED;
        return -1;
    }
    if (w == 0) {
        m_idle += slice;
        if (m_recvTimeout > 0 && m_idle >= m_recvTimeout * 1000L) {
            m_waitState = WAIT_TIMEOUT;
            VLOG(0, "CVornAsyncSocket::Recv", "TIMEOUT[%d](%d)", GetSocket(), m_recvTimeout);
            if (reportDone)
                CallbackProc(MESSAGE_RECV_DONE, 0);
            return -1;
        }
        return 0;
    }
    m_idle = 0;
    return 1;
}

int CVornAsyncSocket::recvWait(char* buf, int size, MESSAGE waitMessage, bool reportDone,
                               bool keep) {
    resetWait();
    m_tlsWaitMessage = waitMessage;
    for (;;) {
        int w = waitReadable(waitMessage, reportDone);
        if (w < 0)
            return 0;
        if (w == 0)
            continue;
        int n = recvBlock(buf, size, keep);
        if (n == RECV_STOPPED) {
            if (reportDone && m_waitState != WAIT_CANCELED)
                CallbackProc(MESSAGE_RECV_DONE, 0);
            return 0;
        }
        if (n < 0 && !alive())
            m_waitState = WAIT_FAILED;
        if (reportDone)
            CallbackProc(MESSAGE_RECV_DONE, n > 0 ? n : 0);
        return n;
    }
}

int CVornAsyncSocket::onTlsWait() {
    if (!alive()) {
        m_waitState = WAIT_FAILED;
        return 1;
    }
    if (CallbackProc(m_tlsWaitMessage, 0)) {
        m_waitState = WAIT_CANCELED;
        return 1;
    }
    // A TLS wait lasts a second.
    m_idle += 1000;
    if (m_recvTimeout > 0 && m_idle >= m_recvTimeout * 1000L) {
        m_waitState = WAIT_TIMEOUT;
        return 1;
    }
    return 0;
}
