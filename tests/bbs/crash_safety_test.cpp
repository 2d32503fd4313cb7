// Sudden death and a full disk. A child process fetches and saves in a loop (thread logs by
// difference, info files, subject.txt, article-summary, bookmarks, settings) against the board
// server while the parent kills it with SIGKILL at random moments; after every kill each store
// file must parse, each log must be a prefix of the server's in whole lines, and no file that
// existed may be missing or empty. A size-limited tmpfs in a private mount namespace stands in
// for a full disk.
#include "fetch_support.h"
#include "tavlo_article_file.h"
#include "tavlo_bbs_manager.h"
#include "tavlo_bbs_subject.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_path.h"
#include "tavlo_subject_file.h"
#include "vorn_file.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <map>
#include <random>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kHost[] = "news.example-bbs.test";
const char kBoard[] = "test";
const char kBoardUrl[] = "http://news.example-bbs.test/test/";
const char* const kKeys[] = {"1700000101", "1700000102", "1700000103"};
const char* const kAgents[] = {"Monazilla/1.00 (crash one)", "Monazilla/1.00 (crash two)"};

bool exists(const std::string& path) {
    return VornFileExists(path.c_str());
}

class CrashSafety : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fx.sim.ok());
        for (const char* key : kKeys)
            ASSERT_EQ(ctl("create", key, "&posts=5"), "ok");
    }
    std::string ctl(const std::string& op, const std::string& key, const std::string& more = "") {
        return fx.sim.control("/_ctl/" + op + "?host=" + kHost + "&board=" + kBoard +
                              "&key=" + key + more);
    }
    std::string logPath(const char* key) const {
        return CTavloPath::GetLogPath(CVornString(kBoardUrl), CVornString(key)).str();
    }
    std::string infoPath(const char* key) const {
        return CTavloPath::GetInfoPath(CVornString(kBoardUrl), CVornString(key)).str();
    }
    std::string boardDir() const {
        return CTavloPath::GetBoardDirectory(CVornString(kBoardUrl)).str();
    }
    std::string subjectPath() const { return boardDir() + "/subject.txt"; }
    std::string summaryPath() const { return boardDir() + "/article-summary"; }
    std::string bookmarkPath() const { return CTavloBookmarkFile::GetDefaultPath().str(); }
    std::string settingsPath() const { return CTavloSettings::GetProfilePath().str(); }

    // One round of what the program stores, as the views do it.
    static int SaveRound(int round) {
        const char* key = kKeys[round % 3];
        CVornString board(kBoardUrl);
        CVornString error;
        int fetched = CTavloBbsManager::Instance().Fetch(board, CVornString(key), nullptr, error);
        CTavloInfoFile info;
        CTavloInfoFile::Create(board, CVornString(key), info);
        info.Count = CTavloDatFile::Count(CTavloPath::GetLogPath(board, CVornString(key)));
        info.New = round % 2;
        CTavloInfoFile::Write(info);
        CTavloSubjectFile list;
        CVornString subject = CTavloPath::GetBoardDirectory(board) + "/subject.txt";
        list.CreateFromHttp(subject, board + "subject.txt");
        CTavloArticleFile summary;
        summary.Load(board);
        summary.SetSeen(CVornString(key), info.Count);
        summary.Save();
        CTavloBookmarkFile marks;
        marks.Load(CTavloBookmarkFile::GetDefaultPath());
        // The first thread stays bookmarked; the others come and go.
        if (!marks.Add(board, CVornString("題"), CVornString(key), CVornString("板"),
                       CVornString(kBoard)) &&
            round % 3 != 0) {
            int at = marks.FindThreadUrl(board + key);
            if (at >= 0)
                marks.Remove(at);
        }
        marks.Save();
        CTavloSettings::Instance().SetUserAgent(CVornString(kAgents[round % 2]));
        return fetched;
    }

    // The damage found in the store now; files are the non-empty ones of the last check and
    // get those of this one. Logs the kernel cut on a page boundary go to cut.
    std::vector<std::string> inspect(std::map<std::string, bool>& files,
                                     std::vector<const char*>& cut) {
        std::vector<std::string> damage;
        std::vector<std::string> all = {subjectPath(), summaryPath(), bookmarkPath(),
                                        settingsPath()};
        for (const char* key : kKeys) {
            all.push_back(logPath(key));
            all.push_back(infoPath(key));
        }
        for (const std::string& path : all) {
            bool was = files[path];
            std::string text = exists(path) ? ReadAll(path) : std::string();
            if (was && text.empty())
                damage.push_back((exists(path) ? "empty: " : "missing: ") + path);
            files[path] = !text.empty();
        }
        for (const char* key : kKeys) {
            std::string log = ReadAll(logPath(key));
            std::string server = ctl("dat", key);
            if (server.compare(0, log.size(), log) != 0)
                damage.push_back(std::string("log is not the server's: ") + key);
            else if (!log.empty() && log.back() != '\n' && log.size() % 4096 == 0)
                // Linux ends a buffered write between pages once SIGKILL is pending: an append
                // killed there stops on a page boundary inside a post. Nothing stored is lost,
                // and the next fetch must repair it; a cut anywhere else is damage.
                cut.push_back(key);
            else if (!log.empty() && log.back() != '\n')
                damage.push_back(std::string("log ends inside a line: ") + key);
            if (exists(infoPath(key))) {
                std::string text = ReadAll(infoPath(key));
                CTavloInfoFile info;
                info.Parse(text);
                if (info.Format().str() != text)
                    damage.push_back("info does not parse: " + text);
            }
        }
        if (exists(subjectPath())) {
            std::string text = ReadAll(subjectPath());
            CTavloBbsSubject parser;
            size_t pos = 0;
            while (pos < text.size()) {
                size_t lf = text.find('\n', pos);
                if (lf == std::string::npos) {
                    damage.push_back("subject.txt ends inside a line");
                    break;
                }
                std::string line = text.substr(pos, lf - pos);
                if (parser.Parse(line.data()) != 1)
                    damage.push_back("subject.txt line: " + text.substr(pos, lf - pos));
                pos = lf + 1;
            }
        }
        if (exists(summaryPath())) {
            std::string text = ReadAll(summaryPath());
            CTavloArticleFile summary;
            summary.Parse(text);
            if (summary.Format().str() != text)
                damage.push_back("article-summary does not parse: " + text);
        }
        if (exists(bookmarkPath())) {
            std::string text = ReadAll(bookmarkPath());
            CTavloBookmarkFile marks;
            marks.Parse(text);
            // Counts are the info files' of now, so entries are compared, not the text.
            int entries = 0;
            for (size_t at = text.find("(\"http://"); at != std::string::npos;
                 at = text.find("(\"http://", at + 1))
                ++entries;
            if (marks.GetCount() != entries || !text.ends_with("))"))
                damage.push_back("bookmark2.txt does not parse: " + text);
        }
        // The settings: the proxy of the fixture survives and the agent is one of those set.
        CTavloSettings::SetProfilePath(settingsPath().c_str());
        CTavloSettings& s = CTavloSettings::Instance();
        CVornString agent;
        s.GetString("UserAgent", &agent);
        int port = 0;
        s.GetInt("ProxyPort", &port);
        if (port != fx.sim.port() || (agent != kAgents[0] && agent != kAgents[1] &&
                                      agent != CTavloSettings::kDefaultUserAgent))
            damage.push_back("settings lost: " + agent.str());
        return damage;
    }

    int tempFiles() const {
        int n = 0;
        std::vector<std::string> dirs = {boardDir(), CTavloPath::GetRoot().str(), fx.dir.file("")};
        for (const std::string& d : dirs)
            for (const std::string& name : ListDir(d))
                n += name.find(".tmp") != std::string::npos;
        return n;
    }

    static std::vector<std::string> ListDir(const std::string& dir);

    BoardFixture fx;
};

