// Message files, parts, the outgoing message file, digests and MIME text decoding.

#include "mail_support.h"

#include "vorn_file.h"
#include "vorn_mime.h"
#include "vorn_regex.h"

#include <string>

namespace {

CVornString b64(const std::string& s) {
    CVornString c(s);
    return c.Base64Encode();
}

std::string jisWord(const char* utf8) {
    CVornString s(Sjis(utf8));
    s.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_JIS);
    return "=?ISO-2022-JP?B?" + b64(s.str()).str() + "?=";
}

TEST(Md5, DigestsMatchThePublishedVectors) {
    EXPECT_EQ("d41d8cd98f00b204e9800998ecf8427e", std::string(CVornMd5::Digest("", 0).c_str()));
    // RFC 2104 and the CRAM-MD5 example of RFC 2195.
    EXPECT_EQ("750c783e6ab0b503eaa86e310a5db738",
              std::string(CVornMd5::Hmac("Jefe", "what do ya want for nothing?").c_str()));
    EXPECT_EQ(
        "b913a602c7eda7a495b4e6e7334d3890",
        std::string(CVornMd5::Hmac("tanstaaftanstaaf", "<1896.697170952@postoffice.reston.mci.net>")
                        .c_str()));
}

TEST(MimeText, EncodedWordsDecodeToShiftJis) {
    // A word split inside a two-byte character run, folded over two lines.
    CVornString jis(Sjis("日本語の件名"));
    jis.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_JIS);
    std::string half1 = jis.str().substr(0, 7), half2 = jis.str().substr(7);
    std::string value = "Re: =?iso-2022-jp?B?" + b64(half1).str() + "?= \t =?ISO-2022-JP?B?" +
                        b64(half2).str() + "?= end";
    EXPECT_EQ("Re: " + Sjis("日本語の件名") + " end", VornMime2Sjis(value));
    EXPECT_EQ(Sjis("テスト"),
              VornMime2Sjis("=?UTF-8?Q?" + std::string("=E3=83=86=E3=82=B9=E3=83=88") + "?="));
    EXPECT_EQ("a b", VornMime2Sjis("=?US-ASCII?Q?a_b?="));
    // Not an encoded word: kept.
    EXPECT_EQ("=?broken", VornMime2Sjis("=?broken"));
    EXPECT_EQ("=?X?B?***?=", VornMime2Sjis("=?X?B?***?="));
}

TEST(MimeText, QuotedPrintableJoinsSoftBreaks) {
    EXPECT_EQ("abc def\r\nnext=", VornQpDecode("abc=20de=\r\nf\r\nnext=3D"));
    EXPECT_EQ("x=ZZ", VornQpDecode("x=ZZ"));
}

class MailFile : public ::testing::Test {
protected:
    std::string write(const std::string& text) {
        std::string p = m_dir.file("m" + std::to_string(m_n++) + ".eml");
        WriteAll(p, text);
        return p;
    }
    TempDir m_dir;
    int m_n = 0;
};

TEST_F(MailFile, HeaderContinuationsAndAccessors) {
    CVornMail m;
    std::string text = "Subject: " + jisWord("件名") + "\r\n\t" + jisWord("の続き") +
                       "\r\nFrom: =?ISO-2022-JP?B?" +
                       b64([] {
                           CVornString s(Sjis("差出人"));
                           s.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_JIS);
                           return s.str();
                       }())
                           .str() +
                       "?= <a@b.test>\r\n"
                       "X-Long: one\r\n  two\r\n"
                       "no colon line\r\n"
                       "Content-Type: text/plain;\r\n\tcharset=\"ISO-2022-JP\"; name=\"x.txt\"\r\n"
                       "Date: Tue, 08 Dec 2026 15:04:05 +0900\r\n"
                       "References: <a@x> <b@y>\r\n"
                       "\r\nBody\r\n";
    ASSERT_EQ(1, m.SetHead(text.c_str()));
    EXPECT_EQ(Sjis("件名の続き"), m.GetSubject().str());
    EXPECT_EQ(Sjis("差出人") + " <a@b.test>", m.GetFrom().str());
    EXPECT_EQ("one two", std::string(m.GetCustomHeader("x-long").c_str()));
    EXPECT_EQ(CVornMail::CHARSET_JIS, m.GetCharset());
    EXPECT_EQ("x.txt", std::string(m.GetFilename().c_str()));
    EXPECT_EQ("2026/12/08 15:04", std::string(m.GetShortDate().c_str()));
    EXPECT_EQ("b@y", std::string(m.GetLastReferences().c_str()));
    EXPECT_EQ(0, m.IsMultipart());
    CVornDataArray keys;
    EXPECT_EQ(6, m.GetHeadKeyArray(keys));
    EXPECT_LT(keys.Find("NO COLON LINE"), 0);
    EXPECT_EQ(std::string::npos, m.GetHeadText().str().find("Body"));
}

