#include "tavlo_cache_image_view.h"

#include "tavlo_cache_image_file.h"
#include "tavlo_errors.h"
#include "tavlo_list_item.h"
#include "tavlo_list_select.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_sort_command.h"
#include "vorn_regex.h"

#include <QApplication>

namespace {

struct SortCommand {
    int id, key, ascending;
};
constexpr CTavloSortCommand kSortCommands[] = {
    {ID_SORT_NO, CTavloCacheImageView::SORT_INDEX, 1},
    {ID_SORT_THREAD, CTavloCacheImageView::SORT_NAME, 1},
    {ID_SORT_DATE, CTavloCacheImageView::SORT_TIME, 0},
    {ID_SORT_SEARCH, CTavloCacheImageView::SORT_SEARCH, 1},
};

} // namespace

CTavloCacheImageView::CTavloCacheImageView(CTavloWindow* frame, QWidget* parent)
    : CTavloListViewBase(TAVLO_VIEW_CACHE, frame, parent),
      CTavloListView(this, frame, CTavloSettings::LV_CACHEIMAGE, CTavloSettings::FONT_CACHE) {
    InsertColumns({{"No", 50, TAVLO_LVCFMT_RIGHT}, {"URL", 400}, {"更新日", 140}});
    const CTavloSettings& s = CTavloSettings::Instance();
    m_sortColumn = s.SortColumn[CTavloSettings::LV_CACHEIMAGE];
    m_sortAsc = s.SortAsc[CTavloSettings::LV_CACHEIMAGE];
}

CTavloCacheImageView::~CTavloCacheImageView() {
    StoreSort();
}

CTavloCacheImageFile& CTavloCacheImageView::list() const {
    return CTavloCacheImageFile::Instance();
}

void CTavloCacheImageView::Load() {
    if (m_loaded)
        return;
    StoreSort();
    SetItemCount(list().GetCount());
    const CTavloSettings& s = CTavloSettings::Instance();
    int column = s.SortColumn[CTavloSettings::LV_CACHEIMAGE];
    if (column < 0 || column >= SORT_KEYS)
        column = SORT_INDEX;
    SortItems(column, s.SortAsc[CTavloSettings::LV_CACHEIMAGE]);
    SelectRow(0);
    m_loaded = 1;
}

void CTavloCacheImageView::Reload() {
    if (!m_loaded)
        return;
    SetItemCount(list().GetCount());
    RedrawItems();
}

void CTavloCacheImageView::RefreshLogPath(const CVornString& path) {
    if (path.IsEmpty())
        return;
    CTavloCacheImageFile& l = list();
    const int position = l.FindPath(path);
    if (position >= 0)
        l.Refresh(position);
    else
        l.AddFile(path);
    if (!m_loaded)
        return;
    SetItemCount(l.GetCount());
    if (m_sortColumn == SORT_TIME)
        SortItems(SORT_TIME, 0);
    else
        RedrawItems();
}

CTavloListItem* CTavloCacheImageView::GetItem(int row) {
    return row < GetItemCount() ? list().Get(row) : nullptr;
}

int CTavloCacheImageView::GetItemText(QString& text, int row, int column) {
    const CTavloCacheImageItem* e = row < GetItemCount() ? list().Get(row) : nullptr;
    if (!e)
        return 0;
    switch (column) {
    case 0:
        text = QString::number(e->GetIndex());
        return 1;
    case 1:
        text = TavloQString(e->GetDisplayName());
        return 1;
    case 2:
        text = TavloQString(e->GetTimeText());
        return 1;
    default:
        return 0;
    }
}

void CTavloCacheImageView::SortItems(int column, int ascending) {
    if (column < 0 || column >= SORT_KEYS)
        return;
    if (column == SORT_SEARCH)
        ascending = 1;
    CTavloListItem* selected = GetSelectedItem();
    const bool asc = ascending != 0;
    list().SortBy([column, asc](const CTavloCacheImageItem* a, const CTavloCacheImageItem* b) {
        int c = 0;
        switch (column) {
        case SORT_NAME:
            c = a->GetDisplayName().view().compare(b->GetDisplayName().view());
            break;
        case SORT_TIME:
            c = a->GetTimeText().view().compare(b->GetTimeText().view());
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
        SelectRow(list().IndexOf(static_cast<CTavloCacheImageItem*>(selected)));
}

void CTavloCacheImageView::OpenSelectedItem() {
    const int row = GetSelectedRow();
    CTavloCacheImageItem* e = row >= 0 && row < GetItemCount() ? list().Get(row) : nullptr;
    if (!e)
        return;
    if (m_multi) {
        e->SetSelected(e->IsSelected() ? 0 : 1);
        RedrawItem(row);
        return;
    }
    m_openUrl = e->GetImageUrl();
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_OPENLINK, 0, reinterpret_cast<intptr_t>(&m_openUrl));
}

void CTavloCacheImageView::DeleteItems() {
    CTavloCacheImageFile& l = list();
    const int row = GetSelectedRow();
    const std::vector<int> rows = TavloAskRowsToDelete(this, l, row, m_multi != 0);
    if (rows.empty())
        return;
    for (int r : rows) {
        const CVornString path = l.Get(r)->GetPath();
        // A file that could not be deleted stays listed.
        if (CTavloPath::DeleteFile(path) || !CTavloPath::GetFileStatus(path))
            l.Remove(r);
    }
    TavloShowAfterDelete(this, row, l.GetCount());
}

void CTavloCacheImageView::SetMultiSelect(bool on) {
    m_multi = on ? 1 : 0;
    if (!on)
        TavloUnselectAll(this, list());
}

void CTavloCacheImageView::Highlight(const CVornString& pattern) {
    Load();
    CVornRegex regex;
    const bool valid = !pattern.IsEmpty() && regex.Compile(pattern);
    bool any = false;
    for (CTavloCacheImageItem* e : list()) {
        const bool hit = valid && regex.Match(e->GetDisplayName()) >= 0;
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

bool CTavloCacheImageView::OnKeyDown(int vk, Qt::KeyboardModifiers) {
    using S = CTavloSettings;
    if (TavloKeyIs(S::CMD_SORT, vk)) {
        SortItems((m_sortColumn + 1) % SORT_KEYS, 1);
        return true;
    }
    if (TavloKeyIs(S::CMD_DELETE, vk)) {
        DeleteItems();
        return true;
    }
    if (TavloKeyIs(S::CMD_SEARCH, vk)) {
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_SEARCHBAR, 0, 1);
        return true;
    }
    return ListKeyDown(vk);
}

bool CTavloCacheImageView::OnCommand(int id) {
    if (const CTavloSortCommand* c = TavloFindSortCommand(kSortCommands, id)) {
        SortItems(c->key, c->ascending);
        return true;
    }
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

bool CTavloCacheImageView::UpdateCommand(int id, bool* enabled, bool* checked) {
    if (const CTavloSortCommand* c = TavloFindSortCommand(kSortCommands, id)) {
        *enabled = true;
        *checked = m_sortColumn == c->key;
        return true;
    }
    switch (id) {
    case ID_DELETE:
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

void CTavloCacheImageView::showEvent(QShowEvent* event) {
    CTavloListViewBase::showEvent(event);
    Load();
}
