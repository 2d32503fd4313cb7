#include "tavlo_bookmark_view.h"

#include "tavlo_bookmark_file.h"
#include "tavlo_bookmark_updater.h"
#include "tavlo_errors.h"
#include "tavlo_list_ctrl.h"
#include "tavlo_list_select.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_sort_command.h"
#include "vorn_log.h"
#include "vorn_regex.h"

#include <QShowEvent>

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>

namespace {

// Sort commands of the bookmark view: command, key, ascending.
constexpr CTavloSortCommand kSortCommands[] = {
    {ID_SORT_NO, CTavloBookmarkView::SORT_INDEX, 1},
    {ID_SORT_RES, CTavloBookmarkView::SORT_COUNT, 0},
    {ID_SORT_THREAD, CTavloBookmarkView::SORT_TITLE, 1},
    {ID_SORT_SPEED, CTavloBookmarkView::SORT_SPEED, 0},
    {ID_SORT_BOARD, CTavloBookmarkView::SORT_BOARD, 1},
    {ID_SORT_THREADID, CTavloBookmarkView::SORT_KEY, 0},
    {ID_SORT_NEW, CTavloBookmarkView::SORT_UPDATED, 1},
    {ID_SORT_SEARCH, CTavloBookmarkView::SORT_SEARCH, 1},
};

CTavloBookmarkFile& bookmarks() {
    return CTavloBookmarkFile::Instance();
}

} // namespace

CTavloBookmarkView::CTavloBookmarkView(CTavloWindow* frame, QWidget* parent)
    : CTavloListViewBase(TAVLO_VIEW_BOOKMARK, frame, parent),
      CTavloListView(this, frame, CTavloSettings::LV_BOOKMARK, CTavloSettings::FONT_BOOKMARK),
      m_updater(std::make_unique<CTavloBookmarkUpdater>(frame)) {
    InsertColumns({{"No", 50, TAVLO_LVCFMT_RIGHT},
                   {"レス", 50, TAVLO_LVCFMT_RIGHT},
                   {"スレッド", 300},
                   {"勢い", 50, TAVLO_LVCFMT_RIGHT},
                   {"板", 100},
                   {"スレッドID", 100}});
    const CTavloSettings& s = CTavloSettings::Instance();
    m_sortColumn = s.SortColumn[CTavloSettings::LV_BOOKMARK];
    m_sortAsc = s.SortAsc[CTavloSettings::LV_BOOKMARK];

    // Workers draw rows and the coordinator reports its end from their own threads; both are
    // handled on the window thread. Rows are found by entry, never by the worker's position:
    // additions meanwhile shift the rows.
    m_updater->SetRowChanged([this](CTavloBookmarkItem* entry, int) {
        QMetaObject::invokeMethod(
            this, [this, entry] { redrawEntry(entry); }, Qt::QueuedConnection);
    });
    m_updater->SetFinished([this] {
        QMetaObject::invokeMethod(
            this, [this] { onCheckEnded(); }, Qt::QueuedConnection);
    });
    m_updater->SetStopRequested([this] { return m_stop && m_stop(); });
}

CTavloBookmarkView::~CTavloBookmarkView() {
    m_dying = true;
    // On exit the frame has stopped the network already: the workers end at once.
    WaitCheck();
    releaseSnapshot();
    StoreSort();
    bookmarks().RemoveAll();
}

void CTavloBookmarkView::SetStopRequest(std::function<bool()> stop) {
    m_stop = std::move(stop);
}

// ---- loading and the rows ------------------------------------------------------------------

void CTavloBookmarkView::EnsureLoaded() {
    if (m_loaded)
        return;
    CTavloBookmarkFile& list = bookmarks();
    // The application reads the list at start-up already (the thread list marks bookmarks).
    if (list.GetPath().IsEmpty())
        list.Load(CTavloBookmarkFile::GetDefaultPath());
    m_loaded = 1;
    SetItemCount(list.GetCount());
    const CTavloSettings& s = CTavloSettings::Instance();
    int column = s.SortColumn[CTavloSettings::LV_BOOKMARK];
    if (column < 0 || column >= SORT_KEYS)
        column = SORT_INDEX;
    SortItems(column, s.SortAsc[CTavloSettings::LV_BOOKMARK]);
    SelectRow(0);
}

void CTavloBookmarkView::Reload() {
    EnsureLoaded();
    CTavloBookmarkFile& list = bookmarks();
    // Reading threads changes their info files; the marks follow them.
    for (CTavloBookmarkItem* entry : list)
        entry->Refresh();
    SetItemCount(list.GetCount());
    RedrawItems();
}

void CTavloBookmarkView::ClearMarks() {
    // Bookmarks carry no new-thread marks of their own; their new-post marks are the
    // threads' info files and stay until the threads are read.
    for (CTavloBookmarkItem* entry : bookmarks())
        entry->SetNew(0);
}

void CTavloBookmarkView::RefreshLogPath(const CVornString& logPath) {
    CTavloBookmarkItem* entry = bookmarks().FindLogPath(logPath);
    if (entry) {
        entry->Refresh();
        redrawEntry(entry);
    }
}

