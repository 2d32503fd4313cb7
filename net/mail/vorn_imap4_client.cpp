#include "vorn_imap4_client.h"

#include "vorn_file.h"
#include "vorn_log.h"
#include "vorn_mail.h"
#include "vorn_md5.h"

#include <cctype>
#include <cerrno>
#include <strings.h>

namespace {

std::string_view chomp(std::string_view s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

// The size of a literal announced at the end of a line ("{123}"), or -1.
int64_t literalSize(std::string_view line) {
    line = chomp(line);
    if (line.empty() || line.back() != '}')
        return -1;
    size_t open = line.rfind('{');
    if (open == std::string_view::npos || open + 2 > line.size() - 1)
        return -1;
    int64_t n = 0;
    for (size_t i = open + 1; i + 1 < line.size(); ++i) {
        char c = line[i];
        if (c == '+' && i + 2 == line.size())
            break; // LITERAL+
        if (c < '0' || c > '9' || n > (int64_t(1) << 40))
            return -1;
        n = n * 10 + (c - '0');
    }
    return n;
}

bool startsOk(std::string_view s) {
    return s.size() >= 2 && strncasecmp(s.data(), "OK", 2) == 0;
}

// The number after key in text, or -1.
int64_t numberAfter(const CVornString& text, const char* key) {
    CVornString up(text);
    up.ToUpper();
    int at = up.Find(key);
    if (at < 0)
        return -1;
    const char* p = up.c_str() + at + strlen(key);
    if (!isdigit(static_cast<unsigned char>(*p)))
        return -1;
    return atoll(p);
}

} // namespace

int CVornImap4Client::Connect(const char* host, unsigned short port) {
    const char* where = "CVornImap4Client::Connect";
    m_host = host ? host : "";
    m_port = port;
    resetInput();
    if (!CVornAsyncSocket::Connect(host, port, kConnectTimeout)) {
        VLOG(0, where, "Connect error[%d]", errno);
        return 0;
    }
    return readGreeting();
}

int CVornImap4Client::readGreeting() {
    const char* where = "CVornImap4Client::Connect";
    std::string line;
    if (!readLine(where, line))
        return 0;
    m_response = CVornString(chomp(line));
    m_lastMessage = m_response;
    VLOG(2, where, "<-[%s]", m_response.c_str());
    return m_response.StartsWith("* OK") || m_response.StartsWith("* PREAUTH") ? 1 : 0;
}

int CVornImap4Client::readReply(int tag, CVornFile* file, std::string* literal) {
    const char* where = "CVornImap4Client::readReply";
    m_response.Empty();
    char tagText[16];
    snprintf(tagText, sizeof tagText, "%04d ", tag);
    bool literalTaken = false;
    std::string line;
    for (;;) {
        if (!readLine(where, line))
            return 0;
        VLOG(2, where, "<-[%s]", CVornString(chomp(line)).c_str());
        if (m_response.GetLength() + static_cast<int64_t>(line.size()) > kMaxMemory) {
            VLOG(0, where, "reply too large");
            m_lastMessage = "reply too large";
            return 0;
        }
        m_response.Append(line.data(), line.size());
        int64_t n = literalSize(line);
        if (n >= 0) {
            if (!literalTaken && (file || literal)) {
                literalTaken = true;
                if (!file && n > kMaxMemory) {
                    VLOG(0, where, "reply too large");
                    m_lastMessage = "reply too large";
                    return 0;
                }
                if (!readBytes(where, n, literal, file))
                    return 0;
            } else {
                if (m_response.GetLength() + n > kMaxMemory) {
                    VLOG(0, where, "reply too large");
                    m_lastMessage = "reply too large";
                    return 0;
                }
                std::string inMemory;
                if (!readBytes(where, n, &inMemory, nullptr))
                    return 0;
                m_response += CVornString(std::move(inMemory));
            }
            continue; // the line goes on after the literal
        }
        std::string_view l = chomp(line);
        if (tag < 0) {
            if (l.starts_with("+ ") || l == "+") {
                m_lastMessage = CVornString(l);
                return 1;
            }
            if (l.starts_with("* "))
                continue;
            // A tagged answer instead of a continuation: refused.
            m_lastMessage = CVornString(l);
            return 0;
        }
        if (l.starts_with(tagText)) {
            m_lastMessage = CVornString(l);
            if (!startsOk(l.substr(5)))
                return 0;
            if ((file || literal) && !literalTaken) {
                VLOG(0, where, "no message data[%s]", m_lastMessage.c_str());
                return 0;
            }
            return 1;
        }
        if (l.starts_with("* BYE")) {
            m_lastMessage = CVornString(l);
            // The server ends the session; the tagged answer may still follow.
        }
    }
}

int CVornImap4Client::command(const char* text, const char* logText, CVornFile* file,
                              std::string* literal) {
    CVornString line;
    int tag = m_tag++;
    line.Format("%04d %s", tag, text);
    CVornString logLine;
    if (logText)
        logLine.Format("%04d %s", tag, logText);
    if (!sendLine("CVornImap4Client::command", line.c_str(), logText ? logLine.c_str() : nullptr))
        return 0;
    return readReply(tag, file, literal);
}

CVornString CVornImap4Client::quote(const CVornString& s) const {
    CVornString q("\"");
    for (int i = 0; i < s.GetLength(); ++i) {
        char c = s[static_cast<size_t>(i)];
        if (c == '"' || c == '\\')
            q += '\\';
        q += c;
    }
    q += '"';
    return q;
}

int CVornImap4Client::Login(const char* user, const char* password, AUTHTYPE type) {
    m_user = user ? user : "";
    m_password = password ? password : "";
    m_authType = type;
    if (type == AUTHTYPE_CHALLENGE) {
        const char* where = "CVornImap4Client::Login";
        CVornString line;
        int tag = m_tag++;
        line.Format("%04d AUTHENTICATE CRAM-MD5", tag);
        if (!sendLine(where, line.c_str()) || !readReply(-1, nullptr, nullptr))
            return 0;
        CVornString cont = m_lastMessage;
        int blank = cont.Find(' ');
        CVornString challenge = blank < 0 ? CVornString() : cont.Mid(blank + 1);
        challenge.Trim();
        if (!challenge.Base64Decode()) {
            VLOG(0, where, "bad challenge");
            sendLine(where, "*"); // cancels the exchange
            readReply(tag, nullptr, nullptr);
            return 0;
        }
        CVornString answer = m_user + " " + CVornMd5::Hmac(m_password, challenge);
        if (!sendLine(where, answer.Base64Encode().c_str(), "****"))
            return 0;
        return readReply(tag, nullptr, nullptr);
    }
    CVornString cmd("LOGIN " + quote(m_user) + " " + quote(m_password));
    CVornString masked("LOGIN " + quote(m_user) + " ****");
    return command(cmd.c_str(), masked.c_str());
}

int CVornImap4Client::ChangeDirectory(const char* name) {
    m_mailbox = name ? name : "INBOX";
    return command(("SELECT " + quote(m_mailbox)).c_str());
}

int CVornImap4Client::GetMailCount() {
    if (!command(("STATUS " + quote(m_mailbox) + " (MESSAGES)").c_str()))
        return -1;
    int64_t n = numberAfter(m_response, "MESSAGES ");
    return n < 0 || n > INT32_MAX ? -1 : static_cast<int>(n);
}

int64_t CVornImap4Client::GetMailSize(int number) {
    CVornString cmd;
    cmd.Format("FETCH %d (RFC822.SIZE)", number);
    return command(cmd.c_str()) ? numberAfter(m_response, "RFC822.SIZE ") : -1;
}

int64_t CVornImap4Client::GetMailSize(const char* uid) {
    CVornString cmd;
    cmd.Format("UID FETCH %s (RFC822.SIZE)", uid ? uid : "");
    return command(cmd.c_str()) ? numberAfter(m_response, "RFC822.SIZE ") : -1;
}

int CVornImap4Client::GetUid(CVornDataArray& uids) {
    uids.RemoveAll();
    if (!command("UID SEARCH ALL"))
        return 0;
    CVornDataArray lines;
    lines.CreateStringArray(m_response.view(), "\n", true);
    for (const auto& l : lines.Items()) {
        CVornString up(chomp(l.view()));
        up.ToUpper();
        if (!up.StartsWith("* SEARCH"))
            continue;
        const std::string& s = up.str();
        for (size_t i = 8; i < s.size(); ++i) {
            if (s[i - 1] == ' ' && isdigit(static_cast<unsigned char>(s[i]))) {
                size_t j = i;
                while (j < s.size() && isdigit(static_cast<unsigned char>(s[j])))
                    ++j;
                uids.Add(CVornString(s.substr(i, j - i)));
                i = j;
            }
        }
    }
    return 1;
}

int CVornImap4Client::GetHead(CVornMail& mail, int number, int) {
    CVornString cmd;
    cmd.Format("FETCH %d (RFC822.HEADER)", number);
    std::string head;
    if (!command(cmd.c_str(), nullptr, nullptr, &head)) {
        VLOG(0, "CVornImap4Client::GetHead", "FETCH error[%s]", m_lastMessage.c_str());
        return 0;
    }
    return mail.SetHead(head.data(), static_cast<int>(head.size()));
}

int CVornImap4Client::GetHead(CVornMail& mail, const char* uid, int) {
    CVornString cmd;
    cmd.Format("UID FETCH %s (RFC822.HEADER)", uid ? uid : "");
    std::string head;
    if (!command(cmd.c_str(), nullptr, nullptr, &head)) {
        VLOG(0, "CVornImap4Client::GetHead", "FETCH error[%s]", m_lastMessage.c_str());
        return 0;
    }
    return mail.SetHead(head.data(), static_cast<int>(head.size()));
}

int CVornImap4Client::GetMail(CVornFile& file, int number) {
    CVornString cmd;
    cmd.Format("FETCH %d (RFC822)", number);
    return command(cmd.c_str(), nullptr, &file);
}

int CVornImap4Client::GetMail(CVornFile& file, const char* uid) {
    CVornString cmd;
    cmd.Format("UID FETCH %s (RFC822)", uid ? uid : "");
    return command(cmd.c_str(), nullptr, &file);
}

int CVornImap4Client::Delete(int number) {
    CVornString cmd;
    cmd.Format("STORE %d +FLAGS (\\Deleted)", number);
    return command(cmd.c_str());
}

int CVornImap4Client::Delete(const char* uid) {
    CVornString cmd;
    cmd.Format("UID STORE %s +FLAGS (\\Deleted)", uid ? uid : "");
    return command(cmd.c_str());
}

int CVornImap4Client::Commit() {
    return command("EXPUNGE");
}

int CVornImap4Client::Close() {
    if (GetSocket() == VORN_INVALID_SOCKET) {
        closeSocket();
        return 0;
    }
    int ok = command("LOGOUT");
    closeSocket();
    return ok;
}
