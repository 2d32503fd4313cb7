#include "tavlo_html_entity.h"
#include "tavlo_post_converter.h"
#include "vorn_kcode.h"
#include "vorn_regex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::u16string U(const char* utf8) {
    return VornUtf8ToUtf16(utf8);
}

// A new-post boundary above every post: all date lines are "read".
constexpr int kAllRead = 1000000;

struct Converted {
    std::u16string text;
    size_t length = 0;
};

Converted Convert(CTavloPostConverter& c, const char* utf8Log, int firstNew = kAllRead,
                  CVornRegex* ng = nullptr, bool hide = false, int first = 1) {
    Converted r;
    r.length = c.Convert(U(utf8Log), first, firstNew, ng, hide, r.text);
    return r;
}

std::u16string Body(const char* body) {
    CTavloPostConverter c;
    std::string log = std::string("n<><>d<>") + body + "<>\n";
    std::u16string out;
    c.Convert(U(log.c_str()), 1, 1, nullptr, false, out);
    // Skip the header and date lines.
    size_t a = out.find(u'\n');
    a = out.find(u'\n', a + 1) + 1;
    std::u16string b = out.substr(a);
    while (!b.empty() && b.back() == u'\n')
        b.pop_back();
    return b;
}

std::u16string Name(const char* name) {
    CTavloPostConverter c;
    std::string log = std::string(name) + "<><>d<>b<>\n";
    std::u16string out;
    c.Convert(U(log.c_str()), 1, 1, nullptr, false, out);
    size_t e = out.find(u'<', 1);
    return out.substr(4, e - 4); // after marker and "[1]"
}

// Every control character of display text is a marker at the start of a line (or a tab).
void ExpectWellFormed(const std::u16string& text, int posts) {
    int headers = 0;
    bool lineStart = true;
    for (char16_t c : text) {
        if (c == u'\n') {
            lineStart = true;
            continue;
        }
        if (c < 0x20 && c != u'\t') {
            ASSERT_TRUE(lineStart) << "marker " << int(c) << " inside a line";
            if (TavloIsHeaderMark(c))
                ++headers;
        }
        lineStart = false;
    }
    EXPECT_EQ(headers, posts);
}

TEST(PostConverter, FirstPostWithSageIdBodyAndTitle) {
    CTavloPostConverter c;
    auto r = Convert(c, "名無し<>sage<>2009/01/01(木) 12:34 ID:AbC123<>test<>title\n");
    EXPECT_EQ(r.text, U("\x03[1]名無し<sage>\n\x05"
                        "2009/01/01(木) 12:34 ID:AbC123\ntest\n\n"));
    EXPECT_EQ(r.length, r.text.size());
    ASSERT_TRUE(c.HasTitle());
    EXPECT_EQ(c.GetTitle(), u"title");
    EXPECT_EQ(c.GetIdCount(u"AbC123"), 1);
    EXPECT_EQ(c.GetLastCount(), 1);
}

TEST(PostConverter, HeaderMarkerFollowsTheMailField) {
    CTavloPostConverter c;
    auto r = Convert(c, "a<>age<>d<>b<>t\n"
                        "a<><>d<>b<>\n"
                        "a<>SAGE<>d<>b<>\n"
                        "a<>&#115;age<>d<>b<>\n"
                        "a<>sage <>d<>b<>\n");
    std::vector<char16_t> marks;
    for (size_t i = 0; i < r.text.size(); ++i)
        if (TavloIsHeaderMark(r.text[i]) && (i == 0 || r.text[i - 1] == u'\n'))
            marks.push_back(r.text[i]);
    // "sage " ends with a space, so it is only a mail.
    EXPECT_EQ(marks, (std::vector<char16_t>{2, 1, 2, 3, 2}));
}

TEST(PostConverter, SpaceAfterSeparatorIsNotPartOfTheField) {
    CTavloPostConverter c;
    auto r = Convert(c, "名前 <> sage<> 日付 <>  本文 <> スレタイ \n");
    EXPECT_EQ(r.text, U("\x03[1]名前 <sage>\n\x05日付 \n 本文 \n\n"));
    EXPECT_EQ(c.GetTitle(), U("スレタイ "));
}

