// Against real servers: exim delivers what the SMTP client sends into the Maildir that dovecot
// serves to the POP3 and IMAP4 clients.

#include "mail_support.h"
#include "net_support.h"

#include "vorn_file.h"

namespace {

class RealMail : public MailTest {
protected:
    static void SetUpTestSuite() { s_servers = new MailServers(); }
    static void TearDownTestSuite() {
        delete s_servers;
        s_servers = nullptr;
    }
    void SetUp() override {
        MailTest::SetUp();
        ASSERT_TRUE(s_servers);
        ASSERT_TRUE(s_servers->ok()) << s_servers->error();
    }

    // Sends mail with the given login; 1 when the server took it (and it was delivered).
    int send(CVornSendMail& mail, int authType, const char* password = kMailPassword,
             const std::string& copyPath = "") {
        int before = s_servers->delivered();
        CVornSmtpClient smtp("vornnet-test");
        smtp.SetRecvTimeout(30);
        if (authType)
            smtp.SetSmtpAuth(kMailUser, password, authType);
        if (!smtp.Connect("127.0.0.1", s_servers->smtp(), 10))
            return 0;
        CVornFile copy;
        if (!copyPath.empty() && !copy.Open(copyPath.c_str(), CVornFile::MODE_WRITE))
            return 0;
        int ok = smtp.SendMail(mail, copyPath.empty() ? nullptr : &copy);
        copy.Close();
        EXPECT_EQ(1, smtp.DisConnect());
        if (ok && !s_servers->waitDelivered(before + 1))
            return 0;
        return ok;
    }

    static CVornSendMail simpleMail(const std::string& subject, const std::string& body) {
        CVornSendMail m;
        m.SetSubject(subject.c_str());
        m.SetFrom(kMailAddress);
        m.AddTo(kMailAddress);
        m.SetBody(body.c_str());
        return m;
    }

