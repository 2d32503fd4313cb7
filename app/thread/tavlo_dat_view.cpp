#include "tavlo_dat_view.h"

#include "tavlo_bbs_manager.h"
#include "tavlo_board_file.h"
#include "tavlo_bookmark_file.h"
#include "tavlo_dat_file.h"
#include "tavlo_errors.h"
#include "tavlo_grep_dialog.h"
#include "tavlo_info_file.h"
#include "tavlo_log_record.h"
#include "tavlo_message.h"
#include "tavlo_message_dialog.h"
#include "tavlo_ng_file.h"
#include "tavlo_path.h"
#include "tavlo_platform.h"
#include "tavlo_popup.h"
#include "tavlo_process.h"
#include "tavlo_settings.h"
#include "tavlo_url.h"
#include "vorn_kcode.h"
#include "vorn_log.h"
#include "vorn_winsock.h"

#include <QApplication>
#include <QPainter>
#include <QPointer>
#include <QStackedLayout>
#include <QTabBar>
#include <QVBoxLayout>

#include <algorithm>
#include <atomic>
#include <thread>

namespace {

// The thread tabs: fixed width, the selected label in the active colour.
class ThreadTabBar : public QTabBar {
public:
    explicit ThreadTabBar(QWidget* parent) : QTabBar(parent) {
        setDrawBase(false);
        setExpanding(false);
        setUsesScrollButtons(true);
        setElideMode(Qt::ElideRight);
        setFocusPolicy(Qt::NoFocus);
    }

protected:
    QSize tabSizeHint(int index) const override {
        QSize size = QTabBar::tabSizeHint(index);
        size.setWidth(std::max(16, CTavloSettings::Instance().TabWidth));
        return size;
    }
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QColor active = TavloColor(CTavloSettings::Instance().ColorActive);
        for (int i = 0; i < count(); ++i) {
            QRect r = tabRect(i);
            bool selected = i == currentIndex();
            p.fillRect(r, palette().color(selected ? QPalette::Window : QPalette::Button));
            p.setPen(palette().color(QPalette::Mid));
            p.drawRect(r.adjusted(0, 0, -1, -1));
            p.setPen(selected ? active : palette().color(QPalette::WindowText));
            QString label = fontMetrics().elidedText(tabText(i), Qt::ElideRight, r.width() - 8);
            p.drawText(r.adjusted(4, 0, -4, 0), Qt::AlignVCenter | Qt::AlignLeft, label);
        }
    }
};

} // namespace

// One update of one thread on a worker thread.
struct CTavloDatView::Worker {
    CVornThread thread;
    std::atomic<bool> done{false};
};

CTavloDatView::CTavloDatView(CTavloWindow* frame, QWidget* parent)
    : CTavloMainView(parent), m_frame(frame) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    m_tabBar = new ThreadTabBar(this);
    layout->addWidget(m_tabBar);
    auto* area = new QWidget(this);
    m_stack = new QStackedLayout(area);
    layout->addWidget(area, 1);
    m_tabBar->hide();
    QObject::connect(m_tabBar, &QTabBar::currentChanged, this, [this](int index) {
        if (index >= 0 && index < GetTabCount())
            SelectTab(index);
    });
    m_articleFont = CTavloDatCtrl::ArticleFont();
    applyTabFont();
}

CTavloDatView::~CTavloDatView() {
    WaitForWorkers(true);
    m_grep.reset();
    // Each thread keeps its summary and reading position.
    for (Tab& t : m_tabs)
        t.ctrl->SaveOnClose();
}

intptr_t CTavloDatView::send(unsigned message, uintptr_t w, intptr_t l) {
    return m_frame ? m_frame->SendMessage(message, w, l) : 0;
}

CTavloDatCtrl* CTavloDatView::GetCtrl(int index) const {
    if (index < 0 || index >= GetTabCount())
        return nullptr;
    return m_tabs[static_cast<size_t>(index)].ctrl.get();
}

int CTavloDatView::GetCurrentTab() const {
    int i = m_tabBar->currentIndex();
    return i >= 0 && i < GetTabCount() ? i : -1;
}

CTavloDatCtrl* CTavloDatView::GetCurrentCtrl() const {
    return GetCtrl(GetCurrentTab());
}

