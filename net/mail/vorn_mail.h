#pragma once

#include "vorn_array.h"
#include "vorn_object.h"
#include "vorn_string.h"
#include "vorn_table.h"

#include <cstdint>

class CVornPart;

// A received message: the header table and the list of parts of a message file.
//
// A message file holds exactly the message as the server keeps it: the POP3 and IMAP4 clients
// write it without the POP3 terminator and with the dot-stuffing removed, so a line "." is
// content here, not an end.
class CVornMail : public CVornObject {
public:
    // Charsets of GetCharset.
    enum { CHARSET_OTHER = 0, CHARSET_JIS = 1, CHARSET_EUC = 2, CHARSET_SJIS = 3 };
    // Limits that keep a hostile file from using unbounded memory or stack.
    static constexpr int kMaxLine = 8192;
    static constexpr int64_t kMaxHeader = 1024 * 1024;
    static constexpr int kMaxDepth = 64;
    static constexpr int kMaxParts = 10000;
    static constexpr int64_t kMaxBodyText = 16 * 1024 * 1024;

    CVornMail();
    ~CVornMail() override;
    CVornMail(const CVornMail&) = delete;
    CVornMail& operator=(const CVornMail&) = delete;

    // Header text up to its first empty line; continuation lines join the previous header.
    virtual int SetHead(const char* text, int len = -1);
    // Body text, decoded by Content-Transfer-Encoding and converted to Shift_JIS by charset.
    virtual int SetBody(const char* text, int len = -1);
    // Reads a message file: the header and, unless headerOnly, every part. 1 or 0 (the fields
    // read so far stay; GetError tells why).
    virtual int SetFile(const char* path, int headerOnly = 0);
    // Writes a part's content decoded to path. 1 or 0 (no partial file is left).
    virtual int WritePart(const CVornPart* part, const char* path);
    int WritePart(int index, const char* path);

    const CVornString& GetHeadText() const { return m_head; }
    const CVornString& GetBodyText() const { return m_body; }
    const CVornString& GetPath() const { return m_path; }
    int64_t GetSize() const { return m_size; }
    const CVornString& GetError() const { return m_error; }

    CVornString GetSubject(int decode = 1) const { return getValue("SUBJECT", decode); }
    CVornString GetFrom(int decode = 1) const { return getValue("FROM", decode); }
    CVornString GetTo(int decode = 1) const { return getValue("TO", decode); }
    CVornString GetCc(int decode = 1) const { return getValue("CC", decode); }
    CVornString GetReplyTo(int decode = 1) const { return getValue("REPLY-TO", decode); }
    CVornString GetMessageId() const { return getValue("MESSAGE-ID", 0); }
    CVornString GetInReplyTo() const { return getValue("IN-REPLY-TO", 0); }
    CVornString GetReferences() const { return getValue("REFERENCES", 0); }
    // The last id of References.
    CVornString GetLastReferences() const;
    CVornString GetDate() const { return getValue("DATE", 0); }
    // Date as "YYYY/MM/DD HH:MM", or the raw date when it does not parse.
    CVornString GetShortDate() const;
    CVornString GetContentType() const { return getValue("CONTENT-TYPE", 0); }
    CVornString GetBoundary() const;
    CVornString GetEncoding() const { return getValue("CONTENT-TRANSFER-ENCODING", 0); }
    int GetCharset() const;
    CVornString GetFilename() const;
    int IsMultipart() const;
    // 1 for a part meant to be saved: a file name, an attachment, or content that is not text.
    int IsFile() const;
    // Upper-cased header names.
    int GetHeadKeyArray(CVornDataArray& keys) const;
    CVornString GetCustomHeader(const char* name, int decode = 1) const;

    int GetPartCount() const { return m_parts.GetCount(); }
    CVornPart* GetPart(int i) const { return m_parts.Get(i); }

protected:
    friend class CVornMailParser;
    CVornString getValue(const char* name, int decode) const;
    // The parameter after "NAME=" in a header value, without quotes; empty when absent.
    static CVornString param(const CVornString& value, const char* name);
    void clear();

    CVornString m_head;
    CVornString m_body;
    CVornTreeTable m_headTable;
    CVornAllocPtrArray<CVornPart> m_parts;
    CVornString m_path;
    int64_t m_size = 0;
    int m_line = 0;
    CVornString m_error;
};
