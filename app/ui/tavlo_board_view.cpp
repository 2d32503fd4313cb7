#include "tavlo_board_view.h"

#include "tavlo_errors.h"

#include "tavlo_board_tree.h"
#include "tavlo_keys.h"
#include "tavlo_list_item.h"
#include "tavlo_main_frame.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_subject_file.h"
#include "vorn_file.h"
#include "vorn_log.h"
#include "vorn_regex.h"
#include "vorn_thread.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QPointer>
#include <QVBoxLayout>

namespace {

// A category or board of either list: its row, copied.
class BoardItem : public QTreeWidgetItem {
public:
    BoardItem(const CVornString& name, const CVornString& url, const CVornString& id)
        : record{name, url, id} {}
    CTavloBoardRef record;
};

// The next item in display order (children first, then the next sibling of the nearest
// ancestor that has one), or null.
QTreeWidgetItem* successor(QTreeWidgetItem* item) {
    if (item->childCount() > 0)
        return item->child(0);
    while (item) {
        QTreeWidgetItem* parent = item->parent();
        QTreeWidget* tree = item->treeWidget();
        const int index = parent ? parent->indexOfChild(item) : tree->indexOfTopLevelItem(item);
        const int count = parent ? parent->childCount() : tree->topLevelItemCount();
        if (index + 1 < count)
            return parent ? parent->child(index + 1) : tree->topLevelItem(index + 1);
        item = parent;
    }
    return nullptr;
}

} // namespace

// Copies of both lists for the board-name lookup of thread lists, which may run anywhere and
// after the view is gone.
struct CTavloBoardView::Lookup {
    struct Tables {
        CTavloBoardFile board;
        CTavloBoardFileEtc etc;
    };
    std::mutex lock;
    std::shared_ptr<const Tables> tables;

    CVornString NameOfUrl(const CVornString& url) {
        std::shared_ptr<const Tables> t;
        {
            std::lock_guard<std::mutex> guard(lock);
            t = tables;
        }
        return t ? CTavloBoardFile::NameOfUrl(t->etc, t->board, url) : CVornString();
    }
};

CTavloBoardView::CTavloBoardView(CTavloWindow* frame, QWidget* parent)
    : CTavloBoardViewBase(frame, parent), m_board(std::make_unique<CTavloBoardFile>()),
      m_etc(std::make_unique<CTavloBoardFileEtc>()), m_tree(new CTavloBoardTree(this, this)),
      m_lookup(std::make_shared<Lookup>()) {
    setObjectName("board");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_tree);
    setFocusPolicy(Qt::StrongFocus);
    setFocusProxy(m_tree);
    publish();
    std::shared_ptr<Lookup> lookup = m_lookup;
    CTavloSubjectFile::SetBoardNameLookup(
        [lookup](const CVornString& url) { return lookup->NameOfUrl(url); });
}

CTavloBoardView::~CTavloBoardView() {
    CTavloSubjectFile::SetBoardNameLookup({});
}

void CTavloBoardView::OnInitialUpdate() {
    ApplySettings();
    m_root = new QTreeWidgetItem(QStringList(QStringLiteral("tavlo")));
    m_bookmark = new QTreeWidgetItem(m_root, QStringList(QString::fromUtf8("ブックマーク")));
    m_cache = new QTreeWidgetItem(m_root, QStringList(QString::fromUtf8("キャッシュ")));
    m_find2ch = new QTreeWidgetItem(m_root, QStringList(QString::fromUtf8("２ちゃんねる検索")));
    m_tree->addTopLevelItem(m_root);
    m_etcItem = new QTreeWidgetItem(QStringList(QString::fromUtf8("その他")));
    m_tree->addTopLevelItem(m_etcItem);

    if (VornFileExists(m_board->GetPath().c_str())) {
        CreateFromFile();
    } else {
        // The user's own boards do not depend on the menu.
        if (VornFileExists(m_etc->GetPath().c_str()) &&
            loadEtc("その他ファイルの読み込みに失敗しました"))
            buildEtcTree();
        publish();
        if (TavloMessageBox(this, "板一覧が存在しません。サーバから取得しますか？", kTavloCaption,
                            TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) == TAVLO_IDYES) {
            QPointer<QWidget> alive(this);
            RefreshMenu(CTavloSettings::Instance().BoardUrl);
            if (!alive)
                return;
        }
    }
    if (QTreeWidgetItem* first = m_tree->topLevelItem(0)) {
        m_tree->setCurrentItem(first);
        m_tree->scrollToItem(first);
    }
    m_tree->setAttribute(Qt::WA_InputMethodEnabled, false);
}

