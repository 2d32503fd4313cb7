#include "tavlo_domains.h"
#include "tavlo_url.h"

#include <gtest/gtest.h>

namespace {
CTavloUrlTarget classify(const char* url, int youtube = 0) {
    return TavloClassifyUrl(CVornString(url), youtube);
}
} // namespace

TEST(UrlCompletion, RestoresTheScheme) {
    EXPECT_EQ(TavloCompleteUrl("http://a.b/"), "http://a.b/");
    EXPECT_EQ(TavloCompleteUrl("https://a.b/"), "https://a.b/");
    EXPECT_EQ(TavloCompleteUrl("ttp://a.b/"), "http://a.b/");
    EXPECT_EQ(TavloCompleteUrl("tp://a.b/"), "http://a.b/");
    EXPECT_EQ(TavloCompleteUrl("p://a.b/"), "http://a.b/");
    EXPECT_EQ(TavloCompleteUrl("ftp://a.b/"), "");
    EXPECT_EQ(TavloCompleteUrl(""), "");
}

TEST(UrlClassify, StandardThreadForms) {
    auto t = classify("http://news.5ch.io/test/read.cgi/newsplus/1234567890/");
    EXPECT_EQ(t.kind, CTavloUrlTarget::KIND_THREAD);
    EXPECT_EQ(t.rule, 2);
    EXPECT_EQ(t.boardUrl, "http://news.5ch.io/newsplus/");
    EXPECT_EQ(t.board, "newsplus");
    EXPECT_EQ(t.key, "1234567890");
    EXPECT_EQ(t.number, 0);
    EXPECT_EQ(t.title, "");

    // Written without the leading h, as boards print unlinked URLs.
    auto ttp = classify("ttp://news.5ch.io/test/read.cgi/newsplus/1234567890/");
    EXPECT_EQ(ttp.kind, CTavloUrlTarget::KIND_THREAD);
    EXPECT_EQ(ttp.number, 0);
    // "tp://" alone is not a thread link (the unanchored board rule still sees a host).
    EXPECT_NE(classify("tp://news.5ch.io/test/read.cgi/newsplus/1234567890/").kind,
              CTavloUrlTarget::KIND_THREAD);

    EXPECT_EQ(classify("http://news.5ch.io/test/read.cgi/newsplus/1234567890/50").number, 50);
    EXPECT_EQ(classify("http://news.5ch.io/test/read.cgi/newsplus/1234567890/l50").number, 0);
    EXPECT_EQ(classify("http://news.5ch.io/test/read.cgi/newsplus/1234567890/50-60").number, 50);
    EXPECT_EQ(classify("https://egg.5ch.net/test/read.cgi/software/1600000000/").kind,
              CTavloUrlTarget::KIND_THREAD);
    // Two labels only: no thread rule, and not a service domain either.
    EXPECT_EQ(classify("http://5ch.io/test/read.cgi/newsplus/1234567890/").kind,
              CTavloUrlTarget::KIND_BROWSER);
}

TEST(UrlClassify, PastLogMachiJbbsAndOldForms) {
    auto kako = classify("http://piza.2ch.net/tech/kako/987/987654321.html");
    EXPECT_NE(kako.kind, CTavloUrlTarget::KIND_THREAD); // needs the two-level kako path
    kako = classify("http://piza.2ch.net/tech/kako/987/98765/987654321.dat.gz");
    EXPECT_EQ(kako.rule, 3);
    EXPECT_EQ(kako.boardUrl, "http://piza.2ch.net/tech/");
    EXPECT_EQ(kako.key, "987654321");
    EXPECT_EQ(kako.number, -1);

    auto machi = classify("http://kanto.machi.to/bbs/read.cgi?BBS=tokyo&KEY=1100000000&START=10");
    EXPECT_EQ(machi.rule, 4);
    EXPECT_EQ(machi.boardUrl, "http://kanto.machi.to/tokyo/");
    EXPECT_EQ(machi.number, 10);
    auto machiDir = classify("http://www.machi.to/kanto/bbs/read.pl?BBS=tokyo&KEY=1100000000");
    EXPECT_EQ(machiDir.rule, 5);
    EXPECT_EQ(machiDir.boardUrl, "http://www.machi.to/kanto/tokyo/");
    EXPECT_EQ(machiDir.number, 0);

    auto jbbs = classify("http://jbbs.shitaraba.net/bbs/read.cgi/game/12345/1200000000/7");
    EXPECT_EQ(jbbs.rule, 6);
    EXPECT_EQ(jbbs.boardUrl, "http://jbbs.shitaraba.net/game/12345/");
    EXPECT_EQ(jbbs.board, "12345");
    EXPECT_EQ(jbbs.key, "1200000000");
    EXPECT_EQ(jbbs.number, 7);

    auto old = classify("http://pc.2ch.net/test/read.cgi?bbs=tech&key=1000000000&START=3");
    EXPECT_EQ(old.rule, 7);
    EXPECT_EQ(old.boardUrl, "http://pc.2ch.net/tech/");
    EXPECT_EQ(old.number, 3);

    auto four = classify("http://a.b.c.d/dir/test/read.cgi?bbs=x1&key=42");
    EXPECT_EQ(four.rule, 8);
    EXPECT_EQ(four.boardUrl, "http://a.b.c.d/dir/x1/"); // no doubled "/"
    auto path = classify("http://a.b.c.d/dir/test/read.cgi/x1/42");
    EXPECT_EQ(path.rule, 9);
    EXPECT_EQ(path.boardUrl, "http://a.b.c.d/dir/x1/");
    EXPECT_EQ(path.key, "42");
}

TEST(UrlClassify, BoardVideoAndBrowser) {
    auto b = classify("http://news.5ch.io/newsplus/");
    EXPECT_EQ(b.kind, CTavloUrlTarget::KIND_BOARD);
    EXPECT_EQ(b.boardUrl, "http://news.5ch.io/newsplus/");
    EXPECT_EQ(b.board, "newsplus");
    EXPECT_EQ(classify("http://mercury.bbspink.com/erobook/").board, "erobook");
    EXPECT_EQ(classify("http://www.example.com/board/").kind, CTavloUrlTarget::KIND_BROWSER);

    const char* video = "http://www.youtube.com/watch?feature=x&v=AbC_12-x&t=3";
    auto off = classify(video, 0);
    EXPECT_EQ(off.kind, CTavloUrlTarget::KIND_BROWSER);
    EXPECT_EQ(off.url, video);
    auto on = classify(video, 1);
    EXPECT_EQ(on.kind, CTavloUrlTarget::KIND_VIDEO);
    EXPECT_EQ(on.videoId, "AbC_12-x");
    EXPECT_EQ(classify("ttp://www.youtube.com/watch?v=zz", 1).videoId, "zz");

    auto br = classify("ttp://example.org/page?q=1");
    EXPECT_EQ(br.kind, CTavloUrlTarget::KIND_BROWSER);
    EXPECT_EQ(br.url, "http://example.org/page?q=1");
    EXPECT_EQ(classify("mailto:x@y").url, "");
}

TEST(Domains, AlternationEscapesDots) {
    EXPECT_EQ(CTavloDomains::Alternation({"5ch.io", "a.b"}), "(5ch\\.io|a\\.b)");
    EXPECT_TRUE(CTavloDomains::ContainsAny("http://x.bbspink.com/b/", CTavloDomains::Get().adult));
    EXPECT_FALSE(CTavloDomains::ContainsAny("http://x.example/b/", CTavloDomains::Get().main));
}
