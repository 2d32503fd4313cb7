// Today's protocol of the live services through the board server's live mode: HTTPS through
// CONNECT with a CA the test makes, the menu, lists and logs, oyster, Machi's offlaw.cgi/2,
// JBBS over https, the posting round with its ticket cookie, the cookie jar and a board moved
// to 5ch.io. Certificates that do not verify end the fetch without plain HTTP.
#include "fetch_support.h"
#include "live_certs.h"
#include "tavlo_article_file.h"
#include "tavlo_bbs_manager.h"
#include "tavlo_board_menu.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_cookie_file.h"
#include "tavlo_path.h"
#include "tavlo_post.h"
#include "tavlo_subject_file.h"
#include "vorn_file.h"

#include <climits>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char kSoft[] = "http://mi.5ch.io/software/";
const char kMenu[] = "https://menu.5ch.io/bbsmenu.html";

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Live : public ::testing::Test {
protected:
    explicit Live(bool rogue = false) : fx(LiveCerts::Get().simArgs(rogue)) {}
    void SetUp() override {
        ASSERT_TRUE(fx.sim.ok());
        trust.Enter();
        VornCreateDirectories(fx.root().c_str());
        hooks.message = [this](const std::string& text, int) {
            shown.push_back(text);
            return 1;
        };
    }
    void TearDown() override {
        CTavloBookmarkFile::Destroy();
        CTavloCookieFile::Instance().Clear();
    }
    std::string ctl(const std::string& op, const std::string& query) {
        return fx.sim.control("/_ctl/" + op + "?" + query);
    }
    int fetch(const std::string& boardUrl, const std::string& key) {
        error.Empty();
        return CTavloBbsManager::Instance().Fetch(CVornString(boardUrl), CVornString(key), &window,
                                                  error);
    }
    std::string logPath(const std::string& boardUrl, const std::string& key) {
        return CTavloPath::GetLogPath(CVornString(boardUrl), CVornString(key)).str();
    }
    std::vector<std::string> requestsFor(const std::string& part) {
        std::vector<std::string> out;
        for (auto& line : fx.sim.requests())
            if (has(line, part))
                out.push_back(line);
        return out;
    }
    // No request of the run went to a live host in plain HTTP.
    void expectNoPlainHttp() {
        for (auto& line : fx.sim.requests())
            for (const char* host : {"5ch.io", "5ch.net", "machi.to", "shitaraba.net"})
                EXPECT_FALSE(has(line, "\"url\": \"http://") && has(line, host) &&
                             !has(line, "/_ctl/"))
                    << line;
    }
    int post(const char* body, const std::string& key) {
        CTavloPostRequest r;
        r.BoardUrl = kSoft;
        r.Key = CVornString(key);
        r.Name = Sjis("名無し");
        r.Body = Sjis(body);
        CTavloPoster poster(hooks);
        return poster.Submit(r);
    }

    BoardFixture fx;
    RecordingWindow window;
    CVornString error;
    CTavloPoster::Hooks hooks;
    std::vector<std::string> shown;
    TrustLiveCa trust;
};

class RogueLive : public Live {
protected:
    RogueLive() : Live(true) {}
};

} // namespace

TEST_F(Live, HttpsMenuBoardAndThreadByDifference) {
    CTavloBoardFile board;
    ASSERT_EQ(board.CreateFromHttp(CVornString(kMenu), &window), 0);
    // The https links read as the store form.
    EXPECT_GE(board.FindUrl(CVornString(kSoft)), 0);

    CTavloSubjectFile list;
    CVornString local = CTavloPath::GetBoardDirectory(CVornString(kSoft)) + "/subject.txt";
    ASSERT_EQ(list.CreateFromHttp(local, CVornString(std::string(kSoft) + "subject.txt"), &window),
              0);
    EXPECT_GT(list.GetCount(), 0);

    const std::string key = "1700001900";
    ASSERT_EQ(ctl("create", "host=mi.5ch.io&board=software&key=" + key + "&posts=10"), "ok");
    ASSERT_EQ(fetch(kSoft, key), 0);
    ASSERT_EQ(ctl("append", "host=mi.5ch.io&board=software&key=" + key + "&n=4"), "ok");
    fx.sim.clearRequests();
    ASSERT_EQ(fetch(kSoft, key), 0);
    EXPECT_EQ(ReadAll(logPath(kSoft, key)), ctl("dat", "host=mi.5ch.io&board=software&key=" + key));
    auto reqs = requestsFor("https://mi.5ch.io/software/dat/" + key + ".dat");
    ASSERT_EQ(reqs.size(), 1u);
    EXPECT_TRUE(has(reqs[0], "\"range\": \"bytes="));
    EXPECT_TRUE(has(reqs[0], "\"status\": 206"));
    EXPECT_TRUE(has(reqs[0], "Monazilla/1.00"));
    expectNoPlainHttp();
    // The https address of the board names the same directory.
    EXPECT_EQ(CTavloPath::GetBoardDirectory(CVornString("https://mi.5ch.io/software/")),
              CTavloPath::GetBoardDirectory(CVornString(kSoft)));
}