int CTavloDatView::FindThread(const CVornString& boardUrl, const CVornString& key) const {
    for (int i = 0; i < GetTabCount(); ++i) {
        const CTavloDatCtrl* c = GetCtrl(i);
        if (c->GetBoardUrl() == boardUrl && c->GetKey() == key)
            return i;
    }
    return -1;
}

void CTavloDatView::setWindowTitleFrom(CTavloDatCtrl* ctrl) {
    if (NamesTheWindow())
        window()->setWindowTitle(ctrl ? TavloQString(ctrl->GetTitle()) : QString());
}

QString CTavloDatView::Title() const {
    CTavloDatCtrl* c = GetCurrentCtrl();
    return c ? TavloQString(c->GetTitle()) : QString();
}

void CTavloDatView::OnShowView() {
    setWindowTitleFrom(GetCurrentCtrl());
    if (CTavloDatCtrl* c = GetCurrentCtrl())
        c->GetTextCtrl()->setFocus();
}

void CTavloDatView::SelectTab(int index) {
    CTavloDatCtrl* c = GetCtrl(index);
    if (!c)
        return;
    // The thread left behind keeps where it was read to, also if the program ends unclean.
    for (Tab& t : m_tabs)
        if (t.ctrl.get() != c && t.ctrl->GetTextCtrl() == m_stack->currentWidget())
            t.ctrl->Write(false);
    if (m_tabBar->currentIndex() != index) {
        QSignalBlocker block(m_tabBar);
        m_tabBar->setCurrentIndex(index);
    }
    m_stack->setCurrentWidget(c->GetTextCtrl());
    setWindowTitleFrom(c);
    c->GetTextCtrl()->setFocus();
    m_tabBar->update();
}

void CTavloDatView::NextTab() {
    if (GetTabCount() < 2)
        return;
    SelectTab((GetCurrentTab() + 1) % GetTabCount());
}

void CTavloDatView::PrevTab() {
    if (GetTabCount() < 2)
        return;
    SelectTab((GetCurrentTab() + GetTabCount() - 1) % GetTabCount());
}

std::vector<QString> CTavloDatView::ThreadTitles() const {
    std::vector<QString> titles;
    for (int i = 0; i < GetTabCount(); ++i)
        titles.push_back(m_tabBar->tabText(i));
    return titles;
}

void CTavloDatView::Refresh() {
    if (CTavloDatCtrl* c = GetCurrentCtrl())
        c->GetTextCtrl()->viewport()->update();
    m_tabBar->update();
}

int CTavloDatView::openInCtrl(CTavloDatCtrl* ctrl) {
    CTavloSettings& s = CTavloSettings::Instance();
    ctrl->PrepareNgExpression();
    if (CTavloDatFile::Exists(ctrl->GetLogPath())) {
        int r = ctrl->CreateFromFile();
        if (r != 0)
            return r;
        if (s.Online == 1)
            StartUpdate(ctrl);
        return 0;
    }
    if (s.Online == 1 ||
        TavloMessageBox(this, "ファイルが存在しません。サーバから取得しますか？", kTavloCaption,
                        TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) == TAVLO_IDYES)
        StartUpdate(ctrl);
    return 0;
}

int CTavloDatView::OpenThread(const CVornString& title, const CVornString& key,
                              const CVornString& boardUrl, const CVornString& board, int number) {
    int open = FindThread(boardUrl, key);
    if (open >= 0) {
        SelectTab(open);
        CTavloDatCtrl* c = GetCtrl(open);
        if (CTavloSettings::Instance().Online == 1)
            StartUpdate(c);
        if (number > 0)
            c->JumpNumber(number, false);
        return 1;
    }
    if (GetTabCount() >= std::max(1, CTavloSettings::Instance().TabMax))
        CloseTab(0); // refused while that thread is updating: the new tab comes anyway

    Tab tab;
    tab.ctrl = std::make_unique<CTavloDatCtrl>(m_stack->parentWidget());
    tab.board = board;
    CTavloDatCtrl* c = tab.ctrl.get();
    c->SetHost(this);
    c->SetThread(boardUrl, key);
    c->SetTitle(title);
    if (m_articleFont != c->ArticleFont())
        c->SetArticleFont(m_articleFont);
    m_stack->addWidget(c->GetTextCtrl());
    m_tabs.push_back(std::move(tab));
    int index = GetTabCount() - 1;
    {
        QSignalBlocker block(m_tabBar);
        m_tabBar->addTab(TavloQString(title));
    }
    m_tabBar->show();
    SelectTab(index);

    int r = openInCtrl(c);
    if (r != 0) {
        TavloMessageBox(this, TavloErrorMessage(r), kTavloErrorCaption, TAVLO_MB_ICONERROR);
        return 0;
    }
    if (title.IsEmpty() && !c->GetTitle().IsEmpty())
        m_tabBar->setTabText(index, TavloQString(c->GetTitle()));
    setWindowTitleFrom(c);
    if (number > 0)
        c->JumpNumber(number, false);
    return 1;
}

