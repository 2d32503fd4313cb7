#include "vorn_smtp_client.h"

#include "vorn_file.h"
#include "vorn_host_ent.h"
#include "vorn_log.h"
#include "vorn_md5.h"
#include "vorn_send_mail.h"

#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {

bool isAscii(const CVornString& s) {
    for (int i = 0; i < s.GetLength(); ++i)
        if (s.At(i) >= 0x80)
            return false;
    return true;
}

CVornString base64(const CVornString& s) {
    CVornString b(s);
    return b.Base64Encode();
}

// The reply's code: its first three characters as a number, 0 when they are not digits.
int replyCode(const CVornString& reply) {
    if (reply.GetLength() < 3)
        return 0;
    for (int i = 0; i < 3; ++i)
        if (reply[static_cast<size_t>(i)] < '0' || reply[static_cast<size_t>(i)] > '9')
            return 0;
    return reply.Left(3).Atoi();
}

// True when line (without its end) is the last line of a reply: three digits and a blank, or
// just three digits.
bool lastLine(std::string_view line) {
    if (line.size() < 3)
        return false;
    for (int i = 0; i < 3; ++i)
        if (line[static_cast<size_t>(i)] < '0' || line[static_cast<size_t>(i)] > '9')
            return false;
    return line.size() == 3 || line[3] == ' ';
}

std::string_view chomp(std::string_view s) {
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

} // namespace

CVornSmtpClient::CVornSmtpClient(const char* mailer)
    : m_mailer(mailer && *mailer ? mailer : "vornnet") {
    SetRecvTimeout(kDefaultRecvTimeout);
}

void CVornSmtpClient::SetSmtpAuth(const char* user, const char* password, int type) {
    m_user = user ? user : "";
    m_password = password ? password : "";
    m_authType = type;
}

int CVornSmtpClient::Connect(const char* host, unsigned short port, int timeout) {
    m_host = host ? host : "";
    if (!CVornAsyncSocket::Connect(host, port, timeout)) {
        VLOG(0, "CVornSmtpClient::Connect", "Connect error[%d]", errno);
        return 0;
    }
    int code = recvReply();
    if (code == 0) {
        VLOG(0, "CVornSmtpClient::Connect", "Recv error[%d]", errno);
        return 0;
    }
    if (!m_response.StartsWith("220")) {
        VLOG(0, "CVornSmtpClient::Connect", "SMTP error[%s]",
             CVornString(chomp(m_response.view())).c_str());
        return 0;
    }
    VLOG(2, "CVornSmtpClient::Connect", "<-[%s]", CVornString(chomp(m_response.view())).c_str());
    return 1;
}

int CVornSmtpClient::recvReply() {
    m_response.Empty();
    char buf[8192];
    size_t lineStart = 0;
    for (;;) {
        int n = Recv(buf, sizeof buf);
        if (n <= 0)
            return 0;
        m_response.Append(buf, static_cast<size_t>(n));
        for (;;) {
            size_t lf = m_response.str().find('\n', lineStart);
            if (lf == std::string::npos)
                break;
            std::string_view line =
                chomp(std::string_view(m_response.str()).substr(lineStart, lf - lineStart));
            VLOG(2, "CVornSmtpClient::sendAndRecv", "<-[%.*s]", static_cast<int>(line.size()),
                 line.data());
            lineStart = lf + 1;
            if (lastLine(line)) {
                // The code of the reply's last line decides (all lines carry the same one).
                int code = replyCode(CVornString(line));
                return code;
            }
        }
        if (m_response.GetLength() > kMaxReply) {
            VLOG(0, "CVornSmtpClient::sendAndRecv", "reply too long[%d]", m_response.GetLength());
            return 0;
        }
    }
}

int CVornSmtpClient::sendAndRecv(const char* text, const char* logText) {
    VLOG(2, "CVornSmtpClient::sendAndRecv", "->[%s]", logText ? logText : text);
    CVornString line(text);
    line += "\r\n";
    if (Send(line.c_str(), line.GetLength()) != line.GetLength()) {
        VLOG(0, "CVornSmtpClient::sendAndRecv", "Send error[%d]", errno);
        return 0;
    }
    int code = recvReply();
    if (code == 0)
        VLOG(0, "CVornSmtpClient::sendAndRecv", "Send error[%d]", errno);
    return code;
}

