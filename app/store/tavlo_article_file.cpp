#include "tavlo_article_file.h"

#include "tavlo_path.h"
#include "tavlo_sexp.h"
#include "vorn_file.h"
#include "vorn_log.h"

#include <cerrno>
#include <cinttypes>
#include <cstdlib>
#include <ctime>
#include <string>
#include <unordered_set>

namespace {

constexpr size_t kMaxSummary = 256 * 1024 * 1024;
constexpr size_t kMaxEntry = 16 * 1024; // a real entry is well under 1 KB

bool allDigits(std::string_view s) {
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    return true;
}

int64_t digitsValue(const CTavloSexp& datum) {
    if (!datum.IsAtom() || datum.text.IsEmpty() || !allDigits(datum.text.view()) ||
        datum.text.GetLength() > 15)
        return -1;
    return std::strtoll(datum.text.c_str(), nullptr, 10);
}

} // namespace

void CTavloArticleFile::Parse(std::string_view text) {
    RemoveAll();
    TavloSexpScanEntries(text, kMaxEntry, [this](const CTavloSexp& entry) {
        if (!entry.IsList() || entry.vector || entry.items.empty())
            return false;
        const CVornString* key = entry.items[0].AsString();
        if (!key || !allDigits(key->view()))
            return false;
        // navi2ch writes nil for a thread it has not counted yet.
        CVornString seen("0");
        if (const CTavloSexp* value = entry.GetProperty(":seen", 1))
            if (!value->IsNil())
                seen = CVornString(value->text.Atoi());
        // (HIGH LOW), (HIGH LOW USEC) or (HIGH LOW USEC PSEC): only HIGH and LOW matter.
        int64_t time = 0;
        const CTavloSexp* access = entry.GetProperty(":access-time", 1);
        if (access && access->IsList() && access->items.size() >= 2) {
            int64_t high = digitsValue(access->items[0]);
            int64_t low = digitsValue(access->items[1]);
            // HIGH is seconds >> 16; a larger one than 2^32 is damage, and would overflow.
            if (high >= 0 && high <= int64_t{1} << 32 && low >= 0)
                time = high * 65536 + low % 65536;
        }
        AddRow({*key, seen, CVornString(std::to_string(time))});
        return true;
    });
}

CVornString CTavloArticleFile::Format() const {
    CVornString text("(");
    for (const Row& row : m_rows) {
        const CVornString& seen = row[COL_SEEN];
        int count = seen.IsEmpty() || seen == "nil" || seen == "0" ? -1 : seen.Atoi();
        int64_t time = std::strtoll(row[COL_TIME].c_str(), nullptr, 10);
        if (time < 0)
            time = 0;
        text += "(\"";
        text += TavloSexpEscape(row[COL_KEY].view());
        text.FormatAdd("\" :seen %d :access-time (%" PRId64 " %" PRId64 " 0))", count, time / 65536,
                       time % 65536);
    }
    text += ")";
    return text;
}

bool CTavloArticleFile::Load(const CVornString& boardUrl) {
    RemoveAll();
    m_unreadable = false;
    CVornString dir = CTavloPath::GetBoardDirectory(boardUrl);
    m_path = dir.IsEmpty() ? CVornString() : dir + "/article-summary";
    if (m_path.IsEmpty())
        return false;
    std::string text;
    if (!VornReadFile(m_path.c_str(), text, kMaxSummary)) {
        // A file that is there but cannot be read is kept from being overwritten.
        m_unreadable = CTavloPath::GetFileStatus(m_path) != 0;
        VLOG(1, "CTavloArticleFile::Load", "error %s(%d)", m_path.c_str(), errno);
        return false;
    }
    Parse(text);
    return true;
}

int CTavloArticleFile::Save() {
    if (m_path.IsEmpty() || m_unreadable)
        return 0;
    CVornString dir = CTavloPath::GetDirectory(m_path);
    if (!dir.IsEmpty())
        CTavloPath::MakeDirectory(dir);
    if (!VornWriteFileAtomic(m_path.c_str(), Format().view())) {
        VLOG(0, "CTavloArticleFile::Save", "error %s", m_path.c_str());
        return 0;
    }
    return 1;
}

int CTavloArticleFile::SetSeen(const CVornString& key, int count) {
    if (key.IsEmpty())
        return 0;
    int row = Search(COL_KEY, key.view());
    if (row < 0)
        row = AddRow({key, CVornString(count), CVornString(std::to_string(::time(nullptr)))});
    Set(row, COL_SEEN, CVornString(count));
    return 1;
}

int CTavloArticleFile::GetSeen(const CVornString& key) const {
    int row = Search(COL_KEY, key.view());
    if (row < 0)
        return -1;
    const CVornString& seen = Get(row, COL_SEEN);
    if (seen.IsEmpty() || seen == "nil" || seen == "0")
        return -1;
    return seen.Atoi();
}

void CTavloArticleFile::MergeInto(CTavloArticleFile& other) const {
    std::unordered_set<std::string> keys;
    for (int i = 0; i < other.GetRowCount(); ++i)
        keys.insert(other.Get(i, COL_KEY).str());
    for (const Row& row : m_rows)
        if (keys.insert(row[COL_KEY].str()).second)
            other.AddRow(row);
}

int CTavloArticleFile::RemoveKey(const CVornString& key) {
    int row = Search(COL_KEY, key.view());
    if (row < 0)
        return 0;
    RemoveRow(row);
    return 1;
}

int64_t CTavloArticleFile::GetTime(int row) const {
    return std::strtoll(Get(row, COL_TIME).c_str(), nullptr, 10);
}
