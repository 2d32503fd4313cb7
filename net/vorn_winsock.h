#pragma once

#include "vorn_socket_core.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

// Handle of a thread started by CVornWinSock; 0 on failure.
using VORN_THREAD_HANDLE = uintptr_t;

// Start-up of the socket API, and a listening socket or datagram receiver served on threads of
// its own, one handler thread per connection or datagram.
//
// Threads: priorities use the Windows scale (-15 idle .. 15 time-critical). They are applied as
// per-thread nice values where the system allows; raising a priority needs privileges a normal
// process lacks and is then silently ignored. The security attributes and creation flags
// (including suspended creation) have no counterpart here and are ignored; the stack size is
// honoured. Handlers run concurrently and share this object. A subclass's destructor must call
// StopThreads before its members go away.
class CVornWinSock : public CVornSocketCore {
public:
    CVornWinSock() = default;
    ~CVornWinSock() override;
    CVornWinSock(const CVornWinSock&) = delete;
    CVornWinSock& operator=(const CVornWinSock&) = delete;

    const char* ClassName() const override { return "CVornWinSock"; }

    // Binds the created socket (null address: any) and starts the listener or receiver thread.
    virtual VORN_THREAD_HANDLE BeginListenThread(const char* addr, unsigned short port,
                                                 int priority = 0, void* security = nullptr,
                                                 size_t stackSize = 0, unsigned flags = 0,
                                                 unsigned long* threadId = nullptr);
    virtual VORN_THREAD_HANDLE BeginReceiveThread(const char* addr, unsigned short port,
                                                  int priority = 0, void* security = nullptr,
                                                  size_t stackSize = 0, unsigned flags = 0,
                                                  unsigned long* threadId = nullptr);
    // Error number of this thread's last failed socket call.
    virtual int GetLastError();
    // One accepted connection; the socket is closed after the handler returns.
    virtual int OnAccept(CVornSocketCore& sock, uint32_t peerAddr) = 0;
    // One datagram; the address in network order, the port in host order.
    virtual int OnReceive(const char* data, int len, uint32_t addr, unsigned short port,
                          unsigned short family) = 0;

    // Stops the listener or receiver, shuts down the connection of every running handler (so
    // one blocked on a silent peer returns), waits for them, and closes the socket. A handler
    // busy elsewhere is still waited for: it may use this object.
    void StopThreads();

    // Starts the socket API; only version 2.2 is granted. 1 on success (also when already
    // started), 0 otherwise, leaving the API as it was.
    static int InitSocket(int high, int low);
    // Stops the socket API: every socket opened so far fails from now on and calls blocked in
    // them return; new sockets cannot be opened until InitSocket. 1, or 0 when not started.
    static int CleanupSocket();
    static int IsSocketStarted();

private:
    struct AcceptRecord;
    struct DatagramRecord;

    VORN_THREAD_HANDLE beginThread(void* (*entry)(void*), size_t stackSize, int priority,
                                   unsigned long* threadId);
    int listen();
    int receive();
    static void* listenThread(void* self);
    static void* receiveThread(void* self);
    static void* onAcceptThread(void* record);
    static void* onReceiveThread(void* record);
    bool startHandler(void* (*entry)(void*), void* record);
    void handlerDone();
    void forgetConnection(int fd, uint64_t serial);

    int m_priority = 0;
    std::atomic<bool> m_stopping{false};
    std::vector<uintptr_t> m_threads; // joinable listener and receiver threads
    std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_handlers = 0;
    // Descriptor and serial of each running handler's connection.
    std::vector<std::pair<int, uint64_t>> m_connections;
};
