#pragma once

#include "test_util.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

// The built program.
inline std::string TavloExe() {
    return std::string(TAVLO_BINARY_DIR) + "/app/tavlo";
}

// A child process with its output in files; killed at the end when still running.
class Child {
public:
    // env: variables to set ("" removes one).
    Child(const std::vector<std::string>& args, const std::map<std::string, std::string>& env = {})
        : m_out(m_dir.file("stdout")), m_err(m_dir.file("stderr")) {
        std::vector<std::string> envs;
        for (char** e = environ; *e; ++e) {
            std::string kv = *e;
            if (!env.count(kv.substr(0, kv.find('='))))
                envs.push_back(kv);
        }
        for (auto& [k, v] : env)
            if (!v.empty())
                envs.push_back(k + "=" + v);
        std::vector<std::string> a = args;
        std::vector<char*> argv, envp;
        for (auto& s : a)
            argv.push_back(s.data());
        argv.push_back(nullptr);
        for (auto& s : envs)
            envp.push_back(s.data());
        envp.push_back(nullptr);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_addopen(&fa, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&fa, 1, m_out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&fa, 2, m_err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        pid_t pid = 0;
        if (posix_spawnp(&pid, argv[0], &fa, nullptr, argv.data(), envp.data()) == 0)
            m_pid = pid;
        posix_spawn_file_actions_destroy(&fa);
    }
    ~Child() {
        if (m_pid > 0 && !m_status) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    int pid() const { return m_pid; }
    // The exit status once it ended within ms; -1 when it did not (or was killed by a signal:
    // 128 + the signal).
    int wait(int ms = 120000) {
        if (m_status)
            return *m_status;
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        while (m_pid > 0) {
            int st = 0;
            pid_t r = waitpid(m_pid, &st, WNOHANG);
            if (r == m_pid) {
                m_status = WIFEXITED(st) ? WEXITSTATUS(st) : 128 + WTERMSIG(st);
                return *m_status;
            }
            if (r < 0 && errno != EINTR)
                return -1;
            if (std::chrono::steady_clock::now() > end)
                return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return -1;
    }
    bool running() {
        if (m_pid <= 0 || m_status)
            return false;
        return wait(0) == -1;
    }
    void signal(int sig) {
        if (m_pid > 0 && !m_status)
            kill(m_pid, sig);
    }
    std::string out() const { return ReadAll(m_out); }
    std::string err() const { return ReadAll(m_err); }

private:
    TempDir m_dir;
    std::string m_out, m_err;
    int m_pid = -1;
    std::optional<int> m_status;
};

// Runs the program to its end.
struct Ran {
    int rc;
    std::string out, err;
};
inline Ran RunTavlo(const std::vector<std::string>& args,
                    const std::map<std::string, std::string>& env = {}) {
    std::vector<std::string> a{TavloExe()};
    a.insert(a.end(), args.begin(), args.end());
    Child c(a, env);
    int rc = c.wait();
    return {rc, c.out(), c.err()};
}

// Lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

inline std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> f;
    size_t at = 0;
    for (;;) {
        size_t end = line.find('\t', at);
        f.push_back(line.substr(at, end == std::string::npos ? std::string::npos : end - at));
        if (end == std::string::npos)
            return f;
        at = end + 1;
    }
}
