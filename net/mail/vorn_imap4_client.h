#pragma once

#include "vorn_mail_client.h"

// IMAP4: LOGIN or AUTHENTICATE CRAM-MD5, SELECT, STATUS, FETCH / UID FETCH, UID SEARCH, STORE,
// EXPUNGE, LOGOUT. Tags run "0000", "0001", ... per client object.
class CVornImap4Client : public CVornMailClient {
public:
    CVornImap4Client() { m_maxLine = kMaxImapLine; }
    ~CVornImap4Client() override = default;

    const char* ClassName() const override { return "CVornImap4Client"; }
    using CVornMailClient::Connect;
    using CVornMailClient::Login;
    int Connect(const char* host, unsigned short port) override;
    int Login(const char* user, const char* password, AUTHTYPE type) override;
    // "SELECT"; the mailbox is also the one STATUS counts.
    int ChangeDirectory(const char* name) override;
    int GetMailCount() override;
    int64_t GetMailSize(int number) override;
    int64_t GetMailSize(const char* uid) override;
    int GetUid(CVornDataArray& uids) override;
    int GetHead(CVornMail& mail, int number, int lines = -1) override;
    int GetHead(CVornMail& mail, const char* uid, int lines = -1) override;
    int GetMail(CVornFile& file, int number) override;
    int GetMail(CVornFile& file, const char* uid) override;
    int Delete(int number) override;
    int Delete(const char* uid) override;
    // "EXPUNGE".
    int Commit() override;
    int Close() override;

    int GetTag() const { return m_tag; }
    // The whole last reply (literals sent to a file are left out).
    const CVornString& GetLastResponse() const { return m_response; }

protected:
    // The greeting on a connected socket. 1 when it is "* OK" or "* PREAUTH".
    int readGreeting();
    // Sends "%04d text" and reads up to the tagged reply; 1 when it says OK. The first literal
    // of the reply goes to file when given, else into literal.
    int command(const char* text, const char* logText = nullptr, CVornFile* file = nullptr,
                std::string* literal = nullptr);
    // Reads reply lines until the tagged line of tag, or (tag < 0) a continuation. 1 on OK.
    int readReply(int tag, CVornFile* file, std::string* literal);
    CVornString quote(const CVornString& s) const;

private:
    int m_tag = 0;
    CVornString m_mailbox = "INBOX";
    CVornString m_response;
};
