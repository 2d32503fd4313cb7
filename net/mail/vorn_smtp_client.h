#pragma once

#include "vorn_async_socket.h"
#include "vorn_binary.h"
#include "vorn_string.h"

#include <string_view>

class CVornFile;
class CVornSendMail;

// Sends one composed message to an SMTP server: greeting, EHLO/HELO, optional login (PLAIN,
// LOGIN or CRAM-MD5), the envelope and the MIME text with ISO-2022-JP headers and Base64
// attachments.
//
// Everything between DATA and the final "." is dot-stuffed as a stream: every line that starts
// with "." gets one more, whether the line before ended in CR LF or in LF only, including the
// very first line and lines of attached files. A bare LF is sent as CR LF. The copy file
// receives the message itself (not stuffed), exactly as the server will store it.
//
// Credentials never reach the log: the login exchange is logged with its data masked.
class CVornSmtpClient : public CVornAsyncSocket {
public:
    enum { AUTH_NONE = 0, AUTH_PLAIN = 1, AUTH_LOGIN = 2, AUTH_CRAM_MD5 = 3 };
    // Longest reply accepted; a server that sends more without ending its reply is refused.
    static constexpr int kMaxReply = 64 * 1024;
    static constexpr int kDefaultRecvTimeout = 60;
    // Message text is sent whenever this much has gathered.
    static constexpr size_t kSendBlock = 256 * 1024;

    explicit CVornSmtpClient(const char* mailer = nullptr);
    ~CVornSmtpClient() override = default;

    const char* ClassName() const override { return "CVornSmtpClient"; }
    void SetSmtpAuth(const char* user, const char* password, int type);
    using CVornAsyncSocket::Connect;
    // Connects and checks the "220" greeting. 1 or 0.
    int Connect(const char* host, unsigned short port, int timeout) override;
    // 1 when the server accepted the message; copy (open for writing, may be null) receives it.
    int SendMail(CVornSendMail& mail, CVornFile* copy = nullptr);
    // "QUIT"; 1 when the server answered 221.
    int DisConnect();
    const CVornString& GetLastResponse() const { return m_response; }

protected:
    // Sends text + CR LF and reads the whole reply; its three-digit code, 0 on failure.
    // logText, when given, is logged instead of text.
    int sendAndRecv(const char* text, const char* logText = nullptr);
    int recvReply();
    int login();
    // Message text: dot-stuffed into the send buffer, plain into the copy file.
    int putData(std::string_view data);
    int flushData();
    CVornString encodeWord(const CVornString& text) const;
    CVornString encodeAddress(const CVornString& text) const;
    int sendAttachment(const CVornString& path, const CVornString& type, bool base64,
                       const CVornString& boundary);

private:
    CVornString m_mailer;
    CVornString m_host;
    CVornString m_user;
    CVornString m_password;
    int m_authType = AUTH_NONE;
    CVornString m_response;
    CVornBinary m_out;
    CVornFile* m_copy = nullptr;
    bool m_atLineStart = true;
    bool m_lastCr = false;
    bool m_dataFailed = false;
};
