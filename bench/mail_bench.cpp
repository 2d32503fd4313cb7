// Mail throughput against curl, both talking to the same real servers in the same run
// (tools/mailservers: dovecot for POP3 and IMAP4, exim for SMTP): RETR of a 10 MB message,
// IMAP4 FETCH of it, and SMTP DATA of a message with a 10 MB attachment. Each iteration runs
// both clients, each a session from connect through login to the end of the transfer (the
// closing QUIT or LOGOUT is left out of both: curl's time_total ends before it); curl's time is
// its own time_total, so its process start-up is not counted against it. Counters: MB/s of each and
// ours/curl as the ratio of throughputs, over all iterations and of the best one.

#include "bench_fixture.h"
#include "vorn_file.h"
#include "vornnet.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

constexpr size_t kSize = 10u << 20;
const char* const kUser = "alice";
const char* const kPassword = "wonder-land7";
const char* const kAddress = "alice@vornnet.test";

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

int countFiles(const std::string& dir) {
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            n += e->d_name[0] != '.';
        closedir(d);
    }
    return n;
}

// The servers and one 10 MB message in the mailbox, for the whole run.
struct Servers {
    pid_t pid = -1;
    int in = -1;
    int smtp = 0, imap = 0, pop3 = 0;
    std::string maildir, dir, error;

