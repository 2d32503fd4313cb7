// The replacement table: which links are image links, what each rule mode downloads, and the
// "$" references of its templates; the image cache path of hostile links.
#include "tavlo_image_url_replace.h"
#include "tavlo_path.h"
#include "test_util.h"
#include "vorn_kcode.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string W(const char* utf8) {
    return VornUtf8ToUtf16(utf8);
}

// A table of rules written as in the file (fields separated by tabs).
struct Table {
    explicit Table(const std::string& text = "") {
        if (!text.empty())
            t.Parse(text);
        t.SetPageFetch([this](const CVornString& url, const CVornString& referer, std::string* body,
                              CVornString* cookie) {
            fetched.push_back(url.str() + " <- " + referer.str());
            *body = page;
            *cookie = setCookie;
            return fetchResult;
        });
    }
    CTavloImageViewUrlReplace t;
    std::vector<std::string> fetched;
    std::string page;
    CVornString setCookie;
    int fetchResult = 0;
};

} // namespace

TEST(ImageLinks, WithoutATableAJpgLinkDownloadsFromItselfWithItselfAsReferer) {
    Table table;
    EXPECT_EQ(table.t.GetCount(), 1);
    CTavloImageViewUrlReplaceMatch m;
    EXPECT_EQ(table.t.Match("http://i.example/a/b.jpg", &m), 0);
    EXPECT_EQ(m.ImageUrl, "http://i.example/a/b.jpg");
    EXPECT_EQ(m.Referer, "http://i.example/a/b.jpg");
    EXPECT_TRUE(m.Cookie.IsEmpty());
    EXPECT_EQ(table.t.Match("http://i.example/a/b.html", &m), -1);
    EXPECT_TRUE(m.ImageUrl.IsEmpty());
}

TEST(ImageLinks, FoundInTextWithOrWithoutTheSchemesH) {
    Table table;
    std::u16string text =
        W("見て ttp://i.example/x.png と http://i.example/y.gif です http://i.example/page");
    std::u16string link;
    int at = table.t.FindImageLink(text, 0, &link);
    ASSERT_GE(at, 0);
    EXPECT_EQ(link, W("ttp://i.example/x.png"));
    EXPECT_EQ(text.substr(static_cast<size_t>(at), link.size()), link);
    auto all = table.t.FindImageLinks(text);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[1], W("http://i.example/y.gif"));
    // An extension in the middle of a longer URL is none.
    EXPECT_TRUE(table.t.FindImageLinks(W("http://i.example/x.pngx")).empty());
}

TEST(ImageLinks, ARuleWrittenWithHttpMatchesTheLinkWithoutItsH) {
    Table table(
        "; comment\n' comment\n// comment\n\n"
        "http://up\\.example/(\\w+)\\.htm\thttp://up.example/img/$1.png\thttp://up.example/\n");
    EXPECT_EQ(table.t.GetCount(), 2);
    CTavloImageViewUrlReplaceMatch m;
    EXPECT_EQ(table.t.Match("ttp://up.example/abc.htm", &m), 0);
    EXPECT_EQ(m.ImageUrl, "http://up.example/img/abc.png");
    EXPECT_EQ(m.Referer, "http://up.example/");
    // The finder sees the rule's links too, once the table has more than the built-in rule.
    EXPECT_EQ(table.t.FindImageLinks(W("これ ttp://up.example/abc.htm だ")).size(), 1u);
}

TEST(ImageLinks, TemplateReferences) {
    CVornRegex rule;
    ASSERT_TRUE(rule.CompileW(u"a(b)(x)?(c)"));
    const std::u16string subject = u"zabcz";
    ASSERT_GE(rule.MatchW(subject), 0);
    auto ex = [&](const char16_t* t) {
        return CTavloImageViewUrlReplace::Expand(t, rule, subject, nullptr, {});
    };
    EXPECT_EQ(ex(u"$$"), u"$");
    EXPECT_EQ(ex(u"end$"), u"end$");
    EXPECT_EQ(ex(u"[$0][$&][$1][$2][$3]"), u"[abc][abc][b][][c]");
    EXPECT_EQ(ex(u"$q$9"), u"$q");
    // Without an extract at hand "$EXTRACT" is copied as it stands.
    EXPECT_EQ(ex(u"$EXTRACT"), u"$EXTRACT");
    CVornRegex extract;
    ASSERT_TRUE(extract.CompileW(u"src=\"([^\"]+)\" alt=\"([^\"]+)\""));
    const std::u16string page = u"<img src=\"http://x/p.png\" alt=\"pic\">";
    ASSERT_GE(extract.MatchW(page), 0);
    EXPECT_EQ(CTavloImageViewUrlReplace::Expand(u"$EXTRACT|$EXTRACT2|$EXTRACT0|$1", rule, subject,
                                                &extract, page),
              u"http://x/p.png|pic|src=\"http://x/p.png\" alt=\"pic\"|b");
}

