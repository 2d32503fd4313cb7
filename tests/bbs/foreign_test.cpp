// Machi and Livedoor JBBS boards against the board server, and their conversions on their own.
#include "fetch_support.h"
#include "tavlo_bbs_livedoor.h"
#include "tavlo_bbs_machi.h"
#include "tavlo_bbs_manager.h"
#include "tavlo_bbs_subject.h"
#include "tavlo_domains.h"
#include "tavlo_path.h"

#include <gtest/gtest.h>

namespace {

const char kMachiHost[] = "tokyo.machi-example.test";
const char kMachiUrl[] = "http://tokyo.machi-example.test/tokyo/";
const char kJbbsUrl[] = "http://jbbs.example-bbs.test/game/4321/";

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> lines(const std::string& text) {
    std::vector<std::string> out;
    size_t pos = 0;
    for (size_t lf; (lf = text.find('\n', pos)) != std::string::npos; pos = lf + 1)
        out.push_back(text.substr(pos, lf - pos));
    return out;
}

// The fictional hosts the board server plays, added to the service tables for the test.
void addTestDomains() {
    CTavloDomains& d = CTavloDomains::Get();
    if (std::find(d.machi.begin(), d.machi.end(), "machi-example.test") == d.machi.end())
        d.machi.push_back("machi-example.test");
    if (std::find(d.jbbs.begin(), d.jbbs.end(), "jbbs.example-bbs.test") == d.jbbs.end())
        d.jbbs.push_back("jbbs.example-bbs.test");
}

class Foreign : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.sim.ok());
        addTestDomains();
    }
    std::string machi(const std::string& key, const std::string& more) {
        return fx.sim.control("/_ctl/machi?host=" + std::string(kMachiHost) +
                              "&board=tokyo&key=" + key + more);
    }
    std::string jbbs(const std::string& key, const std::string& more) {
        return fx.sim.control("/_ctl/jbbs?category=game&number=4321&key=" + key + more);
    }
    std::string path(const char* url, const std::string& key) {
        return CTavloPath::GetLogPath(CVornString(url), CVornString(key)).str();
    }
    int fetch(const char* url, const std::string& key) {
        error.Empty();
        return CTavloBbsManager::Instance().Fetch(CVornString(url), CVornString(key), &window,
                                                  error);
    }
    std::vector<std::string> requestsFor(const std::string& part) {
        std::vector<std::string> out;
        for (auto& line : fx.sim.requests())
            if (has(line, part))
                out.push_back(line);
        return out;
    }

    BoardFixture fx;
    RecordingWindow window;
    CVornString error;
};

TEST_F(Foreign, MachiFirstAndLaterFetchesKeepLineNAsPostN) {
    ASSERT_EQ(machi("1700000000", "&posts=5&title=" + std::string("%E3%81%BE%E3%81%A1")), "ok");
    ASSERT_EQ(fetch(kMachiUrl, "1700000000"), 0) << error.c_str();
    auto reqs = requestsFor("/bbs/read.cgi?");
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_TRUE(has(reqs[0], "BBS=tokyo&KEY=1700000000&NOFIRST=FALSE&START=1"));
    auto log = lines(ReadAll(path(kMachiUrl, "1700000000")));
    ASSERT_EQ(log.size(), 5u);
    // Title on line 1 only; the host bracket (post 3) follows the date.
    EXPECT_TRUE(log[0].ends_with("<>" + Sjis("まち"))) << log[0];
    for (size_t i = 1; i < log.size(); ++i)
        EXPECT_TRUE(log[i].ends_with("<>")) << i;
    EXPECT_TRUE(has(log[2], " [p3.example-isp.test]<>")) << log[2];

    // Posts 6-9 with 7 deleted: START=6, a placeholder for 7, then 8 and 9.
    ASSERT_EQ(machi("1700000000", "&posts=4&delete=7"), "ok");
    fx.sim.clearRequests();
    ASSERT_EQ(fetch(kMachiUrl, "1700000000"), 0) << error.c_str();
    reqs = requestsFor("/bbs/read.cgi?");
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_TRUE(has(reqs[0], "NOFIRST=TRUE&START=6"));
    log = lines(ReadAll(path(kMachiUrl, "1700000000")));
    ASSERT_EQ(log.size(), 9u);
    EXPECT_EQ(log[6], Sjis("欠番<>欠番<>欠番<><>"));
    EXPECT_TRUE(has(log[5], " [p6.example-isp.test]<>"));
}

