#include "net_support.h"

#include "vorn_log.h"
#include "vorn_thread.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

std::string Pattern(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 31 + (i >> 7)) % 251);
    return s;
}

namespace {

pid_t spawn(const std::vector<std::string>& argv, const std::string& cwd, int in, int out,
            int err) {
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (in >= 0)
        posix_spawn_file_actions_adddup2(&fa, in, 0);
    if (out >= 0)
        posix_spawn_file_actions_adddup2(&fa, out, 1);
    if (err >= 0)
        posix_spawn_file_actions_adddup2(&fa, err, 2);
    if (!cwd.empty())
        posix_spawn_file_actions_addchdir_np(&fa, cwd.c_str());
    pid_t pid = -1;
    int rc = posix_spawnp(&pid, args[0], &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    return rc == 0 ? pid : -1;
}

} // namespace

bool RunProgram(const std::vector<std::string>& argv, const std::string& cwd) {
    int devnull = open("/dev/null", O_RDWR | O_CLOEXEC);
    pid_t pid = spawn(argv, cwd, devnull, devnull, devnull);
    close(devnull);
    if (pid < 0)
        return false;
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

FixtureServer::FixtureServer(const std::string& cert, const std::string& key) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0)
        return;
    if (pipe2(out, O_CLOEXEC) != 0) {
        close(in[0]);
        close(in[1]);
        return;
    }
    std::vector<std::string> argv = {VORN_PYTHON, VORN_FIXTURE_SCRIPT, "--lifetime", "240"};
    if (!cert.empty()) {
        argv.insert(argv.end(), {"--cert", cert, "--key", key});
    }
    m_pid = spawn(argv, "", in[0], out[1], -1);
    close(in[0]);
    close(out[1]);
    m_stdin = in[1];
    if (m_pid < 0) {
        close(out[0]);
        return;
    }
    std::string lines;
    int64_t deadline = NowMs() + 15000;
    while (lines.find("READY\n") == std::string::npos && NowMs() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        char buf[256];
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        lines.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    unsigned port = 0;
    size_t pos = 0;
    while (pos < lines.size()) {
        size_t eol = lines.find('\n', pos);
        if (eol == std::string::npos)
            break;
        std::string line = lines.substr(pos, eol - pos);
        char name[32];
        if (sscanf(line.c_str(), "%31s %u", name, &port) == 2) {
            std::string n = name;
            if (n == "HTTP")
                m_http = static_cast<unsigned short>(port);
            else if (n == "PROXY")
                m_proxy = static_cast<unsigned short>(port);
            else if (n == "BLACKHOLE")
                m_blackhole = static_cast<unsigned short>(port);
            else if (n == "TLS")
                m_tls = static_cast<unsigned short>(port);
        }
        pos = eol + 1;
    }
}

FixtureServer::~FixtureServer() {
    if (m_stdin >= 0)
        close(m_stdin);
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        while (waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

std::string FixtureServer::url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_http) + path;
}

TestCerts::TestCerts() {
    const std::string d = dir.path();
    caCert = d + "/ca.crt";
    serverCert = d + "/server.crt";
    serverKey = d + "/server.key";
    WriteAll(d + "/ext.cnf",
             "basicConstraints=CA:FALSE\nsubjectAltName=DNS:localhost,IP:127.0.0.1\n");
    const std::string curve = "ec_paramgen_curve:prime256v1";
    ok = RunProgram({VORN_OPENSSL, "req", "-x509", "-newkey", "ec", "-pkeyopt", curve, "-nodes",
                     "-keyout", d + "/ca.key", "-out", caCert, "-subj", "/CN=vornnet test CA",
                     "-days", "2"}) &&
         RunProgram({VORN_OPENSSL, "req", "-new", "-newkey", "ec", "-pkeyopt", curve, "-nodes",
                     "-keyout", serverKey, "-out", d + "/server.csr", "-subj", "/CN=localhost"}) &&
         RunProgram({VORN_OPENSSL, "x509", "-req", "-in", d + "/server.csr", "-CA", caCert,
                     "-CAkey", d + "/ca.key", "-set_serial", "2", "-days", "2", "-extfile",
                     d + "/ext.cnf", "-out", serverCert});
}

LogCapture::LogCapture() {
    SetLogdir(m_dir.path().c_str());
    SetModule("net");
    SetLoglevel("2");
}

LogCapture::~LogCapture() {
    SetLoglevel("");
    SetModule("");
    SetLogdir("");
}

std::string LogCapture::text() const {
    return ReadAll(m_dir.file("net.log"));
}

int Recorder::Callback(CVornSocketMessage& msg, void* user) {
    auto* r = static_cast<Recorder*>(user);
    int m = static_cast<int>(msg.message);
    int nth = 0;
    {
        std::lock_guard<std::mutex> lock(r->mutex);
        r->messages.push_back(m);
        r->data.push_back(msg.data);
    }
    if (m >= 0 && m < 10)
        nth = ++r->seen[m];
    if (r->hook)
        r->hook(m);
    if (r->cancelAll || (r->cancelOn == m && nth >= r->cancelAfter))
        msg.result = 1;
    return 0;
}

int Recorder::count(int message) {
    std::lock_guard<std::mutex> lock(mutex);
    int n = 0;
    for (int m : messages)
        n += m == message;
    return n;
}

std::string Recorder::trace() {
    std::lock_guard<std::mutex> lock(mutex);
    std::string s;
    for (int m : messages)
        s += static_cast<char>('a' + m);
    return s;
}

int ReadBody(CVornHttpClient& c, std::string& out, int len) {
    std::vector<char> buf(static_cast<size_t>(len));
    for (int guard = 0; guard < 10000000; ++guard) {
        int n = c.Recv(buf.data(), len);
        if (n <= 0)
            return n;
        out.append(buf.data(), static_cast<size_t>(n));
    }
    return -2;
}

int64_t NowMs() {
    return CVornTime::NowMs();
}

Canceller::Canceller(Recorder& rec, int delayMs) {
    m_thread = std::thread([this, &rec, delayMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        m_at = NowMs();
        rec.cancelAll = true;
    });
}

Canceller::~Canceller() {
    if (m_thread.joinable())
        m_thread.join();
}

int64_t Canceller::at() {
    if (m_thread.joinable())
        m_thread.join();
    return m_at;
}