std::vector<std::string> CrashSafety::ListDir(const std::string& dir) {
    std::vector<std::string> out;
    std::error_code ec;
    for (auto& e : std::filesystem::directory_iterator(dir, ec))
        out.push_back(e.path().filename().string());
    return out;
}

} // namespace

TEST_F(CrashSafety, KilledAtRandomMomentsLosesNothing) {
    constexpr int kKills = 200;
    std::mt19937 rng(20261208);
    std::map<std::string, bool> files;
    std::vector<std::string> damage;
    int rounds = 0; // kills that came after at least one saved round
    int mostTemps = 0, cutWrites = 0, pageCuts = 0;
    for (int k = 0; k < kKills; ++k) {
        if (k % 3 == 0) {
            ASSERT_EQ(ctl("append", kKeys[rng() % 3], "&n=" + std::to_string(1 + rng() % 40)),
                      "ok");
        }
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            close(ready[0]);
            for (int round = k;; ++round) {
                SaveRound(round);
                if (round == k)
                    (void)!write(ready[1], "r", 1);
                if (round > k + 10000)
                    break;
            }
            _exit(0);
        }
        close(ready[1]);
        // Half the kills land in the first round (first fetches, fresh files), half later.
        if (k % 2) {
            char c;
            if (read(ready[0], &c, 1) == 1)
                ++rounds;
        }
        usleep(static_cast<useconds_t>(rng() % 60000));
        kill(pid, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        close(ready[0]);
        ASSERT_TRUE(WIFSIGNALED(status)) << "the child ended by itself";
        std::vector<const char*> cut;
        for (const std::string& d : inspect(files, cut))
            damage.push_back("kill " + std::to_string(k) + ": " + d);
        for (const char* key : cut) {
            ++pageCuts;
            CVornString error;
            CTavloBbsManager::Instance().Fetch(CVornString(kBoardUrl), CVornString(key), nullptr,
                                               error);
            if (ReadAll(logPath(key)) != ctl("dat", key))
                damage.push_back("kill " + std::to_string(k) + ": a cut log not repaired: " + key);
        }
        // Each process sweeps a directory before it first writes there, so what the cuts left
        // never piles up: one at most in each of the three directories.
        int temps = tempFiles();
        cutWrites += temps > 0;
        mostTemps = std::max(mostTemps, temps);
    }
    EXPECT_GT(rounds, kKills / 4);
    EXPECT_TRUE(damage.empty()) << damage.size() << " damaged, first: " << damage.front();
    std::printf("kills %d, after a saved round %d, kills leaving temporary files %d, most at once "
                "%d, logs cut on a page boundary and repaired %d\n",
                kKills, rounds, cutWrites, mostTemps, pageCuts);
    EXPECT_LE(mostTemps, 3);

    // A writer killed with its temporary files open in every directory...
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::vector<CVornAtomicFile> cut(3);
        std::string paths[] = {subjectPath(), bookmarkPath(), settingsPath()};
        for (int i = 0; i < 3; ++i)
            if (!cut[i].Open(paths[i].c_str()) || !cut[i].Write("cut short"))
                _exit(1);
        kill(getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_GE(tempFiles(), 3);

    // ... and the next start, a new process: its first writes sweep what was left behind.
    pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        CTavloSettings::SetProfilePath(settingsPath().c_str());
        for (int round = 0; round < 3; ++round)
            SaveRound(round);
        _exit(0);
    }
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(tempFiles(), 0);

    // Every thread fetches to the server's log, the lists load.
    CTavloSettings::SetProfilePath(settingsPath().c_str());
    for (int round = 0; round < 3; ++round)
        EXPECT_EQ(SaveRound(round), 0);
    for (const char* key : kKeys)
        EXPECT_EQ(ReadAll(logPath(key)), ctl("dat", key)) << key;
    CTavloSubjectFile list;
    EXPECT_EQ(list.CreateFromFile(CVornString(subjectPath())), 0);
    EXPECT_EQ(list.GetCount(), 3);
    CTavloBookmarkFile marks;
    EXPECT_TRUE(marks.Load(CVornString(bookmarkPath())));
    EXPECT_GE(marks.GetCount(), 1);
}

