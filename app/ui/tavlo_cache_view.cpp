#include "tavlo_cache_view.h"

#include "tavlo_bookmark_file.h"
#include "tavlo_dat_file.h"
#include "tavlo_errors.h"
#include "tavlo_list_ctrl.h"
#include "tavlo_list_item.h"
#include "tavlo_list_select.h"
#include "tavlo_menu.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_sort_command.h"
#include "vorn_log.h"
#include "vorn_regex.h"
#include "vorn_thread.h"

#include <QApplication>
#include <QMenu>

namespace {

struct SortCommand {
    int id, key, ascending;
};
constexpr CTavloSortCommand kSortCommands[] = {
    {ID_SORT_NO, CTavloCacheView::SORT_INDEX, 1},
    {ID_SORT_THREAD, CTavloCacheView::SORT_TITLE, 1},
    {ID_SORT_BOARD, CTavloCacheView::SORT_BOARD, 1},
    {ID_SORT_DATE, CTavloCacheView::SORT_TIME, 0},
    {ID_SORT_SEARCH, CTavloCacheView::SORT_SEARCH, 1},
};

int compareBytes(const CVornString& a, const CVornString& b) {
    return a.view().compare(b.view());
}

} // namespace

CTavloCacheView::CTavloCacheView(CTavloWindow* frame, QWidget* parent)
    : CTavloListViewBase(TAVLO_VIEW_CACHE, frame, parent),
      CTavloListView(this, frame, CTavloSettings::LV_CACHE, CTavloSettings::FONT_CACHE) {
    InsertColumns(
        {{"No", 50, TAVLO_LVCFMT_RIGHT}, {"スレッド", 300}, {"板", 100}, {"更新日", 140}});
    const CTavloSettings& s = CTavloSettings::Instance();
    m_sortColumn = s.SortColumn[CTavloSettings::LV_CACHE];
    m_sortAsc = s.SortAsc[CTavloSettings::LV_CACHE];
}

CTavloCacheView::~CTavloCacheView() {
    StoreSort();
    m_list.RemoveAll();
}

void CTavloCacheView::Load() {
    if (m_loaded)
        return;
    CVornTime timer;
    StoreSort();
    m_list.RemoveAll();
    m_list.SetRoot(CTavloPath::GetRoot());
    m_list.Build(CTavloPath::GetRoot(), 1);
    SetItemCount(m_list.GetCount());
    const CTavloSettings& s = CTavloSettings::Instance();
    int column = s.SortColumn[CTavloSettings::LV_CACHE];
    if (column < 0 || column >= SORT_KEYS)
        column = SORT_INDEX;
    SortItems(column, s.SortAsc[CTavloSettings::LV_CACHE]);
    SelectRow(0);
    m_loaded = 1;
    VLOG(1, "CTavloCacheView::Load", "%d %d(msec)", m_list.GetCount(), timer.Elapsed());
}

void CTavloCacheView::Reload() {
    m_loaded = 0;
    Load();
}

void CTavloCacheView::RefreshLogPath(const CVornString& logPath) {
    if (!m_loaded || logPath.IsEmpty())
        return;
    const int position = m_list.FindLogPath(logPath);
    if (position < 0)
        m_list.AddLog(logPath);
    else
        m_list.Refresh(position);
    SetItemCount(m_list.GetCount());
    if (m_sortColumn == SORT_TIME)
        SortItems(SORT_TIME, 0);
    else
        RedrawItems();
}

CTavloListItem* CTavloCacheView::GetItem(int row) {
    return row < GetItemCount() ? m_list.Get(row) : nullptr;
}

int CTavloCacheView::GetItemText(QString& text, int row, int column) {
    const CTavloCacheItem* e = row < GetItemCount() ? m_list.Get(row) : nullptr;
    if (!e)
        return 0;
    switch (column) {
    case 0:
        text = QString::number(e->GetIndex());
        return 1;
    case 1:
        text = TavloQString(e->GetTitle());
        return 1;
    case 2:
        text = TavloQString(e->GetBoardName());
        return 1;
    case 3:
        text = TavloQString(e->GetTimeText());
        return 1;
    default:
        return 0;
    }
}