void CTavloBoardView::ApplySettings() {
    const CTavloSettings& s = CTavloSettings::Instance();
    const auto f = static_cast<size_t>(CTavloSettings::FONT_LIST);
    m_font = TavloFont(s.FontName[f], s.FontSize[f], s.FontBold[f]);
    m_tree->ApplySettings(m_font);
}

// ---- the lists and the tree ----------------------------------------------------------------

int CTavloBoardView::CreateFromFile() {
    CVornTime timer;
    VLOG(2, "CTavloBoardView::CreateFromFile", "start %d(msec)", timer.Elapsed());
    if (m_board->Load() != 0) {
        publish();
        TavloMessageBox(this, "板一覧ファイルの読み込みに失敗しました", kTavloCaption,
                        TAVLO_MB_OK | TAVLO_MB_ICONERROR);
        return 0;
    }
    VLOG(2, "CTavloBoardView::CreateFromFile", "end %d(msec)", timer.Elapsed());
    buildBoardTree();
    VLOG(2, "CTavloBoardView::CreateFromFile", "createTree end %d(msec)", timer.Elapsed());
    if (VornFileExists(m_etc->GetPath().c_str())) {
        if (!loadEtc("その他ファイルの読み込みに失敗しました")) {
            publish();
            return 0;
        }
        buildEtcTree();
    }
    publish();
    return 1;
}

int CTavloBoardView::loadEtc(const char* failure) {
    if (m_etc->Load() == 0)
        return 1;
    TavloMessageBox(this, failure, kTavloCaption, TAVLO_MB_OK | TAVLO_MB_ICONERROR);
    return 0;
}

QTreeWidgetItem* CTavloBoardView::addBoardItem(QTreeWidgetItem* parent, const CVornString& name,
                                               const CVornString& url, const CVornString& id) {
    auto* item = new BoardItem(name, url, id);
    // The menu's names are HTML text ("&amp;"): shown cleaned, kept as they are in the record.
    CVornString label = name;
    TavloCleanTitle(label);
    if (!url.IsEmpty()) {
        CVornString blanks;
        blanks.str().assign(kIdGap, ' ');
        CVornString shown = label;
        label.Format("%s%s%s", shown.c_str(), blanks.c_str(), id.c_str());
    }
    item->setText(0, TavloQString(label));
    if (parent)
        parent->addChild(item);
    else
        m_tree->addTopLevelItem(item);
    return item;
}

void CTavloBoardView::buildBoardTree() {
    m_tree->setUpdatesEnabled(false);
    // Every root item with a record goes: the categories with their boards, and boards listed
    // before the first category.
    for (int i = m_tree->topLevelItemCount() - 1; i >= 0; --i)
        if (RecordOf(m_tree->topLevelItem(i)))
            delete m_tree->takeTopLevelItem(i);
    QTreeWidgetItem* parent = nullptr;
    for (int row = 0; row < m_board->GetRowCount(); ++row) {
        const CVornString& name = m_board->Get(row, CTavloBoardFile::COL_NAME);
        const CVornString& url = m_board->Get(row, CTavloBoardFile::COL_URL);
        const CVornString& id = m_board->Get(row, CTavloBoardFile::COL_ID);
        if (url.IsEmpty())
            parent = addBoardItem(nullptr, name, url, id);
        else
            addBoardItem(parent, name, url, id);
    }
    m_tree->UpdateIdColumn();
    m_tree->setUpdatesEnabled(true);
}

