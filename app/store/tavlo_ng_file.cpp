#include "tavlo_ng_file.h"

#include "tavlo_path.h"
#include "vorn_file.h"
#include "vorn_log.h"

namespace {

std::unique_ptr<CTavloNgFile> g_instance;
std::mutex g_instanceLock;

constexpr size_t kMaxCache = 4096;

// A tab or LF inside a field would split the line when it is read back; "\t" is the same
// expression as a tab.
CVornString fieldForFile(const CVornString& field, bool pattern) {
    CVornString out;
    for (char c : field.view()) {
        if (c == '\n')
            continue;
        if (c == '\t' && pattern)
            out += "\\t";
        else
            out += c;
    }
    return out;
}

} // namespace

CTavloNgFile::CTavloNgFile() : CVornTable(2) {}

CTavloNgFile& CTavloNgFile::Instance() {
    std::lock_guard<std::mutex> guard(g_instanceLock);
    if (!g_instance) {
        g_instance = std::make_unique<CTavloNgFile>();
        g_instance->Load();
    }
    return *g_instance;
}

void CTavloNgFile::Destroy() {
    std::lock_guard<std::mutex> guard(g_instanceLock);
    g_instance.reset();
}

CVornString CTavloNgFile::GetPath() {
    return CTavloPath::GetRoot() + "/ngword.txt";
}

bool CTavloNgFile::SplitLine(const CVornString& line, CVornString& scope, CVornString& pattern) {
    // The scope is greedy: the split is at the last tab, earlier tabs stay in the scope.
    // A tab byte is never part of a double-byte character.
    int tab = line.FindR('\t');
    if (tab < 0)
        return false;
    scope = line.Left(tab);
    pattern = line.Mid(tab + 1);
    while (pattern.EndsWith("\r") || pattern.EndsWith("\n"))
        pattern = pattern.Left(pattern.GetLength() - 1);
    return true;
}

bool CTavloNgFile::Load() {
    CVornString path = GetPath();
    CVornTextFile file;
    if (!file.Open(path.c_str(), CVornFile::MODE_READ)) {
        VLOG(1, "CTavloNgFile::Load", "error %s(%d)", path.c_str(), file.GetLastError());
        return false;
    }
    RemoveAll();
    CVornString line, scope, pattern;
    while (file.ReadLine(line)) {
        if (SplitLine(line, scope, pattern))
            AddRow({scope, pattern});
    }
    std::lock_guard<std::mutex> guard(m_lock);
    m_cache.clear();
    m_invalid.clear();
    return true;
}

bool CTavloNgFile::Save() {
    CVornString text;
    for (int i = 0; i < GetRowCount(); ++i) {
        text += fieldForFile(Get(i, COL_SCOPE), false);
        text += "\t";
        text += fieldForFile(Get(i, COL_PATTERN), true);
        text += "\r\n";
    }
    CVornString path = GetPath();
    if (!VornWriteFileAtomic(path.c_str(), text.view())) {
        VLOG(0, "CTavloNgFile::Save", "error %s", path.c_str());
        return false;
    }
    return true;
}

bool CTavloNgFile::AddThreadRule(const CVornString& threadUrl, const CVornString& selection) {
    CVornString pattern = selection;
    pattern.Replace("\n", "");
    if (pattern.IsEmpty())
        return false;
    InsertRow(0, {threadUrl, pattern});
    return Save();
}

CVornRegex* CTavloNgFile::compiled(const CVornString& text, CVornString& error) {
    auto bad = m_invalid.find(text.str());
    if (bad != m_invalid.end()) {
        error = bad->second;
        return nullptr;
    }
    auto it = m_cache.find(text.str());
    if (it != m_cache.end())
        return it->second.get();
    if (m_cache.size() + m_invalid.size() >= kMaxCache) {
        m_cache.clear();
        m_invalid.clear();
    }
    auto re = std::make_unique<CVornRegex>();
    if (!re->Compile(text)) {
        error = re->GetError();
        m_invalid.emplace(text.str(), error);
        return nullptr;
    }
    return m_cache.emplace(text.str(), std::move(re)).first->second.get();
}

CVornString CTavloNgFile::GetExpression(const CVornString& key, const CVornString& boardUrl,
                                        std::vector<Problem>* problems) {
    CVornString result;
    if (key.IsEmpty() || boardUrl.IsEmpty())
        return result;
    CVornString target = boardUrl;
    if (!target.EndsWith("/"))
        target += "/";
    target += key;

    auto report = [&](int row, int column, const CVornString& error) {
        VLOG(0, "CTavloNgFile::GetExpression", "row %d column %d: %s", row + 1, column,
             error.c_str());
        if (problems)
            problems->push_back({row, column, error});
    };

    std::lock_guard<std::mutex> guard(m_lock);
    std::vector<int> used;
    for (int i = 0; i < GetRowCount(); ++i) {
        const CVornString& scope = Get(i, COL_SCOPE);
        const CVornString& pattern = Get(i, COL_PATTERN);
        CVornString error;
        if (!scope.IsEmpty()) {
            CVornRegex* re = compiled(scope, error);
            if (!re) {
                report(i, COL_SCOPE, error);
                continue;
            }
            if (re->Match(target) < 0)
                continue;
        }
        // An empty alternative would match every post.
        if (pattern.IsEmpty()) {
            report(i, COL_PATTERN, "empty pattern");
            continue;
        }
        if (!compiled(pattern, error)) {
            report(i, COL_PATTERN, error);
            continue;
        }
        used.push_back(i);
    }

    auto join = [&](const std::vector<int>& rows) {
        CVornString text;
        for (int row : rows) {
            if (!text.IsEmpty())
                text += "|";
            text += Get(row, COL_PATTERN);
        }
        return text;
    };
    result = join(used);
    if (used.size() < 2)
        return result;
    CVornString error;
    if (compiled(result, error))
        return result;
    // Valid alone but not together (a group name used twice, say): keep the rules that fit.
    std::vector<int> kept;
    for (int row : used) {
        kept.push_back(row);
        if (!compiled(join(kept), error)) {
            kept.pop_back();
            report(row, COL_PATTERN, error);
        }
    }
    return join(kept);
}
