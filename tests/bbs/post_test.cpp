// Posting against the local board server: routes of every host row, form orders and
// encodings, the confirmation rounds, error pages, handset mode, the viewer-login retry and
// broken answers.
#include "fetch_support.h"
#include "live_certs.h"
#include "tavlo_domains.h"
#include "tavlo_post.h"
#include "vorn_http_client.h"
#include "vorn_kcode.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomic>
#include <chrono>
#include <ctime>
#include <thread>

#include <gtest/gtest.h>

namespace {

const char kHost[] = "news.example-bbs.test";

struct Post {
    std::vector<std::pair<std::string, std::string>> fields; // raw, in order
    QJsonObject text;
    std::string cookie, referer, agent;
    std::vector<std::pair<std::string, std::string>> headers;
    long long pageTime = 0;
    std::string key;
    std::vector<std::string> names() const {
        std::vector<std::string> out;
        for (auto& f : fields)
            out.push_back(f.first);
        return out;
    }
    std::string raw(const std::string& name) const {
        for (auto& f : fields)
            if (f.first == name)
                return f.second;
        return "<missing>";
    }
    std::string txt(const char* name) const { return text.value(name).toString().toStdString(); }
};

std::string Enc(const char* utf8) {
    return CVornString(Sjis(utf8)).UrlEncode().str();
}

class Posting : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.sim.ok());
        // Machi and JBBS answer their write.cgi over TLS only.
        trust.Enter();
        hooks.message = [this](const std::string& text, int flags) {
            shown.push_back(text);
            return (flags & 0xF) == 4 ? answer : 1;
        };
        hooks.stop = [this] { return stop.load(); };
    }
    std::vector<Post> posts() {
        std::vector<Post> out;
        QJsonDocument doc =
            QJsonDocument::fromJson(QByteArray::fromStdString(fx.sim.control("/_ctl/posts")));
        for (const QJsonValue& v : doc.array()) {
            QJsonObject o = v.toObject();
            Post p;
            for (const QJsonValue& f : o.value("fields").toArray())
                p.fields.emplace_back(f.toArray()[0].toString().toStdString(),
                                      f.toArray()[1].toString().toStdString());
            for (const QJsonValue& h : o.value("headers").toArray())
                p.headers.emplace_back(h.toArray()[0].toString().toStdString(),
                                       h.toArray()[1].toString().toStdString());
            p.text = o.value("text").toObject();
            p.cookie = o.value("cookie").toString().toStdString();
            p.referer = o.value("referer").toString().toStdString();
            p.agent = o.value("agent").toString().toStdString();
            p.pageTime = static_cast<long long>(o.value("page_time").toDouble());
            p.key = o.value("key").toString().toStdString();
            out.push_back(p);
        }
        return out;
    }
    void mode(const std::string& host, const std::string& board, const std::string& m) {
        ASSERT_EQ(fx.sim.control("/_ctl/postmode?host=" + host + "&board=" + board + "&mode=" + m),
                  "ok");
    }
    CTavloPostRequest reply(const char* body,
                            const char* boardUrl = "http://news.example-bbs.test/news/") {
        CTavloPostRequest r;
        r.BoardUrl = boardUrl;
        r.Key = key;
        r.Name = Sjis("名無し");
        r.Mail = "sage";
        r.Body = Sjis(body);
        return r;
    }
    int submit(const CTavloPostRequest& r) {
        CTavloPoster poster(hooks);
        int result = poster.Submit(r);
        rounds = poster.GetRounds();
        return result;
    }

    BoardFixture fx{LiveCerts::Get().simArgs()};
    TrustLiveCa trust;
    CTavloPoster::Hooks hooks;
    std::vector<std::string> shown;
    int answer = TAVLO_IDYES_FOR_TEST;
    std::atomic<bool> stop{false};
    int rounds = 0;
    std::string key = "1700000300";
    static constexpr int TAVLO_IDYES_FOR_TEST = 6;
};

