#include "tavlo_board_menu.h"

#include "tavlo_article_file.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_live.h"
#include "tavlo_path.h"
#include "vorn_file.h"
#include "vorn_kcode.h"
#include "vorn_log.h"
#include "vorn_regex.h"

#include <cerrno>

namespace {

const char kCategory[] = "<BR><B>([^<]+)</B><BR>";
const char kLink[] = "<A HREF=(http://[^/>]+/([^/>]+)/)>([^<]+)</A>";
const char kLinkBlank[] = "<A HREF=(http://[^/>]+/([^/>]+)/) TARGET=_blank>([^<]+)</A>";
const char kRedirect[] = "<script language=\"javascript\">[\r\n]*.*window\\.location\\.href=\"("
                         "[^\"]+)\".*[\r\n]*</script>";

CTavloNotice errorCode(int code) {
    CTavloNotice n;
    n.kind = CTavloNotice::ERROR_CODE;
    n.code = code;
    return n;
}

CTavloNotice message(CTavloNotice::Kind kind, std::string text) {
    CTavloNotice n;
    n.kind = kind;
    n.text = std::move(text);
    return n;
}

// The bookmark list, read from its file if no view has read it yet.
CTavloBookmarkFile& bookmarks() {
    CTavloBookmarkFile& list = CTavloBookmarkFile::Instance();
    if (list.GetPath().IsEmpty())
        list.Load(CTavloBookmarkFile::GetDefaultPath());
    return list;
}

bool isEmptyDirectory(const CVornString& path) {
    return VornListDirectory(path.c_str(), false).empty() &&
           VornListDirectory(path.c_str(), true).empty();
}

// a is b or lies inside it.
bool within(const CVornString& a, const CVornString& b) {
    return a == b || (a.StartsWith(b.view()) && a.size() > b.size() && a[b.size()] == '/');
}

} // namespace

CTavloBoardMenu::CTavloBoardMenu(CTavloWindow* window, TavloStopRequest stop)
    : m_window(window), m_stop(std::move(stop)) {}

int CTavloBoardMenu::fetchPage(const CVornString& url, std::string& body, const char* trace) {
    CTavloHttpFetch fetch(m_window, m_stop);
    fetch.SetGzip(false);
    int r = fetch.Open(url);
    // Not asked conditionally, so 304 is an unexpected status like any other.
    if (r == -103)
        r = -101;
    if (r != 0)
        return r;
    body.clear();
    return fetch.Receive([&body, trace](const char* data, int len) {
        if (body.size() + static_cast<size_t>(len) > kMaxPage)
            return -102;
        body.append(data, static_cast<size_t>(len));
        VLOG(2, trace, "%.*s[%d]", len, data, len);
        return 0;
    });
}

int CTavloBoardMenu::ParseMenu(std::string_view body, CTavloBoardFile& out) {
    CVornRegex category, link, linkBlank;
    category.Compile(kCategory);
    link.Compile(kLink);
    linkBlank.Compile(kLinkBlank);
    // Today's menu links the current hosts' boards with "https://": they read as the store
    // form, and every other link stays exactly as the classic menu had it.
    std::string page(body);
    static const std::string secure = "<A HREF=https://";
    for (size_t at = page.find(secure); at != std::string::npos; at = page.find(secure, at + 1))
        if (TavloLive::IsUrl(std::string_view(page).substr(at + 8)))
            page.erase(at + 12, 1);
    CVornString text(page);
    int categories = 0;
    int pos = 0;
    // Once the plain pattern finds nothing from some point on, it finds nothing further on.
    bool plainGone = false;
    int cat = category.Match(text, pos);
    while (cat >= 0) {
        ++categories;
        out.AddRow({category.GetGroup(1), CVornString(), CVornString()});
        pos = category.GetEnd(0);
        int nextCat = category.Match(text, pos);
        for (;;) {
            CVornRegex* found = nullptr;
            int at = -1;
            if (!plainGone) {
                at = link.Match(text, pos);
                if (at >= 0)
                    found = &link;
                else
                    plainGone = true;
            }
            if (!found) {
                at = linkBlank.Match(text, pos);
                if (at >= 0)
                    found = &linkBlank;
            }
            if (!found || (nextCat >= 0 && nextCat < at))
                break;
            out.AddRow({found->GetGroup(3), found->GetGroup(1), found->GetGroup(2)});
            pos = found->GetEnd(0);
        }
        cat = category.Match(text, pos);
    }
    return categories;
}