    Servers() {
        CVornWinSock::InitSocket(2, 2);
        int a[2], b[2];
        if (pipe2(a, O_CLOEXEC) || pipe2(b, O_CLOEXEC))
            return;
        pid = fork();
        if (pid == 0) {
            dup2(a[0], 0);
            dup2(b[1], 1);
            execl(VORN_PYTHON, VORN_PYTHON, VORN_MAILSERVERS_SCRIPT, "--lifetime", "1800",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(a[0]);
        close(b[1]);
        in = a[1];
        std::string text;
        for (int i = 0; i < 600 && text.find('\n') == std::string::npos; ++i) {
            pollfd p{b[0], POLLIN, 0};
            if (poll(&p, 1, 100) <= 0)
                continue;
            char buf[4096];
            ssize_t n = read(b[0], buf, sizeof buf);
            if (n <= 0)
                break;
            text.append(buf, static_cast<size_t>(n));
        }
        close(b[0]);
        std::istringstream is(text);
        std::string word;
        is >> word;
        if (word != "READY") {
            error = "mail servers could not start: " + text;
            smtp = 0;
            return;
        }
        is >> smtp >> imap >> pop3 >> maildir;
        char tmpl[] = "/tmp/vmailbenchXXXXXX";
        dir = mkdtemp(tmpl) ? tmpl : "/tmp";
        std::string data(kSize, '\0');
        uint32_t x = 7;
        for (auto& c : data) {
            x = x * 1103515245u + 12345u;
            c = static_cast<char>(x >> 24);
        }
        FILE* f = fopen((dir + "/big.bin").c_str(), "wb");
        fwrite(data.data(), 1, data.size(), f);
        fclose(f);
        // The message RETR and FETCH read, put there the way the SMTP benchmark sends.
        if (!sendOurs(dir + "/sent.eml"))
            error = "the first SMTP send failed";
        for (int i = 0; i < 300 && delivered() < 1; ++i)
            usleep(100000);
    }
    ~Servers() {
        if (in >= 0)
            close(in);
        if (pid > 0)
            waitpid(pid, nullptr, 0);
        if (!dir.empty() && dir != "/tmp") {
            unlink((dir + "/big.bin").c_str());
            unlink((dir + "/sent.eml").c_str());
            rmdir(dir.c_str());
        }
    }
    int delivered() const { return countFiles(maildir + "/new") + countFiles(maildir + "/cur"); }

    // Seconds up to the server's acceptance of the data (QUIT is not counted: neither is it in
    // curl's time_total); 0 on failure.
    double sendOurs(const std::string& copyPath = "") {
        double t = now();
        CVornSmtpClient c("bench");
        c.SetSmtpAuth(kUser, kPassword, CVornSmtpClient::AUTH_PLAIN);
        if (!c.Connect("127.0.0.1", static_cast<unsigned short>(smtp), 10))
            return 0;
        CVornSendMail m;
        m.SetFrom(kAddress);
        m.AddTo(kAddress);
        m.SetSubject("big");
        m.SetBody("attached\r\n");
        m.AddAttachFile((dir + "/big.bin").c_str(), "application/octet-stream", 1);
        CVornFile copy;
        if (!copyPath.empty())
            copy.Open(copyPath.c_str(), CVornFile::MODE_WRITE);
        bool ok = c.SendMail(m, copyPath.empty() ? nullptr : &copy) == 1;
        t = now() - t;
        if (!ok)
            fprintf(stderr, "SMTP: %s\n", c.GetLastResponse().c_str());
        c.DisConnect();
        return ok ? t : 0;
    }
};

Servers& servers() {
    static Servers s;
    return s;
}

// curl's time_total; 0 on failure.
double runCurl(std::vector<std::string> args) {
    args.insert(args.begin(),
                {"-s", "-S", "-o", "/dev/null", "--user", std::string(kUser) + ":" + kPassword});
    return TavloBenchCurlSeconds(args);
}

double oursPop3() {
    Servers& s = servers();
    double t = now();
    CVornPop3Client c;
    CVornFile f;
    if (!c.Connect("127.0.0.1", static_cast<unsigned short>(s.pop3)) ||
        !c.Login(kUser, kPassword, CVornMailClient::AUTHTYPE_PLAIN) ||
        !f.Open("/dev/null", CVornFile::MODE_WRITE) || !c.GetMail(f, 1))
        return 0;
    t = now() - t;
    c.Close();
    return t;
}

double oursImap4() {
    Servers& s = servers();
    double t = now();
    CVornImap4Client c;
    CVornFile f;
    if (!c.Connect("127.0.0.1", static_cast<unsigned short>(s.imap)) ||
        !c.Login(kUser, kPassword, CVornMailClient::AUTHTYPE_PLAIN) ||
        !c.ChangeDirectory("INBOX") || !f.Open("/dev/null", CVornFile::MODE_WRITE) ||
        !c.GetMail(f, 1))
        return 0;
    t = now() - t;
    c.Close();
    return t;
}

double oursSmtp() {
    return servers().sendOurs();
}

void compare(benchmark::State& state, double (*ours)(), std::vector<std::string> curlArgs,
             double megabytes) {
    Servers& s = servers();
    if (s.smtp == 0 || !s.error.empty()) {
        state.SkipWithError(s.error.c_str());
        return;
    }
    ours();
    runCurl(curlArgs); // warm-up
    double sumOurs = 0, sumCurl = 0, bestOurs = 1e9, bestCurl = 1e9;
    for (auto _ : state) {
        double t = ours();
        if (t <= 0) {
            state.SkipWithError("vornnet transfer failed");
            return;
        }
        double tc = runCurl(curlArgs);
        if (tc <= 0) {
            state.SkipWithError("curl failed");
            return;
        }
        sumOurs += t;
        sumCurl += tc;
        bestOurs = std::min(bestOurs, t);
        bestCurl = std::min(bestCurl, tc);
        state.SetIterationTime(t);
    }
    double mb = megabytes * static_cast<double>(state.iterations());
    state.counters["ours_MBps"] = mb / sumOurs;
    state.counters["curl_MBps"] = mb / sumCurl;
    state.counters["ours_over_curl"] = sumCurl / sumOurs;
    state.counters["best_ours_over_curl"] = bestCurl / bestOurs;
}

double messageMb() {
    struct stat st {};
    std::string p = servers().dir + "/sent.eml";
    return stat(p.c_str(), &st) == 0 ? static_cast<double>(st.st_size) / (1 << 20) : 10;
}

void BM_Pop3RetrVsCurl(benchmark::State& state) {
    Servers& s = servers();
    compare(state, oursPop3, {"pop3://127.0.0.1:" + std::to_string(s.pop3) + "/1"}, messageMb());
}

void BM_Imap4FetchVsCurl(benchmark::State& state) {
    Servers& s = servers();
    compare(state, oursImap4, {"imap://127.0.0.1:" + std::to_string(s.imap) + "/INBOX;MAILINDEX=1"},
            messageMb());
}

void BM_SmtpDataVsCurl(benchmark::State& state) {
    Servers& s = servers();
    // curl sends the very text our client sent (its copy file), with the same login.
    compare(state, oursSmtp,
            {"smtp://127.0.0.1:" + std::to_string(s.smtp), "--mail-from", kAddress, "--mail-rcpt",
             kAddress, "--login-options", "AUTH=PLAIN", "-T", s.dir + "/sent.eml"},
            messageMb());
}

} // namespace

BENCHMARK(BM_Pop3RetrVsCurl)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_Imap4FetchVsCurl)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);
BENCHMARK(BM_SmtpDataVsCurl)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(6);

BENCHMARK_MAIN();