void CTavloCacheView::SortItems(int column, int ascending) {
    if (column < 0 || column >= SORT_KEYS)
        return;
    if (column == SORT_SEARCH)
        ascending = 1;
    CTavloListItem* selected = GetSelectedItem();
    const bool asc = ascending != 0;
    m_list.SortBy([column, asc](const CTavloCacheItem* a, const CTavloCacheItem* b) {
        int c = 0;
        switch (column) {
        case SORT_TITLE:
            c = compareBytes(a->GetTitle(), b->GetTitle());
            break;
        case SORT_BOARD:
            c = compareBytes(a->GetBoardName(), b->GetBoardName());
            break;
        case SORT_TIME:
            c = compareBytes(a->GetTimeText(), b->GetTimeText());
            break;
        case SORT_SEARCH:
            return TavloSearchRank(*a) > TavloSearchRank(*b);
        default:
            break;
        }
        if (c == 0)
            c = a->GetIndex() - b->GetIndex();
        return asc ? c < 0 : c > 0;
    });
    m_sortColumn = column;
    m_sortAsc = ascending ? 1 : 0;
    RedrawItems();
    if (selected)
        SelectRow(m_list.IndexOf(static_cast<CTavloCacheItem*>(selected)));
}

void CTavloCacheView::OpenSelectedItem() {
    const int row = GetSelectedRow();
    CTavloCacheItem* e = row >= 0 && row < GetItemCount() ? m_list.Get(row) : nullptr;
    if (!e)
        return;
    if (m_multi) {
        e->SetSelected(e->IsSelected() ? 0 : 1);
        RedrawItem(row);
        return;
    }
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_OPENCACHE, 0, reinterpret_cast<intptr_t>(e));
}

void CTavloCacheView::DeleteItems() {
    const int row = GetSelectedRow();
    const std::vector<int> rows = TavloAskRowsToDelete(this, m_list, row, m_multi != 0);
    if (rows.empty())
        return;
    if (m_multi)
        QApplication::setOverrideCursor(Qt::WaitCursor);
    for (int r : rows) {
        CTavloCacheItem* e = m_list.Get(r);
        const CVornString logPath = e->GetLogPath();
        const bool bookmarked = (e->GetMark() & CTavloListItem::MARK_BOOKMARKED) != 0;
        // A thread that could not be deleted stays listed.
        if (!CTavloDatFile::Delete(e->GetBoardUrl(), e->GetKey()))
            continue;
        m_list.Remove(r);
        if (bookmarked && m_frame)
            m_frame->SendMessage(TAVLO_WM_REFRESHBOOKMARK, 0, reinterpret_cast<intptr_t>(&logPath));
    }
    if (m_multi)
        QApplication::restoreOverrideCursor();
    TavloShowAfterDelete(this, row, m_list.GetCount());
}

void CTavloCacheView::AddBookmark() {
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
    m_list.RefreshBookmarks();
    RedrawItems();
}

void CTavloCacheView::SetMultiSelect(bool on) {
    m_multi = on ? 1 : 0;
    if (!on)
        TavloUnselectAll(this, m_list);
}

void CTavloCacheView::CheckCommand(int id) {
    m_multi = 1;
    const int row = GetSelectedRow();
    const int count = m_list.GetCount();
    auto invert = [](CTavloCacheItem* e) { e->SetSelected(e->IsSelected() ? 0 : 1); };
    switch (id) {
    case ID_CHECK_ALL:
        for (CTavloCacheItem* e : m_list)
            invert(e);
        break;
    case ID_CHECK_TO_HERE:
        for (int i = 0; row >= 0 && i <= row && i < count; ++i)
            invert(m_list.Get(i));
        break;
    case ID_CHECK_FROM_HERE:
        for (int i = row; row >= 0 && i < count; ++i)
            invert(m_list.Get(i));
        break;
    case ID_CHECK_SAME_BOARD:
        if (CTavloCacheItem* sel = m_list.Get(row)) {
            const CVornString board = sel->GetBoardName();
            for (CTavloCacheItem* e : m_list)
                if (e->GetBoardName() == board)
                    invert(e);
        }
        break;
    case ID_CHECK_CLEAR:
        for (CTavloCacheItem* e : m_list)
            e->SetSelected(0);
        break;
    default:
        break;
    }
    RedrawItems();
}

