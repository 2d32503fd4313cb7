// Reading a message file into its parts.

#include "vorn_file.h"
#include "vorn_log.h"
#include "vorn_mail.h"
#include "vorn_part.h"

#include <string>
#include <vector>

namespace {

// Lines of a file with their offsets. A line longer than the limit comes in pieces; only the
// first piece starts a line (a boundary can only be there).
class LineReader {
public:
    explicit LineReader(CVornFile& f) : m_file(f), m_buf(65536) {}

    // 1 with a piece, 0 at the end, -1 on a read error.
    int next(std::string& line) {
        line.clear();
        m_prevEol = m_eol;
        m_lineStart = m_offset;
        m_atStart = m_eol > 0 || m_first;
        m_first = false;
        m_eol = 0;
        while (line.size() < static_cast<size_t>(CVornMail::kMaxLine)) {
            if (m_pos == m_len) {
                int n = m_file.Read(m_buf.data(), static_cast<int>(m_buf.size()));
                if (n < 0)
                    return -1;
                if (n == 0)
                    break;
                m_pos = 0;
                m_len = static_cast<size_t>(n);
            }
            char c = m_buf[m_pos++];
            ++m_offset;
            line += c;
            if (c == '\n') {
                ++m_lineNo;
                m_eol = line.size() >= 2 && line[line.size() - 2] == '\r' ? 2 : 1;
                return 1;
            }
        }
        return line.empty() ? 0 : 1;
    }
    int64_t offset() const { return m_offset; }
    int64_t lineStart() const { return m_lineStart; }
    int prevEol() const { return m_prevEol; }
    bool atStart() const { return m_atStart; }
    int lineNo() const { return m_lineNo; }

private:
    CVornFile& m_file;
    std::vector<char> m_buf;
    size_t m_pos = 0, m_len = 0;
    int64_t m_offset = 0, m_lineStart = 0;
    int m_eol = 0, m_prevEol = 0, m_lineNo = 0;
    bool m_atStart = true, m_first = true;
};

// What ended an entity: the end of the file or a boundary line of some enclosing multipart.
struct End {
    bool boundary = false;
    size_t level = 0;
    bool closing = false;
    int64_t lineStart = 0;
    int prevEol = 0;
};

bool isBlank(const std::string& line) {
    return line == "\r\n" || line == "\n";
}

} // namespace

class CVornMailParser {
public:
    CVornMailParser(CVornMail& mail, LineReader& r) : m_mail(mail), m_r(r) {}

    bool failed() const { return m_failed; }
    void fail(const CVornString& why) {
        if (m_failed)
            return;
        m_failed = true;
        m_mail.m_error = why;
        VLOG(0, "CVornMail::SetFile", "%s[%s]", why.c_str(), m_mail.m_path.c_str());
    }