TEST(PostRoute, EveryHostRowGivesItsPathBoardAndFamily) {
    struct Row {
        const char* url;
        int row;
        const char* post;
        const char* board;
        const char* dir;
        int family;
        bool redirect;
    } rows[] = {
        {"http://tokyo.machi.to/tokyo/", 1, "http://tokyo.machi.to/bbs/write.cgi", "tokyo", "",
         TAVLO_POST_MACHI, true},
        {"http://jbbs.shitaraba.net/game/1234/", 2, "http://jbbs.shitaraba.net/bbs/write.cgi",
         "1234", "game", TAVLO_POST_LIVEDOOR, true},
        {"http://football-a.example-live.test/cgi-bin/12ch/wc/", 3,
         "http://football-a.example-live.test/cgi-bin/12ch/test/bbs.cgi", "wc", "",
         TAVLO_POST_FOOTBALL, true},
        {"http://football-b.example-live.test/12ch/euro/", 4,
         "http://football-b.example-live.test/12ch/test/bbs.cgi", "euro", "", TAVLO_POST_FOOTBALL,
         true},
        {"http://radio.example-live.test/cgi-bin/am/", 5,
         "http://radio.example-live.test/cgi-bin/test/bbs.cgi", "am", "", TAVLO_POST_2CH, false},
        {"http://chat2.example-live.test/cgi-bin/talk/", 6,
         "http://chat2.example-live.test/cgi-bin/test/bbs.cgi", "talk", "", TAVLO_POST_2CH, false},
        {"http://live1.example-live.test/cgi-bin/tv/", 7,
         "http://live1.example-live.test/cgi-bin/test/bbs.cgi", "tv", "", TAVLO_POST_2CH, true},
        {"http://news.example-bbs.test/news/", 8, "http://news.example-bbs.test/test/bbs.cgi",
         "news", "", TAVLO_POST_2CH, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.url);
        CTavloPostRoute route = CTavloPostRoute::For(CVornString(r.url));
        EXPECT_EQ(route.Row, r.row);
        EXPECT_EQ(route.PostUrl.str(), r.post);
        EXPECT_EQ(route.Board.str(), r.board);
        EXPECT_EQ(route.Dir.str(), r.dir);
        EXPECT_EQ(route.Family, r.family);
        EXPECT_EQ(route.Success302, r.redirect);
    }
    // A host that only ends like a Machi domain is not one.
    EXPECT_EQ(CTavloPostRoute::For(CVornString("http://notmachi.to/x/")).Row, 8);
}

TEST(PostPage, ErrorTextsAndConfirmationAreRecognised) {
    CVornString err;
    CVornString page(Sjis("<html><!-- 2ch_X:error --><b>ERROR: 本文がありません</b></html>"));
    EXPECT_EQ(TavloClassifyPostPage(page, false, &err), -602);
    EXPECT_EQ(err.str(), Sjis("ERROR: 本文がありません"));
    page = CVornString("<title>Error</title><font color=red>slow down</font>");
    EXPECT_EQ(TavloClassifyPostPage(page, false, &err), -602);
    EXPECT_EQ(err.str(), "slow down");
    page = CVornString(Sjis("<title>ＥＲＲＯＲ！</title>plain"));
    EXPECT_EQ(TavloClassifyPostPage(page, false, &err), -602);
    EXPECT_EQ(err.str(), Sjis("書き込めませんでした"));
    page = CVornString("<!-- 2ch_X:cookie --><b>x</b>");
    EXPECT_EQ(TavloClassifyPostPage(page, false, &err), -603);
    page = CVornString("<html>done</html>");
    EXPECT_EQ(TavloClassifyPostPage(page, false, &err), 0);
    // EUC-JP pages of the JBBS and be hosts give Shift_JIS texts.
    CVornString euc(Sjis("<!-- 2ch_X:error --><b>エラーです</b>"));
    euc.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_EUC);
    EXPECT_EQ(TavloClassifyPostPage(euc, true, &err), -602);
    EXPECT_EQ(err.str(), Sjis("エラーです"));
}

