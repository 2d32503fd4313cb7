#include "tavlo_bookmark_file.h"
#include "tavlo_list_item.h"

#include "tavlo_path.h"
#include "tavlo_sexp.h"
#include "vorn_file.h"
#include "vorn_log.h"

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>

namespace {

std::unique_ptr<CTavloBookmarkFile> g_instance;
std::mutex g_instanceLock;

constexpr size_t kMaxBookmarkFile = 64 * 1024 * 1024;
constexpr size_t kMaxEntry = 16 * 1024; // a real entry is well under 1 KB

// The text of (key . "text") in an alist; empty when missing.
CVornString alistString(const CTavloSexp* alist, std::string_view key) {
    const CTavloSexp* entry = alist ? alist->Find(key) : nullptr;
    const CTavloSexp* value = entry ? entry->Value() : nullptr;
    if (!value)
        return CVornString();
    if (const CVornString* text = value->AsString())
        return *text;
    return value->IsAtom() && !value->IsNil() ? value->text : CVornString();
}

// The last path element of a board URL.
CVornString boardIdOf(const CVornString& boardUrl) {
    CVornString url = boardUrl;
    if (url.EndsWith("/"))
        url = url.Left(url.GetLength() - 1);
    int slash = url.FindR('/');
    return slash < 0 ? CVornString() : url.Mid(slash + 1);
}

void appendQuoted(CVornString& out, const CVornString& text) {
    out += "\"";
    out += TavloSexpEscape(text.view());
    out += "\"";
}

} // namespace

CTavloBookmarkItem::CTavloBookmarkItem(const CVornString& boardId, const CVornString& boardName,
                                       int index, const CVornString& title, const CVornString& key,
                                       const CVornString& boardUrl)
    : CTavloListItem(index, title, key, boardName, boardId, boardUrl, false) {
    Refresh();
}

int CTavloBookmarkItem::GetMark() const {
    int mark = MARK_NORMAL;
    if (m_selected)
        mark |= MARK_SELECTED;
    if (m_updated)
        mark |= MARK_UPDATED;
    if (m_checking)
        mark |= MARK_CHECKING;
    return mark;
}

void CTavloBookmarkItem::Refresh() {
    std::lock_guard<std::mutex> guard(m_lock);
    CVornString path = CTavloPath::GetInfoPath(m_boardUrl, m_key);
    int64_t size = 0;
    if (CTavloPath::GetFileStatus(path, &size) && size != 0) {
        int64_t time = CTavloPath::GetFileTimeNs(path);
        if (time == m_infoTime)
            return;
        m_infoTime = time;
        CTavloInfoFile::Create(m_boardUrl, m_key, m_info);
        m_updated = m_info.New ? 1 : 0;
        m_count = m_info.Count;
        int fresh = m_info.Count - m_info.Max;
        m_newCount = m_info.New && fresh > 0 ? fresh : 0;
    } else {
        m_infoTime = 0;
        m_updated = 0;
        m_count = 0;
        m_newCount = 0;
    }
}

CTavloInfoFile CTavloBookmarkItem::GetInfo() const {
    std::lock_guard<std::mutex> guard(m_lock);
    return m_info;
}

CTavloBookmarkFile::CTavloBookmarkFile() : CVornAllocPtrArray<CTavloBookmarkItem>(256) {}

CTavloBookmarkFile& CTavloBookmarkFile::Instance() {
    std::lock_guard<std::mutex> guard(g_instanceLock);
    if (!g_instance)
        g_instance = std::make_unique<CTavloBookmarkFile>();
    return *g_instance;
}

void CTavloBookmarkFile::Destroy() {
    std::lock_guard<std::mutex> guard(g_instanceLock);
    g_instance.reset();
}

CVornString CTavloBookmarkFile::GetDefaultPath() {
    return CTavloPath::GetRoot() + "/bookmark2.txt";
}

void CTavloBookmarkFile::Parse(std::string_view text) {
    TavloSexpScanEntries(text, kMaxEntry, [this](const CTavloSexp& entry) {
        // ("thread URL" (board (name . "") (uri . "") (id . "")) (article (subject . "")
        //  (artid . "") (count . "")))
        if (!entry.IsList() || entry.vector || entry.items.empty() || !entry.items[0].AsString())
            return false;
        const CTavloSexp* board = entry.Find("board");
        const CTavloSexp* article = entry.Find("article");
        if (!board || !article)
            return false;
        CVornString uri = alistString(board, "uri");
        CVornString key = alistString(article, "artid");
        if (uri.IsEmpty() || key.IsEmpty())
            return false;
        CVornString id = alistString(board, "id");
        if (id.IsEmpty())
            id = boardIdOf(uri);
        Add(new CTavloBookmarkItem(id, alistString(board, "name"), GetCount() + 1,
                                   alistString(article, "subject"), key, uri));
        return true;
    });
}

CVornString CTavloBookmarkFile::Format() const {
    std::vector<const CTavloBookmarkItem*> order(begin(), end());
    std::stable_sort(order.begin(), order.end(),
                     [](const CTavloBookmarkItem* a, const CTavloBookmarkItem* b) {
                         return a->GetIndex() < b->GetIndex();
                     });
    CVornString text("((\"\" \"\" ");
    bool first = true;
    for (const CTavloBookmarkItem* item : order) {
        if (!first)
            text += " ";
        first = false;
        text += "(";
        appendQuoted(text, item->GetThreadUrl());
        text += " (board (name . ";
        appendQuoted(text, item->GetBoardName());
        text += ") (uri . ";
        appendQuoted(text, item->GetBoardUrl());
        text += ") (id . ";
        appendQuoted(text, item->GetBoardId());
        text += ")) (article (subject . ";
        appendQuoted(text, item->GetTitle());
        text += ") (artid . ";
        appendQuoted(text, item->GetKey());
        text.FormatAdd(") (count . \"%d\")))", item->GetCount());
    }
    text += "))";
    return text;
}

