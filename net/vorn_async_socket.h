#pragma once

#include "vorn_socket.h"

#include <cstdint>

// Steps reported to the socket callback.
enum MESSAGE {
    MESSAGE_CONNECT_WAIT = 0,  // before each 1-second wait for a pending connect
    MESSAGE_CONNECTED = 1,     // the connect has completed
    MESSAGE_HEADER_WAIT = 2,   // after each wait while an HTTP response header is awaited
    MESSAGE_HEADER_DONE = 3,   // header reception ended
    MESSAGE_SEND_BEGIN = 4,    // before a send
    MESSAGE_SEND_DONE = 5,     // after a send that did not fail
    MESSAGE_RECV_WAIT = 6,     // after each wait (up to 1 second) for incoming data
    MESSAGE_RECV_DONE = 7,     // after a receive; data holds the byte count (0 after a failure)
    MESSAGE_CONNECT_BEGIN = 8, // once, after the socket was created, before resolving
    MESSAGE_RESOLVE_WAIT = 9,  // after each 100-millisecond wait for the resolver
};

// Record handed to the callback; setting result to 1 cancels the operation at a wait step.
struct CVornSocketMessage {
    int result = 0;
    MESSAGE message = MESSAGE_CONNECT_WAIT;
    intptr_t data = 0;
};

// The callback runs on the thread doing the socket operation; its return value is ignored.
using VORN_SOCKET_CALLBACK = int (*)(CVornSocketMessage& message, void* user);

// A socket that connects without blocking, resolves names asynchronously, bounds both by a
// timeout in seconds and reports every wait step to a callback that can cancel.
class CVornAsyncSocket : public CVornSocket {
public:
    // Why the last receive wait returned without data.
    enum { WAIT_OK = 0, WAIT_FAILED = 1, WAIT_CANCELED = 2, WAIT_TIMEOUT = 3 };

    CVornAsyncSocket() = default;
    ~CVornAsyncSocket() override = default;

    const char* ClassName() const override { return "CVornAsyncSocket"; }
    virtual void SetCallbackProc(VORN_SOCKET_CALLBACK proc, void* user) {
        m_callback = proc;
        m_user = user;
    }
    using CVornSocket::Connect;
    // Creates the socket, resolves (at most timeout seconds), connects (at most timeout
    // seconds) and, with TLS on, runs the handshake (at most timeout seconds). 1 or 0.
    virtual int Connect(const char* host, unsigned short port, int timeout);
    int Send(const char* data, int len) override;
    // Waits in 1-second steps for data; 0 when the peer closed, the wait failed or the
    // callback cancelled (GetWaitState tells which), -1 when the receive failed.
    int Recv(char* buf, int size) override;

    // Most seconds a receive may wait without any data arriving; 0 (default) waits until the
    // callback cancels.
    // The longest wait between two callbacks of the calling thread's transfers (1 to 1000 ms,
    // default 1000); timeouts stay in seconds.
    static void SetCallbackInterval(int ms);
    static int CallbackInterval();
    void SetRecvTimeout(int seconds) { m_recvTimeout = seconds < 0 ? 0 : seconds; }
    int GetRecvTimeout() const { return m_recvTimeout; }
    int GetWaitState() const { return m_waitState; }

protected:
    // 1 when the callback cancelled, else 0 (also without a callback).
    virtual int CallbackProc(MESSAGE message, intptr_t data);
    int onTlsWait() override;
    // The receive loop of Recv: waits (reporting waitMessage after each wait, cancellable),
    // then receives once, reporting MESSAGE_RECV_DONE when reportDone. keep as recvBlock.
    int recvWait(char* buf, int size, MESSAGE waitMessage, bool reportDone, bool keep);
    // One wait step for reading, as recvWait does it: 1 data ready, 0 go on waiting, -1 stop
    // (wait state set; MESSAGE_RECV_DONE reported on failure when reportDone).
    int waitReadable(MESSAGE waitMessage, bool reportDone);
    void resetWait() {
        m_waitState = WAIT_OK;
        m_idle = 0;
    }
    void setWaitState(int state) { m_waitState = state; }
    // The step reported when a TLS read waits.
    void setTlsWaitMessage(MESSAGE message) { m_tlsWaitMessage = message; }

private:
    int connectFail();

    VORN_SOCKET_CALLBACK m_callback = nullptr;
    void* m_user = nullptr;
    int m_recvTimeout = 0;
    int m_waitState = WAIT_OK;
    long m_idle = 0; // ms waited without data
    MESSAGE m_tlsWaitMessage = MESSAGE_RECV_WAIT;
};
