#include "tavlo_state_dump.h"

#include "tavlo_bookmark_file.h"
#include "tavlo_dat_ctrl.h"
#include "tavlo_dat_view.h"
#include "tavlo_dat_view_host.h"
#include "tavlo_desktop_layout.h"
#include "tavlo_grep_dialog.h"
#include "tavlo_image_view.h"
#include "tavlo_list_ctrl.h"
#include "tavlo_list_item.h"
#include "tavlo_list_view.h"
#include "tavlo_main_frame.h"
#include "tavlo_platform.h"
#include "tavlo_popup.h"
#include "tavlo_settings.h"
#include "tavlo_status_line.h"
#include "tavlo_tab_view.h"
#include "tavlo_views.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QSaveFile>
#include <QTimer>
#include <QTreeWidget>

#include <cstdlib>
#include <functional>

namespace {

int g_keys = 0;
int g_syncs = 0;

const char* stateFile() {
    return std::getenv("TAVLO_STATE_FILE");
}

QString menuTitle(const QWidget* w) {
    auto* menu = qobject_cast<const QMenu*>(w);
    return menu ? menu->title() : QString();
}

QString menuItem(const QWidget* w) {
    auto* menu = qobject_cast<const QMenu*>(w);
    QAction* active = menu ? menu->activeAction() : nullptr;
    return active ? active->text() : QString();
}

// What a dialog's focused control holds, so that a test sees a draft come back.
QString focusText(const QWidget* w) {
    if (auto* edit = qobject_cast<const QPlainTextEdit*>(w))
        return edit->toPlainText();
    if (auto* line = qobject_cast<const QLineEdit*>(w))
        return line->text();
    if (auto* combo = qobject_cast<const QComboBox*>(w))
        return combo->currentText();
    if (auto* tree = qobject_cast<const QTreeWidget*>(w)) {
        const QList<QTreeWidgetItem*> chosen = tree->selectedItems();
        const QTreeWidgetItem* item = chosen.isEmpty() ? tree->currentItem() : chosen.first();
        return item ? item->text(0) : QString();
    }
    return {};
}

QString className(const QObject* o) {
    return o ? QString::fromLatin1(o->metaObject()->className()) : QString();
}

} // namespace

bool TavloStateDumpWanted() {
    const char* path = stateFile();
    return path && *path;
}

void TavloCountKey(int qtKey) {
    ++g_keys;
    if (qtKey == Qt::Key_Shift)
        ++g_syncs;
}

void TavloWatchState(CMainFrame* frame) {
    if (!TavloStateDumpWanted())
        return;
    QPointer<CMainFrame> live(frame);
    CTavloPopupSet::SetChangeHook([live] {
        if (live)
            QMetaObject::invokeMethod(
                live, [live] { TavloDumpState(live); }, Qt::QueuedConnection);
    });
}

