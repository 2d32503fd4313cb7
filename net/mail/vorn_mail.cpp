#include "vorn_mail.h"

#include "vorn_mime.h"
#include "vorn_part.h"

#include <cstring>
#include <ctime>

CVornMail::CVornMail() = default;
CVornMail::~CVornMail() = default;

void CVornMail::clear() {
    m_head.Empty();
    m_body.Empty();
    m_headTable.RemoveAll();
    m_parts.RemoveAll();
    m_path.Empty();
    m_size = 0;
    m_line = 0;
    m_error.Empty();
}

int CVornMail::SetHead(const char* text, int len) {
    m_head.Empty();
    m_headTable.RemoveAll();
    if (!text)
        return 0;
    std::string_view all(text, len < 0 ? strlen(text) : static_cast<size_t>(len));
    CVornString last;
    size_t pos = 0;
    while (pos < all.size()) {
        size_t lf = all.find('\n', pos);
        size_t next = lf == std::string_view::npos ? all.size() : lf + 1;
        std::string_view line = all.substr(pos, next - pos);
        size_t start = pos;
        pos = next;
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.remove_suffix(1);
        if (line.empty())
            break;
        m_head.Append(all.data() + start, next - start);
        if (line[0] == ' ' || line[0] == '\t') {
            if (last.IsEmpty())
                continue;
            // Folding whitespace unfolds to one blank (encoded words lose it when decoded).
            CVornString v(line);
            v.Trim();
            m_headTable.Add(last, " " + v);
            continue;
        }
        size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            last.Empty();
            continue;
        }
        CVornString name(line.substr(0, colon));
        name.Trim().ToUpper();
        CVornString value(line.substr(colon + 1));
        value.Trim();
        if (name.IsEmpty()) {
            last.Empty();
            continue;
        }
        m_headTable.Add(name, value);
        last = name;
    }
    return 1;
}

int CVornMail::SetBody(const char* text, int len) {
    if (!text) {
        m_body.Empty();
        return 0;
    }
    std::string raw(text, len < 0 ? strlen(text) : static_cast<size_t>(len));
    CVornString enc = GetEncoding();
    enc.Trim().ToUpper();
    int ok = 1;
    if (enc == "QUOTED-PRINTABLE") {
        raw = VornQpDecode(raw);
    } else if (enc == "BASE64") {
        CVornString b(raw);
        if (b.Base64Decode())
            raw = b.str();
        else
            ok = 0; // kept as received
    }
    CVornString cs = param(GetContentType(), "CHARSET");
    m_body = cs.IsEmpty() ? CVornString(raw) : CVornString(VornCharsetToSjis(raw, cs.view()));
    return ok;
}

CVornString CVornMail::getValue(const char* name, int decode) const {
    CVornString key(name);
    key.ToUpper();
    const auto* values = m_headTable.Find(key);
    if (!values)
        return CVornString();
    CVornString all;
    for (const auto& v : *values)
        all += v;
    if (decode)
        return CVornString(VornMime2Sjis(all.view()));
    return all;
}

CVornString CVornMail::GetCustomHeader(const char* name, int decode) const {
    return name ? getValue(name, decode) : CVornString();
}

int CVornMail::GetHeadKeyArray(CVornDataArray& keys) const {
    keys.RemoveAll();
    for (const auto& [k, v] : m_headTable)
        keys.Add(k);
    return keys.GetCount();
}

CVornString CVornMail::param(const CVornString& value, const char* name) {
    CVornString up(value);
    up.ToUpper();
    CVornString key(name);
    key += "=";
    int at = -1;
    for (int from = 0; (at = up.Find(key.c_str(), from)) >= 0; from = at + 1) {
        // Whole parameter names only ("NAME=" must not match inside "FILENAME=").
        if (at == 0)
            break;
        char before = up[static_cast<size_t>(at - 1)];
        if (before == ';' || before == ' ' || before == '\t')
            break;
    }
    if (at < 0)
        return CVornString();
    int start = at + key.GetLength();
    const std::string& s = value.str();
    size_t p = static_cast<size_t>(start);
    std::string out;
    if (p < s.size() && s[p] == '"') {
        for (++p; p < s.size() && s[p] != '"'; ++p) {
            if (s[p] == '\\' && p + 1 < s.size())
                ++p;
            out += s[p];
        }
    } else {
        for (; p < s.size() && s[p] != ';' && s[p] != ' ' && s[p] != '\t'; ++p)
            out += s[p];
    }
    return CVornString(out);
}

CVornString CVornMail::GetBoundary() const {
    return param(GetContentType(), "BOUNDARY");
}

int CVornMail::GetCharset() const {
    CVornString cs = param(GetContentType(), "CHARSET");
    cs.ToUpper();
    if (cs.Find("ISO-2022-JP") >= 0)
        return CHARSET_JIS;
    if (cs.Find("SHIFT") >= 0)
        return CHARSET_SJIS;
    if (cs.Find("EUC") >= 0)
        return CHARSET_EUC;
    return CHARSET_OTHER;
}

CVornString CVornMail::GetFilename() const {
    CVornString name = param(getValue("CONTENT-DISPOSITION", 0), "FILENAME");
    if (name.IsEmpty())
        name = param(GetContentType(), "NAME");
    return CVornString(VornMime2Sjis(name.view()));
}

int CVornMail::IsMultipart() const {
    CVornString type = GetContentType();
    type.ToUpper();
    return type.StartsWith("MULTIPART/") && !GetBoundary().IsEmpty() ? 1 : 0;
}

int CVornMail::IsFile() const {
    if (!GetFilename().IsEmpty())
        return 1;
    CVornString disp = getValue("CONTENT-DISPOSITION", 0);
    disp.Trim().ToUpper();
    if (disp.StartsWith("ATTACHMENT"))
        return 1;
    CVornString type = GetContentType();
    type.Trim().ToUpper();
    if (type.IsEmpty() || type.StartsWith("TEXT/") || type.StartsWith("MULTIPART/"))
        return 0;
    return 1;
}

CVornString CVornMail::GetLastReferences() const {
    CVornString refs = GetReferences();
    int open = refs.FindR('<');
    if (open < 0)
        return refs.Trim();
    int close = refs.Find('>', open);
    return close < 0 ? refs.Mid(open + 1) : refs.Mid(open + 1, close - open - 1);
}

CVornString CVornMail::GetShortDate() const {
    CVornString date = GetDate();
    struct tm tm {};
    const char* p = date.c_str();
    // Optional weekday.
    if (const char* comma = strchr(p, ','))
        p = comma + 1;
    if (!strptime(p, " %d %b %Y %H:%M", &tm))
        return date;
    CVornString out;
    out.Format("%04d/%02d/%02d %02d:%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour,
               tm.tm_min);
    return out;
}

int CVornMail::WritePart(int index, const char* path) {
    return WritePart(GetPart(index), path);
}