bool CTavloBookmarkFile::Load(const CVornString& path) {
    RemoveAll();
    m_path = path;
    m_unreadable = false;
    std::string text;
    if (!VornReadFile(path.c_str(), text, kMaxBookmarkFile)) {
        m_unreadable = CTavloPath::GetFileStatus(path) != 0;
        VLOG(m_unreadable ? 0 : 1, "CTavloBookmarkFile::Load", "error %s(%d)", path.c_str(), errno);
        return false;
    }
    Parse(text);
    return true;
}

int CTavloBookmarkFile::Save() {
    if (m_path.IsEmpty() || m_unreadable)
        return 0;
    // Written in index order; the order on screen comes back afterwards.
    sortBy(SORT_INDEX, true);
    int ok = VornWriteFileAtomic(m_path.c_str(), Format().view());
    if (!ok)
        VLOG(0, "CTavloBookmarkFile::Save", "error %s", m_path.c_str());
    sortBy(m_sortColumn, m_sortAsc != 0);
    return ok;
}

bool CTavloBookmarkFile::Add(const CVornString& boardUrl, const CVornString& title,
                             const CVornString& key, const CVornString& boardName,
                             const CVornString& boardId) {
    if (FindThreadUrl(boardUrl + key) >= 0)
        return false;
    for (CTavloBookmarkItem* item : *this)
        item->SetIndex(item->GetIndex() + 1);
    Insert(0, new CTavloBookmarkItem(boardId, boardName, 1, title, key, boardUrl));
    return true;
}

int CTavloBookmarkFile::Remove(int position) {
    CTavloBookmarkItem* gone = Get(position);
    if (!gone)
        return 0;
    int index = gone->GetIndex();
    for (CTavloBookmarkItem* item : *this)
        if (item->GetIndex() > index)
            item->SetIndex(item->GetIndex() - 1);
    return CVornAllocPtrArray<CTavloBookmarkItem>::Remove(position);
}

int CTavloBookmarkFile::FindThreadUrl(const CVornString& threadUrl) const {
    for (int i = 0; i < GetCount(); ++i)
        if (Get(i)->GetThreadUrl() == threadUrl)
            return i;
    return -1;
}

CTavloBookmarkItem* CTavloBookmarkFile::FindLogPath(const CVornString& logPath) const {
    if (logPath.IsEmpty())
        return nullptr;
    for (CTavloBookmarkItem* item : *this)
        if (item->GetLogPath() == logPath)
            return item;
    return nullptr;
}

CTavloBookmarkItem* CTavloBookmarkFile::RefreshLogPath(const CVornString& logPath) {
    CTavloBookmarkItem* item = FindLogPath(logPath);
    if (item)
        item->Refresh();
    return item;
}

CTavloBookmarkItem* CTavloBookmarkFile::NextUpdated(const CVornString& logPath) const {
    int i = 0;
    while (i < GetCount() && (logPath.IsEmpty() || Get(i)->GetLogPath() != logPath))
        ++i;
    for (++i; i < GetCount(); ++i)
        if (Get(i)->IsUpdated())
            return Get(i);
    return nullptr;
}

void CTavloBookmarkFile::ReplaceBoardUrl(const CVornString& oldUrl, const CVornString& newUrl) {
    for (CTavloBookmarkItem* item : *this)
        if (item->GetBoardUrl() == oldUrl)
            item->SetBoardUrl(newUrl);
}

void CTavloBookmarkFile::Sort(int column, bool ascending) {
    m_sortColumn = column;
    m_sortAsc = ascending ? 1 : 0;
    sortBy(column, ascending);
}

void CTavloBookmarkFile::sortBy(int column, bool ascending) {
    using Item = const CTavloBookmarkItem*;
    auto numeric = [ascending](auto key) {
        return [ascending, key](Item a, Item b) {
            return ascending ? key(a) < key(b) : key(b) < key(a);
        };
    };
    auto bytes = [ascending](auto key) {
        return [ascending, key](Item a, Item b) {
            int c = key(a).str().compare(key(b).str());
            return ascending ? c < 0 : c > 0;
        };
    };
    // The two mark keys put the larger score first and have no descending order.
    auto score = [ascending](auto key) {
        return [ascending, key](Item a, Item b) { return ascending && key(a) > key(b); };
    };
    switch (column) {
    case SORT_INDEX:
        SortBy(numeric([](Item i) { return i->GetIndex(); }));
        break;
    case SORT_COUNT:
        SortBy(numeric([](Item i) { return i->GetCount(); }));
        break;
    case SORT_TITLE:
        SortBy(bytes([](Item i) -> const CVornString& { return i->GetTitle(); }));
        break;
    case SORT_SPEED:
        SortBy(numeric([](Item i) { return i->GetSpeed(); }));
        break;
    case SORT_BOARD:
        SortBy(bytes([](Item i) -> const CVornString& { return i->GetBoardName(); }));
        break;
    case SORT_KEY:
        SortBy(numeric([](Item i) { return std::strtoll(i->GetKey().c_str(), nullptr, 10); }));
        break;
    case SORT_UPDATED:
        SortBy(score([](Item i) {
            return int64_t{i->IsUpdated()} * 100000000 + int64_t{i->GetNewCount()} * 10000 -
                   i->GetIndex();
        }));
        break;
    case SORT_SEARCH:
        SortBy(score([](Item i) { return TavloSearchRank(*i); }));
        break;
    default:
        break;
    }
}