void CTavloBoardView::buildEtcTree() {
    for (QTreeWidgetItem* child : m_etcItem->takeChildren())
        delete child;
    for (int row = 0; row < m_etc->GetRowCount(); ++row)
        addBoardItem(m_etcItem, m_etc->Get(row, CTavloBoardFile::COL_NAME),
                     m_etc->Get(row, CTavloBoardFile::COL_URL),
                     m_etc->Get(row, CTavloBoardFile::COL_ID));
    m_tree->UpdateIdColumn();
}

void CTavloBoardView::publish() {
    auto tables = std::make_shared<Lookup::Tables>(Lookup::Tables{*m_board, *m_etc});
    std::lock_guard<std::mutex> guard(m_lookup->lock);
    m_lookup->tables = std::move(tables);
}

const CTavloBoardRef* CTavloBoardView::RecordOf(const QTreeWidgetItem* item) {
    auto* board = dynamic_cast<const BoardItem*>(item);
    return board ? &board->record : nullptr;
}

bool CTavloBoardView::IsBoard(const QTreeWidgetItem* item) {
    const CTavloBoardRef* record = RecordOf(item);
    return record && !record->BoardUrl.IsEmpty();
}

QTreeWidgetItem* CTavloBoardView::GetSelectedItem() const {
    const QList<QTreeWidgetItem*> selected = m_tree->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void CTavloBoardView::SelectItem(QTreeWidgetItem* item) {
    if (!item)
        return;
    m_tree->setCurrentItem(item);
    m_tree->scrollToItem(item);
}

QTreeWidgetItem* CTavloBoardView::lastVisibleItem() const {
    QTreeWidgetItem* item = m_tree->topLevelItem(m_tree->topLevelItemCount() - 1);
    while (item && item->isExpanded() && item->childCount() > 0)
        item = item->child(item->childCount() - 1);
    return item;
}

// ---- board numbers and lookups -------------------------------------------------------------

int CTavloBoardView::FindBoardNumber(const CVornString& id) const {
    if (id.IsEmpty())
        return -1;
    int row = m_etc->FindId(id);
    if (row >= 0)
        return row + kEtcBase;
    return m_board->FindId(id);
}

int CTavloBoardView::FindBoardNumberByUrl(const CVornString& url) const {
    if (url.IsEmpty())
        return -1;
    int row = m_etc->FindUrl(url);
    if (row >= 0)
        return row + kEtcBase;
    return m_board->FindUrl(url);
}

CVornString CTavloBoardView::GetBoardName(int number) const {
    if (number >= kEtcBase)
        return number - kEtcBase < m_etc->GetRowCount()
                   ? m_etc->Get(number - kEtcBase, CTavloBoardFile::COL_NAME)
                   : CVornString();
    return number >= 0 && number < m_board->GetRowCount()
               ? m_board->Get(number, CTavloBoardFile::COL_NAME)
               : CVornString();
}

CVornString CTavloBoardView::GetBoardUrl(int number) const {
    if (number >= kEtcBase)
        return number - kEtcBase < m_etc->GetRowCount()
                   ? m_etc->Get(number - kEtcBase, CTavloBoardFile::COL_URL)
                   : CVornString();
    return number >= 0 && number < m_board->GetRowCount()
               ? m_board->Get(number, CTavloBoardFile::COL_URL)
               : CVornString();
}

CVornString CTavloBoardView::GetBoardId(int number) const {
    if (number >= kEtcBase)
        return number - kEtcBase < m_etc->GetRowCount()
                   ? m_etc->Get(number - kEtcBase, CTavloBoardFile::COL_ID)
                   : CVornString();
    return number >= 0 && number < m_board->GetRowCount()
               ? m_board->Get(number, CTavloBoardFile::COL_ID)
               : CVornString();
}

bool CTavloBoardView::FindBoardId(const CVornString& id, CVornString* name, CVornString* boardUrl) {
    const int number = FindBoardNumber(id);
    if (number < 0)
        return false;
    if (name)
        *name = GetBoardName(number);
    if (boardUrl)
        *boardUrl = GetBoardUrl(number);
    return true;
}

CVornString CTavloBoardView::FindBoardName(const CVornString& board) {
    return GetBoardName(FindBoardNumber(board));
}

void CTavloBoardView::ReplaceUrl(const CVornString& oldUrl, const CVornString& newUrl) {
    for (QTreeWidgetItemIterator it(m_tree); *it; ++it)
        if (auto* board = dynamic_cast<BoardItem*>(*it);
            board && !oldUrl.IsEmpty() && board->record.BoardUrl == oldUrl)
            board->record.BoardUrl = newUrl;
}

// ---- menu refresh and moves ----------------------------------------------------------------

void CTavloBoardView::setStatus(bool on) {
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_STATUSBAR, 0, on ? 1 : 0);
}