void CTavloDatView::removeTab(int index, bool save) {
    Tab& t = m_tabs[static_cast<size_t>(index)];
    if (m_grep && m_grep->parent() == nullptr)
        m_grep.reset();
    if (save)
        t.ctrl->SaveOnClose();
    m_stack->removeWidget(t.ctrl->GetTextCtrl());
    m_tabs.erase(m_tabs.begin() + index);
    {
        QSignalBlocker block(m_tabBar);
        m_tabBar->removeTab(index);
    }
    if (m_tabs.empty()) {
        m_tabBar->hide();
        setWindowTitleFrom(nullptr);
        return;
    }
    SelectTab(index > 0 ? index - 1 : 0);
}

int CTavloDatView::CloseTab(int index) {
    CTavloDatCtrl* c = GetCtrl(index);
    if (!c || c->IsUpdating())
        return 0;
    CVornString logPath = c->GetLogPath();
    removeTab(index, true);
    send(TAVLO_WM_LOGCLOSED, 0, reinterpret_cast<intptr_t>(&logPath));
    return 1;
}

bool CTavloDatView::JumpNumber(int number) {
    CTavloDatCtrl* c = GetCurrentCtrl();
    if (!c)
        return false;
    // A jump asked for by a URL or the grep window is not reading.
    c->JumpNumber(number, true);
    c->Write(false);
    return true;
}

bool CTavloDatView::GetCurrentBoard(CVornString* name, CVornString* boardUrl,
                                    CVornString* board) const {
    int i = GetCurrentTab();
    if (i < 0)
        return false;
    const Tab& t = m_tabs[static_cast<size_t>(i)];
    if (boardUrl)
        *boardUrl = t.ctrl->GetBoardUrl();
    if (board) {
        *board = t.board;
        if (board->IsEmpty()) {
            // The last path element of the board URL.
            CVornString url = t.ctrl->GetBoardUrl();
            if (url.EndsWith("/"))
                url = url.Left(url.GetLength() - 1);
            *board = url.Mid(url.FindR('/') + 1);
        }
    }
    if (name)
        *name = CTavloBoardFile::NameOfUrl(t.ctrl->GetBoardUrl());
    return true;
}

void CTavloDatView::reapWorkers() {
    m_workers.remove_if([](const std::unique_ptr<Worker>& w) {
        if (!w->done)
            return false;
        w->thread.Wait();
        return true;
    });
}