int CVornSmtpClient::login() {
    int ok = 0;
    if (m_authType == AUTH_PLAIN) {
        CVornString token;
        token += '\0';
        token += m_user;
        token += '\0';
        token += m_password;
        CVornString cmd("AUTH PLAIN " + base64(token));
        ok = sendAndRecv(cmd.c_str(), "AUTH PLAIN ****") == 235;
    } else if (m_authType == AUTH_LOGIN) {
        ok = sendAndRecv("AUTH LOGIN") == 334 &&
             sendAndRecv(base64(m_user).c_str(), "****") == 334 &&
             sendAndRecv(base64(m_password).c_str(), "****") == 235;
    } else if (m_authType == AUTH_CRAM_MD5) {
        if (sendAndRecv("AUTH CRAM-MD5") == 334) {
            CVornString reply(chomp(m_response.view()));
            CVornString challenge = reply.Mid(reply.FindR(' ') + 1);
            if (challenge.Base64Decode()) {
                CVornString answer = m_user + " " + CVornMd5::Hmac(m_password, challenge);
                ok = sendAndRecv(base64(answer).c_str(), "****") == 235;
            }
        }
    } else {
        return 1;
    }
    if (!ok)
        VLOG(0, "CVornSmtpClient::SendMail", "Login error[%s][%d]", m_user.c_str(), m_authType);
    return ok;
}

int CVornSmtpClient::flushData() {
    if (m_out.IsEmpty() || m_dataFailed)
        return m_dataFailed ? 0 : 1;
    if (Send(m_out.GetData(), m_out.GetSize()) != m_out.GetSize()) {
        VLOG(0, "CVornSmtpClient::SendMail", "Send error[%d]", errno);
        m_dataFailed = true;
        return 0;
    }
    m_out.Clear();
    return 1;
}

int CVornSmtpClient::putData(std::string_view data) {
    if (m_dataFailed)
        return 0;
    // Lines end in CR LF on the wire: a bare LF gets its CR (servers store line ends, and a
    // bare LF is what SMTP smuggling hides behind); a line starting with "." gets one more.
    std::string copy;
    copy.reserve(data.size() + 16);
    size_t pos = 0;
    while (pos < data.size()) {
        if (m_atLineStart && data[pos] == '.')
            m_out.Append(".", 1);
        const void* lf = memchr(data.data() + pos, '\n', data.size() - pos);
        size_t stop =
            lf ? static_cast<size_t>(static_cast<const char*>(lf) - data.data()) : data.size();
        std::string_view text = data.substr(pos, stop - pos);
        m_out.Append(text);
        copy.append(text);
        if (!text.empty())
            m_lastCr = text.back() == '\r';
        m_atLineStart = false;
        if (lf) {
            const char* eol = m_lastCr ? "\n" : "\r\n";
            m_out.Append(eol);
            copy.append(eol);
            m_lastCr = false;
            m_atLineStart = true;
            stop += 1;
        }
        pos = stop;
    }
    if (m_copy && !copy.empty() && m_copy->Write(copy.data(), static_cast<int>(copy.size())) < 0) {
        VLOG(0, "CVornSmtpClient::SendMail", "copy write error[%d]", m_copy->GetLastError());
        m_dataFailed = true;
        return 0;
    }
    if (m_out.size() > kSendBlock)
        return flushData();
    return 1;
}

CVornString CVornSmtpClient::encodeWord(const CVornString& text) const {
    if (isAscii(text))
        return text;
    CVornString jis(text);
    jis.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_JIS);
    CVornString out;
    out.Format("=?ISO-2022-JP?B?%s?=", jis.Base64Encode().c_str());
    return out;
}

