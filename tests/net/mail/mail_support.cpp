#include "mail_support.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

MailServers::MailServers() {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) {
        m_error = "pipe failed";
        return;
    }
    m_pid = fork();
    if (m_pid == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        execl(VORN_PYTHON, VORN_PYTHON, VORN_MAILSERVERS_SCRIPT, "--lifetime", "900",
              static_cast<char*>(nullptr));
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    m_stdin = in[1];
    std::string text;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        pollfd p{out[0], POLLIN, 0};
        if (poll(&p, 1, 200) <= 0)
            continue;
        char buf[4096];
        ssize_t n = read(out[0], buf, sizeof buf);
        if (n <= 0)
            break;
        text.append(buf, static_cast<size_t>(n));
    }
    close(out[0]);
    std::istringstream is(text);
    std::string word;
    is >> word;
    if (word == "READY") {
        int s = 0, i = 0, p = 0;
        is >> s >> i >> p >> m_maildir;
        m_smtp = static_cast<unsigned short>(s);
        m_imap = static_cast<unsigned short>(i);
        m_pop3 = static_cast<unsigned short>(p);
    } else {
        m_error = "the mail servers (dovecot, exim) could not start: " +
                  (text.empty() ? std::string("no answer from tools/mailservers") : text);
    }
}

MailServers::~MailServers() {
    if (m_stdin >= 0)
        close(m_stdin);
    if (m_pid > 0) {
        int status = 0;
        // The launcher stops both servers when its input closes; bounded.
        for (int i = 0; i < 300; ++i) {
            if (waitpid(m_pid, &status, WNOHANG) == m_pid)
                return;
            usleep(100 * 1000);
        }
        kill(m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
    }
}

static int countFiles(const std::string& dir) {
    int n = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                ++n;
        closedir(d);
    }
    return n;
}

int MailServers::delivered() const {
    return countFiles(m_maildir + "/new") + countFiles(m_maildir + "/cur");
}

bool MailServers::waitDelivered(int n) const {
    for (int i = 0; i < 300; ++i) {
        if (delivered() >= n)
            return true;
        usleep(100 * 1000);
    }
    return false;
}

ScriptServer::ScriptServer(std::vector<Step> steps) : m_steps(std::move(steps)) {
    m_listen = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (bind(m_listen, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        listen(m_listen, 4) != 0 ||
        getsockname(m_listen, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return;
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { run(); });
}

ScriptServer::~ScriptServer() {
    join();
    if (m_listen >= 0)
        close(m_listen);
}

void ScriptServer::join() {
    if (m_thread.joinable())
        m_thread.join();
}

std::vector<std::string> ScriptServer::lines() {
    join();
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

std::string ScriptServer::failures() {
    join();
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_failures;
}

void ScriptServer::run() {
    pollfd p{m_listen, POLLIN, 0};
    if (poll(&p, 1, 20000) <= 0) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_failures += "no connection;";
        return;
    }
    int fd = accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0)
        return;
    std::string in;
    auto readLine = [&](std::string& line) {
        for (;;) {
            size_t lf = in.find('\n');
            if (lf != std::string::npos) {
                line = in.substr(0, lf);
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                in.erase(0, lf + 1);
                return true;
            }
            pollfd q{fd, POLLIN, 0};
            if (poll(&q, 1, 20000) <= 0)
                return false;
            char buf[65536];
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                return false;
            in.append(buf, static_cast<size_t>(n));
        }
    };
    for (const Step& s : m_steps) {
        if (s.kind == Step::SEND) {
            if (send(fd, s.text.data(), s.text.size(), MSG_NOSIGNAL) < 0)
                break;
        } else if (s.kind == Step::EXPECT) {
            std::string line;
            if (!readLine(line)) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_failures += "closed before [" + s.text + "];";
                break;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(line);
            if (line.compare(0, s.text.size(), s.text) != 0)
                m_failures += "expected [" + s.text + "] got [" + line + "];";
        } else if (s.kind == Step::DATA) {
            std::string line;
            bool ended = false;
            while (readLine(line)) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_lines.push_back(line);
                if (line == ".") {
                    ended = true;
                    break;
                }
            }
            if (!ended) {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_failures += "DATA without end;";
                break;
            }
        } else if (s.kind == Step::PAUSE) {
            usleep(static_cast<useconds_t>(s.ms) * 1000);
        } else if (s.kind == Step::ENDLESS) {
            std::string block(65536, 'A');
            for (size_t sent = 0; sent < (256u << 20); sent += block.size()) {
                pollfd q{fd, POLLOUT, 0};
                if (poll(&q, 1, 20000) <= 0)
                    break;
                if (send(fd, block.data(), block.size(), MSG_NOSIGNAL) <= 0)
                    break;
            }
        } else {
            break;
        }
    }
    close(fd);
}