// A log that a sudden end cut inside a post was written after the thread last changed, so
// "modified since" would answer 304 and keep it cut; it must be fetched whole at once.
TEST_F(CrashSafety, LogCutInsideAPostIsRepairedByTheNextFetch) {
    ASSERT_EQ(SaveRound(0), 0);
    const std::string log = logPath(kKeys[0]);
    const std::string whole = ReadAll(log);
    ASSERT_GT(whole.size(), 10u);
    // Cut after the thread last changed (the server dates its changes a second ahead).
    WriteAll(log, whole.substr(0, whole.size() - 5));
    ASSERT_EQ(VornSetFileTime(log.c_str(), static_cast<int64_t>(time(nullptr)) + 30), 1);
    CVornString error;
    EXPECT_EQ(CTavloBbsManager::Instance().Fetch(CVornString(kBoardUrl), CVornString(kKeys[0]),
                                                 nullptr, error),
              0);
    EXPECT_EQ(ReadAll(log), whole);
    EXPECT_FALSE(exists(log + ".bak"));
    // A whole log keeps asking "modified since": unchanged, nothing is sent again.
    EXPECT_EQ(CTavloBbsManager::Instance().Fetch(CVornString(kBoardUrl), CVornString(kKeys[0]),
                                                 nullptr, error),
              0);
    EXPECT_EQ(ReadAll(log), whole);
}

