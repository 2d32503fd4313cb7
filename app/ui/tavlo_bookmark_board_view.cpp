#include "tavlo_bookmark_board_view.h"

#include "tavlo_board_file.h"
#include "tavlo_errors.h"
#include "tavlo_list_item.h"
#include "tavlo_list_select.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "vorn_log.h"
#include "vorn_regex.h"

#include <QShowEvent>

#include <cstdint>

CTavloBookmarkBoardView::CTavloBookmarkBoardView(CTavloWindow* frame, QWidget* parent)
    : CTavloListViewBase(TAVLO_VIEW_BOOKMARK, frame, parent),
      CTavloListView(this, frame, CTavloSettings::LV_BOOKMARKBOARD, CTavloSettings::FONT_BOOKMARK) {
    InsertColumns({{"No", 50, TAVLO_LVCFMT_RIGHT}, {"板", 300}, {"キー", 100}});
    const CTavloSettings& s = CTavloSettings::Instance();
    m_sortColumn = s.SortColumn[CTavloSettings::LV_BOOKMARKBOARD];
    m_sortAsc = s.SortAsc[CTavloSettings::LV_BOOKMARKBOARD];
}

CTavloBookmarkBoardView::~CTavloBookmarkBoardView() {
    StoreSort();
    SetItemCount(0);
}

void CTavloBookmarkBoardView::load() {
    const int read = m_list.Load();
    CTavloBoardFileEtc etc;
    m_unreadable = !read && CTavloPath::GetFileStatus(etc.GetPath());
    if (m_unreadable)
        VLOG(0, "CTavloBookmarkBoardView::load", "cannot read %s", etc.GetPath().c_str());
    m_loaded = 1;
    SetItemCount(m_list.GetCount());
    const CTavloSettings& s = CTavloSettings::Instance();
    int column = s.SortColumn[CTavloSettings::LV_BOOKMARKBOARD];
    if (column < 0 || column >= SORT_KEYS)
        column = SORT_INDEX;
    SortItems(column, s.SortAsc[CTavloSettings::LV_BOOKMARKBOARD]);
    SelectRow(0);
}

void CTavloBookmarkBoardView::EnsureLoaded() {
    if (!m_loaded)
        load();
}

void CTavloBookmarkBoardView::Reload() {
    // The order shown now is the order the list comes back in.
    StoreSort();
    load();
}

CTavloListItem* CTavloBookmarkBoardView::GetItem(int row) {
    return row < GetItemCount() ? m_list.Get(row) : nullptr;
}

int CTavloBookmarkBoardView::GetItemText(QString& text, int row, int column) {
    const CTavloBookmarkBoardItem* item = row < GetItemCount() ? m_list.Get(row) : nullptr;
    if (!item)
        return 0;
    switch (column) {
    case 0:
        text = QString::number(item->GetIndex());
        return 1;
    case 1:
        text = TavloQString(item->GetBoardName());
        return 1;
    case 2:
        text = TavloQString(item->GetBoardId());
        return 1;
    default:
        return 0;
    }
}

void CTavloBookmarkBoardView::sortList(int column, int ascending) {
    using Item = const CTavloBookmarkBoardItem*;
    auto bytes = [ascending](auto field) {
        return [ascending, field](Item a, Item b) {
            int c = field(a).str().compare(field(b).str());
            return ascending ? c < 0 : c > 0;
        };
    };
    switch (column) {
    case SORT_INDEX:
        m_list.SortBy([ascending](Item a, Item b) {
            return ascending ? a->GetIndex() < b->GetIndex() : b->GetIndex() < a->GetIndex();
        });
        break;
    case SORT_NAME:
        m_list.SortBy(bytes([](Item i) -> const CVornString& { return i->GetBoardName(); }));
        break;
    case SORT_ID:
        m_list.SortBy(bytes([](Item i) -> const CVornString& { return i->GetBoardId(); }));
        break;
    case SORT_SEARCH:
        // Larger rank first; no descending order.
        m_list.SortBy([ascending](Item a, Item b) {
            return ascending && TavloSearchRank(*a) > TavloSearchRank(*b);
        });
        break;
    default:
        break;
    }
}

