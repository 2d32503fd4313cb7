// The main frame in the desktop layout: the panes hold the views, the shown view is the one
// whose pane has the focus, and the status line below either layout.
#include "tavlo_desktop_layout.h"
#include "tavlo_main_frame.h"
#include "tavlo_settings.h"
#include "tavlo_status_line.h"
#include "tavlo_views.h"

#include <QApplication>
#include <QPointer>

void CMainFrame::SetDesktopLayout(bool on) {
    if (on == (m_desktop != nullptr) || m_closing)
        return;
    const int shown = m_shown;
    if (on) {
        // Every view leaves the single-view place; the panes show theirs.
        m_desktop = new CTavloDesktopLayout(this, m_client);
        m_desktop->Adopt(shown);
        m_desktop->lower();
        // Sized while hidden, so that the panes are laid out once, at their real size.
        RecalcLayout();
        m_desktop->show();
        for (int p = 0; p < CTavloDesktopLayout::PANE_COUNT; ++p) {
            const int v = m_desktop->PaneView(p);
            if (v != shown)
                if (CTavloMainView* view = GetView(v))
                    view->OnShowView();
        }
    } else {
        for (int p = 0; p < CTavloDesktopLayout::PANE_COUNT; ++p) {
            const int v = m_desktop->PaneView(p);
            if (v != shown)
                if (CTavloMainView* view = GetView(v))
                    view->OnHideView();
        }
        m_desktop->Release(m_client);
        delete m_desktop;
        m_desktop = nullptr;
        setShown(-1);
        if (shown >= 0)
            if (CTavloMainView* v = GetView(shown))
                v->show();
        setShown(shown);
        RecalcLayout();
    }
    // The same view stays shown and focused; history is untouched.
    if (shown >= 0)
        ShowView(shown);
    else
        RecalcLayout();
}

void CMainFrame::showInPane(int number) {
    CTavloMainView* target = GetView(number);
    const int replaced = m_desktop->Place(number);
    if (CTavloMainView* gone = GetView(replaced); gone && gone != target)
        gone->OnHideView();
    setShown(number);
    m_desktop->MarkFocus(number);
    target->OnShowView();
    afterShowing(target, number);
    RefreshStatusLine();
}

void CMainFrame::OnPaneFocused(int number) {
    if (!m_desktop || number == m_shown || !GetView(number) || m_closing)
        return;
    // Not shown again: the click that moved the focus is the user's, the view keeps it.
    setShown(number);
    m_desktop->MarkFocus(number);
    RecordView(number);
    const QString title = GetView(number)->Title();
    if (!title.isEmpty())
        setWindowTitle(title);
    if (m_dumpState)
        QMetaObject::invokeMethod(
            this, [this] { TavloDumpState(this); }, Qt::QueuedConnection);
}

void CMainFrame::fillListPane() {
    if (!m_desktop || m_closing || !m_views.thread || !m_views.subject ||
        m_views.subject->HasBoard())
        return;
    CVornString name, boardUrl, board;
    if (!m_views.thread->GetCurrentBoard(&name, &boardUrl, &board) || boardUrl.IsEmpty())
        return;
    if (name.IsEmpty() && m_views.board)
        name = m_views.board->FindBoardName(board);
    QPointer<CMainFrame> alive(this);
    m_views.subject->ShowBoardBeside(name, boardUrl, board);
    if (!alive || m_closing)
        return;
    // The list names its board in the title while it is visible; the title is the shown view's.
    if (CTavloMainView* shown = GetView(m_shown))
        if (const QString title = shown->Title(); !title.isEmpty())
            setWindowTitle(title);
}

void CMainFrame::RefreshStatusLine() {
    if (m_statusLine && !m_closing)
        m_statusLine->Refresh(m_views.thread);
}