TEST_F(Foreign, MachiPostSplitAcrossTwoReadsAndBrokenPages) {
    ASSERT_EQ(machi("1700000100", "&posts=4&mode=split"), "ok");
    ASSERT_EQ(fetch(kMachiUrl, "1700000100"), 0);
    auto log = lines(ReadAll(path(kMachiUrl, "1700000100")));
    ASSERT_EQ(log.size(), 4u);
    EXPECT_TRUE(has(log[2], " [p3.example-isp.test]<>"));
    EXPECT_GE(window.of(CTavloMessage::TYPE_WRITEFILE).size(), 2u); // arrived in two runs

    // A header line without its body, then the next header: -202, nothing of it stored.
    ASSERT_EQ(machi("1700000200", "&posts=4&broken=2"), "ok");
    EXPECT_EQ(fetch(kMachiUrl, "1700000200"), -202);
    EXPECT_EQ(CTavloDatFile::Count(CVornString(path(kMachiUrl, "1700000200"))), 0);

    // 10 MB on one line: a clear error, the stored posts untouched.
    ASSERT_EQ(machi("1700000100", "&posts=2&mode=hugeline"), "ok");
    std::string before = ReadAll(path(kMachiUrl, "1700000100"));
    EXPECT_EQ(fetch(kMachiUrl, "1700000100"), -202);
    EXPECT_EQ(ReadAll(path(kMachiUrl, "1700000100")), before);
}

// The thread lists as the services write them, through the parser chosen for the board URL.
TEST_F(Foreign, ListsFromTheServerAreParsed) {
    ASSERT_EQ(
        machi("1700000300", "&posts=3&title=" + std::string("%E9%9B%91%E8%AB%87%28%E4%BB%AE%29")),
        "ok");
    ASSERT_EQ(jbbs("1700000400", "&posts=2&title=" + std::string("%E9%9B%91%E8%AB%87")), "ok");
    const std::pair<const char*, std::string> boards[] = {{kMachiUrl, Sjis("雑談(仮)")},
                                                          {kJbbsUrl, Sjis("雑談")}};
    for (const auto& [url, title] : boards) {
        std::string list = fx.sim.get(std::string(url) + "subject.txt");
        ASSERT_FALSE(list.empty()) << url;
        list.pop_back(); // the LF
        CTavloBbsSubjectManager manager{CVornString(url)};
        ASSERT_EQ(manager.GetParser()->Parse(list.data()), 1) << url;
        EXPECT_EQ(std::string(manager.GetParser()->GetTitle()), title) << url;
        EXPECT_EQ(std::string(manager.GetParser()->GetCount()),
                  url == std::string(kMachiUrl) ? "3" : "2");
    }
}

TEST_F(Foreign, JbbsFetchesFromTheNextPostWithIdAfterTheDate) {
    ASSERT_EQ(jbbs("1700000000", "&posts=4&delete=3&title=" + std::string("%E3%81%97")), "ok");
    ASSERT_EQ(fetch(kJbbsUrl, "1700000000"), 0) << error.c_str();
    EXPECT_TRUE(
        has(requestsFor("/bbs/rawmode.cgi/")[0], "/bbs/rawmode.cgi/game/4321/1700000000/1-n"));
    auto log = lines(ReadAll(path(kJbbsUrl, "1700000000")));
    ASSERT_EQ(log.size(), 4u);
    EXPECT_TRUE(log[0].ends_with("<>" + Sjis("し")));
    EXPECT_TRUE(has(log[0], " ID: "));
    EXPECT_EQ(log[2], Sjis("欠番<>欠番<>欠番<><>"));             // the title field of post 4: empty
    EXPECT_EQ(std::count(log[1].begin(), log[1].end(), '<'), 4); // five fields

    ASSERT_EQ(jbbs("1700000000", "&posts=2"), "ok");
    fx.sim.clearRequests();
    ASSERT_EQ(fetch(kJbbsUrl, "1700000000"), 0);
    EXPECT_TRUE(has(requestsFor("/bbs/rawmode.cgi/")[0], "/1700000000/5-n"));
    EXPECT_EQ(lines(ReadAll(path(kJbbsUrl, "1700000000"))).size(), 6u);
}

TEST_F(Foreign, JbbsErrorsAndBadLinesWriteNothing) {
    ASSERT_EQ(jbbs("1700000100", "&posts=3"), "ok");
    ASSERT_EQ(fetch(kJbbsUrl, "1700000100"), 0);
    std::string before = ReadAll(path(kJbbsUrl, "1700000100"));
    ASSERT_EQ(jbbs("1700000100", "&posts=2"), "ok");
    const std::pair<const char*, int> errors[] = {{"BBS%20NOT%20FOUND", -501},
                                                  {"KEY%20NOT%20FOUND", -502},
                                                  {"THREAD%20NOT%20FOUND", -503},
                                                  {"STORAGE%20IN", -504},
                                                  {"SOMETHING%20ELSE", -505}};
    for (auto [text, code] : errors) {
        ASSERT_EQ(jbbs("1700000100", std::string("&mode=error&error=") + text), "ok");
        EXPECT_EQ(fetch(kJbbsUrl, "1700000100"), code) << text;
    }
    for (const char* mode : {"six", "badeuc"}) {
        ASSERT_EQ(jbbs("1700000100", std::string("&mode=") + mode), "ok");
        EXPECT_EQ(fetch(kJbbsUrl, "1700000100"), -202) << mode;
        EXPECT_EQ(ReadAll(path(kJbbsUrl, "1700000100")), before) << mode;
    }
    ASSERT_EQ(jbbs("1700000100", "&mode="), "ok");
    EXPECT_EQ(fetch(kJbbsUrl, "1700000100"), 0);
    EXPECT_EQ(lines(ReadAll(path(kJbbsUrl, "1700000100"))).size(), 5u);
}

