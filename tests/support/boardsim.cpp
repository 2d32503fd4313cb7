#include "boardsim.h"

#include "vorn_file.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <netinet/in.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <utility>

extern char** environ;

BoardSim::BoardSim(const std::vector<std::string>& extraArgs) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "boardsim-XXXXXX").string();
    if (!mkdtemp(tmpl.data()))
        return;
    m_dir = tmpl;
    m_log = m_dir + "/requests.log";
    std::string portFile = m_dir + "/port";
    std::vector<std::string> args = {
        "python3",     std::string(TAVLO_SOURCE_DIR) + "/tools/boardsim/boardsim.py",
        "--port",      "0",
        "--log",       m_log,
        "--port-file", portFile,
        "--lifetime",  "600",
        "--parent",    std::to_string(getpid())};
    args.insert(args.end(), extraArgs.begin(), extraArgs.end());
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, "python3", &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    if (rc != 0)
        return;
    m_pid = pid;
    for (int i = 0; i < 500 && m_port == 0; ++i) {
        std::string text;
        if (VornReadFile(portFile.c_str(), text) && !text.empty())
            m_port = atoi(text.c_str());
        else
            usleep(20000);
    }
}

BoardSim::~BoardSim() {
    if (m_pid > 0) {
        kill(m_pid, SIGTERM);
        int status = 0;
        for (int i = 0; i < 100; ++i) {
            if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
                m_pid = -1;
                break;
            }
            usleep(20000);
        }
        if (m_pid > 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, &status, 0);
        }
    }
    if (!m_dir.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }
}

std::string BoardSim::request(const std::string& target) {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0)
        return "";
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(m_port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string out;
    if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        std::string req =
            "GET " + target + " HTTP/1.1\r\nHost: boardsim.test\r\nConnection: close\r\n\r\n";
        send(fd, req.data(), req.size(), MSG_NOSIGNAL);
        char buf[65536];
        for (int i = 0; i < 100000; ++i) {
            pollfd p{fd, POLLIN, 0};
            if (poll(&p, 1, 10000) <= 0)
                break;
            ssize_t n = recv(fd, buf, sizeof buf, 0);
            if (n <= 0)
                break;
            out.append(buf, static_cast<size_t>(n));
        }
    }
    close(fd);
    size_t body = out.find("\r\n\r\n");
    if (out.compare(0, 12, "HTTP/1.1 200") != 0 || body == std::string::npos)
        return "";
    return out.substr(body + 4);
}

std::string BoardSim::control(const std::string& pathAndQuery) {
    return request(pathAndQuery);
}

std::string BoardSim::get(const std::string& url) {
    return request(url);
}

std::vector<std::string> BoardSim::requests() const {
    std::vector<std::string> lines;
    std::string text;
    VornReadFile(m_log.c_str(), text);
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        if (nl == std::string::npos)
            break;
        lines.push_back(text.substr(pos, nl - pos));
        pos = nl + 1;
    }
    return lines;
}

void BoardSim::clearRequests() {
    // Truncate in place: the server keeps its file open for appending.
    CVornFile f;
    f.Open(m_log.c_str(), CVornFile::MODE_WRITE);
}

int BoardSim::PeakConcurrent(const std::string& urlPart, int* count) const {
    std::vector<std::pair<double, int>> events;
    int seen = 0;
    for (const std::string& line : requests()) {
        if (line.find(urlPart) == std::string::npos)
            continue;
        ++seen;
        size_t a = line.find("\"t0\": "), b = line.find("\"t\": ");
        if (a == std::string::npos || b == std::string::npos)
            continue;
        events.emplace_back(atof(line.c_str() + a + 6), 1);
        events.emplace_back(atof(line.c_str() + b + 5), -1);
    }
    // An end and a start at the same moment do not overlap.
    std::sort(events.begin(), events.end());
    int now = 0, peak = 0;
    for (const auto& e : events)
        peak = std::max(peak, now += e.second);
    if (count)
        *count = seen;
    return peak;
}