void CTavloBookmarkView::redrawEntry(CTavloBookmarkItem* entry) {
    if (m_dying)
        return;
    // Compared by address only: the entry may be gone by now.
    int row = bookmarks().IndexOf(entry);
    if (row >= 0 && row < GetItemCount())
        RedrawItem(row);
}

CTavloListItem* CTavloBookmarkView::GetItem(int row) {
    if (row >= GetItemCount())
        return nullptr;
    return bookmarks().Get(row);
}

int CTavloBookmarkView::GetItemText(QString& text, int row, int column) {
    const CTavloBookmarkItem* e = row < GetItemCount() ? bookmarks().Get(row) : nullptr;
    if (!e)
        return 0;
    switch (column) {
    case 0:
        text = QString::number(e->GetIndex());
        return 1;
    case 1: {
        const int count = e->GetCount(), fresh = e->GetNewCount();
        if (e->IsUpdated() == 1 && fresh != 0)
            text = CTavloSettings::Instance().ListSingleLine == 1
                       ? QString("%1(%2)").arg(count).arg(fresh)
                       : QString("%1\n(%2)").arg(count).arg(fresh);
        else
            text = QString::number(count);
        return 1;
    }
    case 2:
        text = TavloQString(e->GetTitle());
        return 1;
    case 3:
        text = QString::asprintf("%.1f", e->GetSpeed());
        return 1;
    case 4:
        text = TavloQString(e->GetBoardName());
        return 1;
    case 5:
        text = TavloQString(e->GetKey());
        return 1;
    default:
        return 0;
    }
}

// ---- sorting, moving, deleting -------------------------------------------------------------

void CTavloBookmarkView::SortItems(int column, int ascending) {
    if (m_checking || column < 0 || column >= SORT_KEYS)
        return;
    CVornTime timer;
    CTavloListItem* selected = GetSelectedItem();
    bookmarks().Sort(column, ascending != 0);
    m_sortColumn = column;
    m_sortAsc = ascending ? 1 : 0;
    StoreSort();
    RedrawItems();
    if (selected)
        SelectRow(bookmarks().IndexOf(static_cast<CTavloBookmarkItem*>(selected)));
    VLOG(2, "CTavloBookmarkView::SortItems", "done %d %d(msec)", column,
         static_cast<int>(timer.Elapsed()));
}

bool CTavloBookmarkView::save() {
    if (bookmarks().Save())
        return true;
    TavloMessageBox(this, TavloErrorMessage(-203), kTavloErrorCaption,
                    TAVLO_MB_OK | TAVLO_MB_ICONERROR);
    return false;
}

bool CTavloBookmarkView::MoveItem(bool down) {
    if (m_checking)
        return false;
    if (m_sortColumn != SORT_INDEX) {
        if (TavloAskYes(this,
                        "ブックマーク移動はNoソート状態で行ってください\nNoソート状態にしますか？"))
            SortItems(SORT_INDEX, 1);
        return false;
    }
    CTavloBookmarkFile& list = bookmarks();
    const int row = GetSelectedRow();
    const int other = down ? row + 1 : row - 1;
    CTavloBookmarkItem* a = list.Get(row);
    CTavloBookmarkItem* b = list.Get(other);
    if (row < 0 || !a || !b)
        return false;
    const int index = a->GetIndex();
    a->SetIndex(b->GetIndex());
    b->SetIndex(index);
    // Saving writes in index order and sorts again, which puts the pair in their new places.
    save();
    RedrawItems();
    SelectRow(list.IndexOf(a));
    return true;
}

void CTavloBookmarkView::DeleteItems() {
    if (m_checking) {
        TavloMessageBox(this, "ブックマークの更新チェック中は削除できません", kTavloCaption,
                        TAVLO_MB_OK | TAVLO_MB_ICONINFORMATION);
        return;
    }
    CTavloBookmarkFile& list = bookmarks();
    const int row = GetSelectedRow();
    const std::vector<int> rows = TavloAskRowsToDelete(this, list, row, m_multi != 0);
    if (rows.empty())
        return;
    for (int r : rows)
        list.Remove(r);
    save();
    TavloShowAfterDelete(this, row, list.GetCount());
}

void CTavloBookmarkView::SetMultiSelect(bool on) {
    m_multi = on ? 1 : 0;
    if (!on)
        TavloUnselectAll(this, bookmarks());
}

void CTavloBookmarkView::Highlight(const CVornString& pattern) {
    EnsureLoaded();
    CVornRegex regex;
    const bool valid = !pattern.IsEmpty() && regex.Compile(pattern);
    bool any = false;
    for (CTavloBookmarkItem* entry : bookmarks()) {
        const bool hit = valid && regex.Match(entry->GetTitle()) >= 0;
        entry->SetSearchHit(hit ? 1 : 0);
        any = any || hit;
    }
    if (any && !m_checking) {
        SortItems(SORT_SEARCH, 1);
        ClearSelection();
        ScrollToTop();
        SelectRow(0);
    } else {
        RedrawItems();
    }
}

