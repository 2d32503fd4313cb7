// The SMTP client against a scripted server: what real servers will not produce, and the
// exact text on the wire.

#include "mail_support.h"
#include "net_support.h"

#include "vorn_file.h"

namespace {

using S = ScriptServer;

std::vector<S::Step> session(std::vector<S::Step> middle) {
    std::vector<S::Step> steps = {S::Send("220 scripted ESMTP\r\n")};
    steps.insert(steps.end(), middle.begin(), middle.end());
    return steps;
}

class SmtpScript : public MailTest {
protected:
    int sendTo(ScriptServer& server, CVornSendMail& mail) {
        CVornSmtpClient c;
        c.SetRecvTimeout(20);
        if (!c.Connect("127.0.0.1", server.port(), 10))
            return 0;
        return c.SendMail(mail);
    }
    static std::vector<std::string> dataOf(const std::vector<std::string>& lines) {
        std::vector<std::string> d;
        bool in = false;
        for (const auto& l : lines) {
            if (in)
                d.push_back(l);
            if (l == "DATA")
                in = true;
        }
        return d;
    }
};

TEST_F(SmtpScript, Ehlo502FallsBackToHeloAndDotLinesAreStuffed) {
    S server(session(
        {S::Expect("EHLO "), S::Send("502 no\r\n"), S::Expect("HELO "), S::Send("250 hi\r\n"),
         S::Expect("MAIL FROM:<me@x.test>"), S::Send("250 ok\r\n"),
         S::Expect("RCPT TO:<to@x.test>"), S::Send("250 ok\r\n"), S::Expect("RCPT TO:<cc@x.test>"),
         S::Send("250 ok\r\n"), S::Expect("RCPT TO:<bcc@x.test>"), S::Send("250 ok\r\n"),
         S::Expect("DATA"), S::Send("354 go\r\n"), S::Data(), S::Send("250 queued\r\n")}));
    CVornSendMail m;
    m.SetFrom("Me <me@x.test>");
    m.AddTo("to@x.test");
    m.AddCc(("Mr " + Sjis("日本") + " <cc@x.test>").c_str());
    m.AddBcc("bcc@x.test");
    m.SetSubject(Sjis("日本語の件名").c_str());
    m.SetBody(".\r\nmiddle\r\n.\r\n..two\nafter lf\n.lf dot\r\n.");
    ASSERT_EQ(1, sendTo(server, m));
    EXPECT_EQ("", server.failures());
    auto data = dataOf(server.lines());
    auto at = std::find(data.begin(), data.end(), "");
    ASSERT_NE(at, data.end());
    std::vector<std::string> body(at + 1, data.end());
    std::vector<std::string> want = {"..",       "middle",   "..", "...two",
                                     "after lf", "..lf dot", "..", "."};
    EXPECT_EQ(want, body);
    CVornString jis(Sjis("日本語の件名"));
    jis.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_JIS);
    EXPECT_EQ("Subject: =?ISO-2022-JP?B?" + std::string(jis.Base64Encode().c_str()) + "?=",
              data[0]);
    CVornString name("Mr " + Sjis("日本"));
    name.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_JIS);
    EXPECT_EQ("Cc: =?ISO-2022-JP?B?" + std::string(name.Base64Encode().c_str()) + "?= <cc@x.test>",
              data[2]);
    EXPECT_EQ("To: <to@x.test>", data[1]);
    EXPECT_NE(std::find(data.begin(), data.end(), "Content-type: text/plain; charset=\"US-ASCII\""),
              data.end());
    EXPECT_NE(std::find(data.begin(), data.end(), "X-Mailer: vornnet"), data.end());
    // Bcc never shows in the text.
    for (const auto& l : data)
        EXPECT_EQ(std::string::npos, l.find("bcc@x.test")) << l;
}

TEST_F(SmtpScript, AttachmentsAsBase64LinesAndRfc822WithoutDisposition) {
    TempDir dir;
    std::string bin(200, '\xAB');
    WriteAll(dir.file(Sjis("添付.bin")), bin);
    WriteAll(dir.file("fwd.eml"), "Subject: fwd\r\n\r\n.\r\nx\r\n");
    S server(
        session({S::Expect("EHLO"), S::Send("250-hello\r\n250-SIZE 1000\r\n250 HELP\r\n"),
                 S::Expect("MAIL"), S::Send("250 ok\r\n"), S::Expect("RCPT"), S::Send("250 ok\r\n"),
                 S::Expect("DATA"), S::Send("354 go\r\n"), S::Data(), S::Send("250 ok\r\n")}));
    CVornSendMail m;
    m.SetFrom("me@x.test");
    m.AddTo("to@x.test");
    m.SetSubject("plain");
    m.SetBody(Sjis("本文").c_str());
    m.AddAttachFile(dir.file(Sjis("添付.bin")).c_str(), "", 1);
    m.AddAttachFile(dir.file("fwd.eml").c_str(), "message/rfc822", 0);
    ASSERT_EQ(1, sendTo(server, m));
    auto data = dataOf(server.lines());
    std::string all;
    for (const auto& l : data)
        all += l + "\n";
    CVornString fname(Sjis("添付.bin"));
    fname.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_JIS);
    EXPECT_NE(std::string::npos,
              all.find("Content-Type: application/octet-stream\nContent-Disposition: attachment; "
                       "filename=\"=?ISO-2022-JP?B?" +
                       std::string(fname.Base64Encode().c_str()) +
                       "?=\"\nContent-Transfer-Encoding: base64\n\n"));
    CVornString enc(bin);
    enc.Base64Encode();
    EXPECT_NE(std::string::npos,
              all.find(enc.Left(76).str() + "\n" + enc.Mid(76, 76).str() + "\n"));
    EXPECT_NE(std::string::npos,
              all.find("Content-Type: message/rfc822\n\nSubject: fwd\n\n..\nx\n"));
    EXPECT_NE(std::string::npos, all.find("charset=\"ISO-2022-JP\""));
    EXPECT_NE(std::string::npos, all.find("--\n.\n"));
}