TEST(PostPage, ConfirmationTakesCookiesHiddenFieldsTimeAndButton) {
    CVornString page(Sjis("<input type=hidden name=\"a\" value=\"x&amp;y\">"
                          "<input type=\"hidden\" name=b value=2>"
                          "<input type=hidden name=time value=1000>"
                          "<input type=submit value=\"承諾\" name=\"go\">"));
    CTavloConfirmation c = TavloParseConfirmation(
        {CVornString("A=1; path=/"), CVornString("novalue"), CVornString("B=2; x")}, page, 5000);
    EXPECT_EQ(c.Cookie.str(), "A=1; B=2");
    ASSERT_EQ(c.Hidden.size(), 3u);
    EXPECT_EQ(c.Hidden[0].first.str(), "a");
    EXPECT_EQ(c.Hidden[0].second.str(), "x%26y");
    EXPECT_EQ(c.Hidden[1].first.str(), "b");
    EXPECT_EQ(c.Time.str(), "985");
    EXPECT_EQ(c.SubmitName.str(), "go");
    EXPECT_EQ(c.SubmitValue.str(), Enc("承諾"));
    // Without a time field: three days before now.
    EXPECT_EQ(TavloParseConfirmation({}, CVornString("x"), 300000).Time.str(), "40800");
}

TEST_F(Posting, ReplyGoesThroughOneConfirmationRoundAndShowsAfterReload) {
    ASSERT_EQ(fx.sim.control("/_ctl/create?host=news.example-bbs.test&board=news&key=" + key +
                             "&posts=3"),
              "ok");
    const long long before = static_cast<long long>(std::time(nullptr));
    ASSERT_EQ(submit(reply("テスト本文\r\n二行目")), 0);
    EXPECT_TRUE(shown.empty());
    EXPECT_EQ(rounds, 1);
    std::vector<Post> p = posts();
    ASSERT_EQ(p.size(), 2u);
    // First: the form in its order, three days back, the NAME/MAIL cookie, Referer board URL.
    EXPECT_EQ(p[0].names(), (std::vector<std::string>{"submit", "FROM", "mail", "MESSAGE", "bbs",
                                                      "time", "key"}));
    EXPECT_EQ(p[0].raw("submit"), Enc("書き込む"));
    EXPECT_EQ(p[0].raw("FROM"), Enc("名無し"));
    EXPECT_EQ(p[0].raw("MESSAGE"), Enc("テスト本文\r\n二行目"));
    EXPECT_EQ(p[0].raw("bbs"), "news");
    EXPECT_EQ(p[0].raw("key"), key);
    long long t = std::stoll(p[0].raw("time"));
    EXPECT_GE(t, before - 259200);
    EXPECT_LE(t, static_cast<long long>(std::time(nullptr)) - 259200);
    EXPECT_EQ(p[0].cookie, "NAME=" + Enc("名無し") + "; MAIL=sage");
    EXPECT_EQ(p[0].referer, "http://news.example-bbs.test/news/");
    // Second: cookies from Set-Cookie, hidden fields, time and button moved to the end.
    EXPECT_EQ(p[1].cookie, "PON=a1b2c3; yuki=akari");
    EXPECT_EQ(p[1].names(), (std::vector<std::string>{"FROM", "mail", "MESSAGE", "bbs", "key",
                                                      "yuki", "feature", "time", "submit"}));
    EXPECT_EQ(p[1].raw("feature"), "a%26b");
    EXPECT_EQ(std::stoll(p[1].raw("time")), p[0].pageTime - 15);
    EXPECT_EQ(p[1].raw("submit"), Enc("上記全てを承諾して書き込む"));
    EXPECT_EQ(p[1].referer, "http://news.example-bbs.test/test/bbs.cgi");
    // The thread's log now ends with the post.
    std::string dat = fx.sim.get("http://news.example-bbs.test/news/dat/" + key + ".dat");
    EXPECT_NE(dat.find(Sjis("名無し<>sage<>")), std::string::npos);
    EXPECT_NE(dat.find(Sjis("テスト本文 <br> 二行目")), std::string::npos);
}

TEST_F(Posting, TenConfirmationPagesEndThePost) {
    mode(kHost, "news", "confirm");
    EXPECT_EQ(submit(reply("本文")), -602);
    EXPECT_EQ(posts().size(), 10u);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "書き込めませんでした");
}

TEST_F(Posting, ErrorPagesShowTheBoldTheRedOrTheGeneralText) {
    const std::pair<const char*, const char*> cases[] = {
        {"error-bold", "ERROR: 本文が長すぎます！"},
        {"error-red", "ERROR: 連続投稿ですか？"},
        {"error-plain", "書き込めませんでした"},
        {"utf8", "ERROR: 混雑しています"},
    };
    for (auto& [m, text] : cases) {
        SCOPED_TRACE(m);
        shown.clear();
        mode(kHost, "news", m);
        EXPECT_EQ(submit(reply("本文")), -602);
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0], text);
    }
}

