#include "tavlo_subject_view.h"

#include "tavlo_bookmark_file.h"
#include "tavlo_errors.h"
#include "tavlo_find2ch_fetch.h"
#include "tavlo_list_item.h"
#include "tavlo_list_sort.h"
#include "tavlo_main_frame.h"
#include "tavlo_message_dialog.h"
#include "tavlo_next_thread.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_sort_command.h"
#include "vorn_log.h"
#include "vorn_regex.h"
#include "vorn_thread.h"

#include <QPointer>

const char CTavloSubjectView::kFind2chHost[] = "find.5ch.net";

namespace {

// Sort commands: the key each one sorts by and its direction.
constexpr CTavloSortCommand kSortCommands[] = {
    {ID_SORT_NO, SUBJECT_SORT_INDEX, 1},      {ID_SORT_RES, SUBJECT_SORT_COUNT, 0},
    {ID_SORT_THREAD, SUBJECT_SORT_TITLE, 1},  {ID_SORT_SPEED, SUBJECT_SORT_SPEED, 0},
    {ID_SORT_THREADID, SUBJECT_SORT_KEY, 0},  {ID_SORT_NEW, SUBJECT_SORT_MARK, 1},
    {ID_SORT_SEARCH, SUBJECT_SORT_SEARCH, 1}, {ID_SORT_CACHE, SUBJECT_SORT_CACHE, 1},
    {ID_SORT_BOARD, SUBJECT_SORT_BOARD, 1},
};

} // namespace

CTavloSubjectView::CTavloSubjectView(CTavloWindow* frame, QWidget* parent)
    : CTavloSubjectViewBase(frame, parent),
      CTavloListView(this, frame, CTavloSettings::LV_SUBJECT, CTavloSettings::FONT_BOARD),
      m_list(std::make_unique<CTavloSubjectFile>()),
      m_previous(std::make_unique<CTavloSubjectFile>()) {
    setObjectName("subject");
}

CTavloSubjectView::~CTavloSubjectView() {
    StoreColumnWidths();
    SetItemCount(0);
    clearLists();
}

void CTavloSubjectView::OnInitialUpdate() {
    InsertColumns({{"No", 50, TAVLO_LVCFMT_RIGHT},
                   {"レス", 50, TAVLO_LVCFMT_RIGHT},
                   {"スレッド", 300, TAVLO_LVCFMT_LEFT},
                   {"勢い", 50, TAVLO_LVCFMT_RIGHT},
                   {"スレッドID", 100, TAVLO_LVCFMT_LEFT}});
    ApplyFonts();
    const CTavloSettings& s = CTavloSettings::Instance();
    m_sortColumn = s.SortColumn[CTavloSettings::LV_SUBJECT];
    m_sortAsc = s.SortAsc[CTavloSettings::LV_SUBJECT];
}

// ---- opening and fetching ------------------------------------------------------------------

bool CTavloSubjectView::setBoard(const CVornString& name, const CVornString& boardUrl,
                                 const CVornString& board) {
    CVornString dir = CTavloPath::GetBoardDirectory(boardUrl);
    if (dir.IsEmpty()) {
        VLOG(0, "CTavloSubjectView::setBoard", "no store place for [%s]", boardUrl.c_str());
        return false;
    }
    m_boardName = name;
    m_boardUrl = boardUrl;
    m_boardId = board;
    m_subjectUrl = boardUrl + "subject.txt";
    m_localPath = dir + "/subject.txt";
    return true;
}

void CTavloSubjectView::clearLists() {
    m_list->RemoveAll();
    m_previous->RemoveAll();
}

int CTavloSubjectView::OpenBoard(const CVornString& name, const CVornString& boardUrl,
                                 const CVornString& board) {
    return CreateFromFile(name, boardUrl, board);
}

int CTavloSubjectView::ShowBoardBeside(const CVornString& name, const CVornString& boardUrl,
                                       const CVornString& board) {
    if (boardUrl.IsEmpty() || m_busy)
        return 0;
    const CVornString dir = CTavloPath::GetBoardDirectory(boardUrl);
    // Online, or offline with the list stored, this is the board opened (nothing is fetched
    // offline); offline without a list there is no question to ask: the empty list.
    if (CTavloSettings::Instance().Online == 1 ||
        (!dir.IsEmpty() && CTavloPath::GetFileStatus(dir + "/subject.txt")))
        return CreateFromFile(name, boardUrl, board);
    if (!setBoard(name, boardUrl, board))
        return 0;
    SetItemCount(0);
    clearLists();
    setTitle();
    return 0;
}