TEST(ImageLinks, CookieRuleFetchesThePageFirstAndKeepsItsCookie) {
    Table table("http://c\\.example/(\\d+)\thttp://c.example/pic/$1.png\thttp://c.example/page/"
                "$1\t$COOKIE=http://c.example/\n");
    table.setCookie = "tok=1; path=/";
    CTavloImageViewUrlReplaceMatch m;
    EXPECT_EQ(table.t.Match("http://c.example/42", &m), 0);
    ASSERT_EQ(table.fetched.size(), 1u);
    EXPECT_EQ(table.fetched[0], "http://c.example/page/42 <- http://c.example/");
    EXPECT_EQ(m.ImageUrl, "http://c.example/pic/42.png");
    EXPECT_EQ(m.Referer, "http://c.example/page/42");
    EXPECT_EQ(m.Cookie, "tok=1; path=/");
    // A failed page fetch leaves the result empty but the rule is still the match.
    table.fetchResult = -101;
    EXPECT_EQ(table.t.Match("http://c.example/43", &m), 0);
    EXPECT_TRUE(m.ImageUrl.IsEmpty());
}

TEST(ImageLinks, ExtractRuleThatFindsNothingStopsTheMatchingAltogether) {
    // The second rule would take the link, and so would the built-in one.
    Table table("http://e\\.example/v/(\\d+)\\.jpg\t$EXTRACT\thttp://e.example/page/"
                "$1\t$EXTRACT\t<img src=\"([^\"]+)\"\n"
                "http://e\\.example/\t$0\t$0\n");
    table.page = "<html>no picture here</html>";
    CTavloImageViewUrlReplaceMatch m;
    EXPECT_EQ(table.t.Match("http://e.example/v/7.jpg", &m), -1);
    EXPECT_TRUE(m.ImageUrl.IsEmpty());
    // With the expression found, the image URL comes from the page.
    table.page = "<p><img src=\"http://e.example/real/7.png\"></p>";
    table.setCookie = "s=9";
    EXPECT_EQ(table.t.Match("http://e.example/v/7.jpg", &m), 0);
    EXPECT_EQ(m.ImageUrl, "http://e.example/real/7.png");
    EXPECT_EQ(m.Referer, "http://e.example/page/7");
    EXPECT_EQ(m.Cookie, "s=9");
    table.fetchResult = -100;
    EXPECT_EQ(table.t.Match("http://e.example/v/7.jpg", &m), -1);
}

TEST(ImageLinks, BadRulesAreLeftOutAndAMissingFileKeepsTheBuiltInRule) {
    Table table("(unclosed\t$0\t$0\nhttp://ok\\.example/\t$0\n");
    EXPECT_EQ(table.t.GetCount(), 2);
    CTavloImageViewUrlReplace t;
    EXPECT_EQ(t.Load("/nonexistent/ImageViewURLReplace.dat"), 0);
    EXPECT_EQ(t.GetCount(), 1);
}

TEST(ImageCachePath, HostileLinksStayInsideTheImageDirectory) {
    const CVornString root("/r/root");
    const std::string prefix = "/r/root/.img/";
    for (const char* link : {"http://h/../../etc/passwd", "http://h/%2e%2e/%2e%2e/x.png",
                             "http://h/a%2F..%2F..%2Fb.jpg", "http://../x.png", "http://%2e%2e",
                             "http://h/..", "http://h/a/..%2f..%2f.png", "http://h/%00.png",
                             "http://h/a.%2F..%2F", "http://h/x./../../y"}) {
        const std::string path = CTavloPath::GetImageCachePath(CVornString(link), root).str();
        if (path.empty())
            continue;
        ASSERT_EQ(path.compare(0, prefix.size(), prefix), 0) << link;
        const std::string name = path.substr(prefix.size());
        EXPECT_EQ(name.find('/'), std::string::npos) << link << " -> " << path;
        EXPECT_NE(name, "..") << link;
        EXPECT_NE(name, ".") << link;
    }
    // A dot inside a directory name gives no extension: the whole rest is encoded.
    EXPECT_EQ(CTavloPath::GetImageCachePath("http://i.example/a.b/c", root),
              "/r/root/.img/i.example%2Fa.b%2Fc");
}