// A repair killed between putting the old log aside and the new one's arrival leaves the old
// one as ".bak"; the next fetch puts it back before anything else.
TEST_F(CrashSafety, LogLeftAsideByAKilledRepairComesBack) {
    ASSERT_EQ(SaveRound(0), 0);
    std::string log = logPath(kKeys[0]);
    std::string whole = ReadAll(log);
    ASSERT_FALSE(whole.empty());
    ASSERT_EQ(rename(log.c_str(), (log + ".bak").c_str()), 0);
    WriteAll(log, whole.substr(0, whole.size() / 3)); // the repair's first bytes
    // The server fails this time: what is kept must be the old log, whole.
    ASSERT_EQ(ctl("mode", kKeys[0], "&mode=html"), "ok");
    CVornString error;
    EXPECT_NE(CTavloBbsManager::Instance().Fetch(CVornString(kBoardUrl), CVornString(kKeys[0]),
                                                 nullptr, error),
              0);
    EXPECT_EQ(ReadAll(log), whole);
    ASSERT_EQ(ctl("mode", kKeys[0], "&mode="), "ok");
    ASSERT_EQ(ctl("append", kKeys[0], "&n=2"), "ok");
    EXPECT_EQ(CTavloBbsManager::Instance().Fetch(CVornString(kBoardUrl), CVornString(kKeys[0]),
                                                 nullptr, error),
              0);
    EXPECT_EQ(ReadAll(log), ctl("dat", kKeys[0]));
    EXPECT_FALSE(exists(log + ".bak"));
}

namespace {

// Makes a private mount namespace (as root, or through a user namespace) and mounts a tmpfs
// of the given size at dir; an empty text, or why it could not.
std::string MountSmallDisk(const std::string& dir, const char* size) {
    if (geteuid() != 0) {
        uid_t uid = geteuid();
        gid_t gid = getegid();
        if (unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0)
            return std::string("no user namespace: ") + strerror(errno);
        auto put = [](const char* file, const std::string& text) {
            int fd = open(file, O_WRONLY);
            bool ok = fd >= 0 && write(fd, text.data(), text.size()) == ssize_t(text.size());
            if (fd >= 0)
                close(fd);
            return ok;
        };
        put("/proc/self/setgroups", "deny");
        if (!put("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") ||
            !put("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1"))
            return "cannot map the user";
    } else if (unshare(CLONE_NEWNS) != 0) {
        return std::string("no mount namespace: ") + strerror(errno);
    }
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return std::string("cannot make the mounts private: ") + strerror(errno);
    std::string options = std::string("size=") + size;
    if (mount("tavlo-full", dir.c_str(), "tmpfs", 0, options.c_str()) != 0)
        return std::string("cannot mount a tmpfs: ") + strerror(errno);
    return "";
}

// Fills the file system holding dir to the last byte.
void FillDisk(const std::string& dir) {
    std::string path = dir + "/filler";
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return;
    std::string block(65536, 'f');
    for (size_t piece = block.size(); piece > 0; piece /= 2)
        while (write(fd, block.data(), piece) == ssize_t(piece)) {
        }
    close(fd);
}

} // namespace