int CTavloSubjectView::CreateFromFile(const CVornString& name, const CVornString& boardUrl,
                                      const CVornString& board) {
    // A board without a URL cannot be shown; a name or id may be unknown.
    if (boardUrl.IsEmpty())
        return 0;
    // A fetch runs (and pumps messages): an open arriving meanwhile is dropped.
    if (m_busy)
        return 1;
    if (!setBoard(name, boardUrl, board))
        return 0;
    CVornTime timer;
    if (CTavloPath::GetFileStatus(m_localPath)) {
        SetItemCount(0);
        clearLists();
        int r = m_list->CreateFromFile(m_localPath);
        if (r != 0) {
            showError(r);
            return 0;
        }
    } else {
        if (IsSearchList()) {
            TavloMessageBox(this,
                            "２ちゃんねる検索の結果がありません\n２ちゃんねる検索を行うには\n["
                            "メニュー]→[２ちゃんねる検索]を実行して下さい",
                            kTavloCaption, TAVLO_MB_OK | TAVLO_MB_ICONINFORMATION);
            return 1;
        }
        if (CTavloSettings::Instance().Online == 1 ||
            TavloMessageBox(this, "スレッド一覧が存在しません。サーバから取得しますか？",
                            kTavloCaption, TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) == TAVLO_IDYES)
            return Fetch(name, boardUrl, board);
        // Declined: the board's (empty) list, so that reload can fetch it later.
        SetItemCount(0);
        clearLists();
        setTitle();
        return 0;
    }
    VLOG(2, "CTavloSubjectView::CreateFromFile", "done %d(msec)", timer.Elapsed());
    showRows();
    VLOG(2, "CTavloSubjectView::CreateFromFile", "createList done %d(msec)", timer.Elapsed());
    setTitle();
    const CTavloSettings& s = CTavloSettings::Instance();
    if (!IsSearchList() && s.Online == 1) {
        QPointer<QWidget> alive(this);
        Reload();
        if (!alive)
            return 0;
    }
    SortItems(s.SortColumn[CTavloSettings::LV_SUBJECT], s.SortAsc[CTavloSettings::LV_SUBJECT]);
    return 1;
}

int CTavloSubjectView::Fetch(const CVornString& name, const CVornString& boardUrl,
                             const CVornString& board) {
    if (boardUrl.IsEmpty())
        return 0;
    if (m_busy)
        return 1;
    if (CTavloPath::GetBoardDirectory(boardUrl).IsEmpty())
        return 0;
    m_busy = 1;
    setStatus(true);
    setBoard(name, boardUrl, board);
    SetItemCount(0);
    clearLists();
    // The list as it is on disk, to mark against.
    if (CTavloPath::GetFileStatus(m_localPath))
        m_previous->CreateFromFile(m_localPath);

    // The transfer pumps messages: the view may be closed meanwhile, so the new list and the
    // names stay on this stack until it is known to be alive.
    const CVornString localPath = m_localPath;
    const CVornString subjectUrl = m_subjectUrl;
    QPointer<QWidget> alive(this);
    auto fresh = std::make_unique<CTavloSubjectFile>();
    int r = fresh->CreateFromHttp(localPath, subjectUrl, m_frame, stopRequest());
    if (!alive)
        return 0;
    if (r == -103)
        r = fresh->CreateFromFile(localPath);
    if (r != 0) {
        VLOG(1, "CTavloSubjectView::Fetch", "%s %d", subjectUrl.c_str(), r);
        showError(r);
        if (!alive)
            return 0;
        m_busy = 0;
        setStatus(false);
        return 0;
    }
    m_list = std::move(fresh);

    int64_t size = -1;
    if (CTavloPath::GetFileStatus(localPath, &size) && size == 0 && !IsSearchList() &&
        TavloMessageBox(this, "スレッド一覧の受信に失敗しました。\n移転先検出処理を行いますか？",
                        kTavloCaption, TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) == TAVLO_IDYES) {
        CVornString newUrl;
        CTavloBoardViewBase* boards = nullptr;
        if (auto* frame = dynamic_cast<CMainFrame*>(m_frame))
            boards = frame->Views().board;
        int found = boards ? boards->DetectMove(boardUrl, &newUrl) : 0;
        if (!alive)
            return 0;
        if (found && !newUrl.IsEmpty() && newUrl != boardUrl) {
            m_busy = 0;
            return Fetch(name, newUrl, board);
        }
    }

    showRows();
    m_busy = 0;
    setStatus(false);
    const CTavloSettings& s = CTavloSettings::Instance();
    SortItems(s.SortColumn[CTavloSettings::LV_SUBJECT], s.SortAsc[CTavloSettings::LV_SUBJECT]);
    setTitle();
    return 1;
}