CVornString CVornSmtpClient::encodeAddress(const CVornString& text) const {
    int open = text.FindR('<');
    if (open < 0 || text.Find('>', open) < 0) {
        CVornString a(text);
        return "<" + a.Trim() + ">";
    }
    CVornString name = text.Left(open);
    name.Trim();
    CVornString addr = text.Mid(open);
    if (isAscii(name))
        return text;
    return encodeWord(name) + " " + addr;
}

int CVornSmtpClient::sendAttachment(const CVornString& path, const CVornString& type,
                                    bool base64Flag, const CVornString& boundary) {
    CVornFile in;
    if (!in.Open(path.c_str(), CVornFile::MODE_READ)) {
        VLOG(0, "CVornSmtpClient::SendMail", "file open error[%s][%d]", path.c_str(),
             in.GetLastError());
        return 0;
    }
    CVornString head;
    head.Format("\r\n--%s\r\nContent-Type: %s\r\n", boundary.c_str(), type.c_str());
    if (type.str() != "message/rfc822") {
        int slash = path.FindR('/');
        int back = path.FindR('\\');
        CVornString name = path.Mid((slash > back ? slash : back) + 1);
        head.FormatAdd("Content-Disposition: attachment; filename=\"%s\"\r\n",
                       encodeWord(name).c_str());
    }
    if (base64Flag)
        head += "Content-Transfer-Encoding: base64\r\n";
    head += "\r\n";
    if (!putData(head.view()))
        return 0;
    // 76 Base64 characters per line; lines are joined by CR LF so that the one before the next
    // boundary belongs to it.
    constexpr int kLine = 57;
    std::vector<char> buf(kLine * 1024);
    bool first = true;
    for (;;) {
        // A full block each time: a short read would put Base64 padding mid-stream.
        int n = 0;
        while (n < static_cast<int>(buf.size())) {
            int got = in.Read(buf.data() + n, static_cast<int>(buf.size()) - n);
            if (got <= 0) {
                if (got < 0)
                    n = -1;
                break;
            }
            n += got;
        }
        if (n < 0) {
            VLOG(0, "CVornSmtpClient::SendMail", "file read error[%s][%d]", path.c_str(),
                 in.GetLastError());
            return 0;
        }
        if (n == 0)
            break;
        if (!base64Flag) {
            if (!putData(std::string_view(buf.data(), static_cast<size_t>(n))))
                return 0;
            continue;
        }
        // Whole 57-byte groups encode to whole 76-character lines, so the block is encoded at
        // once and cut into lines.
        CVornString encoded(buf.data(), static_cast<size_t>(n));
        encoded.Base64Encode();
        const std::string& e = encoded.str();
        std::string lines;
        lines.reserve(e.size() + e.size() / 76 * 2 + 2);
        for (size_t i = 0; i < e.size(); i += 76) {
            if (!first)
                lines += "\r\n";
            first = false;
            lines.append(e, i, 76);
        }
        if (!putData(lines))
            return 0;
    }
    return 1;
}