TEST(PostConverter, NewBoundaryChoosesTheDateMarker) {
    CTavloPostConverter c;
    auto r = Convert(c, "a<><>1<>x<>t\na<><>2<>x<>\na<><>3<>x<>\n", 3);
    EXPECT_NE(r.text.find(U("\x05"
                            "1\n")),
              std::u16string::npos);
    EXPECT_NE(r.text.find(U("\x05"
                            "2\n")),
              std::u16string::npos);
    EXPECT_NE(r.text.find(U("\x04"
                            "3\n")),
              std::u16string::npos);
}

TEST(PostConverter, NumbersContinueFromTheFirstPostNumber) {
    CTavloPostConverter c;
    std::u16string out;
    c.Convert(U("a<><>d<>x<>\nb<><>d<>y<>\n"), 41, 41, nullptr, false, out);
    EXPECT_EQ(out.substr(0, 5), U("\x01[41]"));
    EXPECT_NE(out.find(U("\x01[42]b<>")), std::u16string::npos);
    // Post 1 is not among them, so no title is taken.
    EXPECT_FALSE(c.HasTitle());
}

TEST(PostConverter, CharacterReferences) {
    EXPECT_EQ(Body("&#x3042;"), u"\u3042");
    EXPECT_EQ(Body("&#12354;"), u"\u3042");
    EXPECT_EQ(Body("&#12354 x"), u"&#12354 x"); // no ";": as written
    EXPECT_EQ(Body("&#0;"), u"&#0;");
    EXPECT_EQ(Body("&#x0;"), u"&#x0;");
    EXPECT_EQ(Body("&#x;"), u"&#x;");
    EXPECT_EQ(Body("&#;"), u"&#;");
    EXPECT_EQ(Body("&#"), u"&#");
    // Five characters at most: the sixth stops the collection.
    EXPECT_EQ(Body("&#123456;"), u"&#123456;");
    EXPECT_EQ(Body("&#99999"), u"&#99999");
    EXPECT_EQ(Body("&#65;&#x41;"), u"AA");
    // A control character would become a marker: kept as written.
    EXPECT_EQ(Body("&#1;&#10;&#x0a;"), u"&#1;&#10;&#x0a;");
}

TEST(PostConverter, EntityNames) {
    EXPECT_EQ(Body("&copy;&amp;&lt;&gt;&quot;&nbsp;"), u"\u00A9&<>\"\u00A0");
    EXPECT_EQ(Body("&thetasym;&Alpha;&alpha;&euro;"), u"\u03D1\u0391\u03B1\u20AC");
    EXPECT_EQ(Body("&foo; &copy &COPY; &"), u"&foo; &copy &COPY; &");
    EXPECT_EQ(Body("&amp;gt;"), u"&gt;");
    size_t n = 0;
    TavloHtmlEntities(&n);
    EXPECT_EQ(n, 252u);
}

TEST(PostConverter, TagsAndStrayAngleBrackets) {
    EXPECT_EQ(Body("<a href=\"http://x/\">link</a> end"), u"link end");
    EXPECT_EQ(Body("a<b"), u"ab");
    EXPECT_EQ(Body("a < b > c"), u"a  c");
    EXPECT_EQ(Name("名無し </b>◆Trip<b>"), U("名無し ◆Trip"));
    // A "<" without ">" must not swallow the separator that ends the body.
    CTavloPostConverter c;
    auto r = Convert(c, "n<><>d<>x<b<>title\n");
    EXPECT_EQ(r.text, U("\x01[1]n<>\n\x05"
                        "d\nxb\n\n"));
    EXPECT_EQ(c.GetTitle(), u"title");
}