int CTavloSubjectView::Reload() {
    if (m_boardUrl.IsEmpty() || IsSearchList())
        return 0;
    const CVornString name = m_boardName, url = m_boardUrl, board = m_boardId;
    return Fetch(name, url, board);
}

void CTavloSubjectView::ShowFind2ch() {
    CVornString host(kFind2chHost);
    CreateFromFile(CVornString(TavloSjis(QString::fromUtf8("２ちゃんねる検索"))),
                   "http://.tmp/" + host + "/", host);
}

int CTavloSubjectView::Find2ch(const CVornString& url, const CVornString& words) {
    if (m_busy)
        return 0;
    CVornString host(kFind2chHost);
    const CVornString boardUrl = "http://.tmp/" + host + "/";
    const CVornString path = CTavloPath::GetBoardDirectory(boardUrl) + "/subject.txt";
    m_busy = 1;
    QPointer<QWidget> alive(this);
    auto fresh = std::make_unique<CTavloSubjectFile>();
    int r = CTavloFind2chFetch::Fetch(path, url, *fresh, m_frame, stopRequest());
    if (!alive)
        return r;
    m_busy = 0;
    VLOG(1, "CTavloSubjectView::Find2ch", "[%s] %s: %d", words.c_str(), url.c_str(), r);
    if (r == 0) {
        setBoard(CVornString(TavloSjis(QString::fromUtf8("２ちゃんねる検索"))), boardUrl, host);
        SetItemCount(0);
        clearLists();
        m_list = std::move(fresh);
        showRows();
        const CTavloSettings& s = CTavloSettings::Instance();
        SortItems(s.SortColumn[CTavloSettings::LV_SUBJECT], s.SortAsc[CTavloSettings::LV_SUBJECT]);
        setTitle();
        return 0;
    }
    if (r == -201) {
        TavloMessageBox(this, "検索結果のページを読めませんでした(EUC-JPではありません)",
                        kTavloCaption, TAVLO_MB_OK | TAVLO_MB_ICONERROR);
    } else if (r != -1) {
        showError(r);
    }
    return r;
}

void CTavloSubjectView::SearchNextThreadOfSelection() {
    CTavloListItem* item = GetSelectedItem();
    if (!item) {
        TavloMessageBox(this, "スレッドを選択して下さい", kTavloCaption,
                        TAVLO_MB_OK | TAVLO_MB_ICONERROR);
        return;
    }
    const CVornString title = item->GetTitle();
    SearchNextThread(title, m_boardUrl);
}

void CTavloSubjectView::SearchNextThread(const CVornString& title, const CVornString&) {
    VLOG(2, "CTavloApp::OnSearchRelatedSubject", "%s", title.c_str());
    if (TavloMessageBox(this, "スレッド一覧を最新化しますか？", kTavloCaption,
                        TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) == TAVLO_IDYES) {
        QPointer<QWidget> alive(this);
        const int fetched = Reload();
        if (!alive || !fetched)
            return;
    }
    const CVornString pattern = TavloNextThreadPattern(title);
    VLOG(2, "CTavloApp::OnSearchRelatedSubject", "%s", pattern.c_str());
    Highlight(pattern);
    // The thread itself matches too: the successor is the hit that is not it.
    const CTavloListItem* first = GetSelectedItem();
    const CTavloListItem* second = GetItem(1);
    if (first && first->GetTitle() == title && second && second->IsSearchHit() == 1 &&
        second->GetTitle() != title) {
        ClearSelection();
        SelectRow(1);
    }
}

