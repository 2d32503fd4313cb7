// The POP3 and IMAP4 clients against a scripted server.

#include "mail_support.h"

#include "vorn_file.h"

namespace {

using S = ScriptServer;

class Retrieve : public MailTest {
protected:
    std::string fetchPop(std::vector<S::Step> steps, int* result) {
        S server(std::move(steps));
        CVornPop3Client c;
        c.SetRecvTimeout(20);
        EXPECT_EQ(1, c.Connect("127.0.0.1", server.port()));
        CVornFile f;
        EXPECT_EQ(1, f.Open(m_dir.file("out").c_str(), CVornFile::MODE_WRITE));
        *result = c.GetMail(f, 1);
        f.Close();
        m_failures = server.failures();
        return ReadAll(m_dir.file("out"));
    }
    TempDir m_dir;
    std::string m_failures;
};

TEST_F(Retrieve, Pop3DataLosesStuffingAndATerminatorSplitAcrossReads) {
    int r = 0;
    std::string got = fetchPop({S::Send("+OK ready <1.2@x>\r\n"), S::Expect("RETR 1"),
                                S::Send("+OK 30 octets\r\nSubject: a\r\n\r\n..\r\n..x\r\n.y\r\n\r"),
                                S::Pause(100), S::Send("\n."), S::Pause(100), S::Send("\r"),
                                S::Pause(100), S::Send("\n")},
                               &r);
    EXPECT_EQ(1, r);
    EXPECT_EQ("", m_failures);
    EXPECT_EQ("Subject: a\r\n\r\n.\r\n.x\r\ny\r\n\r\n", got);
}

TEST_F(Retrieve, Pop3DataWithoutTerminatorThenCloseFails) {
    int r = 1;
    fetchPop({S::Send("+OK\r\n"), S::Expect("RETR"), S::Send("+OK\r\nline\r\n.\r"), S::Close()},
             &r);
    EXPECT_EQ(0, r);
}

TEST_F(Retrieve, Pop3ApopOnlyWithATimeStamp) {
    S server({S::Send("+OK no stamp here\r\n"), S::Expect("USER u"), S::Send("+OK\r\n"),
              S::Expect("PASS p"), S::Send("+OK\r\n")});
    CVornPop3Client c;
    ASSERT_EQ(1, c.Connect("127.0.0.1", server.port()));
    EXPECT_TRUE(c.GetTimeStamp().IsEmpty());
    EXPECT_EQ(0, c.Login("u", "p", CVornMailClient::AUTHTYPE_CHALLENGE));
    EXPECT_EQ(1, c.Login("u", "p", CVornMailClient::AUTHTYPE_PLAIN));
    EXPECT_EQ("", server.failures());

    S stamped({S::Send("+OK hi <1896.697170952@dbc.mtview.ca.us>\r\n"),
               S::Expect("APOP mrose c4c9334bac560ecc979e58001b3e22fb"), S::Send("+OK\r\n")});
    CVornPop3Client a;
    ASSERT_EQ(1, a.Connect("127.0.0.1", stamped.port()));
    EXPECT_EQ("<1896.697170952@dbc.mtview.ca.us>", std::string(a.GetTimeStamp().c_str()));
    EXPECT_EQ(1, a.Login("mrose", "tanstaaf", CVornMailClient::AUTHTYPE_CHALLENGE));
    EXPECT_EQ("", stamped.failures());
}

TEST_F(Retrieve, Pop3ErrAnswersAndCounts) {
    S server({S::Send("+OK\r\n"), S::Expect("STAT"), S::Send("-ERR locked\r\n"), S::Expect("STAT"),
              S::Send("+oK 3 1200\r\n"), S::Expect("LIST 2"), S::Send("+OK 2 340\r\n"),
              S::Expect("UIDL"), S::Send("+OK\r\n1 aaa\r\n2 bb b\r\nbad\r\n3 c\r\n.\r\n"),
              S::Expect("DELE 2"), S::Send("-ERR no\r\n"), S::Expect("TOP 3 0"),
              S::Send("+OK\r\nSubject: t\r\n\r\n.\r\n"), S::Expect("QUIT"), S::Send("+OK\r\n")});
    CVornPop3Client c;
    ASSERT_EQ(1, c.Connect("127.0.0.1", server.port()));
    EXPECT_EQ(-1, c.GetMailCount());
    EXPECT_EQ("-ERR locked", std::string(c.GetLastMessage().c_str()));
    EXPECT_EQ(3, c.GetMailCount());
    EXPECT_EQ(1200, c.GetTotalSize());
    EXPECT_EQ(340, c.GetMailSize(2));
    CVornDataArray ids;
    ASSERT_EQ(1, c.GetUid(ids));
    ASSERT_EQ(3, ids.GetCount());
    EXPECT_EQ("bb b", std::string(ids.Get(1).c_str()));
    EXPECT_EQ(0, c.Delete("bb b"));
    CVornMail m;
    EXPECT_EQ(1, c.GetHead(m, "c"));
    EXPECT_EQ("t", std::string(m.GetSubject().c_str()));
    EXPECT_EQ(1, c.Close());
    EXPECT_EQ("", server.failures());
}

TEST_F(Retrieve, HostileServersEndInBoundedTime) {
    {
        S server({S::Send("+OK "), S::Endless()});
        CVornPop3Client c;
        EXPECT_EQ(0, c.Connect("127.0.0.1", server.port()));
        EXPECT_EQ("line too long", std::string(c.GetLastMessage().c_str()));
    }
    {
        // Data kept in memory is bounded.
        S server({S::Send("+OK\r\n"), S::Expect("UIDL"), S::Send("+OK\r\n1 "), S::Endless()});
        CVornPop3Client c;
        ASSERT_EQ(1, c.Connect("127.0.0.1", server.port()));
        CVornDataArray ids;
        EXPECT_EQ(0, c.GetUid(ids));
        EXPECT_EQ("data too large", std::string(c.GetLastMessage().c_str()));
    }
    {
        S server({S::Send("* OK\r\n"), S::Expect("0000 "), S::Send("* "), S::Endless()});
        CVornImap4Client c;
        ASSERT_EQ(1, c.Connect("127.0.0.1", server.port()));
        EXPECT_EQ(0, c.Login("u", "p", CVornMailClient::AUTHTYPE_PLAIN));
    }
    {
        // A literal larger than what is kept in memory.
        S server({S::Send("* OK\r\n"), S::Expect("0000 UID SEARCH"),
                  S::Send("* SEARCH {999999999999}\r\n"), S::Endless()});
        CVornImap4Client c;
        ASSERT_EQ(1, c.Connect("127.0.0.1", server.port()));
        CVornDataArray ids;
        EXPECT_EQ(0, c.GetUid(ids));
    }
    {
        // The header literal, kept in memory too, is bounded as well.
        S server({S::Send("* OK\r\n"), S::Expect("0000 FETCH 1 (RFC822.HEADER)"),
                  S::Send("* 1 FETCH (RFC822.HEADER {999999999999}\r\n"), S::Endless()});
        CVornImap4Client c;
        ASSERT_EQ(1, c.Connect("127.0.0.1", server.port()));
        CVornMail m;
        EXPECT_EQ(0, c.GetHead(m, 1));
        EXPECT_EQ("reply too large", std::string(c.GetLastMessage().c_str()));
    }
    {
        // An answer without its tagged end, then a close.
        S server({S::Send("* OK\r\n"), S::Expect("0000 FETCH 1 (RFC822)"),
                  S::Send("* 1 FETCH (RFC822 {10}\r\n0123456789)\r\n"), S::Close()});
        CVornImap4Client c;
        ASSERT_EQ(1, c.Connect("127.0.0.1", server.port()));
        CVornFile f;
        ASSERT_EQ(1, f.Open(m_dir.file("imap").c_str(), CVornFile::MODE_WRITE));
        EXPECT_EQ(0, c.GetMail(f, 1));
    }
}

TEST_F(Retrieve, Imap4TagsLiteralsAndAnswers) {
    S server({S::Send("* OK IMAP4rev1 ready\r\n"),
              S::Expect("0000 LOGIN \"u\" \"p \\\"q\\\"\""),
              S::Send("0000 OK done\r\n"),
              S::Expect("0001 SELECT \"INBOX\""),
              S::Send("* 2 EXISTS\r\n0001 ok selected\r\n"),
              S::Expect("0002 STATUS \"INBOX\" (MESSAGES)"),
              S::Send("* STATUS INBOX (messages 2)\r\n0002 OK\r\n"),
              S::Expect("0003 UID SEARCH ALL"),
              S::Send("* SEARCH 7 12\r\n0003 OK Search completed (0.001 + 0.000 secs).\r\n"),
              S::Expect("0004 UID FETCH 12 (RFC822)"),
              S::Send("* 2 FETCH (UID 12 RFC822 {14}\r\nSubj"),
              S::Pause(100),
              S::Send("ect: x\r\n\r\n)\r\n0004 OK\r\n"),
              S::Expect("0005 UID FETCH 7 (RFC822.SIZE)"),
              S::Send("* 1 FETCH (UID 7 RFC822.SIZE 4321)\r\n0005 OK\r\n"),
              S::Expect("0006 STORE 1 +FLAGS (\\Deleted)"),
              S::Send("0006 NO read-only\r\n"),
              S::Expect("0007 FETCH 3 (RFC822.HEADER)"),
              S::Send("0007 BAD no such message\r\n"),
              S::Expect("0008 LOGOUT"),
              S::Send("* BYE\r\n0008 OK\r\n")});
    CVornImap4Client c;
    ASSERT_EQ(1, c.Connect("127.0.0.1", server.port()));
    EXPECT_EQ(0, c.GetTag());
    ASSERT_EQ(1, c.Login("u", "p \"q\"", CVornMailClient::AUTHTYPE_PLAIN));
    ASSERT_EQ(1, c.ChangeDirectory("INBOX"));
    EXPECT_EQ(2, c.GetMailCount());
    CVornDataArray ids;
    ASSERT_EQ(1, c.GetUid(ids));
    ASSERT_EQ(2, ids.GetCount());
    EXPECT_EQ("12", std::string(ids.Get(1).c_str()));
    CVornFile f;
    ASSERT_EQ(1, f.Open(m_dir.file("m").c_str(), CVornFile::MODE_WRITE));
    ASSERT_EQ(1, c.GetMail(f, "12"));
    f.Close();
    EXPECT_EQ("Subject: x\r\n\r\n", ReadAll(m_dir.file("m")));
    EXPECT_EQ(4321, c.GetMailSize("7"));
    EXPECT_EQ(0, c.Delete(1));
    EXPECT_EQ("0006 NO read-only", std::string(c.GetLastMessage().c_str()));
    CVornMail m;
    EXPECT_EQ(0, c.GetHead(m, 3));
    EXPECT_EQ(1, c.Close());
    EXPECT_EQ("", server.failures());
}

TEST_F(Retrieve, Imap4SearchOfABigMailboxOnOneLine) {
    std::string line = "* SEARCH";
    for (int i = 1; i <= 30000; ++i)
        line += " " + std::to_string(i * 3);
    S server(
        {S::Send("* OK\r\n"), S::Expect("0000 UID SEARCH ALL"), S::Send(line + "\r\n0000 OK\r\n")});
    CVornImap4Client c;
    ASSERT_EQ(1, c.Connect("127.0.0.1", server.port()));
    CVornDataArray ids;
    ASSERT_EQ(1, c.GetUid(ids));
    ASSERT_EQ(30000, ids.GetCount());
    EXPECT_EQ("90000", std::string(ids.Get(29999).c_str()));
}

TEST_F(Retrieve, Imap4CramMd5AndARefusedChallenge) {
    // RFC 2195's example exchange.
    CVornString challenge("<1896.697170952@postoffice.reston.mci.net>");
    CVornString answer("tim b913a602c7eda7a495b4e6e7334d3890");
    S server({S::Send("* OK\r\n"), S::Expect("0000 AUTHENTICATE CRAM-MD5"),
              S::Send("+ " + std::string(challenge.Base64Encode().c_str()) + "\r\n"),
              S::Expect(answer.Base64Encode().c_str()), S::Send("0000 OK\r\n"),
              S::Expect("0001 AUTHENTICATE CRAM-MD5"), S::Send("0001 NO not here\r\n")});
    CVornImap4Client c;
    ASSERT_EQ(1, c.Connect("127.0.0.1", server.port()));
    EXPECT_EQ(1, c.Login("tim", "tanstaaftanstaaf", CVornMailClient::AUTHTYPE_CHALLENGE));
    EXPECT_EQ(0, c.Login("tim", "tanstaaftanstaaf", CVornMailClient::AUTHTYPE_CHALLENGE));
    EXPECT_EQ("", server.failures());
}

} // namespace