TavloStopRequest CTavloBoardView::stopRequest() const {
    if (auto* frame = dynamic_cast<CMainFrame*>(m_frame))
        return frame->GetStopRequest();
    return {};
}

void CTavloBoardView::showReport(const CTavloMenuReport& report) {
    QPointer<QWidget> alive(this);
    for (const CTavloNotice& notice : report.notices) {
        if (!alive)
            return;
        switch (notice.kind) {
        case CTavloNotice::ERROR_CODE:
            if (m_frame)
                m_frame->SendMessage(TAVLO_WM_SHOWERROR,
                                     static_cast<uintptr_t>(static_cast<intptr_t>(notice.code)), 0);
            break;
        case CTavloNotice::INFORMATION:
            TavloMessageBox(this, notice.text.c_str(), kTavloCaption,
                            TAVLO_MB_OK | TAVLO_MB_ICONINFORMATION);
            break;
        case CTavloNotice::ERROR_TEXT:
            TavloMessageBox(this, notice.text.c_str(), kTavloCaption,
                            TAVLO_MB_OK | TAVLO_MB_ICONERROR);
            break;
        }
    }
}

bool CTavloBoardView::refuseWhileChecking() {
    // A move rewrites the bookmarks' board URLs, which the check's workers are reading.
    auto* frame = dynamic_cast<CMainFrame*>(m_frame);
    if (!frame || !frame->Views().bookmarkList || !frame->Views().bookmarkList->IsChecking())
        return false;
    TavloMessageBox(this, "ブックマークの更新チェック中は実行できません", kTavloCaption,
                    TAVLO_MB_OK | TAVLO_MB_ICONINFORMATION);
    return true;
}

int CTavloBoardView::RefreshMenu(const CVornString& menuUrl) {
    if (m_busy)
        return 1;
    if (refuseWhileChecking())
        return 0;
    m_busy = 1;
    setStatus(true);
    // The transfer pumps messages: the work list stays on this stack until the view is known
    // to be alive.
    QPointer<QWidget> alive(this);
    auto work = std::make_unique<CTavloBoardFile>(*m_board);
    CTavloBoardMenu menu(m_frame, stopRequest());
    CTavloMenuReport report;
    const int ok = menu.Refresh(*work, menuUrl, report);
    if (!alive)
        return 0;
    if (!ok) {
        setStatus(false);
        m_busy = 0;
        showReport(report);
        return 0;
    }
    m_board = std::move(work);
    // Merge failures of moved boards.
    showReport(report);
    if (!alive)
        return 0;
    buildBoardTree();
    // Moves rewrite etc.txt.
    if (!report.moves.empty() && VornFileExists(m_etc->GetPath().c_str()) &&
        loadEtc("その他ファイルの読み込みに失敗しました"))
        buildEtcTree();
    publish();
    m_tree->viewport()->update();
    setStatus(false);
    m_busy = 0;
    return 1;
}