TEST_F(Live, ThreadGoneFromTheBoardComesFromOysterBeforeTheArchive) {
    for (std::string key : {"123456789", "1700001901"}) {
        ASSERT_EQ(ctl("create", "host=mi.5ch.io&board=software&key=" + key + "&posts=10"), "ok");
        ASSERT_EQ(fetch(kSoft, key), 0);
        ASSERT_EQ(ctl("mode", "host=mi.5ch.io&board=software&key=" + key + "&mode=gone"), "ok");
        ASSERT_EQ(ctl("append", "host=mi.5ch.io&board=software&key=" + key + "&n=3"), "ok");
        fx.sim.clearRequests();
        ASSERT_EQ(fetch(kSoft, key), 0) << key;
        EXPECT_EQ(CTavloDatFile::Count(CVornString(logPath(kSoft, key))), 13) << key;
        auto reqs = requestsFor("/software/oyster/" + key.substr(0, 4) + "/" + key + ".dat");
        ASSERT_EQ(reqs.size(), 1u) << key;
        EXPECT_TRUE(has(reqs[0], "\"status\": 200"));
        EXPECT_TRUE(requestsFor("/kako/").empty()) << key;
    }
    // Not in oyster either: the classic archive kinds follow, and the log stays.
    const std::string key = "1700001902";
    ASSERT_EQ(ctl("create", "host=mi.5ch.io&board=software&key=" + key + "&posts=4"), "ok");
    ASSERT_EQ(fetch(kSoft, key), 0);
    std::string before = ReadAll(logPath(kSoft, key));
    ASSERT_EQ(ctl("kako", "host=mi.5ch.io&board=software&key=" + key + "&forms=none"), "ok");
    ASSERT_EQ(ctl("mode", "host=mi.5ch.io&board=software&key=" + key + "&mode=html"), "ok");
    fx.sim.clearRequests();
    EXPECT_NE(fetch(kSoft, key), 0);
    EXPECT_EQ(ReadAll(logPath(kSoft, key)), before);
}