void CTavloDatView::StartUpdate(CTavloDatCtrl* ctrl) {
    if (!ctrl || ctrl->IsUpdating())
        return;
    reapWorkers();
    ctrl->SetUpdating(true);
    send(TAVLO_WM_STATUSBAR, 0, 1);
    // Everything read up to the furthest point is no longer new.
    CTavloInfoFile& info = ctrl->GetInfo();
    if (!CTavloInfoFile::Create(ctrl->GetBoardUrl(), ctrl->GetKey(), info))
        info.Number = 1;
    ctrl->MarkRead();

    auto worker = std::make_unique<Worker>();
    Worker* w = worker.get();
    CVornString boardUrl = ctrl->GetBoardUrl(), key = ctrl->GetKey();
    CTavloWindow* frame = m_frame;
    QPointer<CTavloDatView> view(this);
    int started = w->thread.Begin([w, boardUrl, key, frame, view, ctrl](CVornThread&) {
        CVornString error;
        int r = CTavloBbsManager::Instance().Fetch(boardUrl, key, frame, error);
        if (r != 0 && frame)
            frame->SendMessage(TAVLO_WM_SHOWERROR, static_cast<uintptr_t>(r),
                               reinterpret_cast<intptr_t>(error.IsEmpty() ? nullptr : &error));
        // The control outlives the update: its tab cannot close while it runs.
        QMetaObject::invokeMethod(
            qApp,
            [view, ctrl] {
                if (view)
                    ctrl->SetUpdating(false);
            },
            Qt::QueuedConnection);
        if (frame)
            frame->SendMessage(TAVLO_WM_STATUSBAR, 0, 0);
        w->done = true;
        return r;
    });
    if (!started) {
        ctrl->SetUpdating(false);
        TavloMessageBox(this, "スレッドの起動に失敗しました", kTavloCaption, TAVLO_MB_ICONERROR);
        send(TAVLO_WM_STATUSBAR, 0, 0);
        return;
    }
    m_workers.push_back(std::move(worker));
}

