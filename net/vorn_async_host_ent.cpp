#include "vorn_async_host_ent.h"

#include "vorn_net_internal.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

struct CVornAsyncHostEnt::Request {
    std::mutex mutex;
    std::condition_variable cv;
    bool done = false;
    bool canceled = false;
    bool collected = false;
    int error = 0;
    std::string addr;
    std::string name;
};

CVornAsyncHostEnt::CVornAsyncHostEnt() = default;

CVornAsyncHostEnt::~CVornAsyncHostEnt() {
    Cancel();
}

int CVornAsyncHostEnt::GetHostByName(const char* name) {
    if (!name || !*name)
        return 0;
    if (m_request) {
        std::lock_guard<std::mutex> lock(m_request->mutex);
        if (!m_request->done)
            return 0;
    }
    m_error = 0;
    m_addr.Empty();
    m_name.Empty();
    auto req = std::make_shared<Request>();
    std::string host = name;
    try {
        std::thread([req, host] {
            std::string addr, canon;
            int rc = vornnet::ResolveName(host.c_str(), &addr, &canon);
            std::lock_guard<std::mutex> lock(req->mutex);
            if (req->canceled)
                return;
            req->error = rc;
            req->addr = addr;
            req->name = canon;
            req->done = true;
            req->cv.notify_all();
        }).detach();
    } catch (...) {
        return 0;
    }
    m_request = std::move(req);
    return 1;
}

int CVornAsyncHostEnt::Cancel() {
    if (!m_request)
        return -1;
    std::lock_guard<std::mutex> lock(m_request->mutex);
    if (m_request->done)
        return -1;
    m_request->canceled = true;
    m_request->done = true;
    m_request->error = ECANCELED;
    m_request->cv.notify_all();
    return 0;
}

int CVornAsyncHostEnt::Wait(int ms) {
    if (!m_request)
        return 1;
    {
        std::unique_lock<std::mutex> lock(m_request->mutex);
        if (!m_request->cv.wait_for(lock, std::chrono::milliseconds(ms < 0 ? 0 : ms),
                                    [this] { return m_request->done; }))
            return 1;
    }
    collect();
    return 0;
}

void CVornAsyncHostEnt::collect() {
    std::lock_guard<std::mutex> lock(m_request->mutex);
    if (m_request->collected)
        return;
    m_request->collected = true;
    m_error = m_request->error;
    if (m_error == 0) {
        m_addr = m_request->addr;
        m_name = m_request->name;
    }
}

const hostent* CVornAsyncHostEnt::GetHostEnt() const {
    if (m_addr.IsEmpty())
        return nullptr;
    if (inet_pton(AF_INET, m_addr.c_str(), &m_inaddr) != 1)
        return nullptr;
    m_addrList[0] = reinterpret_cast<char*>(&m_inaddr);
    m_hostent.h_name = const_cast<char*>(m_name.c_str());
    m_hostent.h_aliases = m_aliases;
    m_hostent.h_addrtype = AF_INET;
    m_hostent.h_length = sizeof(in_addr);
    m_hostent.h_addr_list = m_addrList;
    return &m_hostent;
}