namespace {

// The anchor popups over the shown thread: how many, the posts of each ("1,2;3"), and where
// the last one is on the screen ("x,y,w,h").
void dumpPopups(const CTavloFrameViews& v, QString& count, QString& posts, QString& rect) {
    auto* host = dynamic_cast<CTavloDatViewHost*>(v.thread);
    CTavloDatCtrl* ctrl = host && host->View() ? host->View()->GetCurrentCtrl() : nullptr;
    CTavloPopupSet* set = ctrl ? ctrl->GetPopups() : nullptr;
    count = QString::number(set ? set->Count() : 0);
    if (!set || set->Count() == 0)
        return;
    for (int k = 0; k < set->Count(); ++k) {
        if (k)
            posts += ';';
        const std::vector<int>& numbers = set->At(k)->Numbers();
        for (size_t i = 0; i < numbers.size(); ++i)
            posts += (i ? "," : "") + QString::number(numbers[i]);
    }
    const QRect r = set->Last()->frameGeometry();
    rect = QString("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

// The grep window over the shown thread: open or not, the thread's number of its current
// post, its top line, and the middle of its ジャンプ command on the screen ("x,y").
void dumpGrep(const CTavloFrameViews& v, const std::function<void(const char*, QString)>& line) {
    auto* host = dynamic_cast<CTavloDatViewHost*>(v.thread);
    CTavloGrepDialog* grep = host && host->View() ? host->View()->GetGrepDialog() : nullptr;
    const bool open = grep && grep->isVisible();
    line("grep", QString::number(open ? 1 : 0));
    if (!open)
        return;
    line("greppost", QString::number(grep->CurrentNumber()));
    line("grepline", QString::number(grep->GetPostCtrl()->GetTextCtrl()->GetTopLine()));
    line("grepentries", QString::number(grep->GetNumbers().size()));
    if (auto* bar = grep->findChild<QMenuBar*>())
        for (QAction* a : bar->actions())
            if (a->text() == QString::fromUtf8("ジャンプ")) {
                const QPoint c = bar->mapToGlobal(bar->actionGeometry(a).center());
                line("grepjump", QString("%1,%2").arg(c.x()).arg(c.y()));
            }
}

} // namespace

void TavloDumpState(CMainFrame* frame) {
    if (!TavloStateDumpWanted() || !frame)
        return;
    QString out;
    auto line = [&out](const char* name, const QString& value) {
        out += QString::fromUtf8(name) + '=' + QString(value).replace('\n', ' ') + '\n';
    };
    line("keys", QString::number(g_keys));
    line("syncs", QString::number(g_syncs));
    line("view", QString::number(frame->GetShownView()));
    line("bar", QString::number(frame->PlacedBar()));
    line("title", frame->windowTitle());
    QAction* bar = frame->menuBar()->activeAction();
    line("menubar", bar ? bar->text() : QString());
    line("popup", menuTitle(QApplication::activePopupWidget()));
    line("menuitem", menuItem(QApplication::activePopupWidget()));
    QWidget* active = QApplication::activeWindow();
    line("window", className(active));
    line("wintitle", active ? active->windowTitle() : QString());
    QWidget* focus = QApplication::focusWidget();
    line("focus", focus ? className(focus) + '#' + focus->objectName() : QString());
    line("focustext", focusText(focus).replace('\r', QString()).replace('\n', "\\n"));
    const CTavloFrameViews& v = frame->Views();
    line("tabs", QString::number(v.thread ? v.thread->GetTabCount() : 0));
    const bool busy = v.thread && v.thread->IsBusy();
    line("busy", QString::number(busy ? 1 : 0));
    // The end of a fetch or download shows in no event of its own: look again and again.
    static bool again = false;
    if (!again) {
        again = true;
        QTimer::singleShot(100, frame, [frame] {
            again = false;
            TavloDumpState(frame);
        });
    }
    QString count, posts, rect;
    dumpPopups(v, count, posts, rect);
    line("anchorpopups", count);
    line("anchorposts", posts);
    line("anchorrect", rect);
    dumpGrep(v, line);
    if (auto* list = dynamic_cast<CTavloListView*>(v.subject)) {
        line("sort", QString::number(list->GetSortColumn()));
        CTavloListItem* item = list->GetSelectedItem();
        line("selected", item ? TavloQString(item->GetTitle()) : QString());
    }
    // The desktop layout: on or off, the view whose pane has the focus, the splitters; and
    // what every layout shares, for comparing the effect of a key in both.
    CTavloDesktopLayout* desktop = frame->GetDesktopLayout();
    line("layout", QString::number(desktop ? 1 : 0));
    int focusView = -1;
    if (desktop)
        focusView = desktop->ViewOfWidget(focus);
    else if (CTavloMainView* shown = frame->GetView(frame->GetShownView());
             shown && focus && (shown == focus || shown->isAncestorOf(focus)))
        focusView = frame->GetShownView();
    line("pane", QString::number(focusView));
    QStringList visible;
    for (int n = TAVLO_VIEW_BOARD; n <= TAVLO_VIEW_IMAGE; ++n)
        if (CTavloMainView* view = frame->GetView(n); view && view->isVisible())
            visible << QString::number(n);
    line("visible", visible.join(','));
    line("panes", desktop
                      ? QStringLiteral("%1,%2").arg(desktop->TreeWidth()).arg(desktop->ListHeight())
                      : QString());
    if (CTavloStatusLine* status = frame->GetStatusLine())
        line("status", status->Text());
    QStringList back;
    for (int n : frame->BackList())
        back << QString::number(n);
    line("back", back.join(','));
    QStringList forward;
    for (int n : frame->ForwardList())
        forward << QString::number(n);
    line("forward", forward.join(','));
    line("online", QString::number(CTavloSettings::Instance().Online));
    QWidget* modal = QApplication::activeModalWidget();
    line("modal", modal ? modal->windowTitle() : QString());
    QWidget* activeWindow = QApplication::activeWindow();
    line("otherwindow", activeWindow && activeWindow != frame ? activeWindow->windowTitle() : QString());
    line("clip", QApplication::clipboard()->text().left(60));
    line("bookmarks", QString::number(CTavloBookmarkFile::Instance().GetCount()));
    if (auto* host = dynamic_cast<CTavloDatViewHost*>(v.thread))
        if (CTavloDatCtrl* ctrl = host->View()->GetCurrentCtrl()) {
            line("top", QString::number(ctrl->GetTopPost()));
            line("posts", QString::number(ctrl->GetPostCount()));
            line("abone", QString::number(ctrl->GetHideAboned() ? 1 : 0));
            if (ctrl->GetTextCtrl())
                line("wrap", QString::number(ctrl->GetTextCtrl()->GetWrap() ? 1 : 0));
        }
    // The shown view: a container's selected tab, a list's rows and choice, the picture.
    CTavloMainView* shown = frame->GetView(frame->GetShownView());
    if (auto* tabs = dynamic_cast<CTavloTabView*>(shown)) {
        line("viewtab", QString::number(tabs->GetCurSel()));
        shown = tabs->GetSelectedView();
    }
    if (auto* list = dynamic_cast<CTavloListView*>(shown)) {
        line("items", QString::number(list->GetItemCount()));
        CTavloListItem* item = list->GetSelectedItem();
        line("current", item ? TavloQString(item->GetTitle()) : QString());
        line("chosen", item ? QString::number(item->GetIndex()) : QString());
        // The drawn height of the first row: settings that change it show at once.
        const CTavloListCtrl* ctrl = list->GetListCtrl();
        const QAbstractItemModel* model = ctrl ? ctrl->model() : nullptr;
        if (model && model->rowCount() > 0)
            line("rowheight", QString::number(ctrl->visualRect(model->index(0, 0)).height()));
    }
    if (auto* image = dynamic_cast<CTavloImageView*>(shown)) {
        line("fit", QString::number(image->IsFit() ? 1 : 0));
        line("imagewidth", QString::number(image->GetImage().GetWidth()));
        line("downloading", QString::number(image->IsDownloading() ? 1 : 0));
        line("imageerror", image->GetErrorText());
    }
    QSaveFile file(QString::fromLocal8Bit(stateFile()));
    if (!file.open(QIODevice::WriteOnly))
        return;
    file.write(out.toUtf8());
    file.commit();
}