// The conversions on their own: what the registry never shows.
TEST(ForeignConvert, MachiFieldsAndShiftJisBoundaries) {
    addTestDomains();
    CTavloBbsMachi machi(nullptr, CVornString(kMachiUrl), CVornString("1"));
    EXPECT_TRUE(machi.IsTarget());
    EXPECT_TRUE(machi.GetDatUrl().Find("START=1") >= 0);
    // The second byte of "ー" is "[": "[ " only counts where a character starts.
    CVornString page(Sjis("<title>題</title>\n<dt>1 名前：<font><b> <i>名</i> </b></font> "
                          "投稿日： 日付 ID:x<br>ー x[ host.example\n ]<br><dd> 本文 <br><br>\n"));
    ASSERT_EQ(machi.WriteFileConvert(page), 0);
    EXPECT_EQ(page.str(), Sjis("名<><>日付 ID:x [host.example]<>本文<>題\n"));
    CVornString bad(Sjis("<title>no end\n"));
    EXPECT_EQ(machi.WriteFileConvert(bad), -202); // the "<" of "<title>" ends nothing
    CVornString noDate(Sjis("<dt>2 名前：<b><b>x</b><br><dd> y <br><br>\n"));
    EXPECT_EQ(machi.WriteFileConvert(noDate), -202);

    EXPECT_FALSE(
        CTavloBbsMachi(nullptr, CVornString("http://machi-example.test/a/"), CVornString("1"))
            .IsTarget());
    EXPECT_FALSE(CTavloBbsMachi(nullptr, CVornString("http://x.example.test/a/"), CVornString("1"))
                     .IsTarget());
}

TEST(ForeignConvert, LivedoorErrorHeaderAndUrls) {
    addTestDomains();
    EXPECT_EQ(CTavloBbsLivedoor::ErrorCode(CVornString("")), 0);
    EXPECT_EQ(CTavloBbsLivedoor::ErrorCode(CVornString("STORAGE IN")), -504);
    EXPECT_EQ(CTavloBbsLivedoor::ErrorCode(CVornString("?")), -505);
    std::string host, cat, board;
    EXPECT_TRUE(CTavloBbsLivedoor::SplitBoardUrl(CVornString(kJbbsUrl), &host, &cat, &board));
    EXPECT_EQ(cat + "/" + board, "game/4321");
    EXPECT_FALSE(CTavloBbsLivedoor::SplitBoardUrl(CVornString("http://jbbs.example-bbs.test/game/"),
                                                  nullptr, nullptr, nullptr));
    CTavloBbsLivedoor jbbs(nullptr, CVornString(kJbbsUrl), CVornString("1"));
    EXPECT_TRUE(jbbs.GetDatUrl().EndsWith("/bbs/rawmode.cgi/game/4321/1/1-n"));
    CVornString line("1<>n<>m<>d<>b<>t<>\n");
    ASSERT_EQ(jbbs.WriteFileConvert(line), 0);
    EXPECT_EQ(line.str(), "n<>m<>d ID: <>b<>t\n");
}

} // namespace

// Found by fuzzing: a post number in the millions made millions of placeholder lines (each
// with the title again), the converter hanging and the log growing without bound.
TEST(ForeignConvert, HugePostNumbersAreRefusedAndGapsCarryNoTitle) {
    addTestDomains();
    CTavloBbsLivedoor jbbs(nullptr, CVornString(kJbbsUrl), CVornString("1"));
    jbbs.GetDatUrl();
    std::string huge = ReadAll(std::string(TAVLO_SOURCE_DIR) +
                               "/tests/fuzz/corpus/fuzz_jbbs/regression-huge-number");
    ASSERT_FALSE(huge.empty());
    CVornString answer(huge);
    EXPECT_EQ(jbbs.WriteFileConvert(answer), -202);
    // A gap within reason: placeholders, the title on line 1 only.
    CVornString gap(std::string("4<>\xCC\xBE<><>d<>b<>\xC2\xEA<>ID\n")); // 名, 題 in EUC-JP
    ASSERT_EQ(jbbs.WriteFileConvert(gap), 0);
    std::vector<std::string> got = lines(gap.str());
    ASSERT_EQ(got.size(), 4u);
    EXPECT_EQ(got[0], Sjis("欠番<>欠番<>欠番<><>題"));
    EXPECT_EQ(got[1], Sjis("欠番<>欠番<>欠番<><>"));
    EXPECT_EQ(got[3], Sjis("名<><>d ID: ID<>b<>題"));

    CTavloBbsMachi machi(nullptr, CVornString(kMachiUrl), CVornString("1"));
    machi.GetDatUrl();
    CVornString page(Sjis("<dt>99999999 名前：<font><b> x </b></font> 投稿日： d<br><dd> y <br><br>\n"));
    CVornString small(page.str().substr(0, 5) + page.str().substr(12));
    EXPECT_EQ(machi.WriteFileConvert(small), 0); // post 9: eight placeholders first
    EXPECT_EQ(lines(small.str()).size(), 9u);
    EXPECT_EQ(machi.WriteFileConvert(page), -202);
}
