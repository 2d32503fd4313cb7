// Threads that left their board: the past-log archive (gzip, plain) and the read viewer with
// its login over TLS, against the board server.
#include "fetch_support.h"
#include "tavlo_bbs_dolib.h"
#include "tavlo_bbs_kako.h"
#include "tavlo_bbs_manager.h"
#include "tavlo_domains.h"
#include "tavlo_path.h"
#include "vorn_config.h"
#include "vorn_file.h"

#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

const char kHost[] = "news.example-bbs.test";
const char kBoardUrl[] = "http://news.example-bbs.test/test/";
const char kLoginHost[] = "login.viewer-example.test";

bool has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

class Archive : public ::testing::Test {
protected:
    explicit Archive(const std::vector<std::string>& simArgs = {}) : fx(simArgs) {}
    void SetUp() override { ASSERT_TRUE(fx.sim.ok()); }

    std::string ctl(const std::string& op, const std::string& key, const std::string& more = "") {
        return fx.sim.control("/_ctl/" + op + "?host=" + kHost + "&board=test&key=" + key + more);
    }
    std::string logPath(const std::string& key) {
        return CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString(key)).str();
    }
    std::string local(const std::string& key) { return ReadAll(logPath(key)); }
    bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }
    int fetch(const std::string& key) {
        error.Empty();
        return CTavloBbsManager::Instance().Fetch(CVornString(kBoardUrl), CVornString(key), &window,
                                                  error);
    }
    // The thread lives on its board with posts, is fetched, then leaves for the archive with
    // more posts than the local log has.
    void storeThenArchive(const std::string& key, const std::string& archive) {
        ASSERT_EQ(ctl("create", key, "&posts=10"), "ok");
        ASSERT_EQ(fetch(key), 0);
        ASSERT_EQ(CTavloDatFile::Count(CVornString(logPath(key))), 10);
        ASSERT_EQ(ctl("kako", key, "&posts=5" + archive), "ok");
        window.clear();
        fx.sim.clearRequests();
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

TEST_F(Archive, GzipArchiveUnderBothKeyLengthsReplacesTheLog) {
    for (std::string key : {"123456789", "1234567890"}) {
        storeThenArchive(key, "&forms=gz");
        ASSERT_EQ(fetch(key), 0) << key;
        EXPECT_EQ(local(key), ctl("dat", key)) << key;
        EXPECT_EQ(CTavloDatFile::Count(CVornString(logPath(key))), 15);
        EXPECT_FALSE(exists(logPath(key) + ".bak"));
        std::string dir = key.size() == 9 ? "/kako/123/" : "/kako/1234/12345/";
        auto reqs = requestsFor(dir + key + ".dat.gz");
        ASSERT_EQ(reqs.size(), 1u) << key;
        EXPECT_TRUE(has(reqs[0], "\"status\": 200"));
        EXPECT_TRUE(requestsFor(dir + key + ".dat\"").empty()); // gzip was there
        EXPECT_TRUE(window.of(CTavloMessage::TYPE_RELOADFILE).empty());
    }
}

TEST_F(Archive, PlainArchiveWhenGzipIsMissingAndNotFoundWhenNeither) {
    storeThenArchive("1700000100", "&forms=dat");
    ASSERT_EQ(fetch("1700000100"), 0);
    EXPECT_EQ(local("1700000100"), ctl("dat", "1700000100"));
    EXPECT_EQ(requestsFor("/kako/1700/17000/1700000100.dat.gz")[0].find("\"status\": 302") !=
                  std::string::npos,
              true);

    // Neither form: the last kind's -104, and the stored log stays as it was.
    storeThenArchive("1700000200", "&forms=none");
    std::string before = local("1700000200");
    EXPECT_EQ(fetch("1700000200"), -104);
    EXPECT_EQ(local("1700000200"), before);
}

TEST_F(Archive, CutOrDamagedArchiveLeavesThePreviousCompleteLog) {
    int n = 0;
    for (std::string mode : {"cut", "corrupt", "html"}) {
        std::string key = std::to_string(1700000300 + n++);
        storeThenArchive(key, "&forms=gz&mode=" + mode);
        std::string before = local(key);
        int r = fetch(key);
        EXPECT_EQ(r, mode == "html" ? -202 : -102) << mode;
        EXPECT_EQ(local(key), before) << mode;
        EXPECT_FALSE(exists(logPath(key) + ".bak")) << mode;
        EXPECT_EQ(window.of(CTavloMessage::TYPE_RELOADFILE).size(), 1u) << mode;
    }
    // Without a stored log, a cut archive leaves its complete lines (and no error is hidden
    // behind a stale log: there is none).
    ASSERT_EQ(ctl("kako", "1700000400", "&posts=40&forms=dat&mode=cut"), "ok");
    EXPECT_EQ(fetch("1700000400"), 0);
    std::string part = local("1700000400");
    EXPECT_TRUE(part.empty() || part.back() == '\n');
    EXPECT_EQ(ctl("dat", "1700000400").compare(0, part.size(), part), 0);
}

// The read viewer: its login host speaks TLS with a certificate the test makes and trusts.
struct Certs {
    Certs() {
        const std::string d = dir.path();
        cert = d + "/login.crt";
        key = d + "/login.key";
        ca = d + "/ca.crt";
        WriteAll(d + "/ext.cnf",
                 std::string("basicConstraints=CA:FALSE\nsubjectAltName=DNS:") + kLoginHost + "\n");
        auto run = [](const std::string& args) {
            return std::system(("openssl " + args + " >/dev/null 2>&1").c_str()) == 0;
        };
        const std::string ec = "-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes ";
        ok = run("req -x509 " + ec + "-keyout " + d + "/ca.key -out " + ca +
                 " -subj /CN=tavlo-test-CA -days 2") &&
             run("req -new " + ec + "-keyout " + key + " -out " + d +
                 "/login.csr -subj /CN=" + kLoginHost) &&
             run("x509 -req -in " + d + "/login.csr -CA " + ca + " -CAkey " + d +
                 "/ca.key -set_serial 7 -days 2 -extfile " + d + "/ext.cnf -out " + cert);
    }
    TempDir dir;
    std::string cert, key, ca;
    bool ok = false;
};

Certs& certs() {
    static Certs* c = new Certs;
    return *c;
}

class Viewer : public Archive {
protected:
    Viewer() : Archive({"--tls-cert", certs().cert, "--tls-key", certs().key}) {}
    void SetUp() override {
        ASSERT_TRUE(certs().ok) << "openssl could not make the certificates";
        Archive::SetUp();
        char cwd[PATH_MAX];
        ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
        m_oldCwd = cwd;
        // The client trusts "ca-bundle.crt" of the working directory besides the system's.
        WriteAll(m_cwd.file("ca-bundle.crt"), ReadAll(certs().ca));
        ASSERT_EQ(chdir(m_cwd.path().c_str()), 0);
        m_oldLogin = CTavloDomains::Get().viewerLoginHost;
        CTavloDomains::Get().viewerLoginHost = kLoginHost;
        ASSERT_EQ(fx.sim.control("/_ctl/viewer?user=tavlo%40example.test&pass=pw1"), "ok");
        CTavloSettings& s = CTavloSettings::Instance();
        s.SetString("DoLibId", CVornString("tavlo@example.test"));
        s.SetString("DoLibPass", CVornString("pw1"));
    }
    void TearDown() override {
        CTavloDomains::Get().viewerLoginHost = m_oldLogin;
        if (!m_oldCwd.empty()) {
            EXPECT_EQ(chdir(m_oldCwd.c_str()), 0);
        }
    }
    int counter(const char* name) {
        std::string info = fx.sim.control("/_ctl/viewer_info");
        size_t at = info.find(std::string("\"") + name + "\": ");
        return at == std::string::npos ? -1 : atoi(info.c_str() + at + strlen(name) + 4);
    }
    std::string storedSid() {
        return CVornConfig::ReadString(CTavloSettings::Instance().FilePath.c_str(), "DoLibSid", 1)
            .str();
    }
    // Stored with 10 posts, then gone from the board with 3 more.
    void storeThenLeave(const std::string& key) {
        ASSERT_EQ(ctl("create", key, "&posts=10"), "ok");
        ASSERT_EQ(fetch(key), 0);
        ASSERT_EQ(ctl("mode", key, "&mode=gone"), "ok");
        ASSERT_EQ(ctl("append", key, "&n=3"), "ok");
        window.clear();
        fx.sim.clearRequests();
    }

    TempDir m_cwd;
    std::string m_oldCwd, m_oldLogin;
};

TEST_F(Viewer, LoginThenRefusedSessionThenSecondRefusalThenNotModified) {
    storeThenLeave("1700001000");
    ASSERT_EQ(fetch("1700001000"), 0) << error.c_str();
    EXPECT_EQ(local("1700001000"), ctl("dat", "1700001000"));
    EXPECT_FALSE(exists(logPath("1700001000") + ".bak"));
    // One login, over TLS through the proxy, with the service's agent; the session is in the
    // settings file at once.
    auto logins = requestsFor("/futen.cgi");
    ASSERT_EQ(logins.size(), 1u);
    EXPECT_TRUE(has(logins[0], "\"user-agent\": \"DOLIB/1.00\""));
    EXPECT_TRUE(has(logins[0], "\"x-2ch-ua\": \"tavlo/0.0.15\""));
    EXPECT_TRUE(has(logins[0], "ID=tavlo@example.test&PW=pw1"));
    EXPECT_TRUE(storedSid().starts_with("Monazilla/2.00:"));
    auto offlaw = requestsFor("/test/offlaw.cgi/test/1700001000/");
    ASSERT_EQ(offlaw.size(), 1u);
    EXPECT_TRUE(has(offlaw[0], "raw=0.0&sid=Monazilla%2F2.00%3A"));
    EXPECT_TRUE(has(offlaw[0], "\"user-agent\": \"Monazilla/2.00 (tavlo/0.0.15)\""));
    EXPECT_TRUE(has(offlaw[0], "if-modified-since"));

    // The session is refused once: one new login, one new fetch, success.
    std::string oldSid = storedSid();
    ASSERT_EQ(ctl("append", "1700001000", "&n=2"), "ok");
    ASSERT_EQ(fx.sim.control("/_ctl/viewer?refuse=1"), "ok");
    fx.sim.clearRequests();
    ASSERT_EQ(fetch("1700001000"), 0) << error.c_str();
    EXPECT_EQ(local("1700001000"), ctl("dat", "1700001000"));
    EXPECT_EQ(requestsFor("/futen.cgi").size(), 1u);
    EXPECT_EQ(requestsFor("/offlaw.cgi/").size(), 2u);
    EXPECT_NE(storedSid(), oldSid);
    EXPECT_FALSE(exists(logPath("1700001000") + ".bak"));

    // Refused twice: -901 with the service's own text, the old log back and shown again.
    std::string before = local("1700001000");
    ASSERT_EQ(ctl("append", "1700001000", "&n=2"), "ok");
    ASSERT_EQ(fx.sim.control("/_ctl/viewer?refuse=2"), "ok");
    window.clear();
    EXPECT_EQ(fetch("1700001000"), -901);
    EXPECT_EQ(error.str(), Sjis("-ERR 認証に失敗しました。"));
    EXPECT_EQ(local("1700001000"), before);
    EXPECT_FALSE(exists(logPath("1700001000") + ".bak"));
    EXPECT_EQ(window.of(CTavloMessage::TYPE_RELOADFILE).size(), 1u);

    // Nothing new: 304, the old log is back and the view reads it again.
    ASSERT_EQ(fetch("1700001000"), 0);
    before = local("1700001000");
    // (The server stamps its changes a second ahead; date the log after that.)
    VornSetFileTime(logPath("1700001000").c_str(), time(nullptr) + 60);
    window.clear();
    fx.sim.clearRequests();
    EXPECT_EQ(fetch("1700001000"), 0);
    EXPECT_TRUE(has(requestsFor("/offlaw.cgi/")[0], "\"status\": 304"));
    EXPECT_EQ(local("1700001000"), before);
    EXPECT_EQ(window.of(CTavloMessage::TYPE_RELOADFILE).size(), 1u);
    EXPECT_FALSE(exists(logPath("1700001000") + ".bak"));
}

TEST_F(Viewer, NoSuchThreadAndRefusedLoginAreErrorsWithNothingLost) {
    // The viewer knows no such thread: its line is the error, and no second login is tried.
    EXPECT_EQ(fetch("1700009999"), -901);
    EXPECT_EQ(error.str(), Sjis("-ERR そんな板orスレッドないです。"));
    EXPECT_EQ(requestsFor("/futen.cgi").size(), 1u);

    // A wrong password: the login fails, the stored log stays.
    storeThenLeave("1700001100");
    std::string before = local("1700001100");
    CTavloSettings::Instance().SetString("DoLibPass", CVornString("wrong"));
    CTavloSettings::Instance().SetDoLibSid(CVornString(""));
    EXPECT_EQ(fetch("1700001100"), -901);
    EXPECT_EQ(local("1700001100"), before);
    EXPECT_FALSE(exists(logPath("1700001100") + ".bak"));

    CVornString session;
    EXPECT_EQ(
        CTavloBbsDoLib::Login(CVornString("tavlo@example.test"), CVornString("wrong"), session), 0);
    EXPECT_EQ(CTavloBbsDoLib::Login(CVornString("tavlo@example.test"), CVornString("pw1"), session),
              1);
    EXPECT_TRUE(session.StartsWith("Monazilla/2.00:"));
    CVornString agent;
    EXPECT_TRUE(CTavloBbsDoLib::SplitSession(session, &agent));
    EXPECT_EQ(agent.str(), "Monazilla/2.00");
    EXPECT_FALSE(CTavloBbsDoLib::SplitSession(CVornString("ERROR:p2 login failed"), nullptr));
    EXPECT_FALSE(CTavloBbsDoLib::SplitSession(CVornString("no colon"), nullptr));
}

TEST_F(Viewer, WithoutCredentialsTheViewerIsSkipped) {
    CTavloSettings::Instance().SetString("DoLibPass", CVornString(""));
    storeThenLeave("1700001200");
    ASSERT_EQ(ctl("kako", "1700001200", "&forms=gz"), "ok");
    ASSERT_EQ(fetch("1700001200"), 0);
    EXPECT_TRUE(requestsFor("/futen.cgi").empty());
    EXPECT_TRUE(requestsFor("/offlaw.cgi/").empty());
    EXPECT_EQ(local("1700001200"), ctl("dat", "1700001200"));
}

} // namespace