TEST(PostConverter, LineBreaksAndDroppedBlankLines) {
    EXPECT_EQ(Body("a <br> b"), u"a\nb");
    EXPECT_EQ(Body("a<br><br>b"), u"a\n\nb");
    EXPECT_EQ(Body("a<br><br><br><br><br>b"), U("a\n\n\n\x08(2行削除)\nb"));
    // Dropped lines at the end of the body still get their note.
    EXPECT_EQ(Body("a<br><br><br><br>"), U("a\n\n\n\x08(1行削除)"));
    // "<BR>" is just a tag.
    EXPECT_EQ(Body("a<BR>b"), u"ab");
}

TEST(PostConverter, BlankLinesKeptWhenDeletionIsOff) {
    CTavloPostConverter c;
    c.Options().deleteBlankLines = false;
    std::u16string out;
    c.Convert(U("n<><>d<>a<br><br><br><br><br>b<>\n"), 1, 1, nullptr, false, out);
    EXPECT_NE(out.find(u"a\n\n\n\n\nb"), std::u16string::npos);
}

TEST(PostConverter, IdCountsStopAtTwoAndSkipQuestionMarks) {
    CTavloPostConverter c;
    Convert(c, "a<><>d ID:one<>x<>t\n"
               "a<><>d ID:two<>x<>\n"
               "a<><>d ID:two<>x<>\n"
               "a<><>d ID:two<>x<>\n"
               "a<><>d ID:?x?<>x<>\n"
               "a<><>d ID:?abc<>x<>\n"
               "a<><>d ID:  sp BE:1<>x<>\n");
    EXPECT_EQ(c.GetIdCount(u"one"), 1);
    EXPECT_EQ(c.GetIdCount(u"two"), 2);
    EXPECT_EQ(c.GetIdCount(u"?x?"), 0);
    EXPECT_EQ(c.GetIdCount(u"?abc"), 0);
    EXPECT_EQ(c.GetIdCount(u"sp"), 1);
}

TEST(PostConverter, AnchorsAreCollectedAsWritten) {
    CTavloPostConverter c;
    Convert(c, "a<><>d<>&gt;&gt;12 ＞＞１２ &gt;3-5 >7 x&gt;&gt; &gt;123456789012345<>t\n");
    EXPECT_TRUE(c.IsReferenced(u"12"));
    EXPECT_TRUE(c.IsReferenced(u"\uFF11\uFF12"));
    EXPECT_TRUE(c.IsReferenced(u"3"));
    EXPECT_FALSE(c.IsReferenced(u"5"));
    EXPECT_TRUE(c.IsReferenced(u"7"));
    EXPECT_TRUE(c.IsReferenced(u"12345678901"));
    EXPECT_FALSE(c.IsReferenced(u"123456789012345"));
    // Anchors in names or dates are not references.
    CTavloPostConverter d;
    Convert(d, "&gt;&gt;9<><>&gt;&gt;8<>x<>\n");
    EXPECT_EQ(d.GetReferencedCount(), 0u);
}

TEST(PostConverter, NgMarksWithoutShiftingNumbers) {
    CVornRegex ng;
    ASSERT_EQ(ng.CompileW(u"荒らし"), 1);
    const char* log = "a<><>d<>普通<>t\n"
                      "荒らし<><>d<>本文<>\n"
                      "c<><>d<>普通<>\n";
    CTavloPostConverter shown;
    auto r = Convert(shown, log, kAllRead, &ng, false);
    EXPECT_NE(r.text.find(U("\x07[2]荒らし<>\n\x05"
                            "d\n本文\n\n")),
              std::u16string::npos);
    ExpectWellFormed(r.text, 3);

    CTavloPostConverter hidden;
    auto h = Convert(hidden, log, kAllRead, &ng, true);
    EXPECT_EQ(h.text, U("\x01[1]a<>\n\x05"
                        "d\n普通\n\n\x07\n\n\x01[3]c<>\n\x05"
                        "d\n普通\n\n"));
    ExpectWellFormed(h.text, 3);
}