void CTavloSubjectView::showRows() {
    m_list->Mark(*m_previous);
    SetColumnHeader(COLUMN_KEY, IsSearchList() ? "板" : "スレッドID");
    SetItemCount(m_list->GetCount());
    RedrawItems();
    SelectRow(0);
}

void CTavloSubjectView::setTitle() {
    if (NamesTheWindow() && !m_boardName.IsEmpty())
        window()->setWindowTitle(Title());
}

QString CTavloSubjectView::Title() const {
    // Board names come from the menu page as HTML text.
    CVornString name = m_boardName;
    TavloCleanTitle(name);
    return TavloQString(name);
}

void CTavloSubjectView::showError(int code) {
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_SHOWERROR,
                             static_cast<uintptr_t>(static_cast<intptr_t>(code)), 0);
}

void CTavloSubjectView::setStatus(bool on) {
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_STATUSBAR, 0, on ? 1 : 0);
}

TavloStopRequest CTavloSubjectView::stopRequest() const {
    if (auto* frame = dynamic_cast<CMainFrame*>(m_frame))
        return frame->GetStopRequest();
    return {};
}

// ---- the rows ------------------------------------------------------------------------------

void CTavloSubjectView::SortItems(int column, int ascending) {
    CVornTime timer;
    const int key = TavloSubjectSortKeyOf(column, IsSearchList());
    // The chosen thread stays chosen wherever it lands, so that Enter opens it.
    CTavloListItem* selected = GetSelectedItem();
    TavloSortSubjects(*m_list, key, ascending);
    RedrawItems();
    m_sortColumn = key;
    m_sortAsc = ascending;
    StoreSort();
    if (selected)
        for (int row = 0; row < GetItemCount(); ++row)
            if (GetItem(row) == selected) {
                SelectRow(row);
                break;
            }
    VLOG(2, "CTavloSubjectView::SortItems", "done %d %d(msec)", column, timer.Elapsed());
}

int CTavloSubjectView::SortIndicatorColumn() const {
    const bool search = IsSearchList();
    if (m_sortColumn == SUBJECT_SORT_BOARD)
        return search ? 4 : -1;
    if (m_sortColumn == SUBJECT_SORT_KEY && search)
        return -1;
    return m_sortColumn <= SUBJECT_SORT_KEY ? m_sortColumn : -1;
}

void CTavloSubjectView::OpenSelectedItem() {
    CTavloListItem* item = GetSelectedItem();
    if (item && m_frame)
        m_frame->SendMessage(TAVLO_WM_OPENSUBJECT, 0, reinterpret_cast<intptr_t>(item));
}

int CTavloSubjectView::GetItemText(QString& text, int row, int column) {
    if (row < 0 || row >= m_list->GetCount())
        return 0;
    const CTavloSubjectItem* item = m_list->Get(row);
    if (!item)
        return 0;
    switch (column) {
    case COLUMN_NO:
        text = QString::number(item->GetIndex());
        return 1;
    case COLUMN_COUNT:
        if (item->GetNewCount() > 0)
            text = QStringLiteral("%1%2(%3)")
                       .arg(item->GetCount())
                       .arg(CTavloSettings::Instance().ListSingleLine == 1 ? "" : "\n")
                       .arg(item->GetNewCount());
        else
            text = QString::number(item->GetCount());
        return 1;
    case COLUMN_TITLE:
        text = TavloQString(item->GetTitle());
        return 1;
    case COLUMN_SPEED:
        text = QString::asprintf("%.1f", item->GetSpeed());
        return 1;
    case COLUMN_KEY:
        text = TavloQString(IsSearchList() ? item->GetBoardName() : item->GetKey());
        return 1;
    default:
        return 0;
    }
}

CTavloListItem* CTavloSubjectView::GetItem(int row) {
    if (row < 0 || row >= m_list->GetCount())
        return nullptr;
    return m_list->Get(row);
}