void CTavloDatView::WaitForWorkers(bool cancel) {
    if (cancel && !m_workers.empty()) {
        bool running = false;
        for (auto& w : m_workers)
            running = running || !w->done;
        if (running) {
            // Stopping every socket makes the fetches end at once.
            CVornWinSock::CleanupSocket();
            CVornWinSock::InitSocket(2, 2);
        }
    }
    // Workers send to the window thread: keep it serving them while waiting.
    for (int i = 0; i < 3000; ++i) {
        bool all = true;
        for (auto& w : m_workers)
            all = all && w->done;
        if (all)
            break;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    QCoreApplication::processEvents();
    reapWorkers();
}

bool CTavloDatView::IsBusy() const {
    CTavloDatCtrl* c = GetCurrentCtrl();
    return c && c->IsUpdating();
}

void CTavloDatView::OnViewMessage(CTavloMessage* m, int cancelFlag) {
    int index = FindThread(m->BoardUrl, m->Key);
    if (m->Type == CTavloMessage::TYPE_CLOSEFILE) {
        auto* close = static_cast<CTavloCloseFileMessage*>(m);
        if (cancelFlag == 1)
            CTavloPath::ResetFileTime(m->DatPath);
        if (index < 0)
            TavloRecordUnshownLog(*close);
    } else if (m->Type == CTavloMessage::TYPE_READURL) {
        auto* r = static_cast<CTavloReadUrlMessage*>(m);
        CTavloDatCtrl* current = GetCurrentCtrl();
        if (current && current->IsUpdating() && index == GetCurrentTab())
            send(TAVLO_WM_PROGRESS, static_cast<uintptr_t>(r->Received), r->Total);
    }
    if (index < 0)
        return;
    CTavloDatCtrl* c = GetCtrl(index);
    switch (m->Type) {
    case CTavloMessage::TYPE_READURL: {
        auto* r = static_cast<CTavloReadUrlMessage*>(m);
        if (r->Total > 0)
            c->OnFetchSize(r->Total);
        break;
    }
    case CTavloMessage::TYPE_WRITEFILE:
        c->OnWriteFile(static_cast<CTavloWriteFileMessage*>(m)->Text);
        break;
    case CTavloMessage::TYPE_OPENFILE:
        c->OnOpenFile(static_cast<CTavloOpenFileMessage*>(m)->Fresh);
        break;
    case CTavloMessage::TYPE_CLOSEFILE:
        c->OnCloseFile(static_cast<CTavloCloseFileMessage*>(m)->Written);
        break;
    case CTavloMessage::TYPE_RELOADFILE:
        c->OnReloadFile();
        break;
    default:
        break;
    }
    if (!c->GetTitle().IsEmpty() && m_tabBar->tabText(index).isEmpty()) {
        m_tabBar->setTabText(index, TavloQString(c->GetTitle()));
        if (index == GetCurrentTab())
            setWindowTitleFrom(c);
    }
}

bool CTavloDatView::DeleteThread() {
    int index = GetCurrentTab();
    CTavloDatCtrl* c = GetCtrl(index);
    if (!c || c->IsUpdating())
        return false;
    if (TavloMessageBox(this, "このスレッドを削除しますか？", kTavloCaption,
                        TAVLO_MB_YESNO | TAVLO_MB_ICONQUESTION) != TAVLO_IDYES)
        return false;
    CVornString boardUrl = c->GetBoardUrl();
    if (!VornFileExists(c->GetLogPath().c_str()))
        boardUrl = movedBoardUrl();
    CVornString logPath = CTavloPath::GetLogPath(boardUrl, c->GetKey());
    CTavloDatFile::Delete(boardUrl, c->GetKey());
    // Its files are gone: closing must not write them again.
    removeTab(index, false);
    send(TAVLO_WM_LOGDELETED, 0, reinterpret_cast<intptr_t>(&logPath));
    return true;
}

CVornString CTavloDatView::movedBoardUrl() const {
    // The board moved while the tab was open: its logs went along to the address the board
    // lists give for its id now.
    CVornString id;
    const CTavloDatCtrl* c = GetCurrentCtrl();
    GetCurrentBoard(nullptr, nullptr, &id);
    CTavloBoardFileEtc etc;
    CTavloBoardFile menu;
    for (CTavloBoardFile* f : {static_cast<CTavloBoardFile*>(&etc), &menu}) {
        if (f->Load() != 0)
            continue;
        for (int row = 0; row < f->GetRowCount(); ++row) {
            const CVornString url = f->Get(row, CTavloBoardFile::COL_URL);
            if (f->Get(row, CTavloBoardFile::COL_ID) == id && url != c->GetBoardUrl() &&
                VornFileExists(CTavloPath::GetLogPath(url, c->GetKey()).c_str()))
                return url;
        }
    }
    return c->GetBoardUrl();
}

void CTavloDatView::AddBookmark() {
    int index = GetCurrentTab();
    CTavloDatCtrl* c = GetCtrl(index);
    if (!c)
        return;
    CVornString name, url, board;
    GetCurrentBoard(&name, &url, &board);
    CTavloBookmarkFile& bookmarks = CTavloBookmarkFile::Instance();
    if (bookmarks.Add(c->GetBoardUrl(), c->GetTitle(), c->GetKey(), name, board)) {
        if (!bookmarks.Save())
            TavloMessageBox(this, TavloErrorMessage(-203), kTavloErrorCaption, TAVLO_MB_ICONERROR);
        send(TAVLO_WM_REFRESHBOOKMARK, 0, 0);
    }
}

void CTavloDatView::ExecBrowser() {
    CTavloDatCtrl* c = GetCurrentCtrl();
    if (!c || !c->GetTextCtrl()->HasSelection())
        return;
    CTavloSettings& s = CTavloSettings::Instance();
    if (s.Browser.IsEmpty()) {
        TavloMessageBox(this, TavloErrorMessage(-300), kTavloErrorCaption, TAVLO_MB_ICONERROR);
        return;
    }
    CVornString url =
        TavloCompleteUrl(CVornString(VornUtf16ToSjis(c->GetTextCtrl()->GetSelText())));
    if (!TavloStartProcess(s.Browser.c_str(), url.c_str()))
        TavloMessageBox(this, "ブラウザの起動に失敗しました", kTavloCaption, TAVLO_MB_ICONERROR);
}

void CTavloDatView::AddSelectionToNg() {
    CTavloDatCtrl* c = GetCurrentCtrl();
    if (!c || !c->GetTextCtrl()->HasSelection())
        return;
    CVornString selection(VornUtf16ToSjis(c->GetTextCtrl()->GetSelText()));
    CVornString pattern = selection;
    pattern.Replace("\n", "");
    if (pattern.IsEmpty())
        return;
    // The rule shows at the thread's next open or reload: re-reading now, while a fetch
    // appends to the log, would show its pending posts twice.
    if (!CTavloNgFile::Instance().AddThreadRule(c->GetThreadId(), selection)) {
        TavloMessageBox(this, TavloErrorMessage(-203), kTavloErrorCaption, TAVLO_MB_ICONERROR);
        return;
    }
    TavloMessageBox(this, "NGワードに追加しました", kTavloCaption, TAVLO_MB_ICONINFORMATION);
}

bool CTavloDatView::SearchText(const CVornString& word, int direction) {
    CTavloDatCtrl* c = GetCurrentCtrl();
    if (!c || word.IsEmpty())
        return false;
    CTavloTextCtrl* text = c->GetTextCtrl();
    QString needle = TavloQString(word);
    QString hay = QString::fromStdU16String(text->GetText());
    size_t a = 0, b = 0;
    text->GetSel(&a, &b);
    qsizetype at = -1;
    if (direction == 1)
        at = a > 0 ? hay.lastIndexOf(needle, static_cast<qsizetype>(a) - 1, Qt::CaseInsensitive)
                   : -1;
    else
        at = hay.indexOf(needle,
                         static_cast<qsizetype>(a != b ? b : text->LineIndex(text->GetTopLine())),
                         Qt::CaseInsensitive);
    if (at < 0) {
        TavloMessageBox(this, "最後まで検索しました", kTavloCaption, TAVLO_MB_ICONINFORMATION);
        return false;
    }
    text->SetSel(static_cast<size_t>(at), static_cast<size_t>(at + needle.size()));
    text->ScrollCaret();
    return true;
}

void CTavloDatView::Search(const CVornString& word, int direction) {
    SearchText(word, direction);
}

void CTavloDatView::applyTabFont() {
    const CTavloSettings& s = CTavloSettings::Instance();
    m_tabBar->setFont(TavloFont(s.FontName[CTavloSettings::FONT_TAB],
                                s.FontSize[CTavloSettings::FONT_TAB],
                                s.FontBold[CTavloSettings::FONT_TAB]));
}

void CTavloDatView::ApplySettings() {
    applyTabFont();
    m_tabBar->update();
    QFont font = CTavloDatCtrl::ArticleFont();
    if (font != m_articleFont) {
        m_articleFont = font;
        CTavloDatCtrl::ClearWidthCache();
        for (Tab& t : m_tabs)
            if (t.ctrl->GetTextCtrl()->GetTextFont() != font)
                t.ctrl->SetArticleFont(font);
    }
}

void CTavloDatView::OpenUrl(const CVornString& url) {
    // Posted: the frame owns the copy.
    if (m_frame)
        m_frame->PostMessage(TAVLO_WM_OPENURL, 0, reinterpret_cast<intptr_t>(new CVornString(url)));
}

void CTavloDatView::ShowGrep(CTavloDatCtrl* ctrl, const std::vector<int>& numbers) {
    QPointer<CTavloDatView> view(this);
    // The thread is found again by name: its tab may have been closed (or pushed out by the
    // tab limit) while the window stayed open.
    CVornString boardUrl = ctrl->GetBoardUrl(), key = ctrl->GetKey();
    m_grep = std::make_unique<CTavloGrepDialog>(
        ctrl, numbers,
        [view, boardUrl, key](int number, bool record) {
            if (!view)
                return;
            if (CTavloDatCtrl* c = view->GetCtrl(view->FindThread(boardUrl, key))) {
                c->JumpNumber(number, record);
                c->Write(false);
            }
        },
        this);
    m_grep->show();
}

bool CTavloDatView::OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) {
    if (vk == 0)
        return false;
    using S = CTavloSettings;
    CTavloDatCtrl* c = GetCurrentCtrl();
    // Open popups take their keys first: Escape closes the last one, not the view.
    if (c && c->GetPopups() && c->GetPopups()->OnKeyDown(vk))
        return true;
    // Keys of the view.
    if (TavloKeyIs(S::CMD_CLOSETAB, vk)) {
        CloseTab(GetCurrentTab());
    } else if (TavloKeyIs(S::CMD_NEXTTAB, vk)) {
        NextTab();
    } else if (TavloKeyIs(S::CMD_PREVTAB, vk)) {
        PrevTab();
    } else if (TavloKeyIs(S::CMD_ADDBOOKMARK, vk)) {
        AddBookmark();
    } else if (TavloKeyIs(S::CMD_RELOAD, vk)) {
        StartUpdate(c);
    } else if (TavloKeyIs(S::CMD_DELETE, vk)) {
        DeleteThread();
    } else if (TavloKeyIs(S::CMD_EDIT, vk)) {
        OpenEditor(EDIT_NEW);
    } else if (TavloKeyIs(S::CMD_EDITREPLY, vk)) {
        OpenEditor(EDIT_REPLY);
    } else if (TavloKeyIs(S::CMD_EDITREPLYALL, vk)) {
        OpenEditor(EDIT_QUOTE);
    } else if (TavloKeyIs(S::CMD_PAGEUP, vk)) {
        if (c)
            c->GetTextCtrl()->LineScroll(-std::max(1, c->GetTextCtrl()->GetPageLines()));
    } else if (TavloKeyIs(S::CMD_PAGEDOWN, vk)) {
        if (c)
            c->GetTextCtrl()->LineScroll(std::max(1, c->GetTextCtrl()->GetPageLines()));
    } else if (TavloKeyIs(S::CMD_TOGGLEABONE, vk)) {
        if (c)
            c->ToggleHideAboned();
    } else if (TavloKeyIs(S::CMD_TOGGLEWRAP, vk)) {
        if (c)
            c->SetWrap(!c->GetTextCtrl()->GetWrap());
    } else if (TavloKeyIs(S::CMD_REOPEN, vk)) {
        if (c)
            c->Reopen();
    } else if (TavloKeyIs(S::CMD_GREPID, vk)) {
        if (c)
            c->Grep(CTavloDatCtrl::GREP_ID);
    } else if (TavloKeyIs(S::CMD_GREPNAME, vk)) {
        if (c)
            c->Grep(CTavloDatCtrl::GREP_NAME);
    } else if (TavloKeyIs(S::CMD_GREPREFER, vk)) {
        if (c)
            c->Grep(CTavloDatCtrl::GREP_REFER);
    } else if (TavloKeyIs(S::CMD_COPYMESSAGE, vk)) {
        if (c)
            c->CopyMessage();
    } else if (TavloKeyIs(S::CMD_EXECBROWSER, vk)) {
        ExecBrowser();
    } else if (TavloKeyIs(S::CMD_VIEWBACK, vk)) {
        send(TAVLO_WM_VIEWBACK, 0, 0);
    } else if (TavloKeyIs(S::CMD_VIEWFORWARD, vk)) {
        send(TAVLO_WM_VIEWFORWARD, 0, 0);
    } else if (TavloKeyIs(S::CMD_CANCEL, vk)) {
        send(TAVLO_WM_CANCEL, 0, 0);
    } else if (TavloKeyIs(S::CMD_CHANGEVIEW, vk)) {
        send(TAVLO_WM_VIEWMENU, 0, 0);
    } else if (TavloKeyIs(S::CMD_CURRENTSUBJECT, vk)) {
        send(TAVLO_WM_COMMAND, ID_CURRENT_SUBJECT, 0);
    } else if (!c) {
        return false;
    } else {
        // Keys of the thread control.
        bool shift = modifiers.testFlag(Qt::ShiftModifier);
        if (TavloKeyIs(S::CMD_NEXT, vk)) {
            if (!c->NextPost() && m_frame)
                m_frame->PostMessage(TAVLO_WM_READTOEND, 0,
                                     reinterpret_cast<intptr_t>(new CVornString(c->GetLogPath())));
        } else if (TavloKeyIs(S::CMD_PREV, vk)) {
            c->PrevPost();
        } else if (TavloKeyIs(S::CMD_TOP, vk)) {
            c->FirstPost();
        } else if (TavloKeyIs(S::CMD_BOTTOM, vk)) {
            c->LastPost();
        } else if (TavloKeyIs(S::CMD_NEXTLINE, vk)) {
            if (!c->SelectLink(true, true))
                c->GetTextCtrl()->LineScroll(1);
        } else if (TavloKeyIs(S::CMD_PREVLINE, vk)) {
            if (!c->SelectLink(false, true))
                c->GetTextCtrl()->LineScroll(-1);
        } else if (TavloKeyIs(S::CMD_NEXTLINK, vk)) {
            c->SelectLink(!shift, false);
        } else if (TavloKeyIs(S::CMD_PREVLINK, vk)) {
            c->SelectLink(false, false);
        } else if (TavloKeyIs(S::CMD_BACK, vk)) {
            c->Back();
        } else if (vk == 13) {
            if (c->GetTextCtrl()->HasSelection())
                c->OpenLinkText(c->GetTextCtrl()->GetSelText());
        } else {
            return false;
        }
        c->RaiseFurthestRead();
    }
    return true;
}