TEST_F(SmtpScript, RefusalsFailTheMail) {
    {
        S server({S::Send("554 go away\r\n")});
        CVornSmtpClient c;
        EXPECT_EQ(0, c.Connect("127.0.0.1", server.port(), 10));
        EXPECT_TRUE(c.GetLastResponse().StartsWith("554"));
    }
    {
        S server(session(
            {S::Expect("EHLO"), S::Send("502 no\r\n"), S::Expect("HELO"), S::Send("502 no\r\n")}));
        CVornSendMail m;
        m.SetFrom("a@x");
        EXPECT_EQ(0, sendTo(server, m));
    }
    {
        S server(session({S::Expect("EHLO"), S::Send("250 ok\r\n"), S::Expect("MAIL"),
                          S::Send("250 ok\r\n"), S::Expect("RCPT"), S::Send("550 unknown\r\n")}));
        CVornSendMail m;
        m.SetFrom("a@x");
        m.AddTo("b@x");
        EXPECT_EQ(0, sendTo(server, m));
    }
    {
        // Rejected after the data: the mail failed.
        S server(session({S::Expect("EHLO"), S::Send("250 ok\r\n"), S::Expect("MAIL"),
                          S::Send("250 ok\r\n"), S::Expect("RCPT"), S::Send("250 ok\r\n"),
                          S::Expect("DATA"), S::Send("354 go\r\n"), S::Data(),
                          S::Send("552 too big\r\n")}));
        CVornSendMail m;
        m.SetFrom("a@x");
        m.AddTo("b@x");
        EXPECT_EQ(0, sendTo(server, m));
    }
}

TEST_F(SmtpScript, HostileRepliesEndClearly) {
    {
        S server({S::Send("220-"), S::Endless()});
        CVornSmtpClient c;
        EXPECT_EQ(0, c.Connect("127.0.0.1", server.port(), 10));
        EXPECT_LE(c.GetLastResponse().GetLength(), CVornSmtpClient::kMaxReply + 16384);
    }
    {
        // A multi-line reply cut off by a close.
        S server(session({S::Expect("EHLO"), S::Send("250-one\r\n250-two\r\n"), S::Close()}));
        CVornSendMail m;
        EXPECT_EQ(0, sendTo(server, m));
    }
    {
        // Terminator line split over reads.
        S server({S::Send("22"), S::Pause(50), S::Send("0 split"), S::Pause(50), S::Send("\r"),
                  S::Pause(50), S::Send("\n")});
        CVornSmtpClient c;
        EXPECT_EQ(1, c.Connect("127.0.0.1", server.port(), 10));
    }
}

TEST_F(SmtpScript, LoginExchangesAndAMissingAttachment) {
    S server(session({S::Expect("EHLO"), S::Send("250 AUTH LOGIN\r\n"), S::Expect("AUTH LOGIN"),
                      S::Send("334 VXNlcm5hbWU6\r\n"), S::Expect("dXNlcg=="),
                      S::Send("334 UGFzc3dvcmQ6\r\n"), S::Expect("cGFzcw=="), S::Send("235 ok\r\n"),
                      S::Expect("MAIL"), S::Send("250 ok\r\n"), S::Expect("RCPT"),
                      S::Send("250 ok\r\n"), S::Expect("DATA"), S::Send("354 go\r\n")}));
    CVornSmtpClient c;
    c.SetSmtpAuth("user", "pass", CVornSmtpClient::AUTH_LOGIN);
    ASSERT_EQ(1, c.Connect("127.0.0.1", server.port(), 10));
    CVornSendMail m;
    m.SetFrom("a@x");
    m.AddTo("b@x");
    m.AddAttachFile("/nonexistent/file.bin");
    LogCapture log;
    EXPECT_EQ(0, c.SendMail(m));
    c.Close();
    EXPECT_EQ("", server.failures());
    EXPECT_TRUE(log.contains("file open error[/nonexistent/file.bin]"));
    EXPECT_FALSE(log.contains("cGFzcw=="));
}

} // namespace
