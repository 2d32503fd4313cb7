// Writing a part's content out, decoded.

#include "vorn_file.h"
#include "vorn_log.h"
#include "vorn_mail.h"
#include "vorn_mime.h"
#include "vorn_part.h"

#include <string>
#include <vector>

namespace {

// Streams Base64 text into bytes; any character outside the alphabet, or data after padding,
// makes the whole part fail rather than come out short.
class Base64Sink {
public:
    bool put(std::string_view text, std::string& out) {
        for (char c : text) {
            if (c == '\r' || c == '\n' || c == ' ' || c == '\t')
                continue;
            if (c == '=') {
                m_pad = true;
                m_quad += c;
            } else {
                if (m_pad)
                    return false;
                m_quad += c;
            }
            if (m_quad.size() == 4096)
                if (!flush(out))
                    return false;
        }
        return true;
    }
    bool finish(std::string& out) {
        if (m_quad.size() % 4 == 1)
            return false;
        return flush(out, true);
    }

private:
    bool flush(std::string& out, bool last = false) {
        size_t n = last ? m_quad.size() : m_quad.size() / 4 * 4;
        if (n == 0)
            return true;
        CVornString s(m_quad.substr(0, n));
        if (!s.Base64Decode())
            return false;
        out += s.str();
        m_quad.erase(0, n);
        return true;
    }
    std::string m_quad;
    bool m_pad = false;
};

} // namespace

int CVornMail::WritePart(const CVornPart* part, const char* path) {
    if (!part || !path) {
        m_error = "no such part";
        return 0;
    }
    CVornFile in;
    if (!in.Open(part->GetPath().c_str(), CVornFile::MODE_READ)) {
        VLOG(0, "CVornMail::WritePart", "Message file couldn't open[%s][%d]",
             part->GetPath().c_str(), in.GetLastError());
        m_error = "Message file couldn't open";
        return 0;
    }
    if (in.Seek(part->GetBodyOffset(), CVornFile::SEEK_FROM_BEGIN) != part->GetBodyOffset()) {
        m_error = "read error";
        return 0;
    }
    CVornAtomicFile out;
    if (!out.Open(path)) {
        VLOG(0, "CVornMail::WritePart", "file open error[%s]", path);
        m_error = "file open error";
        return 0;
    }
    CVornString enc = part->GetEncoding();
    enc.Trim().ToUpper();
    const int mode = enc == "BASE64" ? 1 : enc == "QUOTED-PRINTABLE" ? 2 : 0;
    Base64Sink b64;
    std::string carry, decoded;
    std::vector<char> buf(65536);
    int64_t left = part->GetBodyEnd() - part->GetBodyOffset();
    auto failWith = [&](const char* why) {
        VLOG(0, "CVornMail::WritePart", "%s[%s]", why, path);
        m_error = why;
        out.Abort();
        return 0;
    };
    while (left > 0) {
        int want = left < static_cast<int64_t>(buf.size()) ? static_cast<int>(left)
                                                           : static_cast<int>(buf.size());
        int n = in.Read(buf.data(), want);
        if (n <= 0)
            return failWith("read error");
        left -= n;
        std::string_view chunk(buf.data(), static_cast<size_t>(n));
        decoded.clear();
        if (mode == 1) {
            if (!b64.put(chunk, decoded))
                return failWith("Base64 decode error");
        } else if (mode == 2) {
            carry.append(chunk);
            size_t cut = carry.rfind('\n');
            cut =
                cut == std::string::npos ? (carry.size() > 65536 ? carry.size() - 3 : 0) : cut + 1;
            decoded = VornQpDecode(std::string_view(carry).substr(0, cut));
            carry.erase(0, cut);
        } else {
            decoded.assign(chunk);
        }
        if (!decoded.empty() && !out.Write(decoded))
            return failWith("write error");
    }
    decoded.clear();
    if (mode == 1 && !b64.finish(decoded))
        return failWith("Base64 decode error");
    if (mode == 2)
        decoded = VornQpDecode(carry);
    if (!decoded.empty() && !out.Write(decoded))
        return failWith("write error");
    if (!out.Commit())
        return failWith("write error");
    return 1;
}
