#pragma once

#include "vorn_mail_client.h"

// POP3: USER/PASS or APOP, STAT, LIST, UIDL, TOP, RETR into a file, DELE, RSET, QUIT.
class CVornPop3Client : public CVornMailClient {
public:
    CVornPop3Client() = default;
    ~CVornPop3Client() override = default;

    const char* ClassName() const override { return "CVornPop3Client"; }
    using CVornMailClient::Connect;
    using CVornMailClient::Login;
    // Connects (10 seconds at most) and reads the greeting, keeping its APOP time stamp.
    int Connect(const char* host, unsigned short port) override;
    // Type 1 (APOP) needs a time stamp in the greeting; without one the login fails.
    int Login(const char* user, const char* password, AUTHTYPE type) override;
    // POP3 has only the one mailbox.
    int ChangeDirectory(const char*) override { return 1; }
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
    // Deletions take effect at QUIT; nothing to do before.
    int Commit() override { return 1; }
    // "RSET": undoes the deletions of this session.
    int Reset();
    int Close() override;

    const CVornString& GetTimeStamp() const { return m_timeStamp; }
    int64_t GetTotalSize() const { return m_totalSize; }
    const CVornString& GetLastResponse() const { return m_response; }

protected:
    // The greeting on a connected socket, with its APOP time stamp. 1 when it is "+OK".
    int readGreeting();
    // Sends a command and reads its reply: the status line into m_response and, for a
    // multi-line reply, the data (dot-stuffing removed, terminator dropped) into out or file.
    // 1 when the status is "+OK".
    int command(const char* text, bool multiLine, std::string* out = nullptr,
                CVornFile* file = nullptr, const char* logText = nullptr);
    int readData(std::string* out, CVornFile* file);
    // Message number of a unique id (its position + 1 in the UIDL list), 0 when unknown.
    int numberOf(const char* uid);

private:
    CVornString m_timeStamp;
    int m_count = -1;
    int64_t m_totalSize = -1;
    CVornString m_response;
    CVornDataArray m_uids;
    bool m_haveUids = false;
};