TEST_F(MailFile, NestedMessagesAndEncodingsWriteOutDecoded) {
    std::string bin = std::string("\x00\x01\xff\r\n.\r\n", 8) + std::string(300, 'z');
    std::string enc = b64(bin).str();
    std::string wrapped;
    for (size_t i = 0; i < enc.size(); i += 76)
        wrapped += enc.substr(i, 76) + "\r\n";
    std::string inner = "Subject: inner\r\n"
                        "Content-Type: multipart/alternative; boundary=\"in\"\r\n"
                        "\r\n"
                        "--in\r\n"
                        "Content-Type: text/plain; charset=\"EUC-JP\"\r\n"
                        "Content-Transfer-Encoding: quoted-printable\r\n"
                        "\r\n"
                        "soft=\r\n"
                        "break =A4=A2\r\n"
                        "\r\n"
                        "after an empty line\r\n"
                        "--in--\r\n";
    std::string text = "Subject: outer\r\n"
                       "Content-Type: multipart/mixed; boundary=\"out\"\r\n"
                       "\r\n"
                       "preamble\r\n"
                       "--out\r\n"
                       "Content-Type: text/plain\r\n"
                       "\r\n"
                       "first\r\n"
                       "\r\n"
                       "--not a boundary\r\n"
                       "--out\r\n"
                       "Content-Type: application/octet-stream\r\n"
                       "Content-Disposition: attachment; filename=\"a.bin\"\r\n"
                       "Content-Transfer-Encoding: base64\r\n"
                       "\r\n" +
                       wrapped +
                       "--out\r\n"
                       "Content-Type: message/rfc822\r\n"
                       "\r\n" +
                       inner + "--out--\r\nepilogue\r\n";
    CVornMail m;
    ASSERT_EQ(1, m.SetFile(write(text).c_str())) << m.GetError().c_str();
    EXPECT_EQ("outer", std::string(m.GetSubject().c_str()));
    EXPECT_EQ(1, m.IsMultipart());
    // header, text, binary, rfc822, inner header, inner text
    ASSERT_EQ(6, m.GetPartCount());
    EXPECT_EQ(1, m.GetPart(0)->IsHeader());
    EXPECT_EQ("first\r\n\r\n--not a boundary", std::string(m.GetBodyText().c_str()));
    EXPECT_EQ(1, m.GetPart(2)->IsFile());
    ASSERT_EQ(1, m.WritePart(2, m_dir.file("a.out").c_str()));
    EXPECT_TRUE(ReadAll(m_dir.file("a.out")) == bin);
    ASSERT_EQ(1, m.WritePart(3, m_dir.file("inner.out").c_str()));
    EXPECT_EQ(inner, ReadAll(m_dir.file("inner.out")) + "\r\n");
    EXPECT_EQ("inner", std::string(m.GetPart(4)->GetSubject().c_str()));
    EXPECT_EQ(1, m.GetPart(3)->GetDepth());
    EXPECT_EQ(3, m.GetPart(5)->GetDepth());
    EXPECT_EQ("soft"
              "break " +
                  Sjis("あ") + "\r\n\r\nafter an empty line",
              m.GetPart(5)->GetBodyText().str());
    ASSERT_EQ(1, m.WritePart(5, m_dir.file("qp.out").c_str()));
    EXPECT_EQ("softbreak \xA4\xA2\r\n\r\nafter an empty line", ReadAll(m_dir.file("qp.out")));
    EXPECT_EQ(5, m.GetPart(1)->GetHeadLine()); // lines before its header
}

TEST_F(MailFile, SinglePartBodyKeepsALoneDotLine) {
    CVornMail m;
    ASSERT_EQ(1, m.SetFile(write("Subject: s\r\n\r\nline\r\n.\r\nmore\r\n").c_str()));
    EXPECT_EQ("line\r\n.\r\nmore\r\n", std::string(m.GetBodyText().c_str()));
    ASSERT_EQ(1, m.WritePart(0, m_dir.file("b").c_str()));
    EXPECT_EQ("line\r\n.\r\nmore\r\n", ReadAll(m_dir.file("b")));
    CVornMail h;
    ASSERT_EQ(1, h.SetFile(write("Subject: only\r\n\r\nbody\r\n").c_str(), 1));
    EXPECT_EQ(1, h.GetPartCount());
    EXPECT_TRUE(h.GetBodyText().IsEmpty());
}

