#include "vorn_send_mail.h"

#include "vorn_file.h"
#include "vorn_log.h"

#include <clocale>
#include <ctime>
#include <locale.h>
#include <unistd.h>

void CVornSendMail::AddAttachFile(const char* path, const char* type, int base64) {
    m_attach.AddRow({CVornString(path),
                     CVornString(type && *type ? type : "application/octet-stream"),
                     CVornString(base64 ? "1" : "0")});
}

CVornString CVornSendMail::GenerateDate() {
    time_t now = time(nullptr);
    struct tm tm {};
    localtime_r(&now, &tm);
    char buf[128] = {};
    locale_t c = newlocale(LC_ALL_MASK, "C", nullptr);
    if (c) {
        strftime_l(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S %z", &tm, c);
        freelocale(c);
    } else {
        strftime(buf, sizeof buf, "%a, %d %b %Y %H:%M:%S %z", &tm);
    }
    return CVornString(buf);
}

CVornString CVornSendMail::AddressOf(const CVornString& text) {
    int open = text.FindR('<');
    if (open >= 0) {
        int close = text.Find('>', open);
        if (close > open)
            return text.Mid(open + 1, close - open - 1);
    }
    CVornString s(text);
    return s.Trim();
}

CVornString CVornSendMail::GenerateMessageId(const char* from, const char* prefix) {
    time_t now = time(nullptr);
    struct tm tm {};
    localtime_r(&now, &tm);
    CVornString id;
    id.Format("%s.%d.%04d%02d%02d%02d%02d%02d.%s", prefix ? prefix : "", static_cast<int>(getpid()),
              tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec,
              AddressOf(CVornString(from ? from : "")).c_str());
    id.Replace("<", "");
    id.Replace(">", "");
    return id;
}

static CVornString join(const CVornDataArray& a) {
    CVornString s;
    for (int i = 0; i < a.GetCount(); ++i) {
        if (i)
            s += ",";
        s += a.Get(i);
    }
    return s;
}

int CVornSendMail::Write(const char* path) const {
    CVornString t;
    t.Format("Subject: %s\r\n", m_subject.c_str());
    t.FormatAdd("From: %s\r\n", m_from.c_str());
    t.FormatAdd("Message-Id: %s\r\n", m_messageId.c_str());
    if (!m_inReplyTo.IsEmpty())
        t.FormatAdd("In-Reply-To: <%s>\r\n", m_inReplyTo.c_str());
    t.FormatAdd("Reply-To: %s\r\n", m_replyTo.c_str());
    t.FormatAdd("To: %s\r\n", join(m_to).c_str());
    t.FormatAdd("Cc: %s\r\n", join(m_cc).c_str());
    t.FormatAdd("X-Mailer-Bcc: %s\r\n", join(m_bcc).c_str());
    t += "X-Mailer-Attach: ";
    for (int i = 0; i < m_attach.GetRowCount(); ++i) {
        if (i)
            t += ",";
        CVornString type(m_attach.Get(i, ATTACH_TYPE)), p(m_attach.Get(i, ATTACH_PATH));
        t += type.UrlEncode() + ";" + m_attach.Get(i, ATTACH_BASE64) + ";" + p.UrlEncode();
    }
    t += "\r\n\r\n";
    t += m_body;
    if (!VornWriteFileAtomic(path, t.view())) {
        VLOG(0, "CVornSendMail::Write", "file write error[%s]", path ? path : "");
        return 0;
    }
    return 1;
}

int CVornSendMail::Read(const char* path) {
    std::string all;
    if (!path || !VornReadFile(path, all)) {
        VLOG(0, "CVornSendMail::Read", "file open error[%s]", path ? path : "");
        return 0;
    }
    *this = CVornSendMail();
    size_t end = all.find("\r\n\r\n");
    std::string_view head(all);
    if (end == std::string::npos) {
        m_body.Empty();
    } else {
        head = head.substr(0, end + 2);
        m_body = CVornString(all.substr(end + 4));
    }
    size_t pos = 0;
    while (pos < head.size()) {
        size_t eol = head.find("\r\n", pos);
        if (eol == std::string_view::npos)
            eol = head.size();
        std::string_view line = head.substr(pos, eol - pos);
        pos = eol + 2;
        size_t colon = line.find(": ");
        if (colon == std::string_view::npos)
            continue;
        std::string_view name = line.substr(0, colon);
        CVornString value(line.substr(colon + 2));
        if (name == "Subject")
            m_subject = value;
        else if (name == "From")
            m_from = value;
        else if (name == "Message-Id")
            m_messageId = value;
        else if (name == "In-Reply-To")
            m_inReplyTo = value.StartsWith("<") && value.EndsWith(">")
                              ? value.Mid(1, value.GetLength() - 2)
                              : value;
        else if (name == "Reply-To")
            m_replyTo = value;
        else if (name == "To" || name == "Cc" || name == "X-Mailer-Bcc") {
            CVornDataArray& list = name == "To" ? m_to : name == "Cc" ? m_cc : m_bcc;
            list.CreateStringArray(value.view(), ",", true);
        } else if (name == "X-Mailer-Attach") {
            CVornDataArray items;
            items.CreateStringArray(value.view(), ",", true);
            for (const auto& item : items.Items()) {
                CVornDataArray f;
                f.CreateStringArray(item.view(), ";");
                if (f.GetCount() != 3)
                    continue;
                CVornString type(f.Get(0)), p(f.Get(2));
                type.UrlDecode();
                p.UrlDecode();
                AddAttachFile(p.c_str(), type.c_str(), f.Get(1) == "1");
            }
        }
    }
    return 1;
}
