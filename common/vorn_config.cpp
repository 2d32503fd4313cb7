#include "vorn_config.h"

#include "vorn_file.h"
#include "vorn_kcode.h"
#include "vorn_log.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

const char kSection[] = "tavlo";

struct Line {
    std::string text;  // the line as read, for lines that are not our entries
    std::string key;   // entry key (empty for other lines)
    std::string value; // raw (escaped, UTF-8) value of an entry
};

struct Document {
    std::vector<Line> lines;
    bool loaded = false;
    // The file exists but could not be read: writing would replace what we never saw.
    bool unreadable = false;
};

std::mutex g_mutex;
std::map<std::string, std::unique_ptr<Document>> g_cache;

std::string trim(std::string_view s) {
    size_t a = 0, b = s.size();
    while (a < b && (s[a] == ' ' || s[a] == '\t'))
        ++a;
    while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t'))
        --b;
    return std::string(s.substr(a, b - a));
}

void parse(const std::string& text, Document& doc) {
    doc.lines.clear();
    bool inOurs = true; // lines before any section count as ours
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() : nl + 1;
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        Line l;
        l.text = line;
        std::string t = trim(line);
        if (!t.empty() && t[0] == '[' && t.back() == ']') {
            inOurs = trim(std::string_view(t).substr(1, t.size() - 2)) == kSection;
        } else if (inOurs && !t.empty() && t[0] != ';' && t[0] != '#') {
            size_t eq = line.find('=');
            if (eq != std::string::npos) {
                l.key = trim(std::string_view(line).substr(0, eq));
                l.value = line.substr(eq + 1);
            }
        }
        doc.lines.push_back(std::move(l));
    }
    doc.loaded = true;
}

std::string render(const Document& doc) {
    std::string out;
    for (const Line& l : doc.lines) {
        if (!l.key.empty())
            out += l.key + "=" + l.value;
        else
            out += l.text;
        out += '\n';
    }
    return out;
}

bool hasSection(const Document& doc) {
    for (const Line& l : doc.lines) {
        std::string t = trim(l.text);
        if (l.key.empty() && t.size() > 2 && t[0] == '[' && t.back() == ']' &&
            trim(std::string_view(t).substr(1, t.size() - 2)) == kSection)
            return true;
    }
    return false;
}

// Index after the last line of our section (where new entries go).
size_t sectionEnd(Document& doc) {
    if (!hasSection(doc)) {
        // A file with no section: entries at the top are ours; start the section before them.
        doc.lines.insert(doc.lines.begin(), Line{std::string("[") + kSection + "]", "", ""});
    }
    bool inOurs = true;
    size_t end = 0;
    for (size_t i = 0; i < doc.lines.size(); ++i) {
        const Line& l = doc.lines[i];
        std::string t = trim(l.text);
        if (l.key.empty() && !t.empty() && t[0] == '[' && t.back() == ']') {
            inOurs = trim(std::string_view(t).substr(1, t.size() - 2)) == kSection;
            if (inOurs)
                end = i + 1;
            continue;
        }
        if (inOurs && (!l.key.empty() || !t.empty()))
            end = i + 1;
    }
    return end;
}

void load(const char* file, Document& doc) {
    std::string text;
    if (VornReadFile(file, text))
        parse(text, doc);
    else if (VornFileExists(file))
        doc.unreadable = true;
}

// The document for file: the cached one, or a freshly loaded one held in scratch.
Document* acquire(const char* file, std::unique_ptr<Document>& scratch) {
    auto it = g_cache.find(file);
    if (it != g_cache.end())
        return it->second.get();
    scratch = std::make_unique<Document>();
    load(file, *scratch);
    return scratch.get();
}

int save(const char* file, const Document& doc) {
    if (doc.unreadable) {
        VLOG(0, "CVornConfig::Save", "%s was not read; left as it is", file);
        return 0;
    }
    return VornWriteFileAtomic(file, render(doc));
}

const Line* findEntry(const Document& doc, std::string_view key) {
    for (const Line& l : doc.lines)
        if (!l.key.empty() && l.key == key)
            return &l;
    return nullptr;
}

void setEntry(Document& doc, const std::string& key, const std::string& value) {
    for (Line& l : doc.lines)
        if (!l.key.empty() && l.key == key) {
            l.value = value;
            return;
        }
    size_t at = sectionEnd(doc);
    doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(at), Line{"", key, value});
}

// Removes key and, with arrays, "key[N]" entries; returns how many lines went.
int removeEntries(Document& doc, const std::string& key, bool arrays) {
    int removed = 0;
    for (size_t i = 0; i < doc.lines.size();) {
        const std::string& k = doc.lines[i].key;
        bool match =
            !k.empty() && (k == key || (arrays && k.size() > key.size() + 2 && k.starts_with(key) &&
                                        k[key.size()] == '[' && k.back() == ']'));
        if (match) {
            doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(i));
            ++removed;
        } else {
            ++i;
        }
    }
    return removed;
}

std::string toDisk(const char* value, int flag) {
    std::string v = value ? value : "";
    if (flag)
        v = VornSjisToUtf8(v);
    return CVornConfig::EscapeValue(v);
}

CVornString fromDisk(const std::string& raw, int flag) {
    std::string v = CVornConfig::UnescapeValue(raw);
    if (flag)
        v = VornUtf8ToSjis(v);
    return CVornString(std::move(v));
}