    static inline MailServers* s_servers = nullptr;
};

std::string binaryAttachment() {
    std::string s;
    for (int i = 0; i < 70000; ++i)
        s += static_cast<char>((i * 7 + i / 256) & 0xFF);
    return s + "\r\n.\r\n"; // ends like a terminator; only its Base64 goes over the wire
}

// A forwarded message, sent as it is: its lines starting with "." must survive the transfer.
const char kForwarded[] = "From: bob@vornnet.test\r\n"
                          "Subject: forwarded\r\n"
                          "Content-Type: text/plain; charset=\"US-ASCII\"\r\n"
                          "\r\n"
                          ".\r\n"
                          "..two dots\r\n"
                          ".one dot\r\n"
                          "\r\n"
                          "last line\r\n";

TEST_F(RealMail, RoundTripThroughSmtpPop3AndImap4IsByteIdentical) {
    TempDir dir;
    const std::string bin = binaryAttachment();
    WriteAll(dir.file("data.bin"), bin);
    WriteAll(dir.file("forward.eml"), kForwarded);

    const std::string subject = Sjis("日本語の件名と記号【テスト】");
    const std::string from = Sjis("山田 太郎") + " <" + kMailAddress + ">";
    const std::string body = ".\r\n" + Sjis("本文の一行目です。") + "\r\n.\r\n" +
                             Sjis(".で始まる行") + "\r\nLF only\n.after LF\r\nend";
    CVornSendMail mail;
    mail.SetSubject(subject.c_str());
    mail.SetFrom(from.c_str());
    mail.AddTo(kMailAddress);
    mail.SetBody(body.c_str());
    mail.AddAttachFile(dir.file("data.bin").c_str(), "application/octet-stream", 1);
    mail.AddAttachFile(dir.file("forward.eml").c_str(), "message/rfc822", 0);
    ASSERT_EQ(1, send(mail, CVornSmtpClient::AUTH_CRAM_MD5, kMailPassword, dir.file("sent.eml")));
    const std::string sent = ReadAll(dir.file("sent.eml"));
    ASSERT_FALSE(sent.empty());

    // POP3 with APOP.
    CVornPop3Client pop;
    ASSERT_EQ(1, pop.Connect("127.0.0.1", s_servers->pop3()));
    ASSERT_FALSE(pop.GetTimeStamp().IsEmpty());
    ASSERT_EQ(1, pop.Login(kMailUser, kMailPassword, CVornMailClient::AUTHTYPE_CHALLENGE));
    int count = pop.GetMailCount();
    ASSERT_GE(count, 1);
    CVornDataArray popIds;
    ASSERT_EQ(1, pop.GetUid(popIds));
    ASSERT_EQ(count, popIds.GetCount());
    {
        CVornFile f;
        ASSERT_EQ(1, f.Open(dir.file("pop.eml").c_str(), CVornFile::MODE_WRITE));
        ASSERT_EQ(1, pop.GetMail(f, popIds.Get(count - 1).c_str()));
    }
    EXPECT_EQ(static_cast<int64_t>(ReadAll(dir.file("pop.eml")).size()), pop.GetMailSize(count));
    CVornMail head;
    ASSERT_EQ(1, pop.GetHead(head, count));
    EXPECT_EQ(subject, head.GetSubject().str());
    EXPECT_EQ(1, pop.Close());

    // IMAP4 with CRAM-MD5.
    CVornImap4Client imap;
    ASSERT_EQ(1, imap.Connect("127.0.0.1", s_servers->imap()));
    ASSERT_EQ(1, imap.Login(kMailUser, kMailPassword, CVornMailClient::AUTHTYPE_CHALLENGE));
    ASSERT_EQ(1, imap.ChangeDirectory("INBOX"));
    EXPECT_EQ(count, imap.GetMailCount());
    CVornDataArray imapIds;
    ASSERT_EQ(1, imap.GetUid(imapIds));
    ASSERT_EQ(count, imapIds.GetCount());
    {
        CVornFile f;
        ASSERT_EQ(1, f.Open(dir.file("imap.eml").c_str(), CVornFile::MODE_WRITE));
        ASSERT_EQ(1, imap.GetMail(f, imapIds.Get(count - 1).c_str()));
    }
    EXPECT_EQ(static_cast<int64_t>(ReadAll(dir.file("imap.eml")).size()),
              imap.GetMailSize(imapIds.Get(count - 1).c_str()));
    EXPECT_EQ(1, imap.Close());

    // Both hold the message as sent, after the server's own trace headers.
    const std::string popped = ReadAll(dir.file("pop.eml"));
    EXPECT_EQ(popped, ReadAll(dir.file("imap.eml")));
    ASSERT_GT(popped.size(), sent.size());
    EXPECT_EQ(sent, popped.substr(popped.size() - sent.size()));

    CVornMail m;
    ASSERT_EQ(1, m.SetFile(dir.file("pop.eml").c_str())) << m.GetError().c_str();
    EXPECT_EQ(subject, m.GetSubject().str());
    EXPECT_EQ(from, m.GetFrom().str());
    EXPECT_EQ(std::string(kMailAddress), m.GetTo().str().substr(1, strlen(kMailAddress)));
    EXPECT_EQ(mail.GetMessageId().str(),
              m.GetMessageId().str().substr(1, mail.GetMessageId().size()));
    // The bare LF went over the wire, and so comes back, as CR LF.
    std::string wireBody = body;
    wireBody.replace(wireBody.find("only\n"), 5, "only\r\n");
    EXPECT_EQ(wireBody, m.GetBodyText().str());
    // Parts: the header, the body, the binary, the forwarded message and its own header.
    ASSERT_EQ(5, m.GetPartCount());
    CVornString jisBody(wireBody);
    jisBody.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_JIS);
    ASSERT_EQ(1, m.WritePart(1, dir.file("body.out").c_str()));
    EXPECT_EQ(jisBody.str(), ReadAll(dir.file("body.out")));
    EXPECT_EQ("data.bin", std::string(m.GetPart(2)->GetFilename().c_str()));
    ASSERT_EQ(1, m.WritePart(2, dir.file("data.out").c_str()));
    EXPECT_TRUE(ReadAll(dir.file("data.out")) == bin);
    ASSERT_EQ(1, m.WritePart(3, dir.file("forward.out").c_str()));
    EXPECT_EQ(std::string(kForwarded), ReadAll(dir.file("forward.out")));
    EXPECT_EQ("forwarded", std::string(m.GetPart(4)->GetSubject().c_str()));
    EXPECT_EQ(1, m.GetPart(3)->GetDepth());
    EXPECT_EQ(2, m.GetPart(4)->GetDepth());
}

TEST_F(RealMail, EveryLoginOfTheSmtpClientIsAccepted) {
    for (int type : {CVornSmtpClient::AUTH_PLAIN, CVornSmtpClient::AUTH_LOGIN,
                     CVornSmtpClient::AUTH_CRAM_MD5}) {
        CVornSendMail m = simpleMail("auth " + std::to_string(type), "plain body\r\n");
        EXPECT_EQ(1, send(m, type)) << type;
    }
}