int CTavloBoardView::DetectMove(const CVornString& oldUrl, CVornString* newUrl) {
    if (m_busy || oldUrl.IsEmpty() || refuseWhileChecking())
        return 0;
    m_busy = 1;
    setStatus(true);
    QPointer<QWidget> alive(this);
    CTavloBoardMenu menu(m_frame, stopRequest());
    CTavloMenuReport report;
    CVornString found;
    const int r = menu.DetectMoveFromPage(oldUrl, found, report);
    if (!alive)
        return 0;
    if (r) {
        // board.txt and etc.txt were rewritten on disk.
        if (VornFileExists(m_board->GetPath().c_str()))
            m_board->Load();
        if (VornFileExists(m_etc->GetPath().c_str()))
            m_etc->Load();
        publish();
        ReplaceUrl(oldUrl, found);
        if (newUrl)
            *newUrl = found;
    }
    showReport(report);
    if (!alive)
        return 0;
    setStatus(false);
    m_busy = 0;
    return r;
}

// ---- search, copy, その他 -------------------------------------------------------------------

int CTavloBoardView::SearchBoard(const CVornString& pattern) {
    CVornRegex re;
    if (!re.Compile(pattern))
        VLOG(1, "CTavloBoardView::Search", "pattern [%s]: %s", pattern.c_str(),
             re.GetError().c_str());
    QTreeWidgetItem* selected = GetSelectedItem();
    QTreeWidgetItem* item = selected ? successor(selected) : m_tree->topLevelItem(0);
    for (; item && re.IsValid(); item = successor(item)) {
        const CTavloBoardRef* record = RecordOf(item);
        if (!record || record->BoardUrl.IsEmpty())
            continue;
        if (re.Match(record->Name) >= 0 || re.Match(record->Board) >= 0) {
            SelectItem(item);
            return 1;
        }
    }
    TavloMessageBox(this, "最後まで検索しました", kTavloCaption,
                    TAVLO_MB_OK | TAVLO_MB_ICONINFORMATION);
    return 0;
}

void CTavloBoardView::CopyInformation() {
    QTreeWidgetItem* item = GetSelectedItem();
    if (!IsBoard(item))
        return;
    const CTavloBoardRef* record = RecordOf(item);
    CVornString text;
    text.Format("%s\r\n%s\r\n", record->Name.c_str(), record->BoardUrl.c_str());
    if (QClipboard* clipboard = QGuiApplication::clipboard())
        clipboard->setText(TavloQString(text));
}

void CTavloBoardView::AddToEtc() {
    QTreeWidgetItem* item = GetSelectedItem();
    if (!IsBoard(item))
        return;
    if (TavloMessageBox(this, "板をその他に追加しますか？", kTavloCaption,
                        TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) != TAVLO_IDYES)
        return;
    // The item may go with the subtree below.
    const CTavloBoardRef record = *RecordOf(item);
    m_etc->InsertTop(record.Name, record.BoardUrl, record.Board);
    if (m_etc->Save() != 0 && m_frame)
        m_frame->SendMessage(TAVLO_WM_SHOWERROR, static_cast<uintptr_t>(intptr_t{-203}), 0);
    if (loadEtc("その他ファイルの読み込みに失敗しました。"))
        buildEtcTree();
    publish();
    if (m_frame)
        m_frame->SendMessage(TAVLO_WM_ADDBOARD, 0, reinterpret_cast<intptr_t>(&record));
}