void CTavloSubjectView::Highlight(const CVornString& pattern) {
    CVornRegex re;
    if (!re.Compile(pattern)) {
        VLOG(1, "CTavloSubjectView::Highlight", "pattern [%s]: %s", pattern.c_str(),
             re.GetError().c_str());
    }
    bool any = false;
    for (CTavloSubjectItem* item : *m_list) {
        const bool hit = re.IsValid() && re.Match(item->GetTitle()) >= 0;
        item->SetSearchHit(hit ? 1 : 0);
        any = any || hit;
    }
    if (any) {
        SortItems(SUBJECT_SORT_SEARCH, 1);
        ClearSelection();
        ScrollToTop();
        SelectRow(0);
    }
    RedrawItems();
}

void CTavloSubjectView::ClearNewMarks() {
    for (CTavloSubjectItem* item : *m_list) {
        item->SetNew(0);
        item->SetUpdated(0);
        item->SetNewCount(0);
    }
    RedrawItems();
}

void CTavloSubjectView::AddBookmark() {
    CTavloListItem* item = GetSelectedItem();
    if (!item)
        return;
    if (TavloMessageBox(this, "ブックマークに追加しますか？", kTavloCaption,
                        TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) != TAVLO_IDYES)
        return;
    CTavloBookmarkItem bookmark(item->GetBoardId(), item->GetBoardName(), 1, item->GetTitle(),
                                item->GetKey(), item->GetBoardUrl());
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_ADDBOOKMARK, 0, reinterpret_cast<intptr_t>(&bookmark));
    RedrawItems();
}

// ---- keys and commands ---------------------------------------------------------------------

bool CTavloSubjectView::OnKeyDown(int vk, Qt::KeyboardModifiers) {
    if (TavloKeyIs(CTavloSettings::CMD_ADDBOOKMARK, vk)) {
        AddBookmark();
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_SORT, vk)) {
        SortItems(TavloNextSubjectSortKey(m_sortColumn), 1);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_RELOAD, vk)) {
        Reload();
        return true;
    }
    return ListKeyDown(vk);
}

bool CTavloSubjectView::OnCommand(int id) {
    if (const CTavloSortCommand* sort = TavloFindSortCommand(kSortCommands, id)) {
        bool enabled = false, checked = false;
        UpdateCommand(id, &enabled, &checked);
        if (enabled)
            SortItems(sort->key, sort->ascending);
        return true;
    }
    switch (id) {
    case ID_RELOAD:
        Reload();
        return true;
    case ID_ADD_BOOKMARK:
        AddBookmark();
        return true;
    case ID_EDIT_THREAD:
        NewThread();
        return true;
    default:
        return ListCommand(id);
    }
}

bool CTavloSubjectView::UpdateCommand(int id, bool* enabled, bool* checked) {
    if (const CTavloSortCommand* sort = TavloFindSortCommand(kSortCommands, id)) {
        *checked = m_sortColumn == sort->key;
        *enabled = id == ID_SORT_THREADID ? !IsSearchList()
                   : id == ID_SORT_BOARD  ? IsSearchList()
                                          : true;
        return true;
    }
    switch (id) {
    case ID_RELOAD:
        *enabled = HasBoard() && !IsSearchList();
        *checked = false;
        return true;
    case ID_ADD_BOOKMARK:
        *enabled = GetSelectedRow() >= 0;
        *checked = false;
        return true;
    case ID_EDIT_THREAD:
        *enabled = HasBoard() && !IsSearchList();
        *checked = false;
        return true;
    default:
        return ListUpdateCommand(id, enabled, checked);
    }
}

void CTavloSubjectView::NewThread() {
    if (!HasBoard() || IsSearchList())
        return;
    QPointer<CTavloSubjectView> self(this);
    CTavloThreadDialog dialog(m_boardUrl, m_frame, this);
    dialog.SetOtherTransfer([self] { return self && self->IsBusy(); });
    if (dialog.exec() != QDialog::Accepted || !self)
        return;
    CTavloSettings& s = CTavloSettings::Instance();
    if (!dialog.GetLastName().IsEmpty())
        s.AddHistory(CTavloSettings::HISTORY_NAME, dialog.GetLastName());
    if (!dialog.GetLastMail().IsEmpty() && !(dialog.GetLastMail() == "sage"))
        s.AddHistory(CTavloSettings::HISTORY_MAIL, dialog.GetLastMail());
    Reload();
}