int CTavloBoardFile::CreateFromHttp(const CVornString& menuUrl, CTavloWindow* window,
                                    std::function<bool()> stop) {
    CTavloBoardFile& board = *this;
    std::string body;
    int r = CTavloBoardMenu(window, std::move(stop))
                .fetchPage(menuUrl, body, "CTavloBoardFile::CreateFromHttp");
    if (r != 0) {
        VLOG(1, "CTavloBoardFile::CreateFromHttp", "%s %d", menuUrl.c_str(), r);
        return r;
    }
    CTavloBoardFile fresh(board.GetPath());
    if (CTavloBoardMenu::ParseMenu(body, fresh) == 0) {
        // An error page answered with 200 would otherwise replace the menu with nothing.
        VLOG(0, "CTavloBoardFile::CreateFromHttp", "no category in %s (%d bytes)", menuUrl.c_str(),
             static_cast<int>(body.size()));
        return -201;
    }
    if (VornFileExists(board.GetPath().c_str()) && !board.Backup()) {
        VLOG(0, "CTavloBoardFile::CreateFromHttp", "backup failed %s", board.GetPath().c_str());
        return -200;
    }
    if (fresh.Save() != 0)
        return -200;
    return board.Load();
}

int CTavloBoardMenu::Refresh(CTavloBoardFile& board, const CVornString& menuUrl,
                             CTavloMenuReport& report) {
    int r = board.CreateFromHttp(menuUrl, m_window, m_stop);
    if (r != 0) {
        report.notices.push_back(errorCode(r));
        return 0;
    }
    DetectMovesByComparison(board, report);
    return 1;
}

int CTavloBoardMenu::DetectMovesByComparison(const CTavloBoardFile& current,
                                             CTavloMenuReport& report) {
    CTavloBoardFile old(current.GetPath() + ".bak");
    old.Load();
    CVornString errorText(VornUtf8ToSjis(CTavloBoardMenuText::kMoveError));
    bool failed = false;
    bool moved = false;
    CTavloBoardFileEtc etc;
    bool haveEtc = etc.Load() == 0;
    CTavloBookmarkFile* marks = nullptr;
    for (int row = 0; row < old.GetRowCount(); ++row) {
        const CVornString& id = old.Get(row, CTavloBoardFile::COL_ID);
        const CVornString& oldUrl = old.Get(row, CTavloBoardFile::COL_URL);
        if (id.IsEmpty() || oldUrl.IsEmpty())
            continue; // a category
        int now = current.FindId(id);
        if (now < 0)
            continue;
        CVornString newUrl = current.Get(now, CTavloBoardFile::COL_URL);
        // A board still listed at its old address did not move, even when another board of
        // the same name is listed first.
        if (newUrl == oldUrl || newUrl.IsEmpty() || current.FindUrl(oldUrl) >= 0)
            continue;
        VLOG(1, "CTavloBoardView::DetectRemoval", "MOVE: [%s] -> [%s]", oldUrl.c_str(),
             newUrl.c_str());
        moved = true;
        bool merged = MergeDirectory(oldUrl, newUrl);
        if (!merged) {
            errorText.FormatAdd(CTavloBoardMenuText::kMoveErrorLine, oldUrl.c_str(),
                                newUrl.c_str());
            failed = true;
        }
        if (!marks)
            marks = &bookmarks();
        marks->ReplaceBoardUrl(oldUrl, newUrl);
        if (haveEtc)
            etc.ReplaceUrl(oldUrl, newUrl);
        report.moves.push_back({oldUrl, newUrl, merged});
    }
    if (failed)
        report.notices.push_back(
            message(CTavloNotice::ERROR_TEXT, VornSjisToUtf8(errorText.view())));
    if (moved) {
        if (marks && !marks->Save())
            VLOG(0, "CTavloBoardView::DetectRemoval", "bookmark save failed");
        if (haveEtc && etc.Save() != 0)
            VLOG(0, "CTavloBoardView::DetectRemoval", "etc.txt save failed");
    }
    return 1;
}

