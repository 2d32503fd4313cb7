#include "tavlo_link.h"
#include "vorn_kcode.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Found {
    int kind;
    std::u16string text;
    bool operator==(const Found&) const = default;
};

std::vector<Found> AllLinks(std::u16string_view line) {
    std::vector<Found> r;
    size_t from = 0, s = 0, n = 0;
    while (int kind = TavloFindLink(line, from, &s, &n)) {
        r.push_back({kind, std::u16string(line.substr(s, n))});
        from = s + n;
    }
    return r;
}

TEST(Link, UrlsWithTheirSchemeCutShort) {
    auto links = AllLinks(u"see ttp://a.example/x?y=1 and tp://b/ and ps://c/d, ://e/");
    ASSERT_EQ(links.size(), 4u);
    EXPECT_EQ(links[0], (Found{TAVLO_LINK_URL, u"ttp://a.example/x?y=1"}));
    EXPECT_EQ(links[1], (Found{TAVLO_LINK_URL, u"tp://b/"}));
    EXPECT_EQ(links[2], (Found{TAVLO_LINK_URL, u"ps://c/d,"}));
    EXPECT_EQ(links[3], (Found{TAVLO_LINK_URL, u"://e/"}));
    EXPECT_EQ(TavloCompleteUrl(u"http://a/"), u"http://a/");
    EXPECT_EQ(TavloCompleteUrl(u"https://a/"), u"https://a/");
    EXPECT_EQ(TavloCompleteUrl(u"ttp://a/"), u"http://a/");
    EXPECT_EQ(TavloCompleteUrl(u"tp://a/"), u"http://a/");
    EXPECT_EQ(TavloCompleteUrl(u"ps://a/"), u"https://a/");
    EXPECT_EQ(TavloCompleteUrl(u"ftp://a/"), u"");
    EXPECT_EQ(TavloCompleteUrl(u"://a/"), u"");
}

TEST(Link, UrlEndsAtSpaceControlOrWideCharacter) {
    auto links = AllLinks(u"Xhttp://a/b\u3042c http://d/\te http://f/");
    ASSERT_EQ(links.size(), 3u);
    // Upper case letters are not part of the scheme.
    EXPECT_EQ(links[0].text, u"http://a/b");
    EXPECT_EQ(links[1].text, u"http://d/");
    EXPECT_EQ(links[2].text, u"http://f/");
    EXPECT_TRUE(AllLinks(u"a:b c:// d:/ e").empty());
}

TEST(Link, AnchorsInAsciiAndFullWidth) {
    auto links = AllLinks(u">>12 \uFF1E\uFF1E\uFF11\uFF12 >\uFF1E3 >> 4 >5-6 x>>>");
    ASSERT_EQ(links.size(), 4u);
    EXPECT_EQ(links[0], (Found{TAVLO_LINK_ANCHOR, u">>12"}));
    EXPECT_EQ(links[1], (Found{TAVLO_LINK_ANCHOR, u"\uFF1E\uFF1E\uFF11\uFF12"}));
    EXPECT_EQ(links[2], (Found{TAVLO_LINK_ANCHOR, u">\uFF1E3"}));
    EXPECT_EQ(links[3], (Found{TAVLO_LINK_ANCHOR, u">5"}));
}

TEST(Link, ScanStopsAtLineEndAndLinksAreCapped) {
    EXPECT_TRUE(AllLinks(u"text\r\nhttp://a/").empty());
    EXPECT_TRUE(AllLinks(u"text\n>>1").empty());
    std::u16string longUrl = u"http://a/" + std::u16string(20000, u'x');
    auto links = AllLinks(longUrl);
    ASSERT_GE(links.size(), 1u);
    EXPECT_EQ(links[0].text.size(), kTavloLinkMax);
}

TEST(Link, IdOfADateLine) {
    size_t s = 0, n = 0;
    std::u16string line = u"2009/01/01 12:00 ID:  AbC+/9 BE:123";
    ASSERT_TRUE(TavloExtractId(line, &s, &n));
    EXPECT_EQ(line.substr(s, n), u"AbC+/9");
    EXPECT_FALSE(TavloExtractId(u"2009/01/01 ID:???", &s, &n));
    EXPECT_FALSE(TavloExtractId(u"2009/01/01 ID:", &s, &n));
    EXPECT_FALSE(TavloExtractId(u"2009/01/01", &s, &n));
    EXPECT_FALSE(TavloExtractId(u"2009\nID:abc", &s, &n));
    std::u16string longId = u"ID:" + std::u16string(400, u'a');
    ASSERT_TRUE(TavloExtractId(longId, &s, &n));
    EXPECT_EQ(n, 255u);
}

TEST(Link, AnchorCollection) {
    std::vector<std::u16string> got;
    TavloCollectAnchors(u">>1 >2>3 \uFF1E\uFF14 >>x 1234567890123",
                        [&](std::u16string_view d) { got.emplace_back(d); });
    EXPECT_EQ(got, (std::vector<std::u16string>{u"1", u"2", u"3", u"\uFF14"}));
}

} // namespace
