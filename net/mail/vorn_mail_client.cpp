#include "vorn_mail_client.h"

#include "vorn_file.h"
#include "vorn_log.h"

#include <cerrno>
#include <cstring>

CVornMailClient::CVornMailClient() {
    SetRecvTimeout(kDefaultRecvTimeout);
}

int CVornMailClient::sendLine(const char* location, const char* text, const char* logText) {
    VLOG(2, location, "->[%s]", logText ? logText : text);
    CVornString line(text);
    line += "\r\n";
    if (Send(line.c_str(), line.GetLength()) != line.GetLength()) {
        VLOG(0, location, "Send error[%d]", errno);
        return 0;
    }
    return 1;
}

int CVornMailClient::fill(const char* location) {
    char buf[16383];
    int n = Recv(buf, sizeof buf);
    if (n <= 0) {
        if (GetWaitState() == WAIT_TIMEOUT)
            VLOG(0, location, "Recv timeout[%d]", GetRecvTimeout());
        else if (n == 0 && GetWaitState() == WAIT_OK)
            VLOG(0, location, "Recv error[closed]");
        else
            VLOG(0, location, "Recv error[%d]", errno);
        return 0;
    }
    m_in.Append(buf, static_cast<size_t>(n));
    return 1;
}

int CVornMailClient::readPiece(const char* location, std::string& piece, bool& complete) {
    piece.clear();
    complete = false;
    for (;;) {
        std::string_view have = m_in.view();
        const size_t maxLine = static_cast<size_t>(m_maxLine);
        size_t limit = have.size() < maxLine ? have.size() : maxLine;
        const void* lf = limit ? memchr(have.data(), '\n', limit) : nullptr;
        if (lf) {
            size_t n = static_cast<size_t>(static_cast<const char*>(lf) - have.data()) + 1;
            piece.assign(have.data(), n);
            m_in.Consume(n);
            complete = true;
            return 1;
        }
        if (have.size() >= maxLine) {
            piece.assign(have.data(), maxLine);
            m_in.Consume(maxLine);
            return 1;
        }
        if (!fill(location))
            return 0;
    }
}

int CVornMailClient::readLine(const char* location, std::string& line) {
    bool complete = false;
    if (!readPiece(location, line, complete))
        return 0;
    if (!complete) {
        VLOG(0, location, "line too long[%d]", m_maxLine);
        m_lastMessage = "line too long";
        return 0;
    }
    for (auto& c : line)
        if (c == '\0')
            c = ' ';
    return 1;
}

int CVornMailClient::readBytes(const char* location, int64_t n, std::string* out, CVornFile* file) {
    while (n > 0) {
        if (m_in.IsEmpty() && !fill(location))
            return 0;
        size_t take = m_in.size() < static_cast<uint64_t>(n) ? m_in.size() : static_cast<size_t>(n);
        if (file) {
            if (file->Write(m_in.GetData(), static_cast<int>(take)) < 0) {
                VLOG(0, location, "file write error[%d]", file->GetLastError());
                return 0;
            }
        } else if (out) {
            out->append(m_in.GetData(), take);
        }
        m_in.Consume(take);
        n -= static_cast<int64_t>(take);
    }
    return 1;
}