void CTavloCacheView::ShowCheckMenu() {
    QMenu menu(this);
    TavloAddCommand(&menu, ID_CHECK_ONOFF, "On/Off");
    TavloAddCommand(&menu, ID_CHECK_ALL, "すべて選択");
    TavloAddCommand(&menu, ID_CHECK_TO_HERE, "ここまでを選択");
    TavloAddCommand(&menu, ID_CHECK_FROM_HERE, "ここからを選択");
    TavloAddCommand(&menu, ID_CHECK_SAME_BOARD, "同じ板を選択");
    TavloAddCommand(&menu, ID_CHECK_CLEAR, "選択解除");
    TavloApplyMenuNumber(&menu, CTavloSettings::Instance().MenuNumber);
    if (QAction* a = menu.exec(mapToGlobal(QPoint(0, 0))))
        OnCommand(a->data().toInt());
}

void CTavloCacheView::Highlight(const CVornString& pattern) {
    Load();
    CVornRegex regex;
    const bool valid = !pattern.IsEmpty() && regex.Compile(pattern);
    bool any = false;
    for (CTavloCacheItem* e : m_list) {
        const bool hit = valid && regex.Match(e->GetTitle()) >= 0;
        e->SetSearchHit(hit ? 1 : 0);
        any = any || hit;
    }
    if (any) {
        SortItems(SORT_SEARCH, 1);
        ClearSelection();
        ScrollToTop();
        SelectRow(0);
    } else {
        RedrawItems();
    }
}

bool CTavloCacheView::OnKeyDown(int vk, Qt::KeyboardModifiers) {
    using S = CTavloSettings;
    if (TavloKeyIs(S::CMD_SORT, vk)) {
        SortItems((m_sortColumn + 1) % SORT_KEYS, 1);
        return true;
    }
    if (TavloKeyIs(S::CMD_DELETE, vk)) {
        DeleteItems();
        return true;
    }
    if (TavloKeyIs(S::CMD_ADDBOOKMARK, vk)) {
        AddBookmark();
        return true;
    }
    if (TavloKeyIs(S::CMD_SEARCH, vk)) {
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_SEARCHBAR, 0, 1);
        return true;
    }
    if (TavloKeyIs(S::CMD_CHECKMENU, vk)) {
        ShowCheckMenu();
        return true;
    }
    return ListKeyDown(vk);
}

bool CTavloCacheView::OnCommand(int id) {
    if (const CTavloSortCommand* c = TavloFindSortCommand(kSortCommands, id)) {
        SortItems(c->key, c->ascending);
        return true;
    }
    switch (id) {
    case ID_DELETE:
        DeleteItems();
        return true;
    case ID_ADD_BOOKMARK:
        AddBookmark();
        return true;
    case ID_CHECK_ONOFF:
        SetMultiSelect(!m_multi);
        return true;
    case ID_CHECK_ALL:
    case ID_CHECK_TO_HERE:
    case ID_CHECK_FROM_HERE:
    case ID_CHECK_SAME_BOARD:
    case ID_CHECK_CLEAR:
        CheckCommand(id);
        return true;
    default:
        return ListCommand(id);
    }
}

bool CTavloCacheView::UpdateCommand(int id, bool* enabled, bool* checked) {
    if (const CTavloSortCommand* c = TavloFindSortCommand(kSortCommands, id)) {
        *enabled = true;
        *checked = m_sortColumn == c->key;
        return true;
    }
    switch (id) {
    case ID_DELETE:
    case ID_ADD_BOOKMARK:
        *enabled = GetSelectedRow() >= 0;
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

void CTavloCacheView::showEvent(QShowEvent* event) {
    CTavloListViewBase::showEvent(event);
    Load();
}

void CTavloCacheView::hideEvent(QHideEvent* event) {
    CTavloListViewBase::hideEvent(event);
    StoreSort();
}