    // Reads one entity (header and content) at depth; headerOnly stops after the header.
    End entity(int depth, bool headerOnly) {
        End end;
        if (depth > CVornMail::kMaxDepth) {
            fail("MIME nesting too deep");
            return end;
        }
        if (m_mail.m_parts.GetCount() >= CVornMail::kMaxParts) {
            fail("too many MIME parts");
            return end;
        }
        auto* part = new CVornPart;
        part->m_headOffset = m_r.offset();
        part->m_headLine = m_r.lineNo();
        part->m_depth = depth;
        part->m_isHeader = depth == 0;
        part->m_path = m_mail.m_path;
        m_mail.m_parts.Add(part);

        std::string head, line;
        bool ended = false;
        for (;;) {
            int got = m_r.next(line);
            if (got < 0) {
                fail("HEADER read error");
                return end;
            }
            if (got == 0) {
                ended = true;
                end.lineStart = m_r.offset();
                break;
            }
            if (isBlank(line) && m_r.atStart())
                break;
            if (matchBoundary(line, end)) {
                ended = true; // a part without a body
                break;
            }
            head += line;
            if (static_cast<int64_t>(head.size()) > CVornMail::kMaxHeader) {
                fail("header too large");
                return end;
            }
        }
        part->SetHead(head.data(), static_cast<int>(head.size()));
        if (depth == 0)
            m_mail.SetHead(head.data(), static_cast<int>(head.size()));
        part->m_bodyOffset = m_r.offset();
        if (headerOnly) {
            part->m_bodyEnd = part->m_bodyOffset;
            return end;
        }
        if (ended) {
            part->m_bodyEnd = part->m_bodyOffset;
            return end;
        }

        CVornString type = part->GetContentType();
        type.Trim().ToUpper();
        if (part->IsMultipart()) {
            end = multipart(*part, depth);
        } else if (type.StartsWith("MESSAGE/RFC822")) {
            end = entity(depth + 1, false);
        } else {
            end = leaf(*part);
        }
        if (m_failed)
            return end;
        int64_t stop = end.boundary ? end.lineStart - end.prevEol : end.lineStart;
        part->m_bodyEnd = stop < part->m_bodyOffset ? part->m_bodyOffset : stop;
        return end;
    }

private:
    bool matchBoundary(const std::string& line, End& end) {
        if (m_bounds.empty() || !m_r.atStart() || line.size() < 3 || line[0] != '-' ||
            line[1] != '-')
            return false;
        std::string_view rest(line);
        rest.remove_prefix(2);
        while (!rest.empty() && (rest.back() == '\n' || rest.back() == '\r' || rest.back() == ' ' ||
                                 rest.back() == '\t'))
            rest.remove_suffix(1);
        for (size_t k = m_bounds.size(); k-- > 0;) {
            const std::string& b = m_bounds[k];
            if (!rest.starts_with(b))
                continue;
            std::string_view tail = rest.substr(b.size());
            if (tail.empty() || tail == "--") {
                end.boundary = true;
                end.level = k;
                end.closing = !tail.empty();
                end.lineStart = m_r.lineStart();
                end.prevEol = m_r.prevEol();
                return true;
            }
        }
        return false;
    }

    // Reads lines until a boundary or the end; text (when not null) collects them.
    End scan(std::string* text) {
        End end;
        std::string line;
        for (;;) {
            int got = m_r.next(line);
            if (got < 0) {
                fail("read error");
                return end;
            }
            if (got == 0) {
                end.lineStart = m_r.offset();
                return end;
            }
            if (matchBoundary(line, end))
                return end;
            if (text) {
                if (static_cast<int64_t>(text->size() + line.size()) > CVornMail::kMaxBodyText)
                    text = nullptr; // too big to keep as text; still saved by WritePart
                else
                    *text += line;
            }
        }
    }

    End leaf(CVornPart& part) {
        std::string text;
        bool keep = !part.IsFile();
        End end = scan(keep ? &text : nullptr);
        if (keep && !m_failed) {
            if (end.boundary && end.prevEol > 0 && text.size() >= static_cast<size_t>(end.prevEol))
                text.resize(text.size() - static_cast<size_t>(end.prevEol));
            part.SetBody(text.data(), static_cast<int>(text.size()));
            if (m_mail.m_body.IsEmpty())
                m_mail.m_body = part.GetBodyText();
        }
        return end;
    }

    End multipart(CVornPart& part, int depth) {
        m_bounds.push_back(part.GetBoundary().str());
        size_t level = m_bounds.size() - 1;
        End end = scan(nullptr); // preamble
        for (;;) {
            if (m_failed)
                break;
            if (!end.boundary) {
                fail("MIME boundary never closed");
                break;
            }
            if (end.level < level)
                break; // an enclosing part ends this one too
            if (end.level == level && end.closing) {
                end = scan(nullptr); // epilogue
                break;
            }
            end = entity(depth + 1, false);
        }
        m_bounds.pop_back();
        if (!m_failed && end.boundary && end.level >= m_bounds.size())
            end.boundary = false;
        return end;
    }

    CVornMail& m_mail;
    LineReader& m_r;
    std::vector<std::string> m_bounds;
    bool m_failed = false;
};

int CVornMail::SetFile(const char* path, int headerOnly) {
    clear();
    m_path = path ? path : "";
    CVornFile file;
    if (!path || !file.Open(path, CVornFile::MODE_READ)) {
        VLOG(0, "CVornMail::SetFile", "Message file couldn't open[%s][%d]", m_path.c_str(),
             file.GetLastError());
        m_error = "Message file couldn't open";
        return 0;
    }
    m_size = file.GetSize();
    LineReader reader(file);
    CVornMailParser parser(*this, reader);
    parser.entity(0, headerOnly != 0);
    m_line = reader.lineNo();
    return parser.failed() ? 0 : 1;
}
