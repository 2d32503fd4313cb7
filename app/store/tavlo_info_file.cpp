#include "tavlo_info_file.h"

#include "tavlo_path.h"
#include "tavlo_sexp.h"
#include "vorn_file.h"
#include "vorn_log.h"
#include "vorn_thread.h"

#include <algorithm>
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

// Field keys in the order they are written.
constexpr const char* kFieldOrder[] = {"number", "name", "time",  "hide", "important",
                                       "mail",   "new",  "count", "max"};

// (key . "text"): the reader holds a dotted pair as its two parts.
bool wellFormedString(const CTavloSexp& entry) {
    return entry.items.size() == 2 && entry.items[1].AsString();
}

bool isStringField(std::string_view key) {
    return key == "name" || key == "time" || key == "mail";
}

// Position of "(key" followed by a blank, "." or ")" at or after from.
size_t findEntry(std::string_view line, std::string_view key, size_t from) {
    for (size_t at = line.find('(', from); at != std::string_view::npos;
         at = line.find('(', at + 1)) {
        if (line.substr(at + 1, key.size()) != key)
            continue;
        size_t next = at + 1 + key.size();
        if (next >= line.size() || line[next] == ' ' || line[next] == '.' || line[next] == ')')
            return at;
    }
    return std::string_view::npos;
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
    // The record is read from one line only.
    CVornString text = value;
    for (char& c : text.str())
        if (c == '\n' || c == '\r')
            c = ' ';
    line += TavloSexpEscape(text.view());
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
    size_t broken = std::string_view::npos;
    for (const char* key : kFieldOrder) {
        const CTavloSexp* e = record.Find(key);
        if (!e)
            continue;
        if (isStringField(key) && !wellFormedString(*e)) {
            broken = std::min(broken, findEntry(line, key, 0));
            continue;
        }
        apply(key, *e);
    }
    // A string entry that is not (key . "text") means a quote was written unescaped (older
    // writers did that): from there on the line read as one string, so read it field by field.
    if (broken != std::string_view::npos)
        parseByField(line.substr(broken));
}

void CTavloInfoFile::apply(std::string_view key, const CTavloSexp& e) {
    if (key == "number")
        Number = leadingNumber(e.Value());
    else if (key == "name")
        HasName = stringValue(e, Name);
    else if (key == "time")
        HasTime = stringValue(e, Time);
    else if (key == "mail")
        HasMail = stringValue(e, Mail);
    else if (key == "hide")
        numberList(e, Hide);
    else if (key == "important")
        numberList(e, Important);
    else if (key == "new")
        New = leadingNumber(e.Value()) == 1;
    else if (key == "count")
        Count = leadingNumber(e.Value());
    else if (key == "max")
        Max = leadingNumber(e.Value());
}

void CTavloInfoFile::parseByField(std::string_view line) {
    // Entry starts, in the order they are written; each entry runs to the next one found.
    std::vector<std::pair<std::string_view, size_t>> starts;
    size_t cursor = 0;
    for (std::string_view key : kFieldOrder) {
        size_t at = findEntry(line, key, cursor);
        if (at == std::string_view::npos)
            continue;
        starts.emplace_back(key, at);
        cursor = at + key.size() + 1;
    }
    for (size_t i = 0; i < starts.size(); ++i) {
        auto [key, at] = starts[i];
        size_t end = i + 1 < starts.size() ? starts[i + 1].second : line.size();
        std::string_view segment = line.substr(at, end - at);
        bool isString = isStringField(key);
        CTavloSexp e;
        if (CTavloSexpReader(segment).Read(e, true) == CTavloSexpReader::OK && e.IsList() &&
            (!isString || wellFormedString(e))) {
            apply(key, e);
            continue;
        }
        if (!isString)
            continue;
        // The text between the first quote and the last one of the entry.
        size_t open = segment.find('"');
        size_t close = segment.rfind('"');
        if (open == std::string_view::npos || close <= open + 1)
            continue;
        CVornString text = TavloSexpUnescape(segment.substr(open + 1, close - open - 1));
        bool& has = key == "name" ? HasName : key == "time" ? HasTime : HasMail;
        (key == "name" ? Name : key == "time" ? Time : Mail) = text;
        has = true;
    }
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