TEST(PostConverter, NgSeesTheWholeDisplayTextOfThePost) {
    // A pattern over the header text with its number and the brackets around the mail.
    CVornRegex ng;
    ASSERT_EQ(ng.CompileW(u"^\x03\\[2\\]b<sage>"), 1);
    CTavloPostConverter c;
    auto r = Convert(c, "a<>sage<>d<>x<>t\nb<>sage<>d<>x<>\n", 1, &ng, true);
    EXPECT_NE(r.text.find(u"\x03[1]a"), std::u16string::npos);
    EXPECT_NE(r.text.find(u"\n\x07\n\n"), std::u16string::npos);
}

TEST(PostConverter, CrLfLinesAndMissingLastLineFeed) {
    CTavloPostConverter c;
    auto r = Convert(c, "a<><>d<>x<>title\r\nb<><>d<>y<>\r\nc<><>d<>z<>");
    EXPECT_EQ(c.GetTitle(), u"title");
    EXPECT_EQ(c.GetLastCount(), 3);
    EXPECT_EQ(r.text.find(u'\r'), std::u16string::npos);
    EXPECT_NE(r.text.find(u"\x01[3]c<>\n\x05"
                          u"d\nz\n\n"),
              std::u16string::npos);
    ExpectWellFormed(r.text, 3);
}

TEST(PostConverter, ShortAndEmptyLinesStillTakeANumber) {
    CTavloPostConverter c;
    auto r = Convert(c, "only a name\n\nn<>m<>d<>b<>\n");
    EXPECT_EQ(r.text, U("\x01[1]only a name<>\n\x05\n\n"
                        "\x01[2]<>\n\x05\n\n"
                        "\x02[3]n<m>\n\x05"
                        "d\nb\n\n"));
    EXPECT_EQ(c.GetLastCount(), 3);
}

TEST(PostConverter, ControlCharactersNeverBecomeMarkers) {
    CTavloPostConverter c;
    std::u16string log = U("a\x01"
                           "b<>\x03<>d\x02<>x\x05y\ttab\rzQw<>t\n");
    log[log.find(u'Q')] = 0; // an embedded NUL
    std::u16string out;
    c.Convert(log, 1, 1, nullptr, false, out);
    ExpectWellFormed(out, 1);
    EXPECT_NE(out.find(u"x\uFFFDy\ttab\uFFFDz\uFFFDw"), std::u16string::npos);
}

TEST(PostConverter, InlineImageRowsFollowLinesWithImageLinks) {
    CTavloPostConverter c;
    c.Options().inlineImage = true;
    c.Options().inlineImageHeight = 2;
    auto r = Convert(c, "n<><>d<>見て ttp://i.example/a.jpg <br>文<br>http://e/p.png<>t\n");
    EXPECT_EQ(r.text, U("\x01[1]n<>\n\x05"
                        "d\n見て ttp://i.example/a.jpg\n\x0f \n\x0f \n文\n"
                        "http://e/p.png\n\x0f \n\x0f \n\n"));
    CTavloPostConverter off;
    auto o = Convert(off, "n<><>d<>http://e/p.png<br>x<>t\n");
    EXPECT_EQ(o.text.find(u'\x0f'), std::u16string::npos);
}