TEST_F(CrashSafety, FullDiskKeepsEveryOldFileAndReportsIt) {
    std::string disk = fx.dir.file("disk");
    ASSERT_TRUE(std::filesystem::create_directories(disk));
    int report[2];
    ASSERT_EQ(pipe(report), 0);
    pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        close(report[0]);
        std::string out;
        auto fail = [&out](const std::string& what) { out += what + "\n"; };
        std::string why = MountSmallDisk(disk, "1m");
        if (!why.empty()) {
            out = "SKIP " + why;
        } else {
            std::string ini = disk + "/tavlo.ini";
            CTavloSettings::SetProfilePath(ini.c_str());
            CTavloSettings& s = CTavloSettings::Instance();
            s.SetRootDirectory(CVornString(disk + "/logs"));
            s.SetInt("ProxyUse", 1);
            s.SetString("ProxyHost", CVornString("127.0.0.1"));
            s.SetInt("ProxyPort", fx.sim.port());
            for (int round = 0; round < 3; ++round)
                if (SaveRound(round) != 0)
                    fail("the store could not be made");
            std::map<std::string, std::string> before;
            for (auto& e : std::filesystem::recursive_directory_iterator(disk))
                if (e.is_regular_file())
                    before[e.path().string()] = ReadAll(e.path().string());
            // Enough new posts that the log needs new pages.
            ctl("append", kKeys[0], "&n=200");
            ctl("append", kKeys[1], "&n=200");
            FillDisk(disk);
            CVornString error;
            int r = CTavloBbsManager::Instance().Fetch(CVornString(kBoardUrl),
                                                       CVornString(kKeys[0]), nullptr, error);
            if (r != -203)
                fail("the fetch reported " + std::to_string(r));
            SaveRound(1);
            CTavloSubjectFile list;
            r = list.CreateFromHttp(CVornString(subjectPath()),
                                    CVornString(std::string(kBoardUrl) + "subject.txt"));
            if (r != -203 && r != -103)
                fail("the list fetch reported " + std::to_string(r));
            CTavloSettings::Instance().SetString("DefaultName", CVornString("full disk"));
            for (auto& [path, text] : before) {
                if (path == disk + "/filler")
                    continue;
                if (!exists(path))
                    fail("missing: " + path);
                else if (ReadAll(path) != text)
                    fail("changed: " + path);
            }
            // Room again: the next start works.
            unlink((disk + "/filler").c_str());
            CTavloSettings::SetProfilePath(ini.c_str());
            for (int round = 0; round < 3; ++round)
                if (SaveRound(round) != 0)
                    fail("no fetch after the disk had room again");
            for (const char* key : kKeys)
                if (ReadAll(logPath(key)) != ctl("dat", key))
                    fail(std::string("log differs after the disk had room: ") + key);
        }
        (void)!write(report[1], out.data(), out.size());
        _exit(0);
    }
    close(report[1]);
    std::string text;
    char buf[4096];
    ssize_t n;
    while ((n = read(report[0], buf, sizeof buf)) > 0)
        text.append(buf, static_cast<size_t>(n));
    close(report[0]);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    if (text.starts_with("SKIP "))
        GTEST_SKIP() << "no size-limited file system can be made here (" << text.substr(5) << ")";
    EXPECT_EQ(text, "");
}
