#pragma once

#include <string>
#include <vector>

// The local board server (tools/boardsim) in a child process on a free 127.0.0.1 port, for the
// lifetime of the object. Programs reach its boards through it as their HTTP proxy.
class BoardSim {
public:
    explicit BoardSim(const std::vector<std::string>& extraArgs = {});
    ~BoardSim();
    BoardSim(const BoardSim&) = delete;
    BoardSim& operator=(const BoardSim&) = delete;

    int port() const { return m_port; }
    bool ok() const { return m_port > 0; }
    // A control request ("/_ctl/append?host=...&board=...&key=...&n=3"); returns the body, or
    // "" when it failed.
    std::string control(const std::string& pathAndQuery);
    // GET of a board URL through the server, body only.
    std::string get(const std::string& url);
    // The request log so far, one JSON object per entry.
    std::vector<std::string> requests() const;
    void clearRequests();
    // The most requests whose URL holds urlPart that the server was answering at one moment
    // (from the log's start and end times); count, when given, receives how many there were.
    int PeakConcurrent(const std::string& urlPart, int* count = nullptr) const;
    const std::string& logPath() const { return m_log; }

private:
    std::string request(const std::string& target);
    int m_pid = -1;
    int m_port = 0;
    std::string m_dir;
    std::string m_log;
};