TEST_F(Posting, EmptyBodyOpensNoConnection) {
    EXPECT_EQ(submit(reply("")), -600);
    EXPECT_TRUE(posts().empty());
    EXPECT_TRUE(shown.empty());
}

TEST_F(Posting, NewThreadOnARow8BoardAppearsInItsList) {
    CTavloPostRequest r = reply("最初の書き込み");
    r.Key = "";
    r.Title = Sjis("新スレ立てテスト");
    mode(kHost, "news", "direct");
    ASSERT_EQ(submit(r), 0);
    std::vector<Post> p = posts();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].names(), (std::vector<std::string>{"submit", "FROM", "mail", "MESSAGE", "bbs",
                                                      "subject", "time"}));
    EXPECT_EQ(p[0].raw("subject"), Enc("新スレ立てテスト"));
    std::string list = fx.sim.get("http://news.example-bbs.test/news/subject.txt");
    EXPECT_NE(list.find(p[0].key + ".dat<>" + Sjis("新スレ立てテスト (1)")), std::string::npos);
}

TEST_F(Posting, LivedoorSendsDirAndBoardInEucJpAndTakes302) {
    ASSERT_EQ(submit(reply("ＥＵＣ本文", "http://jbbs.shitaraba.net/game/1234/")), 0);
    std::vector<Post> p = posts();
    ASSERT_EQ(p.size(), 1u);
    EXPECT_EQ(p[0].names(),
              (std::vector<std::string>{"DIR", "BBS", "KEY", "TIME", "NAME", "MAIL", "MESSAGE"}));
    EXPECT_EQ(p[0].raw("DIR"), "game");
    EXPECT_EQ(p[0].raw("BBS"), "1234");
    CVornString euc(Sjis("ＥＵＣ本文"));
    euc.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_EUC);
    EXPECT_EQ(p[0].raw("MESSAGE"), CVornString(euc).UrlEncode().str());
    EXPECT_EQ(p[0].txt("MESSAGE"), "ＥＵＣ本文");
    EXPECT_TRUE(p[0].cookie.empty());
}

TEST_F(Posting, MachiAndFootballFormsAndTheir302) {
    CTavloPostRequest r = reply("まち", "http://tokyo.machi.to/tokyo/");
    r.Key = "";
    r.Title = Sjis("題");
    ASSERT_EQ(submit(r), 0);
    ASSERT_EQ(submit(reply("サッカー", "http://football-a.example-live.test/cgi-bin/12ch/wc/")), 0);
    ASSERT_EQ(submit(reply("実況", "http://live2.example-live.test/cgi-bin/tv/")), 0);
    std::vector<Post> p = posts();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].names(),
              (std::vector<std::string>{"BBS", "SUBJECT", "TIME", "NAME", "MAIL", "MESSAGE"}));
    EXPECT_EQ(p[1].names(), (std::vector<std::string>{"submit", "bbs", "key", "time", "FROM",
                                                      "mail", "MESSAGE"}));
    EXPECT_EQ(p[1].raw("bbs"), "wc");
    EXPECT_EQ(p[2].names()[0], "submit");
    EXPECT_EQ(p[2].raw("bbs"), "tv");
    // The football board host's log has the post.
    std::string dat = fx.sim.get("http://football-a.example-live.test/wc/dat/" + key + ".dat");
    EXPECT_NE(dat.find(Sjis("サッカー")), std::string::npos);
}