// ---- opening -------------------------------------------------------------------------------

void CTavloBookmarkView::OpenSelectedItem() {
    const int row = GetSelectedRow();
    CTavloBookmarkItem* entry = row >= 0 && row < GetItemCount() ? bookmarks().Get(row) : nullptr;
    if (!entry)
        return;
    if (m_multi) {
        entry->SetSelected(entry->IsSelected() ? 0 : 1);
        RedrawItem(row);
        return;
    }
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_OPENBOOKMARK, 0, reinterpret_cast<intptr_t>(entry));
}

// ---- the update check ----------------------------------------------------------------------

bool CTavloBookmarkView::StartCheck() {
    if (m_checking)
        return false;
    EnsureLoaded();
    // A check that has just ended may still be telling the window so.
    WaitCheck();
    releaseSnapshot();
    // The check runs over its own array of the entries, so that additions, saves and sorts of
    // the list on the window thread never move anything under the coordinator.
    m_snapshot = std::make_unique<CTavloBookmarkFile>();
    for (CTavloBookmarkItem* entry : bookmarks())
        m_snapshot->Add(entry);
    m_checking = 1;
    if (!m_updater->Start(*m_snapshot)) {
        m_checking = 0;
        releaseSnapshot();
        TavloMessageBox(this, "スレッドの起動に失敗しました", kTavloCaption, TAVLO_MB_ICONERROR);
        return false;
    }
    RedrawItems();
    return true;
}

void CTavloBookmarkView::WaitCheck() {
    m_updater->Wait([] { QCoreApplication::processEvents(QEventLoop::AllEvents, 10); });
}

void CTavloBookmarkView::onCheckEnded() {
    if (m_dying)
        return;
    m_checking = 0;
    releaseSnapshot();
    if (m_sortColumn == SORT_UPDATED)
        SortItems(SORT_UPDATED, 1);
    else
        RedrawItems();
}

void CTavloBookmarkView::releaseSnapshot() {
    if (!m_snapshot)
        return;
    while (m_snapshot->GetCount() > 0)
        m_snapshot->Detach(m_snapshot->GetCount() - 1);
    m_snapshot.reset();
}

// ---- keys, commands, show ------------------------------------------------------------------

bool CTavloBookmarkView::OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) {
    using S = CTavloSettings;
    if (TavloKeyIs(S::CMD_RELOAD, vk)) {
        StartCheck();
        return true;
    }
    if (TavloKeyIs(S::CMD_SORT, vk)) {
        SortItems(NextSortKey(m_sortColumn), 1);
        return true;
    }
    if (TavloKeyIs(S::CMD_SEARCH, vk)) {
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_SEARCHBAR, 0, 1);
        return true;
    }
    if (TavloKeyIs(S::CMD_DELETE, vk)) {
        DeleteItems();
        return true;
    }
    if (modifiers.testFlag(Qt::ShiftModifier)) {
        if (TavloKeyIs(S::CMD_NEXTLINE, vk)) {
            MoveItem(true);
            return true;
        }
        if (TavloKeyIs(S::CMD_PREVLINE, vk)) {
            MoveItem(false);
            return true;
        }
    }
    return ListKeyDown(vk);
}

bool CTavloBookmarkView::OnCommand(int id) {
    if (const CTavloSortCommand* c = TavloFindSortCommand(kSortCommands, id)) {
        SortItems(c->key, c->ascending);
        return true;
    }
    switch (id) {
    case ID_RELOAD:
        StartCheck();
        return true;
    case ID_DELETE:
        DeleteItems();
        return true;
    case ID_CHECK_ONOFF:
        SetMultiSelect(!m_multi);
        return true;
    default:
        return ListCommand(id);
    }
}

bool CTavloBookmarkView::UpdateCommand(int id, bool* enabled, bool* checked) {
    if (const CTavloSortCommand* c = TavloFindSortCommand(kSortCommands, id)) {
        *enabled = !m_checking;
        *checked = m_sortColumn == c->key;
        return true;
    }
    switch (id) {
    case ID_RELOAD:
    case ID_DELETE:
        *enabled = !m_checking;
        *checked = false;
        return true;
    case ID_CHECK_ONOFF:
        *enabled = true;
        *checked = m_multi != 0;
        return true;
    default:
        return ListUpdateCommand(id, enabled, checked);
    }
}

void CTavloBookmarkView::OnShowView() {
    const bool first = !m_loaded;
    EnsureLoaded();
    // Marks may have changed while the list was hidden.
    if (!first && m_sortColumn == SORT_UPDATED)
        SortItems(SORT_UPDATED, 1);
}

void CTavloBookmarkView::showEvent(QShowEvent* event) {
    CTavloListViewBase::showEvent(event);
    EnsureLoaded();
}

void CTavloBookmarkView::Search(const CVornString& word, int) {
    Highlight(word);
}

void CTavloBookmarkView::ApplySettings() {
    ApplyFonts();
}