bool CTavloDatView::OnCommand(int id) {
    CTavloDatCtrl* c = GetCurrentCtrl();
    if (id >= ID_THREAD_FIRST && id < ID_THREAD_FIRST + GetTabCount()) {
        SelectTab(id - ID_THREAD_FIRST);
        return true;
    }
    switch (id) {
    case ID_NEXT_TAB:
        NextTab();
        return true;
    case ID_PREV_TAB:
        PrevTab();
        return true;
    case ID_CLOSE_TAB:
        CloseTab(GetCurrentTab());
        return true;
    case ID_RELOAD:
        StartUpdate(c);
        return true;
    case ID_DELETE:
        DeleteThread();
        return true;
    case ID_ADD_BOOKMARK:
        AddBookmark();
        return true;
    case ID_OPEN_BROWSER:
        ExecBrowser();
        return true;
    case ID_ADD_NGWORD:
        AddSelectionToNg();
        return true;
    case ID_ADD_TEMPLATE:
        AddSelectionToTemplates();
        return true;
    case ID_EDIT_NEW:
        OpenEditor(EDIT_NEW);
        return true;
    case ID_EDIT_REPLY:
        OpenEditor(EDIT_REPLY);
        return true;
    case ID_EDIT_REPLY_ALL:
        OpenEditor(EDIT_QUOTE);
        return true;
    default:
        break;
    }
    if (!c)
        return false;
    switch (id) {
    case ID_TOP:
        c->FirstPost();
        return true;
    case ID_BOTTOM:
        c->LastPost();
        return true;
    case ID_JUMP_BACK:
        c->Back();
        return true;
    case ID_TOGGLE_ABONE:
        c->ToggleHideAboned();
        return true;
    case ID_TOGGLE_WRAP:
        c->SetWrap(!c->GetTextCtrl()->GetWrap());
        return true;
    case ID_REOPEN:
        c->Reopen();
        return true;
    case ID_GREP_ID:
        c->Grep(CTavloDatCtrl::GREP_ID);
        return true;
    case ID_GREP_NAME:
        c->Grep(CTavloDatCtrl::GREP_NAME);
        return true;
    case ID_GREP_REFER:
        c->Grep(CTavloDatCtrl::GREP_REFER);
        return true;
    case ID_COPY_INFORMATION:
        c->CopyInformation();
        return true;
    case ID_COPY_MESSAGE:
        c->CopyMessage();
        return true;
    case ID_COPY_SELECTION:
        c->GetTextCtrl()->Copy();
        return true;
    default:
        return false;
    }
}