TEST_F(Live, ReplyPassesTheConfirmationRoundAndTheTicketOutlivesARestart) {
    const std::string key = "1700001903";
    ASSERT_EQ(ctl("create", "host=mi.5ch.io&board=software&key=" + key + "&posts=2"), "ok");
    const int64_t before = static_cast<int64_t>(std::time(nullptr));
    ASSERT_EQ(post("今日の返信", key), 0);
    std::string posts = fx.sim.control("/_ctl/liveposts");
    // One confirmation, then the post with every field of the form and the ticket.
    EXPECT_TRUE(has(posts, "\"answer\": \"confirm\""));
    EXPECT_TRUE(has(posts, "\"answer\": \"posted\""));
    EXPECT_TRUE(has(posts, "\"feature\""));
    EXPECT_TRUE(has(posts, "oekaki_thread1"));
    EXPECT_TRUE(has(posts, "MonaTicket=tk-software"));
    EXPECT_TRUE(
        has(posts, "\"referer\": \"https://mi.5ch.io/test/read.cgi/software/" + key + "/\""));
    size_t t = posts.find("[\"time\", \"");
    ASSERT_NE(t, std::string::npos);
    long long sent = atoll(posts.c_str() + t + 10);
    EXPECT_LE(sent, before - 29);
    EXPECT_GE(sent, before - 120);
    EXPECT_TRUE(has(ctl("dat", "host=mi.5ch.io&board=software&key=" + key), Sjis("今日の返信")));

    // The jar is a file of its own, readable only by its owner.
    std::string jar = CTavloCookieFile::GetDefaultPath().str();
    struct stat st {};
    ASSERT_EQ(stat(jar.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_TRUE(has(ReadAll(jar), "MonaTicket"));

    // A restart: the jar comes back from its file, and the next post needs no confirmation.
    CTavloCookieFile::Instance().Clear();
    ASSERT_EQ(CTavloCookieFile::Instance().Load(CVornString(jar)), true);
    ASSERT_EQ(fx.sim.control("/_ctl/reset"), "ok");
    ASSERT_EQ(ctl("create", "host=mi.5ch.io&board=software&key=" + key + "&posts=2"), "ok");
    ASSERT_EQ(post("再起動後", key), 0);
    posts = fx.sim.control("/_ctl/liveposts");
    EXPECT_FALSE(has(posts, "\"answer\": \"confirm\"")) << posts;
    EXPECT_TRUE(has(posts, "\"answer\": \"posted\""));
    // Every request to the live hosts carries it, fetches as well.
    fx.sim.clearRequests();
    ASSERT_EQ(fetch(kSoft, key), 0);
    auto reqs = requestsFor("/software/dat/" + key + ".dat");
    ASSERT_FALSE(reqs.empty());
    EXPECT_TRUE(has(reqs[0], "MonaTicket=tk-software"));
}

TEST_F(Live, AcornRefusalIsShownAsItComes) {
    const std::string key = "1700001904";
    ASSERT_EQ(ctl("create", "host=mi.5ch.io&board=software&key=" + key + "&posts=2"), "ok");
    ASSERT_EQ(ctl("livepost", "host=mi.5ch.io&board=software&mode=acorn"), "ok");
    std::string before = ctl("dat", "host=mi.5ch.io&board=software&key=" + key);
    EXPECT_EQ(post("どんぐり", key), -602);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_TRUE(has(shown[0], "ERROR: どんぐりレベルが足りません。(acorn)")) << shown[0];
    EXPECT_EQ(ctl("dat", "host=mi.5ch.io&board=software&key=" + key), before);
}

TEST_F(Live, MachiOverOfflaw2AndJbbsOverHttps) {
    const char machi[] = "http://tokyo.machi.to/tokyo/";
    const std::string key = "1700001905";
    ASSERT_EQ(ctl("create", "host=tokyo.machi.to&board=tokyo&key=" + key + "&posts=6"), "ok");
    ASSERT_EQ(ctl("machidel", "host=tokyo.machi.to&board=tokyo&key=" + key + "&post=3"), "ok");
    ASSERT_EQ(fetch(machi, key), 0);
    std::string log = ReadAll(logPath(machi, key));
    EXPECT_EQ(CTavloDatFile::Count(CVornString(logPath(machi, key))), 6);
    EXPECT_TRUE(has(log, Sjis("欠番<>欠番<>欠番<><>")));
    ASSERT_EQ(ctl("append", "host=tokyo.machi.to&board=tokyo&key=" + key + "&n=2"), "ok");
    fx.sim.clearRequests();
    ASSERT_EQ(fetch(machi, key), 0);
    EXPECT_EQ(CTavloDatFile::Count(CVornString(logPath(machi, key))), 8);
    EXPECT_EQ(requestsFor("https://tokyo.machi.to/bbs/offlaw.cgi/2/tokyo/" + key + "/7-").size(),
              1u);

    const char jbbs[] = "http://jbbs.shitaraba.net/game/1234/";
    ASSERT_EQ(ctl("jbbs", "category=game&number=1234&key=" + key + "&posts=5"), "ok");
    ASSERT_EQ(fetch(jbbs, key), 0);
    EXPECT_EQ(CTavloDatFile::Count(CVornString(logPath(jbbs, key))), 5);
    EXPECT_EQ(requestsFor("https://jbbs.shitaraba.net/bbs/rawmode.cgi/game/1234/" + key).size(),
              1u);
    expectNoPlainHttp();
}

TEST_F(Live, MachiAndJbbsRepliesGoToWriteCgiOverHttps) {
    const std::string key = "1700001906";
    ASSERT_EQ(ctl("create", "host=tokyo.machi.to&board=tokyo&key=" + key + "&posts=2"), "ok");
    for (const char* board : {"http://tokyo.machi.to/tokyo/", "http://jbbs.shitaraba.net/game/1234/"}) {
        CTavloPostRequest r;
        r.BoardUrl = board;
        r.Key = CVornString(key);
        r.Body = Sjis("まちの返信");
        CTavloPoster poster(hooks);
        EXPECT_EQ(poster.Submit(r), 0) << board;
    }
    EXPECT_EQ(requestsFor("https://tokyo.machi.to/bbs/write.cgi").size(), 1u);
    EXPECT_EQ(requestsFor("https://jbbs.shitaraba.net/bbs/write.cgi").size(), 1u);
    std::string posts = fx.sim.control("/_ctl/posts");
    EXPECT_TRUE(has(posts, "\"referer\": \"https://tokyo.machi.to/tokyo/\"")) << posts;
    EXPECT_TRUE(has(posts, "\"referer\": \"https://jbbs.shitaraba.net/game/1234/\"")) << posts;
    EXPECT_TRUE(has(ctl("dat", "host=tokyo.machi.to&board=tokyo&key=" + key), Sjis("まちの返信")));
    expectNoPlainHttp();
}

TEST_F(Live, BoardOf5chNetMovesTo5chIoWithLogsReadStateAndBookmarks) {
    const char oldUrl[] = "http://egg.5ch.net/egg/";
    const char newUrl[] = "http://egg.5ch.io/egg/";
    CTavloBoardFile board;
    CTavloMenuReport report;
    CTavloBoardMenu menu(&window);
    ASSERT_EQ(menu.Refresh(board, CVornString(kMenu), report), 1);
    ASSERT_GE(board.FindUrl(CVornString(oldUrl)), 0);
    const std::string key = "1700001906";
    ASSERT_EQ(ctl("create", "host=egg.5ch.net&board=egg&key=" + key + "&posts=5"), "ok");
    ASSERT_EQ(fetch(oldUrl, key), 0);
    CTavloArticleFile seen;
    seen.Load(CVornString(oldUrl));
    seen.SetSeen(CVornString(key), 5);
    ASSERT_EQ(seen.Save(), 1);
    {
        CTavloBookmarkFile& marks = CTavloBookmarkFile::Instance();
        marks.Load(CTavloBookmarkFile::GetDefaultPath());
        marks.Add(CVornString(oldUrl), "title", CVornString(key), "name", "egg");
        ASSERT_EQ(marks.Save(), 1);
        CTavloBookmarkFile::Destroy();
    }

    ASSERT_EQ(ctl("move", "host=egg.5ch.net&board=egg&to=egg.5ch.io"), "ok");
    report.Clear();
    ASSERT_EQ(menu.Refresh(board, CVornString(kMenu), report), 1);
    ASSERT_EQ(report.moves.size(), 1u);
    EXPECT_EQ(report.moves[0].newUrl, newUrl);
    EXPECT_TRUE(VornFileExists(logPath(newUrl, key).c_str()));
    EXPECT_FALSE(VornFileExists(logPath(oldUrl, key).c_str()));
    CTavloArticleFile moved;
    ASSERT_TRUE(moved.Load(CVornString(newUrl)));
    EXPECT_EQ(moved.GetSeen(CVornString(key)), 5);
    EXPECT_TRUE(has(ReadAll(fx.root() + "/bookmark2.txt"), std::string(newUrl) + key));
    // The log goes on from the new host by difference.
    ASSERT_EQ(ctl("append", "host=egg.5ch.io&board=egg&key=" + key + "&n=2"), "ok");
    fx.sim.clearRequests();
    ASSERT_EQ(fetch(newUrl, key), 0);
    EXPECT_EQ(CTavloDatFile::Count(CVornString(logPath(newUrl, key))), 7);
    EXPECT_TRUE(has(requestsFor("https://egg.5ch.io/egg/dat/" + key)[0], "\"status\": 206"));
}

TEST_F(RogueLive, CertificateThatDoesNotVerifyEndsTheFetchWithoutPlainHttp) {
    const std::string key = "1700001907";
    ASSERT_EQ(ctl("create", "host=mi.5ch.io&board=software&key=" + key + "&posts=3"), "ok");
    fx.sim.clearRequests();
    EXPECT_EQ(fetch(kSoft, key), -100);
    EXPECT_TRUE(has(error.str(), Sjis("証明書を検証できません: mi.5ch.io ("))) << error.str();
    EXPECT_FALSE(VornFileExists(logPath(kSoft, key).c_str()) &&
                 !ReadAll(logPath(kSoft, key)).empty());
    EXPECT_FALSE(requestsFor("\"method\": \"CONNECT\"").empty());
    EXPECT_TRUE(requestsFor("/software/dat/").empty());
    expectNoPlainHttp();
}

// The jar on its own: attributes, matching, and files that are not whole.
TEST(CookieJar, AttributesDomainsPathsAndExpiry) {
    const int64_t now = 1800000000;
    CTavloCookieFile jar;
    EXPECT_TRUE(jar.Take("mi.5ch.io", "/test/bbs.cgi", "a=1; Domain=.5ch.io; Path=/", now));
    EXPECT_TRUE(jar.Take("mi.5ch.io", "/b", "b=2; domain=5ch.io; max-age=60", now));
    // Without Path: the request's directory.
    EXPECT_TRUE(jar.Take("mi.5ch.io", "/test/bbs.cgi", "p=9", now));
    EXPECT_EQ(jar.HeaderFor("mi.5ch.io", "/test/read.cgi/x/1/", true, now), "p=9; a=1; b=2");
    EXPECT_EQ(jar.HeaderFor("mi.5ch.io", "/testing", true, now), "a=1; b=2");
    EXPECT_TRUE(
        jar.Take("mi.5ch.io", "/software/dat/1.dat", "c=3", now)); // host only, /software/dat
    EXPECT_TRUE(jar.Take("mi.5ch.io", "/", "d=4; expires=Fri, 01-Jan-2038 00:00:00 GMT", now));
    // Refused: another domain, a bare top-level domain, no name, garbage.
    EXPECT_FALSE(jar.Take("mi.5ch.io", "/", "e=5; Domain=example.com", now));
    EXPECT_FALSE(jar.Take("mi.5ch.io", "/", "f=6; Domain=.io", now));
    EXPECT_FALSE(jar.Take("mi.5ch.io", "/", "bare", now));
    EXPECT_FALSE(jar.Take("mi.5ch.io", "/", "=x", now));
    EXPECT_FALSE(jar.Take("mi.5ch.io", "/", "g h=1", now));
    EXPECT_FALSE(jar.Take("mi.5ch.io", "/", "g=1\t2", now));
    EXPECT_EQ(jar.HeaderFor("mi.5ch.io", "/software/dat/2.dat", true, now), "c=3; a=1; b=2; d=4");
    EXPECT_EQ(jar.HeaderFor("other.5ch.io", "/", true, now), "a=1; b=2");
    EXPECT_EQ(jar.HeaderFor("other.5ch.io", "/", true, now + 61), "a=1");
    EXPECT_EQ(jar.HeaderFor("5ch.io.example", "/", true, now), "");
    // An expired cookie removes its name's cookie; Max-Age wins over Expires.
    EXPECT_TRUE(jar.Take("mi.5ch.io", "/", "d=4; expires=Thu, 01 Jan 1970 00:00:00 GMT", now));
    EXPECT_TRUE(jar.Take("mi.5ch.io", "/test/x", "a=0; Domain=5ch.io; Path=/; Max-Age=0", now));
    EXPECT_TRUE(
        jar.Take("mi.5ch.io", "/", "h=8; Max-Age=100; expires=Thu, 01 Jan 1970 00:00:00 GMT", now));
    EXPECT_EQ(jar.HeaderFor("mi.5ch.io", "/", true, now), "b=2; h=8");
    // An unreadable date leaves a session cookie, which is not written to the file.
    EXPECT_TRUE(jar.Take("mi.5ch.io", "/", "s=1; expires=tomorrow", now));
    EXPECT_FALSE(has(jar.Format(now), "\ts\t"));
    EXPECT_TRUE(has(jar.Format(now), "\tb\t2\n"));
}

TEST(CookieJar, CutOrGarbageFileIsIgnoredAndRewritten) {
    TempDir dir;
    const std::string path = dir.file("cookies.txt");
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    CTavloCookieFile jar;
    jar.Load(CVornString(path));
    ASSERT_TRUE(jar.Take("mi.5ch.io", "/", "t=1; Max-Age=3600; Domain=.5ch.io", now));
    ASSERT_TRUE(jar.Take("mi.5ch.io", "/", "u=2; Max-Age=3600", now));
    const std::string whole = ReadAll(path);
    ASSERT_TRUE(has(whole, "# end 2\n"));
    CTavloCookieFile again;
    EXPECT_TRUE(again.Load(CVornString(path)));
    EXPECT_EQ(again.HeaderFor("mi.5ch.io", "/", true, now), "t=1; u=2");

    for (std::string bad :
         {whole.substr(0, whole.size() / 2), whole.substr(0, whole.rfind("# end")),
          std::string("\x01\xff garbage\n\n\t\t"), std::string(),
          whole.substr(0, 17) + "x\tnot\tnumbers\t?\t?\ta\tb\n# end 1\n"}) {
        WriteAll(path, bad);
        CTavloCookieFile cut;
        EXPECT_FALSE(cut.Load(CVornString(path)));
        EXPECT_EQ(cut.Size(), 0u);
        EXPECT_EQ(ReadAll(path), "# tavlo cookies 1\n# end 0\n");
        // The next change writes a whole jar over it.
        ASSERT_TRUE(cut.Take("mi.5ch.io", "/", "v=3; Max-Age=3600", now));
        CTavloCookieFile back;
        EXPECT_TRUE(back.Load(CVornString(path)));
        EXPECT_EQ(back.HeaderFor("mi.5ch.io", "/", true, now), "v=3");
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 0777, 0600u);
    }
}