void CTavloBookmarkBoardView::SortItems(int column, int ascending) {
    if (column < 0 || column >= SORT_KEYS)
        return;
    CTavloListItem* selected = GetSelectedItem();
    sortList(column, ascending);
    m_sortColumn = column;
    m_sortAsc = ascending ? 1 : 0;
    StoreSort();
    RedrawItems();
    if (selected)
        SelectRow(m_list.IndexOf(static_cast<CTavloBookmarkBoardItem*>(selected)));
}

bool CTavloBookmarkBoardView::save() {
    if (m_unreadable) {
        TavloMessageBox(this, TavloErrorMessage(-200), kTavloErrorCaption,
                        TAVLO_MB_OK | TAVLO_MB_ICONERROR);
        return false;
    }
    // In the order of the numbers, whatever the order shown: the board tree lists etc.txt as
    // it stands.
    sortList(SORT_INDEX, 1);
    const int ok = m_list.Save();
    sortList(m_sortColumn, m_sortAsc);
    if (!ok)
        TavloMessageBox(this, TavloErrorMessage(-203), kTavloErrorCaption,
                        TAVLO_MB_OK | TAVLO_MB_ICONERROR);
    return ok != 0;
}

void CTavloBookmarkBoardView::DeleteItems() {
    EnsureLoaded();
    const int row = GetSelectedRow();
    const std::vector<int> rows = TavloAskRowsToDelete(this, m_list, row, m_multi != 0);
    if (rows.empty())
        return;
    for (int r : rows)
        m_list.Remove(r);
    save();
    TavloShowAfterDelete(this, row, m_list.GetCount());
}

void CTavloBookmarkBoardView::SetMultiSelect(bool on) {
    m_multi = on ? 1 : 0;
    if (!on)
        TavloUnselectAll(this, m_list);
}

void CTavloBookmarkBoardView::Highlight(const CVornString& pattern) {
    EnsureLoaded();
    CVornRegex regex;
    const bool valid = !pattern.IsEmpty() && regex.Compile(pattern);
    bool any = false;
    for (CTavloBookmarkBoardItem* item : m_list) {
        const bool hit = valid && regex.Match(item->GetBoardName()) >= 0;
        item->SetSearchHit(hit ? 1 : 0);
        any = any || hit;
    }
    if (!any) {
        RedrawItems();
        return;
    }
    SortItems(SORT_SEARCH, 1);
    ClearSelection();
    ScrollToTop();
    SelectRow(0);
}

void CTavloBookmarkBoardView::OpenSelectedItem() {
    const int row = GetSelectedRow();
    CTavloBookmarkBoardItem* item = row >= 0 && row < GetItemCount() ? m_list.Get(row) : nullptr;
    if (!item)
        return;
    if (m_multi) {
        item->SetSelected(item->IsSelected() ? 0 : 1);
        RedrawItem(row);
        return;
    }
    CTavloBoardRef board{item->GetBoardName(), item->GetBoardUrl(), item->GetBoardId()};
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_OPENBOARD, 0, reinterpret_cast<intptr_t>(&board));
}

bool CTavloBookmarkBoardView::OnKeyDown(int vk, Qt::KeyboardModifiers) {
    if (TavloKeyIs(CTavloSettings::CMD_SORT, vk)) {
        SortItems(NextSortKey(m_sortColumn), 1);
        return true;
    }
    return ListKeyDown(vk);
}

bool CTavloBookmarkBoardView::OnCommand(int id) {
    switch (id) {
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

bool CTavloBookmarkBoardView::UpdateCommand(int id, bool* enabled, bool* checked) {
    switch (id) {
    case ID_DELETE:
        *enabled = GetItemCount() > 0;
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

void CTavloBookmarkBoardView::OnShowView() {
    EnsureLoaded();
}

void CTavloBookmarkBoardView::showEvent(QShowEvent* event) {
    CTavloListViewBase::showEvent(event);
    EnsureLoaded();
}

void CTavloBookmarkBoardView::Search(const CVornString& word, int) {
    Highlight(word);
}

void CTavloBookmarkBoardView::ApplySettings() {
    ApplyFonts();
}