TEST_F(Posting, SidIsSentInNormalModeOnlyAndHandsetModeUsesThePhonesHeaders) {
    CTavloSettings& s = CTavloSettings::Instance();
    s.SetString("DoLibId", CVornString("user"));
    s.SetString("DoLibPass", CVornString("pass"));
    s.SetDoLibSid(CVornString("Monazilla/2.00:SESSION+ID"));
    mode(kHost, "news", "direct");
    ASSERT_EQ(submit(reply("普通")), 0);
    CTavloPostHosts& h = CTavloPostHosts::Get();
    const std::string oldProxy = h.handsetProxy;
    const int oldPort = h.handsetPort;
    h.handsetProxy = "127.0.0.1";
    h.handsetPort = fx.sim.port();
    CTavloPostRequest r = reply("携帯");
    r.Handset = 1;
    EXPECT_EQ(submit(r), 0);
    mode(kHost, "news", "error-bold");
    EXPECT_EQ(submit(r), -602);
    h.handsetProxy = oldProxy;
    h.handsetPort = oldPort;
    std::vector<Post> p = posts();
    ASSERT_EQ(p.size(), 3u);
    EXPECT_EQ(p[0].names().back(), "sid");
    EXPECT_EQ(p[0].raw("sid"), "Monazilla%2F2.00%3ASESSION%2BID");
    EXPECT_EQ(p[1].raw("sid"), "<missing>");
    EXPECT_EQ(p[1].agent,
              "Mozilla/4.0 (compatible; MSIE 6.0; Windows CE; IEMobile 6.12) Toshiba/X01T");
    std::vector<std::string> order;
    for (auto& [k, v] : p[1].headers)
        if (k == "Accept" || k == "Accept-Language" || k.starts_with("UA") || k == "Pragma")
            order.push_back(k);
    EXPECT_EQ(order, (std::vector<std::string>{"Accept", "Accept-Language", "UA_OS", "UA-color",
                                               "UA-Voice", "UA-pixels", "UA-CPU", "Pragma"}));
    // The handset's error page is shown without offering the login.
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "ERROR: 本文が長すぎます！");
}

TEST_F(Posting, AnErrorPageOffersTheViewerLoginAndPostsOnceMoreWithTheNewSession) {
    CTavloSettings& s = CTavloSettings::Instance();
    s.SetString("DoLibId", CVornString("user"));
    s.SetString("DoLibPass", CVornString("pass"));
    mode(kHost, "news", "error-bold");
    int logins = 0;
    TavloSetViewerLogin([&](CVornString* sid) {
        ++logins;
        *sid = "NEWSID";
        mode(kHost, "news", "direct");
        return true;
    });
    EXPECT_EQ(submit(reply("再試行")), 0);
    EXPECT_EQ(logins, 1);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "ERROR: 本文が長すぎます！\n●ログイン後リトライしますか？");
    std::vector<Post> p = posts();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[1].raw("sid"), "NEWSID");
    EXPECT_EQ(s.DoLibSid.str(), "NEWSID");

    // A failed login: "●認証エラー"; No: nothing more.
    mode(kHost, "news", "error-bold");
    TavloSetViewerLogin([](CVornString*) { return false; });
    shown.clear();
    EXPECT_EQ(submit(reply("再試行")), -602);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1], "●認証エラー");
    answer = 7;
    shown.clear();
    EXPECT_EQ(submit(reply("再試行")), -602);
    EXPECT_EQ(shown.size(), 1u);
    TavloSetViewerLogin(nullptr);
}

TEST_F(Posting, BrokenAnswersFailClearly) {
    mode(kHost, "news", "cut");
    EXPECT_EQ(submit(reply("本文")), -102);
    mode(kHost, "news", "huge");
    EXPECT_EQ(submit(reply("本文")), -102);
    mode(kHost, "news", "status500");
    EXPECT_EQ(submit(reply("本文")), -101);
    EXPECT_TRUE(shown.empty());
    // Nothing listens: no connection.
    CTavloSettings::Instance().SetInt("ProxyPort", 1);
    EXPECT_EQ(submit(reply("本文")), -100);
}

TEST_F(Posting, AStopEndsAHangingPostAndASecondPostMeanwhileSendsNothing) {
    mode(kHost, "news", "hang");
    int nested = -99;
    size_t postsDuring = 0;
    hooks.stop = [&] {
        // Once the board holds the post: a second post is refused, then the user stops.
        if (nested == -99 && !posts().empty()) {
            CTavloPoster other(CTavloPoster::Hooks{});
            nested = other.Submit(reply("二つ目"));
            postsDuring = posts().size();
            return true;
        }
        return nested != -99;
    };
    EXPECT_TRUE(CTavloPoster::InProgress() == false);
    EXPECT_EQ(submit(reply("本文")), -1);
    EXPECT_EQ(nested, 0);
    EXPECT_EQ(postsDuring, 1u);
    EXPECT_FALSE(CTavloPoster::InProgress());
}

} // namespace
