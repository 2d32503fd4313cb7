#pragma once

#include "vorn_object.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

// Recursive lock, as a critical section.
class CVornMutex : public CVornObject {
public:
    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    bool TryLock() { return m_mutex.try_lock(); }

private:
    std::recursive_mutex m_mutex;
};

class CVornLock {
public:
    explicit CVornLock(CVornMutex& m) : m_m(m) { m_m.Lock(); }
    ~CVornLock() { m_m.Unlock(); }
    CVornLock(const CVornLock&) = delete;
    CVornLock& operator=(const CVornLock&) = delete;

private:
    CVornMutex& m_m;
};

// Test hook: while set, every Begin fails as when the system has no thread left.
void VornSetThreadFault(bool fail);

// A worker thread. Subclasses override Run, or Begin is given a function. The destructor
// cancels and joins a thread still running.
class CVornThread : public CVornObject {
public:
    CVornThread() = default;
    ~CVornThread() override;
    CVornThread(const CVornThread&) = delete;
    CVornThread& operator=(const CVornThread&) = delete;

    // Starts the thread; 0 when it is already running or cannot start.
    int Begin();
    int Begin(std::function<int(CVornThread&)> body);
    // Waits up to timeoutMs (negative: for ever); 1 when the thread has ended, 0 on timeout.
    int Wait(int timeoutMs = -1);
    void Cancel() { m_canceled = true; }
    bool Canceled() const { return m_canceled; }
    bool IsRunning() const { return m_running; }
    int GetExitCode() const { return m_exitCode; }

protected:
    virtual int Run() { return 0; }

private:
    void join();
    std::thread m_thread;
    std::function<int(CVornThread&)> m_body;
    std::atomic<bool> m_canceled{false};
    std::atomic<bool> m_running{false};
    std::atomic<int> m_exitCode{0};
    std::mutex m_doneMutex;
    std::condition_variable m_doneCv;
    bool m_done = true;
};

// Milliseconds elapsed since construction or the last Start.
class CVornTime : public CVornObject {
public:
    CVornTime() { Start(); }
    void Start();
    int Elapsed() const;
    static int64_t NowMs(); // monotonic

private:
    int64_t m_start = 0;
};

// A calendar date and time.
class CVornDate : public CVornObject {
public:
    int year = 1970, month = 1, day = 1, hour = 0, minute = 0, second = 0, weekday = 4;

    static CVornDate Now(); // local time
    static CVornDate FromTime(int64_t t, bool utc);
    int64_t ToTime(bool utc) const; // seconds since the epoch
    // strftime under the "C" locale.
    std::string Format(const char* fmt) const;
    // HTTP dates (RFC 1123, RFC 850, asctime); -1 when the text is none of them.
    static int64_t ParseHttpDate(const char* text);
    // "%a, %d %b %Y %T GMT" of t in UTC.
    static std::string HttpDate(int64_t t);
};
