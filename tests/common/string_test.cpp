#include "test_util.h"
#include "vorn_string.h"

#include <gtest/gtest.h>

TEST(String, FindConventions) {
    CVornString s("abcabc");
    EXPECT_EQ(s.Find("bc"), 1);
    EXPECT_EQ(s.Find("bc", 2), 4);
    EXPECT_EQ(s.Find("x"), -1);
    EXPECT_EQ(s.Find("a", 7), -1);
    EXPECT_EQ(s.Find("a", -1), -1);
    EXPECT_EQ(s.FindR("bc"), 4);
    EXPECT_EQ(s.FindR("bc", 3), 1);
    EXPECT_EQ(s.FindR('a'), 3);
    EXPECT_EQ(s.FindR("zz"), -1);
    // Find on bytes would see the trail byte of ソ as '\\'; FindMb does not.
    CVornString sj(Sjis("ソ\\"));
    EXPECT_EQ(sj.Find("\\"), 1);
    EXPECT_EQ(sj.FindMb("\\"), 2);
}

TEST(String, SubstringsClampInsteadOfFailing) {
    CVornString s("hello");
    EXPECT_EQ(s.Left(2), "he");
    EXPECT_EQ(s.Left(99), "hello");
    EXPECT_EQ(s.Left(-1), "");
    EXPECT_EQ(s.Right(3), "llo");
    EXPECT_EQ(s.Right(99), "hello");
    EXPECT_EQ(s.Mid(1, 3), "ell");
    EXPECT_EQ(s.Mid(3), "lo");
    EXPECT_EQ(s.Mid(5), "");
    EXPECT_EQ(s.Mid(9, 2), "");
    CVornString t("hello");
    t.Insert(0, ">>");
    t.Insert(99, "!");
    EXPECT_EQ(t, ">>hello!");
    t.Remove(2, 2);
    EXPECT_EQ(t, ">>llo!");
    t.Remove(10, 1);
    EXPECT_EQ(t, ">>llo!");
}

TEST(String, ReplaceEveryOccurrenceWithoutRescanning) {
    CVornString s("a<br>b<br><br>");
    EXPECT_EQ(s.Replace("<br>", "\n"), 3);
    EXPECT_EQ(s, "a\nb\n\n");
    CVornString r("aaa");
    EXPECT_EQ(r.Replace("a", "aa"), 3);
    EXPECT_EQ(r, "aaaaaa");
    EXPECT_EQ(r.Replace("", "x"), 0);
}

TEST(String, FormatHandlesLongOutput) {
    CVornString s;
    std::string big(5000, 'x');
    s.Format("[%s]%d", big.c_str(), 42);
    EXPECT_EQ(s.GetLength(), 5004);
    EXPECT_TRUE(s.EndsWith("]42"));
    s.FormatAdd("/%05d", 7);
    EXPECT_TRUE(s.EndsWith("]42/00007"));
    CVornString n(-12);
    EXPECT_EQ(n, "-12");
}

TEST(String, TrimUpperAtoi) {
    CVornString s("  \tab c\r\n");
    s.Trim();
    EXPECT_EQ(s, "ab c");
    CVornString u(Sjis("aソb"));
    u.ToUpper();
    EXPECT_EQ(u.str(), Sjis("AソB"));       // the trail byte 0x5C is no letter, and stays
    CVornString z(std::string("\x83\x61")); // ツ: trail byte 'a' must not be upper-cased
    z.ToUpper();
    EXPECT_EQ(z.str(), "\x83\x61");
    EXPECT_EQ(CVornString(" 42abc").Atoi(), 42);
    EXPECT_EQ(CVornString("-7").Atoi(), -7);
    EXPECT_EQ(CVornString("x").Atoi(), 0);
    EXPECT_EQ(CVornString("99999999999").Atoi(), 2147483647);
}

TEST(String, UrlEncodeDecode) {
    CVornString s(Sjis("名無し a&b=c"));
    CVornString e = s;
    e.UrlEncode();
    EXPECT_EQ(e, "%96%BC%96%B3%82%B5+a%26b%3Dc");
    e.UrlDecode();
    EXPECT_EQ(e, s);
    CVornString bad("100%_%4");
    bad.UrlDecode();
    EXPECT_EQ(bad, "100%_%4");
}

TEST(String, HtmlDecode) {
    CVornString s("&lt;a&gt; &amp;amp; &quot;&#65;&#x42;&#12354;&#0;&bogus;&");
    s.HtmlDecode();
    EXPECT_EQ(s.str(), "<a> &amp; \"AB" + Sjis("あ") + "&#0;&bogus;&");
}

TEST(String, Base64) {
    for (std::string raw : {"", "f", "fo", "foo", "foob", "fooba", "foobar", "\x00\xff\x10"}) {
        CVornString s(raw);
        s.Base64Encode();
        CVornString d = s;
        EXPECT_EQ(d.Base64Decode(), 1);
        EXPECT_EQ(d.str(), raw);
    }
    CVornString s("foobar");
    s.Base64Encode();
    EXPECT_EQ(s, "Zm9vYmFy");
    CVornString junk("Zm9v!");
    EXPECT_EQ(junk.Base64Decode(), 0);
    EXPECT_EQ(junk, "Zm9v!");
}
