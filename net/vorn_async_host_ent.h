#pragma once

#include "vorn_object.h"
#include "vorn_string.h"

#include <memory>
#include <netdb.h>

// Asynchronous IPv4 name look-up on a helper thread. The answer is collected by Wait, in steps
// as short as the caller likes; Cancel abandons the look-up at once (the helper thread finishes
// on its own and its answer is dropped). Every resolver shares at most kMaxLookupThreads
// helper threads; further look-ups wait for one, and a cancelled one that waits never runs.
class CVornAsyncHostEnt : public CVornObject {
public:
    static constexpr int kMaxLookupThreads = 4;

    CVornAsyncHostEnt();
    ~CVornAsyncHostEnt() override;
    CVornAsyncHostEnt(const CVornAsyncHostEnt&) = delete;
    CVornAsyncHostEnt& operator=(const CVornAsyncHostEnt&) = delete;

    virtual const char* ClassName() const { return "CVornAsyncHostEnt"; }
    // Official name and first address ("%u.%u.%u.%u"); null when empty.
    virtual const char* GetName() const { return m_name.IsEmpty() ? nullptr : m_name.c_str(); }
    virtual const char* GetAddr() const { return m_addr.IsEmpty() ? nullptr : m_addr.c_str(); }

    // Starts the look-up; 0 when it cannot be started (or one is already running).
    int GetHostByName(const char* name);
    // Cancels a running look-up; 0 on success (the answer then counts as arrived), -1 when no
    // look-up is running.
    int Cancel();
    // Waits up to ms for the answer: 0 when it arrived (or the look-up was cancelled), 1 on
    // timeout or when no look-up was started.
    int Wait(int ms);
    // The answer as a host entry (name, one IPv4 address), or null before a good answer.
    const hostent* GetHostEnt() const;
    // Resolver error of the answer; 0 for success.
    int GetLastError() const { return m_error; }

private:
    struct Request;
    void collect();

    std::shared_ptr<Request> m_request;
    int m_error = 0;
    CVornString m_addr;
    CVornString m_name;
    // Storage of the host entry handed out by GetHostEnt.
    mutable hostent m_hostent{};
    mutable in_addr m_inaddr{};
    mutable char* m_addrList[2] = {nullptr, nullptr};
    mutable char* m_aliases[1] = {nullptr};
};
