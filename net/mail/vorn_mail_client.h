#pragma once

#include "vorn_array.h"
#include "vorn_async_socket.h"
#include "vorn_binary.h"
#include "vorn_string.h"

#include <cstdint>
#include <string>

class CVornFile;
class CVornMail;

// Common interface of the POP3 and IMAP4 clients, and the bounded line reading they share.
//
// Messages fetched into a file (GetMail) hold exactly the message: POP3 data loses its
// dot-stuffing and the terminating "." line, IMAP4 literals are written as they are; both
// give the same bytes for the same message.
//
// Limits against hostile servers: a reply line is at most kMaxLine bytes and data kept in
// memory at most kMaxMemory (IMAP4 lines up to kMaxImapLine); a receive waits at most the receive
// timeout (kDefaultRecvTimeout seconds unless set). Passwords and login answers are never logged.
class CVornMailClient : public CVornAsyncSocket {
public:
    enum AUTHTYPE { AUTHTYPE_PLAIN = 0, AUTHTYPE_CHALLENGE = 1 };
    static constexpr int kMaxLine = 64 * 1024;
    static constexpr int kMaxImapLine = 4 * 1024 * 1024;
    static constexpr int64_t kMaxMemory = 16 * 1024 * 1024;
    static constexpr int kDefaultRecvTimeout = 60;
    static constexpr int kConnectTimeout = 10;

    CVornMailClient();
    ~CVornMailClient() override = default;

    void SetHost(const char* host) { m_host = host ? host : ""; }
    void SetPort(unsigned short port) { m_port = port; }
    void SetUser(const char* user) { m_user = user ? user : ""; }
    void SetPassword(const char* password) { m_password = password ? password : ""; }
    void SetAuthType(AUTHTYPE type) { m_authType = type; }

    using CVornAsyncSocket::Connect;
    virtual int Connect() { return Connect(m_host.c_str(), m_port); }
    int Connect(const char* host, unsigned short port) override = 0;
    virtual int Login() { return Login(m_user.c_str(), m_password.c_str(), m_authType); }
    virtual int Login(const char* user, const char* password, AUTHTYPE type) = 0;
    virtual int ChangeDirectory(const char* name) = 0;
    // Counts are -1 on failure.
    virtual int GetMailCount() = 0;
    virtual int64_t GetMailSize(int number) = 0;
    virtual int64_t GetMailSize(const char* uid) = 0;
    virtual int GetUid(CVornDataArray& uids) = 0;
    // lines < 0: the whole header only.
    virtual int GetHead(CVornMail& mail, int number, int lines = -1) = 0;
    virtual int GetHead(CVornMail& mail, const char* uid, int lines = -1) = 0;
    virtual int GetMail(CVornFile& file, int number) = 0;
    virtual int GetMail(CVornFile& file, const char* uid) = 0;
    virtual int Delete(int number) = 0;
    virtual int Delete(const char* uid) = 0;
    virtual int Commit() = 0;
    // Ends the session ("QUIT" / "LOGOUT") and closes the socket; 1 when the server agreed.
    int Close() override = 0;
    virtual const CVornString& GetLastMessage() const { return m_lastMessage; }

protected:
    // Sends text + CR LF; logText (when given) is logged instead. 1 or 0.
    int sendLine(const char* location, const char* text, const char* logText = nullptr);
    // The next line with its line end, NUL bytes turned into blanks. 1, or 0 when the peer
    // closed, the receive failed or the line exceeds kMaxLine (the reason is logged).
    int readLine(const char* location, std::string& line);
    // A piece of the next line for data of any length: up to kMaxLine bytes; complete tells
    // whether it ends the line. 1 or 0 as readLine.
    int readPiece(const char* location, std::string& piece, bool& complete);
    // Exactly n bytes into out (appended) or, when file is given, into it. 1 or 0.
    int readBytes(const char* location, int64_t n, std::string* out, CVornFile* file);
    // Drops the buffered input (on a new connection).
    void resetInput() { m_in.Clear(); }
    int fill(const char* location);
    void closeSocket() { CVornAsyncSocket::Close(); }

    CVornString m_host, m_user, m_password;
    unsigned short m_port = 0;
    AUTHTYPE m_authType = AUTHTYPE_PLAIN;
    CVornString m_lastMessage;
    CVornBinary m_in;
    // Longest reply line accepted (IMAP4 lists whole mailboxes on one line).
    int m_maxLine = kMaxLine;
};