void CTavloBoardView::OpenItem(QTreeWidgetItem* item, bool send) {
    if (!item)
        return;
    if (item->childCount() > 0 || (RecordOf(item) && !IsBoard(item))) {
        if (send)
            item->setExpanded(!item->isExpanded());
        return;
    }
    if (!m_frame)
        return;
    const CTavloBoardRef* record = RecordOf(item);
    unsigned message = 0;
    intptr_t lParam = 0;
    if (item == m_bookmark) {
        message = TAVLO_WM_SHOWBOOKMARKS;
    } else if (item == m_find2ch) {
        message = TAVLO_WM_SHOWFIND2CH;
    } else if (item == m_cache) {
        message = TAVLO_WM_SHOWCACHE;
    } else if (record) {
        message = TAVLO_WM_OPENBOARD;
        if (send) {
            lParam = reinterpret_cast<intptr_t>(record);
        } else {
            m_posted = *record;
            lParam = reinterpret_cast<intptr_t>(&m_posted);
        }
    } else {
        return;
    }
    if (send)
        m_frame->SendMessage(message, 0, lParam);
    else
        m_frame->PostMessage(message, 0, lParam);
}

// ---- keys and commands ---------------------------------------------------------------------

bool CTavloBoardView::OnKeyDown(int vk, Qt::KeyboardModifiers) {
    if (vk == 0)
        return false;
    if (TavloKeyIs(CTavloSettings::CMD_CANCEL, vk)) {
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_CANCEL, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_VIEWBACK, vk)) {
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_VIEWBACK, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_VIEWFORWARD, vk)) {
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_VIEWFORWARD, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_BOTTOM, vk)) {
        SelectItem(lastVisibleItem());
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_TOP, vk)) {
        SelectItem(m_tree->topLevelItem(0));
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_RELOAD, vk)) {
        RefreshMenu(CTavloSettings::Instance().BoardUrl);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_PAGEUP, vk)) {
        m_tree->PageKey(false);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_PAGEDOWN, vk)) {
        m_tree->PageKey(true);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_CHANGEVIEW, vk)) {
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_VIEWMENU, 0, 0);
        return true;
    }
    if (TavloKeyIs(CTavloSettings::CMD_ADDBOOKMARK, vk)) {
        AddToEtc();
        return true;
    }
    QTreeWidgetItem* item = GetSelectedItem();
    if (!item)
        return false;
    if (vk == TAVLO_VK_LEFT) {
        if (item->childCount() > 0 && item->isExpanded())
            item->setExpanded(false);
        else if (item->parent())
            SelectItem(item->parent());
        return true;
    }
    if (vk == TAVLO_VK_RIGHT) {
        if (item->childCount() > 0) {
            if (!item->isExpanded())
                item->setExpanded(true);
            else
                SelectItem(item->child(0));
        }
        return true;
    }
    if (vk == TAVLO_VK_RETURN) {
        OpenItem(item, true);
        return true;
    }
    return false;
}

bool CTavloBoardView::OnCommand(int id) {
    switch (id) {
    case ID_RELOAD:
        RefreshMenu(CTavloSettings::Instance().BoardUrl);
        m_tree->viewport()->update();
        return true;
    case ID_TOP:
        SelectItem(m_tree->topLevelItem(0));
        return true;
    case ID_BOTTOM:
        SelectItem(lastVisibleItem());
        return true;
    case ID_ADD_BOOKMARK:
        AddToEtc();
        return true;
    case ID_DETECT_MOVE: {
        QTreeWidgetItem* item = GetSelectedItem();
        if (IsBoard(item)) {
            CVornString newUrl;
            DetectMove(RecordOf(item)->BoardUrl, &newUrl);
        }
        return true;
    }
    case ID_COPY_INFORMATION:
        CopyInformation();
        return true;
    default:
        return false;
    }
}

bool CTavloBoardView::UpdateCommand(int id, bool* enabled, bool* checked) {
    *checked = false;
    switch (id) {
    case ID_RELOAD:
        *enabled = !m_busy;
        return true;
    case ID_TOP:
    case ID_BOTTOM:
        *enabled = true;
        return true;
    case ID_ADD_BOOKMARK:
    case ID_COPY_INFORMATION:
        *enabled = IsBoard(GetSelectedItem());
        return true;
    case ID_DETECT_MOVE:
        *enabled = !m_busy && IsBoard(GetSelectedItem());
        return true;
    default:
        return false;
    }
}