TEST_F(RealMail, FailedLoginsNeverLogTheCredentials) {
    LogCapture log;
    const char* wrong = "Sesame-Wrong9";
    for (int type : {CVornSmtpClient::AUTH_PLAIN, CVornSmtpClient::AUTH_LOGIN,
                     CVornSmtpClient::AUTH_CRAM_MD5}) {
        CVornSendMail m = simpleMail("never", "x\r\n");
        EXPECT_EQ(0, send(m, type, wrong)) << type;
    }
    CVornPop3Client pop;
    ASSERT_EQ(1, pop.Connect("127.0.0.1", s_servers->pop3()));
    EXPECT_EQ(0, pop.Login(kMailUser, wrong, CVornMailClient::AUTHTYPE_PLAIN));
    CVornImap4Client imap;
    ASSERT_EQ(1, imap.Connect("127.0.0.1", s_servers->imap()));
    EXPECT_EQ(0, imap.Login(kMailUser, wrong, CVornMailClient::AUTHTYPE_PLAIN));
    // And a successful login does not either.
    CVornImap4Client ok;
    ASSERT_EQ(1, ok.Connect("127.0.0.1", s_servers->imap()));
    EXPECT_EQ(1, ok.Login(kMailUser, kMailPassword, CVornMailClient::AUTHTYPE_PLAIN));
    ok.Close();

    std::string text = log.text();
    EXPECT_TRUE(log.contains("Login error[alice]"));
    for (const char* secret : {wrong, kMailPassword}) {
        CVornString plain(std::string(1, '\0') + kMailUser + '\0' + secret);
        CVornString b64(secret);
        EXPECT_EQ(std::string::npos, text.find(secret)) << secret;
        EXPECT_EQ(std::string::npos, text.find(b64.Base64Encode().c_str()));
        EXPECT_EQ(std::string::npos, text.find(plain.Base64Encode().c_str()));
    }
}

TEST_F(RealMail, Pop3DeletesOnlyAtQuitAndResetUndoes) {
    CVornSendMail m = simpleMail("to delete", "delete me\r\n");
    ASSERT_EQ(1, send(m, 0));
    CVornPop3Client pop;
    ASSERT_EQ(1, pop.Connect("127.0.0.1", s_servers->pop3()));
    ASSERT_EQ(1, pop.Login(kMailUser, kMailPassword, CVornMailClient::AUTHTYPE_PLAIN));
    int count = pop.GetMailCount();
    ASSERT_GE(count, 1);
    EXPECT_GT(pop.GetTotalSize(), 0);
    CVornDataArray ids;
    ASSERT_EQ(1, pop.GetUid(ids));
    const CVornString last = ids.Get(count - 1);
    CVornMail head;
    ASSERT_EQ(1, pop.GetHead(head, last.c_str(), 1));
    EXPECT_EQ("to delete", std::string(head.GetSubject().c_str()));
    EXPECT_EQ("delete me", std::string(head.GetBodyText().c_str()).substr(0, 9));
    ASSERT_EQ(1, pop.Delete(last.c_str()));
    EXPECT_EQ(count - 1, pop.GetMailCount());
    ASSERT_EQ(1, pop.Reset());
    EXPECT_EQ(count, pop.GetMailCount());
    ASSERT_EQ(1, pop.Delete(count));
    EXPECT_EQ(1, pop.Close());

    CVornPop3Client again;
    ASSERT_EQ(1, again.Connect("127.0.0.1", s_servers->pop3()));
    ASSERT_EQ(1, again.Login(kMailUser, kMailPassword, CVornMailClient::AUTHTYPE_PLAIN));
    EXPECT_EQ(count - 1, again.GetMailCount());
    CVornDataArray after;
    ASSERT_EQ(1, again.GetUid(after));
    EXPECT_LT(after.Find(last.view()), 0);
    again.Close();
}

TEST_F(RealMail, Imap4StoresDeletedFlagsAndExpunges) {
    CVornSendMail m = simpleMail(Sjis("削除する"), "imap delete\r\n");
    ASSERT_EQ(1, send(m, CVornSmtpClient::AUTH_PLAIN));
    CVornImap4Client imap;
    ASSERT_EQ(1, imap.Connect("127.0.0.1", s_servers->imap()));
    ASSERT_EQ(1, imap.Login(kMailUser, kMailPassword, CVornMailClient::AUTHTYPE_PLAIN));
    EXPECT_EQ(1, imap.GetTag());
    ASSERT_EQ(1, imap.ChangeDirectory("INBOX"));
    int count = imap.GetMailCount();
    ASSERT_GE(count, 1);
    CVornDataArray ids;
    ASSERT_EQ(1, imap.GetUid(ids));
    ASSERT_EQ(count, ids.GetCount());
    CVornMail head;
    ASSERT_EQ(1, imap.GetHead(head, count));
    EXPECT_EQ(Sjis("削除する"), head.GetSubject().str());
    CVornMail byUid;
    ASSERT_EQ(1, imap.GetHead(byUid, ids.Get(count - 1).c_str()));
    EXPECT_EQ(head.GetHeadText().str(), byUid.GetHeadText().str());
    EXPECT_GT(imap.GetMailSize(count), 0);
    ASSERT_EQ(1, imap.Delete(ids.Get(count - 1).c_str()));
    ASSERT_EQ(1, imap.Commit());
    EXPECT_EQ(count - 1, imap.GetMailCount());
    // A message that is gone: a clear failure, nothing written.
    TempDir dir;
    CVornFile f;
    ASSERT_EQ(1, f.Open(dir.file("gone.eml").c_str(), CVornFile::MODE_WRITE));
    EXPECT_EQ(0, imap.GetMail(f, ids.Get(count - 1).c_str()));
    EXPECT_EQ(1, imap.Close());
}

} // namespace
