#include "vorn_winsock.h"

#include "vorn_log.h"
#include "vorn_net_internal.h"

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <pthread.h>

struct CVornWinSock::AcceptRecord {
    CVornWinSock* owner;
    CVornSocketCore sock;
    uint32_t addr;
};

struct CVornWinSock::DatagramRecord {
    CVornWinSock* owner;
    std::unique_ptr<char[]> data;
    int len;
    uint32_t addr;
    unsigned short port;
    unsigned short family;
};

namespace {

void stopAtExit() {
    vornnet::ApiStop();
}

} // namespace

int CVornWinSock::InitSocket(int high, int low) {
    if (high != 2 || low != 2)
        return 0;
    static std::once_flag s_atexit;
    vornnet::ApiStart();
    std::call_once(s_atexit, [] { atexit(stopAtExit); });
    return 1;
}

int CVornWinSock::CleanupSocket() {
    return vornnet::ApiStop() ? 1 : 0;
}

int CVornWinSock::IsSocketStarted() {
    return vornnet::ApiRunning() ? 1 : 0;
}

CVornWinSock::~CVornWinSock() {
    StopThreads();
}

int CVornWinSock::GetLastError() {
    return vornnet::LastError();
}

VORN_THREAD_HANDLE CVornWinSock::beginThread(void* (*entry)(void*), size_t stackSize, int priority,
                                             unsigned long* threadId) {
    pthread_attr_t attr;
    if (pthread_attr_init(&attr) != 0)
        return 0;
    if (stackSize) {
        const size_t minimum = static_cast<size_t>(PTHREAD_STACK_MIN);
        if (stackSize < minimum)
            stackSize = minimum;
        pthread_attr_setstacksize(&attr, stackSize);
    }
    m_priority = priority;
    m_stopping = false;
    pthread_t t;
    int rc = pthread_create(&t, &attr, entry, this);
    pthread_attr_destroy(&attr);
    if (rc != 0)
        return 0;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_threads.push_back(static_cast<uintptr_t>(t));
    }
    if (threadId)
        *threadId = static_cast<unsigned long>(t);
    return static_cast<VORN_THREAD_HANDLE>(t);
}

VORN_THREAD_HANDLE CVornWinSock::BeginListenThread(const char* addr, unsigned short port,
                                                   int priority, void* security, size_t stackSize,
                                                   unsigned flags, unsigned long* threadId) {
    // Listening before the thread starts lets connections made right after the return in.
    if (!Bind(addr, port) || !Listen(5))
        return 0;
    return beginThread(listenThread, stackSize, priority, threadId);
}

VORN_THREAD_HANDLE CVornWinSock::BeginReceiveThread(const char* addr, unsigned short port,
                                                    int priority, void* security, size_t stackSize,
                                                    unsigned flags, unsigned long* threadId) {
    if (!Bind(addr, port))
        return 0;
    return beginThread(receiveThread, stackSize, priority, threadId);
}

void* CVornWinSock::listenThread(void* self) {
    auto* owner = static_cast<CVornWinSock*>(self);
    vornnet::ApplyThreadPriority(owner->m_priority);
    owner->listen();
    return nullptr;
}

void* CVornWinSock::receiveThread(void* self) {
    auto* owner = static_cast<CVornWinSock*>(self);
    vornnet::ApplyThreadPriority(owner->m_priority);
    owner->receive();
    return nullptr;
}

bool CVornWinSock::startHandler(void* (*entry)(void*), void* record) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_handlers;
    }
    pthread_t t;
    if (pthread_create(&t, nullptr, entry, record) != 0) {
        handlerDone();
        return false;
    }
    pthread_detach(t);
    return true;
}

void CVornWinSock::handlerDone() {
    std::lock_guard<std::mutex> lock(m_mutex);
    --m_handlers;
    m_cv.notify_all();
}

int CVornWinSock::listen() {
    if (!Listen(5))
        return 0;
    while (!m_stopping) {
        uint32_t addr = 0;
        CVornSocketCore sock = Accept(&addr);
        if (sock == VORN_INVALID_SOCKET || m_stopping)
            break;
        auto* rec = new AcceptRecord{this, std::move(sock), addr};
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_connections.emplace_back(rec->sock.m_socket, rec->sock.m_serial);
        }
        if (!startHandler(onAcceptThread, rec)) {
            forgetConnection(rec->sock.m_socket, rec->sock.m_serial);
            delete rec; // closes the accepted socket
            break;
        }
    }
    return 0;
}

void* CVornWinSock::onAcceptThread(void* record) {
    std::unique_ptr<AcceptRecord> rec(static_cast<AcceptRecord*>(record));
    CVornWinSock* owner = rec->owner;
    vornnet::ApplyThreadPriority(owner->m_priority);
    owner->OnAccept(rec->sock, rec->addr);
    const int fd = rec->sock.m_socket;
    const uint64_t serial = rec->sock.m_serial;
    rec->sock.Close();
    rec.reset();
    owner->forgetConnection(fd, serial);
    owner->handlerDone();
    return nullptr;
}

int CVornWinSock::receive() {
    constexpr int kBuffer = 8193;
    std::unique_ptr<char[]> buf(new char[kBuffer]);
    while (!m_stopping) {
        uint32_t addr = 0;
        unsigned short port = 0, family = 0;
        int n = RecvFrom(buf.get(), kBuffer, &addr, &port, &family);
        if (n < 0 || m_stopping)
            break;
        auto* rec = new DatagramRecord{
            this, std::unique_ptr<char[]>(new char[n > 0 ? n : 1]), n, addr, port, family};
        memcpy(rec->data.get(), buf.get(), static_cast<size_t>(n));
        if (!startHandler(onReceiveThread, rec)) {
            delete rec;
            break;
        }
    }
    return 0;
}

void* CVornWinSock::onReceiveThread(void* record) {
    std::unique_ptr<DatagramRecord> rec(static_cast<DatagramRecord*>(record));
    CVornWinSock* owner = rec->owner;
    vornnet::ApplyThreadPriority(owner->m_priority);
    owner->OnReceive(rec->data.get(), rec->len, rec->addr, rec->port, rec->family);
    rec.reset();
    owner->handlerDone();
    return nullptr;
}

void CVornWinSock::StopThreads() {
    m_stopping = true;
    shutdownBoth();
    std::vector<uintptr_t> threads;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        threads.swap(m_threads);
    }
    for (uintptr_t t : threads) {
        if (pthread_equal(static_cast<pthread_t>(t), pthread_self()))
            pthread_detach(static_cast<pthread_t>(t));
        else
            pthread_join(static_cast<pthread_t>(t), nullptr);
    }
    // No connection is added any more. Shut down (serial-checked, so a descriptor number
    // reused meanwhile is left alone) wakes a handler blocked in a read or write; the wait
    // after it is for handlers busy elsewhere, and they may use this object, so it stays.
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (int round = 0;; ++round) {
            for (const auto& [fd, serial] : m_connections)
                vornnet::ShutdownSocket(fd, serial);
            if (m_cv.wait_for(lock, std::chrono::seconds(5), [this] { return m_handlers == 0; }))
                break;
            VLOG(1, "CVornWinSock::StopThreads", "%d handler(s) still running (%d)", m_handlers,
                 round);
        }
    }
    Close();
}

void CVornWinSock::forgetConnection(int fd, uint64_t serial) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (auto it = m_connections.begin(); it != m_connections.end(); ++it)
        if (it->first == fd && it->second == serial) {
            m_connections.erase(it);
            break;
        }
}
