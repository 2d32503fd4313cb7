#include "tavlo_info_file.h"

#include "tavlo_path.h"
#include "tavlo_sexp.h"
#include "vorn_file.h"
#include "vorn_log.h"
#include "vorn_thread.h"

#include <cerrno>
#include <climits>
#include <string>

namespace {

// Info files are one short line; anything far larger is not one.
constexpr size_t kMaxInfoFile = 4 * 1024 * 1024;

// Leading decimal digits of an atom; 0 when it does not start with one.
int32_t leadingNumber(const CTavloSexp* datum) {
    if (!datum || datum->type != CTavloSexp::ATOM)
        return 0;
    int64_t value = 0;
    for (char c : datum->text.view()) {
        if (c < '0' || c > '9')
            break;
        value = value * 10 + (c - '0');
        if (value > INT32_MAX)
            return INT32_MAX;
    }
    return static_cast<int32_t>(value);
}

// The string value of a (key . "text") entry; empty strings count as absent.
bool stringValue(const CTavloSexp& entry, CVornString& out) {
    const CTavloSexp* value = entry.Value();
    const CVornString* text = value ? value->AsString() : nullptr;
    if (!text || text->IsEmpty())
        return false;
    out = *text;
    return true;
}

void numberList(const CTavloSexp& entry, std::vector<int32_t>& out) {
    for (size_t i = 1; i < entry.items.size(); ++i)
        out.push_back(leadingNumber(&entry.items[i]));
}

void appendList(CVornString& line, const char* key, const std::vector<int32_t>& values) {
    if (values.empty()) {
        line += "nil ";
        return;
    }
    line.FormatAdd("(%s", key);
    for (int32_t v : values)
        line.FormatAdd(" %d", v);
    line += ") ";
}

void appendString(CVornString& line, const char* key, bool present, const CVornString& value) {
    if (!present) {
        line += "nil ";
        return;
    }
    line.FormatAdd("(%s . \"", key);
    line += TavloSexpEscape(value.view());
    line += "\") ";
}

} // namespace

void CTavloInfoFile::Reset() {
    Number = Count = Max = 0;
    New = false;
    Name.Empty();
    Time.Empty();
    Mail.Empty();
    HasName = HasTime = HasMail = false;
    Hide.clear();
    Important.clear();
}

void CTavloInfoFile::Parse(std::string_view text) {
    Reset();
    // The record is the first line that is not a navi2ch comment.
    std::string_view line;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string_view candidate =
            text.substr(pos, nl == std::string_view::npos ? std::string_view::npos : nl - pos);
        pos = nl == std::string_view::npos ? text.size() : nl + 1;
        size_t first = candidate.find_first_not_of(" \t\r\f");
        if (first == std::string_view::npos || candidate[first] == ';')
            continue;
        line = candidate;
        break;
    }

    CTavloSexpReader reader(line);
    CTavloSexp record;
    for (;;) {
        size_t before = reader.GetPos();
        int rc = reader.Read(record, true);
        if (rc == CTavloSexpReader::END)
            return;
        if (rc == CTavloSexpReader::OK && record.IsList())
            break;
        if (reader.GetPos() <= before || reader.GetPos() >= line.size())
            return;
    }

    // Each entry is looked up on its own; order and unknown entries do not matter.
    if (const CTavloSexp* e = record.Find("number"))
        Number = leadingNumber(e->Value());
    if (const CTavloSexp* e = record.Find("name"))
        HasName = stringValue(*e, Name);
    if (const CTavloSexp* e = record.Find("time"))
        HasTime = stringValue(*e, Time);
    if (const CTavloSexp* e = record.Find("mail"))
        HasMail = stringValue(*e, Mail);
    if (const CTavloSexp* e = record.Find("hide"))
        numberList(*e, Hide);
    if (const CTavloSexp* e = record.Find("important"))
        numberList(*e, Important);
    if (const CTavloSexp* e = record.Find("new"))
        New = leadingNumber(e->Value()) == 1;
    if (const CTavloSexp* e = record.Find("count"))
        Count = leadingNumber(e->Value());
    if (const CTavloSexp* e = record.Find("max"))
        Max = leadingNumber(e->Value());
}

CVornString CTavloInfoFile::Format() const {
    CVornString line;
    line.Format("((number . %d) ", Number);
    appendString(line, "name", HasName, Name);
    appendString(line, "time", HasTime, Time);
    appendList(line, "hide", Hide);
    appendList(line, "important", Important);
    appendString(line, "mail", HasMail, Mail);
    line += New ? "(new 1) " : "nil ";
    if (Count != 0)
        line.FormatAdd("(count %d) ", Count);
    else
        line += "nil ";
    if (Max != 0)
        line.FormatAdd("(max %d) ", Max);
    else
        line += "nil ";
    line += "nil)";
    return line;
}

bool CTavloInfoFile::ReadFile(const CVornString& path) {
    Reset();
    std::string text;
    if (path.IsEmpty() || !VornReadFile(path.c_str(), text, kMaxInfoFile)) {
        VLOG(0, "CTavloInfoFile::Create", "error %s(%d)", path.c_str(), errno);
        return false;
    }
    Parse(text);
    return true;
}

bool CTavloInfoFile::Create(const CVornString& boardUrl, const CVornString& key,
                            CTavloInfoFile& info) {
    CVornTime timer;
    info.Reset();
    info.Path = CTavloPath::GetInfoPath(boardUrl, key);
    if (!info.ReadFile(info.Path))
        return false;
    VLOG(2, "CTavloInfoFile::Create", "done [%s][%s]%d(msec)", boardUrl.c_str(), key.c_str(),
         timer.Elapsed());
    return true;
}

bool CTavloInfoFile::Write(const CTavloInfoFile& info) {
    if (info.Path.IsEmpty())
        return false;
    CVornString dir = CTavloPath::GetDirectory(info.Path);
    if (!dir.IsEmpty() && !CTavloPath::MakeDirectory(dir)) {
        VLOG(0, "CTavloInfoFile::Write", "error %s(%d)", dir.c_str(), errno);
        return false;
    }
    if (!VornWriteFileAtomic(info.Path.c_str(), info.Format().view())) {
        VLOG(0, "CTavloInfoFile::Write", "error %s(%d)", info.Path.c_str(), errno);
        return false;
    }
    return true;
}

int CTavloInfoFile::GetCount(const CVornString& boardUrl, const CVornString& key) {
    CTavloInfoFile info;
    Create(boardUrl, key, info);
    return info.Count;
}
