#pragma once

#include <functional>
#include <string>

// Bringing a numbered network connection up and down. This build is always connected: every
// index counts as up and Connect/Disconnect succeed at once.
class CTavloConnectionManager {
public:
    using CancelQuery = std::function<int(void* context)>;
    virtual ~CTavloConnectionManager() = default;
    virtual int Connect(int index, CancelQuery cancel, void* context);
    virtual int Disconnect();
    virtual int IsConnected(int index);

protected:
    int m_state = 0;
};

// The handset's data-compression service and its settings database on 127.0.0.1. The
// platform parts (service functions, registry) are reached through these hooks; on this
// platform they are absent, so the control never starts. Tests install stand-ins.
struct CTavloVentPlatform {
    std::function<bool()> start;     // service functions found and sockets initialised
    std::function<bool()> installed; // registry Prefix is "VSM"
    std::function<bool()> running;   // "VSM0:" gives a valid handle
    std::function<void()> stop;      // undo start
    std::function<int()> dbPort;     // DBPORT, 8975 when missing
    static CTavloVentPlatform& Get();
};

// One request to the service's settings database: one TCP connection, the request text, one
// reply, then shut down and closed.
class CTavloVentDb {
public:
    explicit CTavloVentDb(int port) : m_port(port) {}

    // Sends text within sendMs and reads a reply of at most limit bytes within recvMs (both
    // from the start of the call); the reply ends when the peer closes or with "\n\n".
    bool Request(const std::string& text, size_t limit, std::string* reply) const;

    // The number after "status"; -1 when there is none.
    static int ParseStatus(const std::string& reply);
    // First field of the line whose second field is table; -1 when none.
    static int ParseRowId(const std::string& reply, const std::string& table);
    // First field of the line after the status line; -1 when none.
    static int ParseProfile(const std::string& reply);

    // The requests of the switch; false when the request or its status failed.
    bool GetLookupRowId(int* row) const;
    bool GetProfile(int* profile) const;
    bool SetProfile(int profile) const;
    bool MarkModified(int row) const;

    int sendMs = 4000;
    int recvMs = 8000;

private:
    int m_port;
};

// Switches the service to profile 1 for the lifetime of the object (the sending of a post)
// when enabled and the service runs with profile 0; back to 0 at the end. Never blocks the post.
class CTavloVentPause {
public:
    explicit CTavloVentPause(bool enabled);
    ~CTavloVentPause();
    CTavloVentPause(const CTavloVentPause&) = delete;
    CTavloVentPause& operator=(const CTavloVentPause&) = delete;
    bool Started() const { return m_started; }
    bool Changed() const { return m_changed; }

private:
    bool m_started = false;
    bool m_changed = false;
};