TEST_F(MailFile, MalformedStructuresFailClearly) {
    CVornMail m;
    EXPECT_EQ(0, m.SetFile(m_dir.file("missing").c_str()));
    EXPECT_EQ("Message file couldn't open", std::string(m.GetError().c_str()));

    std::string unclosed = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                           "Content-Type: text/plain\r\n\r\nnever closed\r\n";
    EXPECT_EQ(0, m.SetFile(write(unclosed).c_str()));
    EXPECT_EQ("MIME boundary never closed", std::string(m.GetError().c_str()));
    EXPECT_EQ(2, m.GetPartCount()); // what was read stays

    std::string deep;
    for (int i = 0; i < 1000; ++i)
        deep += "Content-Type: multipart/mixed; boundary=\"b" + std::to_string(i) +
                "\"\r\n\r\n--b" + std::to_string(i) + "\r\n";
    deep += "\r\nleaf\r\n";
    EXPECT_EQ(0, m.SetFile(write(deep).c_str()));
    EXPECT_EQ("MIME nesting too deep", std::string(m.GetError().c_str()));
    EXPECT_LE(m.GetPartCount(), CVornMail::kMaxDepth + 1);

    std::string rfc;
    for (int i = 0; i < 1000; ++i)
        rfc += "Content-Type: message/rfc822\r\n\r\n";
    EXPECT_EQ(0, m.SetFile(write(rfc).c_str()));
    EXPECT_EQ("MIME nesting too deep", std::string(m.GetError().c_str()));

    std::string huge = "Subject: big\r\n";
    while (huge.size() < 3u * 1024 * 1024)
        huge += "X-Filler: " + std::string(200, 'f') + "\r\n";
    EXPECT_EQ(0, m.SetFile(write(huge).c_str()));
    EXPECT_EQ("header too large", std::string(m.GetError().c_str()));

    // One line of 20 MB in a body: read in pieces, kept whole.
    std::string longLine = "Subject: l\r\n\r\n" + std::string(20u * 1024 * 1024, 'q') + "\r\n";
    ASSERT_EQ(1, m.SetFile(write(longLine).c_str()));
    ASSERT_EQ(1, m.WritePart(0, m_dir.file("long.out").c_str()));
    EXPECT_EQ(20u * 1024 * 1024 + 2, ReadAll(m_dir.file("long.out")).size());
}

TEST_F(MailFile, BrokenBase64FailsWithoutAFile) {
    for (std::string bad : {std::string("QUJD\r\nR$VG\r\n"), std::string("QUJDRA==QUJD\r\n"),
                            std::string("QUJDR\r\n")}) {
        std::string text = "Content-Type: multipart/mixed; boundary=b\r\n\r\n--b\r\n"
                           "Content-Type: image/png\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
                           bad + "--b--\r\n";
        CVornMail m;
        ASSERT_EQ(1, m.SetFile(write(text).c_str()));
        ASSERT_EQ(2, m.GetPartCount());
        EXPECT_EQ(0, m.WritePart(1, m_dir.file("bad.out").c_str())) << bad;
        EXPECT_EQ("Base64 decode error", std::string(m.GetError().c_str()));
        EXPECT_FALSE(VornFileExists(m_dir.file("bad.out").c_str()));
    }
}

TEST_F(MailFile, OutgoingMessageFileReadsBack) {
    CVornSendMail m;
    m.SetSubject(Sjis("件名").c_str());
    m.SetFrom("a <a@x.test>");
    m.SetMessageId("id@x");
    m.SetInReplyTo("parent@x");
    m.SetReplyTo("r@x.test");
    m.AddTo("t1@x.test");
    m.AddTo("t2@x.test");
    m.AddCc("c@x.test");
    m.AddBcc("b@x.test");
    m.AddAttachFile("/tmp/a b,c;d.txt", "text/plain; charset=x", 0);
    m.AddAttachFile("/tmp/e.bin");
    m.SetBody("body\r\n\r\nSubject: not a header\r\n");
    std::string p = m_dir.file("out.msg");
    ASSERT_EQ(1, m.Write(p.c_str()));
    std::string text = ReadAll(p);
    EXPECT_NE(std::string::npos, text.find("In-Reply-To: <parent@x>\r\n"));
    EXPECT_NE(std::string::npos, text.find("To: t1@x.test,t2@x.test\r\n"));
    CVornSendMail r;
    ASSERT_EQ(1, r.Read(p.c_str()));
    EXPECT_EQ(m.GetSubject().str(), r.GetSubject().str());
    EXPECT_EQ("parent@x", std::string(r.GetInReplyTo().c_str()));
    EXPECT_EQ(m.GetBody().str(), r.GetBody().str());
    EXPECT_TRUE(m.GetTo() == r.GetTo());
    EXPECT_TRUE(m.GetBcc() == r.GetBcc());
    ASSERT_EQ(2, r.GetAttach().GetRowCount());
    EXPECT_EQ("/tmp/a b,c;d.txt", std::string(r.GetAttach().Get(0, 0).c_str()));
    EXPECT_EQ("text/plain; charset=x", std::string(r.GetAttach().Get(0, 1).c_str()));
    EXPECT_EQ("0", std::string(r.GetAttach().Get(0, 2).c_str()));
    EXPECT_EQ("application/octet-stream", std::string(r.GetAttach().Get(1, 1).c_str()));
}

bool fullMatch(const std::string& text, const char* pattern) {
    CVornRegex re;
    return re.Compile(pattern) && re.Match(std::string_view(text), 0) == 0;
}

TEST(SendMail, GeneratedDateAndMessageId) {
    std::string date = CVornSendMail::GenerateDate().str();
    EXPECT_TRUE(
        fullMatch(date, R"(^[A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4}$)"))
        << date;
    std::string id = CVornSendMail::GenerateMessageId("Name <me@x.test>", "pre").str();
    EXPECT_TRUE(fullMatch(id, R"(^pre\.\d+\.\d{14}\.me@x\.test$)")) << id;
}

} // namespace