// The display text is made in room of the converter's own. A log of tiny posts makes far
// more text than it has bytes (the room must grow many times over), a long one more than the
// room kept between conversions; the string forms (appending to text already there) and the
// form that leaves the text in the converter's room must give one and the same text, with the
// same positions of IDs and anchors, as converting post by post.
TEST(PostConverter, EveryOutputFormGivesTheSameTextAtAnySize) {
    for (int posts : {3, 3000, 70000}) {
        std::string log;
        for (int k = 1; k <= posts; ++k)
            log += k % 3 ? "<><><>\n"
                         : "n" + std::to_string(k) + "<>sage<>d ID:Ab" + std::to_string(k % 7) +
                               "<>&gt;&gt;" + std::to_string(k - 1) + " b<br>c<>\n";
        const std::u16string prefix = u"\n";

        CTavloPostConverter byPost;
        std::u16string want = prefix;
        std::vector<uint32_t> wantAnchors, wantIds;
        size_t at = 0;
        for (int k = 1; k <= posts; ++k) {
            size_t lf = log.find('\n', at);
            const size_t base = want.size();
            byPost.Convert(U(log.substr(at, lf + 1 - at).c_str()), k, 1, nullptr, false, want);
            const TavloConvertedPosts& one = byPost.GetConverted();
            ASSERT_EQ(one.textStart, base);
            for (uint32_t a : one.anchors)
                wantAnchors.push_back(static_cast<uint32_t>(a + base - prefix.size()));
            for (const auto& p : one.posts)
                wantIds.push_back(
                    p.idLength ? static_cast<uint32_t>(p.idStart + base - prefix.size()) : 0);
            at = lf + 1;
        }

        CTavloPostConverter a, b, c;
        std::u16string viaString = prefix, viaSjis = prefix;
        a.Convert(U(log.c_str()), 1, 1, nullptr, false, viaString);
        b.ConvertSjis(log, 1, 1, nullptr, false, viaSjis);
        const std::u16string_view inRoom = c.ConvertSjisAfter(prefix, log, 1, 1, nullptr, false);
        ASSERT_EQ(viaString, want) << posts;
        ASSERT_EQ(viaSjis, want) << posts;
        ASSERT_EQ(inRoom, want) << posts;
        for (CTavloPostConverter* conv : {&a, &b, &c}) {
            const TavloConvertedPosts& all = conv->GetConverted();
            ASSERT_EQ(all.textStart, prefix.size());
            ASSERT_EQ(all.textLength, want.size() - prefix.size());
            ASSERT_EQ(all.posts.size(), static_cast<size_t>(posts));
            ASSERT_EQ(all.anchors, wantAnchors);
            for (size_t k = 0; k < all.posts.size(); ++k)
                ASSERT_EQ(all.posts[k].idLength ? all.posts[k].idStart : 0, wantIds[k]) << k;
        }
        // The room goes whole to the text view, the text at its start.
        TavloTextRoom room = c.TakeRoom();
        ASSERT_GE(room.capacity, want.size());
        EXPECT_EQ(std::u16string_view(room.p, want.size()), want);
    }
}

TEST(PostConverter, ClearForgetsWhatWasCollected) {
    CTavloPostConverter c;
    Convert(c, "a<><>d ID:x<>&gt;&gt;1<>t\n");
    c.Clear();
    EXPECT_FALSE(c.HasTitle());
    EXPECT_EQ(c.GetIdCount(u"x"), 0);
    EXPECT_FALSE(c.IsReferenced(u"1"));
}

TEST(PostConverter, TitleCleaning) {
    EXPECT_EQ(TavloCleanTitle(U("【雑談】<b>スレ</b>&gt;&amp;gt;&quot;a&nbsp;b<br>2\r")),
              VornUtf8ToSjis("【雑談】スレ>&gt;\"a b\n2"));
    EXPECT_EQ(TavloCleanTitle(u"a<b"), "a<b");
}

TEST(PostConverter, HostileInputStaysLinear) {
    // 10 MB in one line: stray "<", "&#" with five digits and no ";", NULs.
    std::u16string line = u"n<><>d<>";
    const std::u16string piece(u"<<&#12345&amp;\0x<br>", 20);
    while (line.size() < 10 * 1024 * 1024)
        line += piece;
    line += u"<>t\n";
    CTavloPostConverter c;
    std::u16string out;
    c.Convert(line, 1, 1, nullptr, false, out);
    EXPECT_EQ(c.GetLastCount(), 1);
    ExpectWellFormed(out, 1);

    // 100000 posts.
    std::u16string log;
    for (int i = 0; i < 100000; ++i)
        log += u"name<>sage<>2020/01/01 ID:abcdefgh<>&gt;&gt;1 body<br>line<>\n";
    CTavloPostConverter d;
    std::u16string out2;
    d.Convert(log, 1, 1, nullptr, false, out2);
    EXPECT_EQ(d.GetLastCount(), 100000);
    EXPECT_NE(out2.find(u"\x03[100000]name<sage>"), std::u16string::npos);
}

} // namespace
