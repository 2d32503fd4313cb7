#pragma once

#include "vorn_object.h"
#include "vorn_string.h"

#include <cstdint>

// Socket handle; -1 means there is no socket.
using VORN_SOCKET = int;
constexpr VORN_SOCKET VORN_INVALID_SOCKET = -1;

// Thin wrapper around one IPv4 socket.
//
// Sockets can only be opened while the socket API is started (CVornWinSock::InitSocket). Stopping
// the API (CVornWinSock::CleanupSocket) makes every call on every socket opened before fail, and
// wakes calls blocked in them.
//
// Copying a core copies the handle only: both refer to the same socket and whichever closes
// first closes it; the other's close is then a no-op, even if the number was reused meanwhile.
class CVornSocketCore : public CVornObject {
public:
    // Interest and result bits of Select.
    enum { SELECT_READ = 1, SELECT_WRITE = 2, SELECT_ERROR = 4 };
    // Most bytes one send call is given.
    static constexpr int kSendPiece = 4 * 1024 * 1024;

    CVornSocketCore() = default;
    CVornSocketCore(const CVornSocketCore& other);
    CVornSocketCore(CVornSocketCore&& other) noexcept;
    CVornSocketCore& operator=(const CVornSocketCore& other);
    CVornSocketCore& operator=(CVornSocketCore&& other) noexcept;
    // Refers to an open handle (not owned more than by any other copy).
    CVornSocketCore& operator=(VORN_SOCKET handle);
    ~CVornSocketCore() override;

    virtual const char* ClassName() const { return "CVornSocketCore"; }
    // type 1 stream, 2 datagram; family 2 IPv4. 1 or 0.
    virtual int Create(int type = 1, int protocol = 0, int family = 2);
    // Host is a dotted address or a name. 1 when connected; 0 otherwise (also while a
    // non-blocking connect is pending: GetLastError() then gives EINPROGRESS).
    virtual int Connect(const char* host, unsigned short port);
    virtual int Close();
    // Null address binds to any local address.
    virtual int Bind(const char* addr, unsigned short port);
    virtual int Listen(int backlog);
    // Waits for a connection; the result holds the accepted handle, or none on failure.
    virtual CVornSocketCore Accept(uint32_t* peerAddr = nullptr);
    // Waits at most the given seconds; -1 on failure, else the bits that hold (0 on timeout).
    virtual int Select(int seconds, int interest);
    // Sends everything; the length, or -1.
    virtual int Send(const char* data, int len);
    // One receive: the count, 0 when the peer closed, -1 on failure.
    virtual int Recv(char* buf, int size);
    // One datagram, routing forbidden. The system result; 0 when the host does not resolve.
    virtual int SendTo(const char* host, const char* data, int len, unsigned short port);
    // One datagram; the port in host order. -1 on failure.
    virtual int RecvFrom(char* buf, int size, uint32_t* addr, unsigned short* port,
                         unsigned short* family);
    // Any output may be null. 1 or 0.
    virtual int GetPeerName(uint32_t* addr, unsigned short* port, unsigned short* family);
    virtual int IsConnected();
    virtual bool operator==(VORN_SOCKET handle) const { return m_socket == handle; }
    // FIONBIO and FIONREAD; the system result (0 on success).
    virtual int IOCtl(unsigned long cmd, unsigned long* arg);
    virtual int SetSockOpt(int level, int option, const void* value, int len);
    virtual int GetSockOpt(int level, int option, void* value, int* len);

    static uint32_t InetAddr(const char* dotted); // network order; 0xFFFFFFFF when invalid
    static CVornString InetNtoa(uint32_t addr);   // network order in
    static unsigned short Htons(unsigned short v);
    static unsigned short Ntohs(unsigned short v);
    static uint32_t Htonl(uint32_t v);
    static uint32_t Ntohl(uint32_t v);

protected:
    VORN_SOCKET GetSocket() const { return m_socket; }
    // False when there is no socket or the socket API was stopped since it was opened.
    bool alive() const;
    // Waits up to timeoutMs for poll events; 1 ready, 0 timeout, -1 failure or dead socket.
    int waitEvents(short events, int timeoutMs, short* revents = nullptr);
    int setBlocking(bool blocking);
    // Shuts both directions down, waking calls blocked on the socket; the handle stays open.
    void shutdownBoth();
    // Resolves host (dotted or name) into addr; logs nothing. 1 or 0.
    static int resolve(const char* host, uint32_t* addr);

private:
    // Reads an accepted socket's descriptor and serial to shut it down when it stops.
    friend class CVornWinSock;
    void release();

    void dropHeld(VORN_SOCKET handle, uint64_t serial);
    VORN_SOCKET m_socket = VORN_INVALID_SOCKET;
    uint64_t m_serial = 0;
};