bool parseInt(const std::string& raw, int& out) {
    std::string t = trim(CVornConfig::UnescapeValue(raw));
    if (t.empty())
        return false;
    // Decimal, or hexadecimal after "0x" (colours); a leading zero is not octal ("010" is ten).
    size_t digits = t[0] == '-' || t[0] == '+' ? 1 : 0;
    bool hex = t.size() > digits + 2 && t[digits] == '0' && (t[digits + 1] | 0x20) == 'x';
    char* end = nullptr;
    errno = 0;
    long long v = strtoll(t.c_str(), &end, hex ? 16 : 10);
    if (end == t.c_str())
        return false;
    if (errno == ERANGE || v < INT_MIN || v > INT_MAX) {
        VLOG(1, "CVornConfig::ReadInt", "%s is out of range", t.c_str());
        return false;
    }
    out = static_cast<int>(v);
    return true;
}

} // namespace

std::string CVornConfig::EscapeValue(std::string_view raw) {
    std::string out;
    out.reserve(raw.size());
    for (char c : raw) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string CVornConfig::UnescapeValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\' && i + 1 < text.size()) {
            char n = text[i + 1];
            if (n == '\\' || n == 'n' || n == 'r') {
                out += n == '\\' ? '\\' : n == 'n' ? '\n' : '\r';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

int CVornConfig::CreateCache(const char* file) {
    if (!file)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto doc = std::make_unique<Document>();
    load(file, *doc);
    g_cache[file] = std::move(doc);
    return 1;
}

int CVornConfig::DestroyCache(const char* file) {
    if (!file)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_cache.erase(file) ? 1 : 0;
}

CVornString CVornConfig::ReadString(const char* file, const char* key, int flag) {
    if (!file || !key)
        return CVornString();
    std::lock_guard<std::mutex> lock(g_mutex);
    std::unique_ptr<Document> scratch;
    const Line* l = findEntry(*acquire(file, scratch), key);
    return l ? fromDisk(l->value, flag) : CVornString();
}

int CVornConfig::ReadInt(const char* file, const char* key, int def) {
    if (!file || !key)
        return def;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::unique_ptr<Document> scratch;
    const Line* l = findEntry(*acquire(file, scratch), key);
    // Absent, unreadable or out of range: the caller's default.
    int v = def;
    if (!l || !parseInt(l->value, v))
        return def;
    return v;
}

int CVornConfig::WriteString(const char* file, const char* key, const char* value, int flag) {
    if (!file || !key || !*key)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::unique_ptr<Document> scratch;
    Document* doc = acquire(file, scratch);
    setEntry(*doc, key, toDisk(value, flag));
    return save(file, *doc);
}

int CVornConfig::WriteInt(const char* file, const char* key, int value) {
    if (!file || !key || !*key)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::unique_ptr<Document> scratch;
    Document* doc = acquire(file, scratch);
    setEntry(*doc, key, std::to_string(value));
    return save(file, *doc);
}

int CVornConfig::RemoveEntry(const char* file, const char* key) {
    if (!file || !key)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::unique_ptr<Document> scratch;
    Document* doc = acquire(file, scratch);
    if (removeEntries(*doc, key, true) == 0)
        return 1;
    return save(file, *doc);
}

int CVornConfig::ExistEntry(const char* file, const char* key) {
    if (!file || !key)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::unique_ptr<Document> scratch;
    return findEntry(*acquire(file, scratch), key) ? 1 : 0;
}

int CVornConfig::ReadStringArray(const char* file, const char* key, CVornDataArray& out, int flag) {
    out.RemoveAll();
    if (!file || !key)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::unique_ptr<Document> scratch;
    Document* doc = acquire(file, scratch);
    for (int i = 0;; ++i) {
        const Line* l = findEntry(*doc, std::string(key) + "[" + std::to_string(i) + "]");
        if (!l)
            break;
        out.Add(fromDisk(l->value, flag));
    }
    return out.GetCount();
}

int CVornConfig::WriteStringArray(const char* file, const char* key, const CVornDataArray& values,
                                  int flag) {
    if (!file || !key || !*key)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::unique_ptr<Document> scratch;
    Document* doc = acquire(file, scratch);
    removeEntries(*doc, key, true);
    for (int i = 0; i < values.GetCount(); ++i)
        setEntry(*doc, std::string(key) + "[" + std::to_string(i) + "]",
                 toDisk(values.Get(i).c_str(), flag));
    return save(file, *doc);
}

int CVornConfig::ReadIntArray(const char* file, const char* key, std::vector<int>& out) {
    out.clear();
    if (!file || !key)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::unique_ptr<Document> scratch;
    Document* doc = acquire(file, scratch);
    for (int i = 0;; ++i) {
        const Line* l = findEntry(*doc, std::string(key) + "[" + std::to_string(i) + "]");
        if (!l)
            break;
        int v = 0;
        parseInt(l->value, v);
        out.push_back(v);
    }
    return static_cast<int>(out.size());
}

int CVornConfig::WriteIntArray(const char* file, const char* key, const std::vector<int>& values) {
    if (!file || !key || !*key)
        return 0;
    std::lock_guard<std::mutex> lock(g_mutex);
    std::unique_ptr<Document> scratch;
    Document* doc = acquire(file, scratch);
    removeEntries(*doc, key, true);
    for (size_t i = 0; i < values.size(); ++i)
        setEntry(*doc, std::string(key) + "[" + std::to_string(i) + "]", std::to_string(values[i]));
    return save(file, *doc);
}