bool CTavloDatView::UpdateCommand(int id, bool* enabled, bool* checked) {
    CTavloDatCtrl* c = GetCurrentCtrl();
    bool selection = c && c->GetTextCtrl()->HasSelection();
    switch (id) {
    case ID_COPY_SELECTION:
    case ID_ADD_NGWORD:
    case ID_ADD_TEMPLATE:
    case ID_OPEN_BROWSER:
        *enabled = selection;
        return true;
    case ID_TOGGLE_ABONE:
        *enabled = c != nullptr;
        *checked = c && c->GetHideAboned();
        return true;
    case ID_TOGGLE_WRAP:
        *enabled = c != nullptr;
        *checked = c && c->GetTextCtrl()->GetWrap();
        return true;
    case ID_TOP:
    case ID_BOTTOM:
    case ID_JUMP_BACK:
    case ID_REOPEN:
    case ID_GREP_ID:
    case ID_GREP_NAME:
    case ID_GREP_REFER:
    case ID_COPY_INFORMATION:
    case ID_COPY_MESSAGE:
    case ID_RELOAD:
    case ID_DELETE:
    case ID_ADD_BOOKMARK:
    case ID_CLOSE_TAB:
    case ID_EDIT_NEW:
    case ID_EDIT_REPLY:
    case ID_EDIT_REPLY_ALL:
        *enabled = c != nullptr;
        return true;
    case ID_NEXT_TAB:
    case ID_PREV_TAB:
        *enabled = GetTabCount() > 1;
        return true;
    default:
        return false;
    }
}
