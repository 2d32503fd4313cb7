#include "tavlo_subject_file.h"

#include "tavlo_bbs_subject.h"
#include "tavlo_board_file.h"
#include "tavlo_path.h"
#include "vorn_file.h"
#include "vorn_log.h"
#include "vorn_thread.h"

#include <algorithm>
#include <cstdint>
#include <mutex>

namespace {

std::mutex g_lookupLock;
CTavloSubjectFile::BoardNameLookup g_lookup;

CVornString lookupBoardName(const CVornString& boardUrl) {
    CTavloSubjectFile::BoardNameLookup lookup;
    {
        std::lock_guard<std::mutex> guard(g_lookupLock);
        lookup = g_lookup;
    }
    return lookup ? lookup(boardUrl) : CTavloBoardFile::NameOfUrl(boardUrl);
}

} // namespace

void CTavloSubjectFile::SetBoardNameLookup(BoardNameLookup lookup) {
    std::lock_guard<std::mutex> guard(g_lookupLock);
    g_lookup = std::move(lookup);
}

bool CTavloSubjectFile::BoardOfPath(const CVornString& path, const CVornString& root,
                                    CVornString& url, CVornString& id) {
    url.Empty();
    id.Empty();
    static const char kName[] = "/subject.txt";
    if (!path.EndsWith(kName))
        return false;
    // ".../<board>/" before the file name, with something in front of the last separator.
    std::string dir = path.str().substr(0, path.size() - (sizeof kName - 1));
    size_t slash = dir.rfind('/');
    if (slash == std::string::npos || slash == 0 || slash + 1 == dir.size())
        return false;
    std::string base = root.str();
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    if (dir.compare(0, base.size(), base) != 0 || dir.size() <= base.size() ||
        dir[base.size()] != '/')
        return false;
    id = CVornString(dir.substr(slash + 1));
    url.Format("http:/%s/", dir.substr(base.size()).c_str());
    return true;
}

void CTavloSubjectFile::RemoveAll() {
    CVornAllocPtrArray<CTavloSubjectItem>::RemoveAll();
    m_index.RemoveAll();
}

int CTavloSubjectFile::Remove(int i) {
    CTavloSubjectItem* item = Get(i);
    if (!item)
        return 0;
    CTavloSubjectItem** indexed = m_index.Find(item->GetKey());
    if (indexed && *indexed == item)
        m_index.Remove(item->GetKey());
    return CVornAllocPtrArray<CTavloSubjectItem>::Remove(i);
}

CTavloSubjectItem* CTavloSubjectFile::FindKey(const CVornString& key) const {
    CTavloSubjectItem* const* item = m_index.Find(key);
    return item ? *item : nullptr;
}

void CTavloSubjectFile::addEntry(CTavloSubjectItem* item) {
    Add(item);
    // A key listed twice keeps its first entry in the index.
    if (!m_index.Exists(item->GetKey()))
        m_index.Set(item->GetKey(), item);
}

int CTavloSubjectFile::CreateFromFile(const CVornString& path) {
    CVornString boardUrl, boardId, boardName;
    if (BoardOfPath(path, CTavloPath::GetRoot(), boardUrl, boardId))
        boardName = lookupBoardName(boardUrl);
    m_boardUrl = boardUrl;

    CVornTextFile file;
    if (!file.Open(path.c_str(), CVornFile::MODE_READ)) {
        VLOG(1, "CTavloSubjectFile::CreateFromFile", "error %s(%d)", path.c_str(),
             file.GetLastError());
        return -200;
    }
    RemoveAll();
    CVornTime timer;
    CTavloBbsSubjectManager manager(boardUrl);
    CTavloBbsSubject* parser = manager.GetParser();
    CVornString line;
    int counter = 0;
    // Lines of any length are read whole; one entry per line, never split.
    while (file.ReadLine(line)) {
        if (line.EndsWith("\r"))
            line.str().pop_back();
        if (line.IsEmpty())
            continue;
        ++counter;
        // A NUL would end the parser's view of the line early.
        std::replace(line.str().begin(), line.str().end(), '\0', ' ');
        if (!parser->Parse(line.data()))
            continue;
        CTavloSubjectItem* item;
        if (parser->GetBoardName()) {
            item = new CTavloSubjectItem(counter, parser->GetTitle(), parser->GetKey(),
                                         parser->GetBoardName(), parser->GetBoardId(),
                                         parser->GetBoardUrl(), parser->GetCount());
        } else {
            item = new CTavloSubjectItem(counter, parser->GetTitle(), parser->GetKey(), boardName,
                                         boardId, boardUrl, parser->GetCount());
        }
        addEntry(item);
    }
    file.Close();
    VLOG(2, "CTavloSubjectFile::CreateFromFile", "%d(msec)", timer.Elapsed());
    return 0;
}

int CTavloSubjectFile::CreateFromHttp(const CVornString& localPath, const CVornString& subjectUrl,
                                      CTavloWindow* window, TavloStopRequest stop) {
    m_boardUrl = subjectUrl;
    CTavloPath::MakeDirectory(CTavloPath::GetDirectory(localPath));

    CTavloHttpFetch fetch(window, std::move(stop));
    int64_t size = 0, time = 0;
    if (CTavloPath::GetFileStatus(localPath, &size, &time) && size != 0)
        fetch.SetIfModifiedSince(time);
    int r = fetch.Open(subjectUrl);
    if (r != 0)
        return r;

    // The stored list is replaced only by a list that arrived whole.
    CVornAtomicFile out;
    if (!out.Open(localPath.c_str())) {
        VLOG(0, "CTavloSubjectFile::CreateFromHttp", "error %s", localPath.c_str());
        return -200;
    }
    r = fetch.Receive([&out](const char* data, int len) {
        return out.Write(data, static_cast<size_t>(len)) ? 0 : -203;
    });
    if (r != 0) {
        out.Abort();
        VLOG(1, "CTavloSubjectFile::CreateFromHttp", "%s %d (%lld bytes)", subjectUrl.c_str(), r,
             static_cast<long long>(fetch.GetReceived()));
        return r;
    }
    if (!out.Commit()) {
        VLOG(0, "CTavloSubjectFile::CreateFromHttp", "error %s", localPath.c_str());
        return -203;
    }
    return CreateFromFile(localPath);
}

int CTavloSubjectFile::Mark(const CTavloSubjectFile& previous) {
    int marked = 0;
    if (previous.GetCount() == 0)
        return 0;
    for (CTavloSubjectItem* item : *this) {
        const CTavloSubjectItem* old = previous.FindKey(item->GetKey());
        if (!old) {
            item->SetNew(1);
            ++marked;
            continue;
        }
        int64_t diff = int64_t{item->GetCount()} - old->GetCount();
        if (diff > 0) {
            item->SetUpdated(1);
            item->SetNewCount(static_cast<int>(std::min<int64_t>(diff, INT32_MAX)));
            ++marked;
        }
    }
    return marked;
}
