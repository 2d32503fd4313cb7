#pragma once

#include "vorn_array.h"
#include "vorn_object.h"
#include "vorn_string.h"
#include "vorn_table.h"

// An outgoing message, as the SMTP client sends it; it can be saved to a message file of its
// own and read back. Texts are Shift_JIS.
class CVornSendMail : public CVornObject {
public:
    // Columns of the attachment table.
    enum { ATTACH_PATH = 0, ATTACH_TYPE = 1, ATTACH_BASE64 = 2 };

    CVornSendMail() : m_attach(3) {}
    ~CVornSendMail() override = default;

    void SetSubject(const char* s) { m_subject = s; }
    void SetFrom(const char* s) { m_from = s; }
    void SetMessageId(const char* s) { m_messageId = s; }
    void SetDate(const char* s) { m_date = s; }
    void SetInReplyTo(const char* s) { m_inReplyTo = s; }
    void SetReplyTo(const char* s) { m_replyTo = s; }
    void SetBody(const char* s) { m_body = s; }
    void SetBody(const CVornString& s) { m_body = s; }
    void AddTo(const char* s) { m_to.Add(CVornString(s)); }
    void AddCc(const char* s) { m_cc.Add(CVornString(s)); }
    void AddBcc(const char* s) { m_bcc.Add(CVornString(s)); }
    // type null or empty: "application/octet-stream"; base64 1 sends the file in Base64.
    void AddAttachFile(const char* path, const char* type = nullptr, int base64 = 1);

    const CVornString& GetSubject() const { return m_subject; }
    const CVornString& GetFrom() const { return m_from; }
    const CVornString& GetMessageId() const { return m_messageId; }
    const CVornString& GetDate() const { return m_date; }
    const CVornString& GetInReplyTo() const { return m_inReplyTo; }
    const CVornString& GetReplyTo() const { return m_replyTo; }
    const CVornString& GetBody() const { return m_body; }
    const CVornDataArray& GetTo() const { return m_to; }
    const CVornDataArray& GetCc() const { return m_cc; }
    const CVornDataArray& GetBcc() const { return m_bcc; }
    const CVornTable& GetAttach() const { return m_attach; }

    // Current local time as "%a, %d %b %Y %H:%M:%S %z" under the "C" locale.
    static CVornString GenerateDate();
    // prefix + ".pid.YYYYMMDDhhmmss." + the address part of from, without "<" and ">".
    static CVornString GenerateMessageId(const char* from, const char* prefix);
    // The text inside the last "<" and ">", or the whole text.
    static CVornString AddressOf(const CVornString& text);

    int Write(const char* path) const;
    int Read(const char* path);

private:
    CVornString m_subject, m_from, m_messageId, m_date, m_inReplyTo, m_replyTo, m_body;
    CVornDataArray m_to, m_cc, m_bcc;
    CVornTable m_attach;
};
