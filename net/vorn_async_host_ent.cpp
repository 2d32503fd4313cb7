#include "vorn_async_host_ent.h"

#include "vorn_net_internal.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
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

namespace {

// The look-up threads, shared by every resolver. getaddrinfo cannot be cancelled, so a
// cancelled look-up still holds its thread until the system answers; with a fixed number of
// threads, look-ups that pile up while DNS is down wait in the queue instead of each taking a
// thread of its own, and one cancelled while it waits never runs.
class LookupPool {
public:
    using Job = std::function<void()>;
    using Canceled = std::function<bool()>;

    static LookupPool& Instance() {
        static LookupPool* pool = new LookupPool; // never destroyed: threads may outlive exit
        return *pool;
    }

    bool Submit(Job job, Canceled canceled) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_queue.push_back({std::move(job), std::move(canceled)});
        if (m_idle == 0 && m_threads < CVornAsyncHostEnt::kMaxLookupThreads) {
            try {
                std::thread([this] { work(); }).detach();
            } catch (...) {
                if (m_threads == 0) {
                    m_queue.pop_back();
                    return false;
                }
                return true; // a running thread takes it
            }
            ++m_threads;
        }
        m_cv.notify_one();
        return true;
    }

private:
    struct Entry {
        Job job;
        Canceled canceled;
    };

    void work() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            ++m_idle;
            bool got =
                m_cv.wait_for(lock, std::chrono::seconds(10), [this] { return !m_queue.empty(); });
            --m_idle;
            if (!got) {
                --m_threads;
                return;
            }
            Entry e = std::move(m_queue.front());
            m_queue.pop_front();
            lock.unlock();
            if (!e.canceled())
                e.job();
            lock.lock();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Entry> m_queue;
    int m_threads = 0;
    int m_idle = 0;
};

} // namespace

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
    auto lookup = [req, host] {
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
    };
    auto canceled = [req] {
        std::lock_guard<std::mutex> lock(req->mutex);
        return req->canceled;
    };
    if (!LookupPool::Instance().Submit(std::move(lookup), std::move(canceled)))
        return 0;
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