int CVornSmtpClient::SendMail(CVornSendMail& mail, CVornFile* copy) {
    CVornHostEnt local;
    CVornString cmd;
    cmd.Format("EHLO %s", local.GetName() ? local.GetName() : "localhost");
    if (sendAndRecv(cmd.c_str()) != 250) {
        cmd.Format("HELO %s", local.GetName() ? local.GetName() : "localhost");
        if (sendAndRecv(cmd.c_str()) != 250)
            return 0;
    }
    if (!m_user.IsEmpty() && !login())
        return 0;
    cmd.Format("MAIL FROM:<%s>", CVornSendMail::AddressOf(mail.GetFrom()).c_str());
    if (sendAndRecv(cmd.c_str()) != 250)
        return 0;
    for (const CVornDataArray* list : {&mail.GetTo(), &mail.GetCc(), &mail.GetBcc()}) {
        for (const auto& rcpt : list->Items()) {
            cmd.Format("RCPT TO:<%s>", CVornSendMail::AddressOf(rcpt).c_str());
            if (sendAndRecv(cmd.c_str()) != 250)
                return 0;
        }
    }
    if (sendAndRecv("DATA") != 354)
        return 0;

    m_copy = copy;
    m_out.Clear();
    m_atLineStart = true;
    m_lastCr = false;
    m_dataFailed = false;
    CVornString head;
    head.Format("Subject: %s\r\n", encodeWord(mail.GetSubject()).c_str());
    auto addresses = [&](const char* name, const CVornDataArray& list) {
        if (list.GetCount() == 0)
            return;
        head += name;
        for (int i = 0; i < list.GetCount(); ++i) {
            if (i)
                head += ",";
            head += encodeAddress(list.Get(i));
        }
        head += "\r\n";
    };
    addresses("To: ", mail.GetTo());
    addresses("Cc: ", mail.GetCc());
    head.FormatAdd("From: %s\r\n", encodeAddress(mail.GetFrom()).c_str());
    if (mail.GetDate().IsEmpty())
        mail.SetDate(CVornSendMail::GenerateDate().c_str());
    head.FormatAdd("Date: %s\r\n", mail.GetDate().c_str());
    if (mail.GetMessageId().IsEmpty())
        mail.SetMessageId(
            CVornSendMail::GenerateMessageId(mail.GetFrom().c_str(), m_mailer.c_str()).c_str());
    head.FormatAdd("Message-ID: <%s>\r\n", mail.GetMessageId().c_str());
    if (!mail.GetInReplyTo().IsEmpty())
        head.FormatAdd("In-Reply-To: <%s>\r\n", mail.GetInReplyTo().c_str());
    if (!mail.GetReplyTo().IsEmpty())
        head.FormatAdd("Reply-To: %s\r\n", mail.GetReplyTo().c_str());
    head += "MIME-Version: 1.0\r\n";
    head.FormatAdd("X-Mailer: %s\r\n", m_mailer.c_str());

    CVornString body(mail.GetBody());
    CVornString bodyPart;
    if (isAscii(body)) {
        bodyPart = "Content-type: text/plain; charset=\"US-ASCII\"\r\n\r\n";
    } else {
        bodyPart = "Content-type: text/plain; charset=\"ISO-2022-JP\"\r\n\r\n";
        body.ConvertKCodeEx(CVornString::KCODE_SJIS_TO_JIS);
    }
    bodyPart += body;

    const CVornTable& attach = mail.GetAttach();
    int ok = 1;
    if (attach.GetRowCount() == 0) {
        ok = putData(head.view()) && putData(bodyPart.view());
    } else {
        time_t now = time(nullptr);
        struct tm tm {};
        localtime_r(&now, &tm);
        CVornString boundary;
        boundary.Format("MULTIPART-%d-%04d%02d%02d%02d%02d%02d", static_cast<int>(getpid()),
                        tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min,
                        tm.tm_sec);
        head.FormatAdd("Content-type: multipart/mixed; boundary=\"%s\"\r\n", boundary.c_str());
        CVornString first;
        first.Format("\r\n--%s\r\n", boundary.c_str());
        ok = putData(head.view()) && putData(first.view()) && putData(bodyPart.view());
        for (int i = 0; ok && i < attach.GetRowCount(); ++i)
            ok = sendAttachment(attach.Get(i, CVornSendMail::ATTACH_PATH),
                                attach.Get(i, CVornSendMail::ATTACH_TYPE),
                                attach.Get(i, CVornSendMail::ATTACH_BASE64) == "1", boundary);
        if (ok) {
            CVornString last;
            last.Format("\r\n--%s--", boundary.c_str());
            ok = putData(last.view());
        }
    }
    // The message ends with the line break of its last line; "." follows on a line of its own.
    if (ok && m_copy && m_copy->Write("\r\n", 2) < 0)
        ok = 0;
    m_copy = nullptr;
    if (ok) {
        m_out.Append("\r\n.\r\n", 5);
        ok = flushData();
    }
    m_out.Clear();
    if (!ok)
        return 0;
    int code = recvReply();
    if (code != 250) {
        VLOG(0, "CVornSmtpClient::SendMail", "sendAndRecv error[%d]", code);
        return 0;
    }
    return 1;
}

int CVornSmtpClient::DisConnect() {
    return sendAndRecv("QUIT") == 221 ? 1 : 0;
}
