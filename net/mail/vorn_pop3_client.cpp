#include "vorn_pop3_client.h"

#include "vorn_file.h"
#include "vorn_log.h"
#include "vorn_mail.h"
#include "vorn_md5.h"
#include "vorn_regex.h"

#include <cerrno>
#include <strings.h>

namespace {

std::string_view chomp(std::string_view s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

bool isOk(const CVornString& status) {
    return strncasecmp(status.c_str(), "+OK", 3) == 0;
}

} // namespace

int CVornPop3Client::Connect(const char* host, unsigned short port) {
    const char* where = "CVornPop3Client::Connect";
    m_host = host ? host : "";
    m_port = port;
    m_timeStamp.Empty();
    m_haveUids = false;
    m_uids.RemoveAll();
    resetInput();
    if (!CVornAsyncSocket::Connect(host, port, kConnectTimeout)) {
        VLOG(0, where, "Connect error[%d]", errno);
        return 0;
    }
    return readGreeting();
}

int CVornPop3Client::readGreeting() {
    const char* where = "CVornPop3Client::Connect";
    std::string line;
    if (!readLine(where, line))
        return 0;
    m_response = CVornString(chomp(line));
    m_lastMessage = m_response;
    VLOG(2, where, "FIRST: %s(%d %d)", m_response.c_str(), 0, m_response.GetLength());
    int open = m_response.Find('<');
    int close = m_response.FindR('>');
    if (open >= 0 && close > open)
        m_timeStamp = m_response.Mid(open, close - open + 1);
    return isOk(m_response) ? 1 : 0;
}

int CVornPop3Client::readData(std::string* out, CVornFile* file) {
    const char* where = "CVornPop3Client::command";
    std::string piece, batch;
    bool complete = true;
    int64_t total = 0;
    // File output goes in large writes, not one per line.
    auto flush = [&] {
        if (!file || batch.empty())
            return true;
        if (file->Write(batch.data(), static_cast<int>(batch.size())) < 0) {
            VLOG(0, where, "file write error[%d]", file->GetLastError());
            return false;
        }
        batch.clear();
        return true;
    };
    for (;;) {
        bool atStart = complete;
        if (!readPiece(where, piece, complete)) {
            flush();
            VLOG(0, where, "data ended before its terminator[%lld]", static_cast<long long>(total));
            m_lastMessage = "data ended before its terminator";
            return 0;
        }
        std::string_view p(piece);
        if (atStart && !p.empty() && p[0] == '.') {
            if (complete && (p == ".\r\n" || p == ".\n")) {
                VLOG(2, where, "LAST: [%lld]", static_cast<long long>(total));
                return flush() ? 1 : 0;
            }
            p.remove_prefix(1); // dot-stuffing
        }
        total += static_cast<int64_t>(p.size());
        if (file) {
            batch.append(p);
            if (batch.size() >= 256 * 1024 && !flush())
                return 0;
        } else if (out) {
            if (total > kMaxMemory) {
                VLOG(0, where, "data too large[%lld]", static_cast<long long>(total));
                m_lastMessage = "data too large";
                return 0;
            }
            out->append(p);
        }
    }
}

int CVornPop3Client::command(const char* text, bool multiLine, std::string* out, CVornFile* file,
                             const char* logText) {
    const char* where = "CVornPop3Client::command";
    if (!sendLine(where, text, logText))
        return 0;
    std::string line;
    if (!readLine(where, line))
        return 0;
    m_response = CVornString(chomp(line));
    VLOG(2, where, "FIRST: %s(%d %d)", m_response.c_str(), multiLine ? 1 : 0,
         m_response.GetLength());
    m_lastMessage = m_response;
    if (!isOk(m_response))
        return 0;
    if (!multiLine)
        return 1;
    return readData(out, file);
}

int CVornPop3Client::Login(const char* user, const char* password, AUTHTYPE type) {
    m_user = user ? user : "";
    m_password = password ? password : "";
    m_authType = type;
    CVornString cmd;
    if (type == AUTHTYPE_CHALLENGE) {
        if (m_timeStamp.IsEmpty()) {
            VLOG(0, "CVornPop3Client::Login", "no APOP time stamp in the greeting");
            m_lastMessage = "no APOP time stamp in the greeting";
            return 0;
        }
        cmd.Format("APOP %s %s", m_user.c_str(),
                   CVornMd5::Digest(m_timeStamp + m_password).c_str());
        CVornString masked;
        masked.Format("APOP %s ****", m_user.c_str());
        return command(cmd.c_str(), false, nullptr, nullptr, masked.c_str());
    }
    cmd.Format("USER %s", m_user.c_str());
    if (!command(cmd.c_str(), false))
        return 0;
    cmd.Format("PASS %s", m_password.c_str());
    return command(cmd.c_str(), false, nullptr, nullptr, "PASS ****");
}

int CVornPop3Client::GetMailCount() {
    if (!command("STAT", false))
        return -1;
    CVornRegex re;
    if (!re.Compile("^\\+OK[ ]+([0-9]+)[ ]+([0-9]+)", CVornRegex::FLAG_ICASE) ||
        re.Match(m_response, 0) < 0)
        return -1;
    m_count = m_response.Mid(re.GetStart(1), re.GetEnd(1) - re.GetStart(1)).Atoi();
    m_totalSize = atoll(m_response.Mid(re.GetStart(2), re.GetEnd(2) - re.GetStart(2)).c_str());
    return m_count;
}

int64_t CVornPop3Client::GetMailSize(int number) {
    CVornString cmd;
    cmd.Format("LIST %d", number);
    if (!command(cmd.c_str(), false))
        return -1;
    // "+OK n size"
    CVornDataArray f;
    f.CreateStringArray(m_response.view(), " ", true);
    if (f.GetCount() < 3)
        return -1;
    return atoll(f.Get(2).c_str());
}

int64_t CVornPop3Client::GetMailSize(const char* uid) {
    int n = numberOf(uid);
    return n > 0 ? GetMailSize(n) : -1;
}

int CVornPop3Client::GetUid(CVornDataArray& uids) {
    uids.RemoveAll();
    std::string data;
    if (!command("UIDL", true, &data))
        return 0;
    CVornRegex re;
    if (!re.Compile("^[0-9]+[ ]+(.+)$", 0))
        return 0;
    CVornDataArray lines;
    lines.CreateStringArray(data, "\n", true);
    for (auto& l : lines.Items()) {
        CVornString line(chomp(l.view()));
        if (re.Match(line, 0) >= 0)
            uids.Add(line.Mid(re.GetStart(1), re.GetEnd(1) - re.GetStart(1)));
    }
    m_uids = uids;
    m_haveUids = true;
    return 1;
}

int CVornPop3Client::numberOf(const char* uid) {
    if (!uid)
        return 0;
    if (!m_haveUids) {
        CVornDataArray tmp;
        if (!GetUid(tmp))
            return 0;
    }
    int i = m_uids.Find(uid);
    return i < 0 ? 0 : i + 1;
}

int CVornPop3Client::GetHead(CVornMail& mail, int number, int lines) {
    CVornString cmd;
    if (lines < 0)
        cmd.Format("TOP %d 0", number);
    else
        cmd.Format("TOP %d %d", number, lines);
    std::string data;
    if (!command(cmd.c_str(), true, &data))
        return 0;
    mail.SetHead(data.data(), static_cast<int>(data.size()));
    size_t end = data.find("\r\n\r\n");
    size_t skip = 4;
    if (end == std::string::npos) {
        end = data.find("\n\n");
        skip = 2;
    }
    if (lines > 0 && end != std::string::npos)
        mail.SetBody(data.data() + end + skip, static_cast<int>(data.size() - end - skip));
    return 1;
}

int CVornPop3Client::GetHead(CVornMail& mail, const char* uid, int lines) {
    int n = numberOf(uid);
    return n > 0 ? GetHead(mail, n, lines) : 0;
}

int CVornPop3Client::GetMail(CVornFile& file, int number) {
    CVornString cmd;
    cmd.Format("RETR %d", number);
    return command(cmd.c_str(), true, nullptr, &file);
}

int CVornPop3Client::GetMail(CVornFile& file, const char* uid) {
    int n = numberOf(uid);
    return n > 0 ? GetMail(file, n) : 0;
}

int CVornPop3Client::Delete(int number) {
    CVornString cmd;
    cmd.Format("DELE %d", number);
    return command(cmd.c_str(), false);
}

int CVornPop3Client::Delete(const char* uid) {
    int n = numberOf(uid);
    return n > 0 ? Delete(n) : 0;
}

int CVornPop3Client::Reset() {
    return command("RSET", false);
}

int CVornPop3Client::Close() {
    if (GetSocket() == VORN_INVALID_SOCKET) {
        closeSocket();
        return 0;
    }
    int ok = command("QUIT", false);
    closeSocket();
    return ok;
}