bool CTavloBoardMenu::MergeDirectory(const CVornString& oldUrl, const CVornString& newUrl) {
    CVornString oldDir = CTavloPath::GetBoardDirectory(oldUrl);
    CVornString newDir = CTavloPath::GetBoardDirectory(newUrl);
    if (oldDir.IsEmpty() || newDir.IsEmpty())
        return false;
    // Two addresses of one directory (e.g. http and https): copying it onto itself and
    // removing the "old" one would delete the board's logs.
    if (oldDir == newDir)
        return true;
    if (within(oldDir, newDir) || within(newDir, oldDir)) {
        VLOG(0, "CTavloBoardView::MergeDirectory", "nested: [%s][%s]", oldDir.c_str(),
             newDir.c_str());
        return false;
    }

    CTavloArticleFile oldSummary, newSummary;
    oldSummary.Load(oldUrl);
    newSummary.Load(newUrl);
    oldSummary.MergeInto(newSummary);

    bool oldExists = VornIsDirectory(oldDir.c_str());
    if (oldExists) {
        if (!CTavloPath::MakeDirectory(newDir) || !CTavloPath::CopyTree(oldDir, newDir)) {
            VLOG(0, "CTavloBoardView::MergeDirectory", "copy error: [%s] -> [%s]", oldDir.c_str(),
                 newDir.c_str());
            return false;
        }
    }
    if (VornIsDirectory(newDir.c_str()) && !newSummary.Save())
        VLOG(0, "CTavloBoardView::MergeDirectory", "summary not saved: [%s]",
             newSummary.GetPath().c_str());

    if (oldExists && !CTavloPath::RemoveTree(oldDir)) {
        VLOG(0, "CTavloBoardView::MergeDirectory", "RemoveDirectory error: [%s][%d]",
             oldDir.c_str(), errno);
        return false;
    }
    CVornString host = CTavloPath::GetDirectory(oldDir);
    CVornString root = CTavloPath::GetRoot();
    while (root.EndsWith("/"))
        root.str().pop_back();
    // The root itself is never removed.
    if (!host.IsEmpty() && host != root && within(host, root) && VornIsDirectory(host.c_str()) &&
        isEmptyDirectory(host)) {
        if (!VornRemoveDirectory(host.c_str())) {
            VLOG(0, "CTavloBoardView::MergeDirectory", "RemoveDirectory error: [%s][%d]",
                 host.c_str(), errno);
            return false;
        }
    }
    return true;
}

CVornString CTavloBoardMenu::FindRedirect(std::string_view page) {
    CVornRegex re;
    re.Compile(kRedirect);
    CVornString text(page);
    if (re.Match(text) < 0)
        return CVornString();
    return re.GetGroup(1);
}

void CTavloBoardMenu::moveReferences(const CVornString& oldUrl, const CVornString& newUrl) {
    CTavloBookmarkFile& marks = bookmarks();
    marks.ReplaceBoardUrl(oldUrl, newUrl);
    if (!marks.Save())
        VLOG(0, "CTavloBoardView::DetectRemoval", "bookmark save failed");
}

int CTavloBoardMenu::DetectMoveFromPage(const CVornString& oldUrl, CVornString& newUrl,
                                        CTavloMenuReport& report) {
    std::string page;
    int r = fetchPage(oldUrl, page, "CTavloBoardView::DetectRemoval");
    if (r == -1)
        return 0;
    if (r != 0) {
        report.notices.push_back(errorCode(r));
        return 0;
    }
    CVornString found = FindRedirect(page);
    // Only an absolute address can be a board's.
    if (found.IsEmpty() || found == oldUrl || found.Find("://") < 0) {
        report.notices.push_back(
            message(CTavloNotice::ERROR_TEXT, CTavloBoardMenuText::kMoveNotFound));
        return 0;
    }
    VLOG(1, "CTavloBoardView::DetectRemoval", "%s", found.c_str());

    bool covered = false;
    CTavloBoardFile board;
    if (board.Load() == 0) {
        board.Backup();
        board.ReplaceUrl(oldUrl, found);
        if (board.Save() != 0)
            VLOG(0, "CTavloBoardView::DetectRemoval", "board.txt save failed");
        size_t before = report.moves.size();
        DetectMovesByComparison(board, report);
        for (size_t i = before; i < report.moves.size(); ++i)
            if (report.moves[i].oldUrl == oldUrl)
                covered = true;
    }
    if (!covered) {
        // A board that is not in the menu (one added by hand) still takes its logs and
        // bookmarks along.
        bool merged = MergeDirectory(oldUrl, found);
        if (!merged) {
            CVornString text(VornUtf8ToSjis(CTavloBoardMenuText::kMoveError));
            text.FormatAdd(CTavloBoardMenuText::kMoveErrorLine, oldUrl.c_str(), found.c_str());
            report.notices.push_back(
                message(CTavloNotice::ERROR_TEXT, VornSjisToUtf8(text.view())));
        }
        moveReferences(oldUrl, found);
        report.moves.push_back({oldUrl, found, merged});
    }
    CTavloBoardFileEtc etc;
    if (etc.Load() == 0) {
        etc.ReplaceUrl(oldUrl, found);
        if (etc.Save() != 0)
            VLOG(0, "CTavloBoardView::DetectRemoval", "etc.txt save failed");
    }
    newUrl = found;
    report.notices.push_back(message(CTavloNotice::INFORMATION, CTavloBoardMenuText::kMoveFound));
    return 1;
}
