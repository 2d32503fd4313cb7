#include "tavlo_config_dialog.h"

#include "tavlo_config_pages.h"
#include "tavlo_errors.h"
#include "tavlo_main_frame.h"
#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_tab_view.h"
#include "tavlo_views.h"
#include "vorn_log.h"

#include <QAction>
#include <QActionGroup>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollArea>
#include <QStackedWidget>
#include <QVBoxLayout>

CTavloConfigDialog::CTavloConfigDialog(const std::vector<CVornString>& ngTargets,
                                       const std::vector<CVornString>& ngWords, QWidget* parent)
    : QDialog(parent), m_ngTargets(ngTargets), m_ngWords(ngWords),
      m_stack(new QStackedWidget(this)), m_bar(new QMenuBar(this)), m_menu(nullptr) {
    setObjectName("config");
    setWindowTitle(QString::fromUtf8("設定"));
    m_pages = {new CTavloPageSystem(this),       new CTavloPageFont(this),
               new CTavloPageColor(this),        new CTavloPageNetwork(this),
               new CTavloPageNetworkWrite(this), new CTavloPageKey(this),
               new CTavloPageBoard(this),        new CTavloPageNg(m_ngTargets, m_ngWords, this),
               new CTavloPageMessage(this),      new CTavloPageImage(this),
               new CTavloPageOther(this),        new CTavloPageMovie(this)};

    QAction* cancel = m_bar->addAction(QString::fromUtf8("キャンセル"));
    m_menu = m_bar->addMenu(QString::fromUtf8("メニュー"));
    QAction* ok = m_bar->addAction(QStringLiteral("OK"));
    connect(cancel, &QAction::triggered, this, [this] { OnCancel(); });
    connect(ok, &QAction::triggered, this, [this] { OnOK(); });
    auto* group = new QActionGroup(this);
    for (CTavloConfigPage* page : m_pages) {
        // Long pages scroll inside the area.
        auto* scroll = new QScrollArea(m_stack);
        scroll->setWidget(page);
        scroll->setWidgetResizable(true);
        m_stack->addWidget(scroll);
        QAction* a = m_menu->addAction(page->Label());
        a->setCheckable(true);
        a->setData(page->MenuId());
        group->addAction(a);
        // The movie page is never shown; it is still saved.
        a->setEnabled(page->MenuId() != 33006);
        const int id = page->MenuId();
        connect(a, &QAction::triggered, this, [this, id] { ShowPage(id); });
    }

    auto* cancelButton = new QPushButton(QString::fromUtf8("キャンセル"), this);
    cancelButton->setObjectName("cancel");
    auto* okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName("ok");
    for (QPushButton* b : {cancelButton, okButton}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    connect(cancelButton, &QPushButton::clicked, this, [this] { OnCancel(); });
    connect(okButton, &QPushButton::clicked, this, [this] { OnOK(); });
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cancelButton);
    buttons->addStretch(1);
    buttons->addWidget(okButton);
    auto* layout = new QVBoxLayout(this);
    layout->setMenuBar(m_bar);
    layout->addWidget(m_stack, 1);
    layout->addLayout(buttons);
    resize(520, 560);
    ShowPage(32904);
}

CTavloConfigPage* CTavloConfigDialog::GetPage(int menuId) const {
    for (CTavloConfigPage* p : m_pages)
        if (p->MenuId() == menuId)
            return p;
    return nullptr;
}

void CTavloConfigDialog::ShowPage(int menuId) {
    CTavloConfigPage* page = GetPage(menuId);
    if (!page)
        return;
    for (size_t i = 0; i < m_pages.size(); ++i)
        if (m_pages[i] == page)
            m_stack->setCurrentIndex(static_cast<int>(i));
    m_shown = page;
    for (QAction* a : m_menu->actions())
        a->setChecked(a->data().toInt() == menuId);
    page->setFocus();
    if (QWidget* first = page->nextInFocusChain(); first && page->isAncestorOf(first))
        first->setFocus();
}

void CTavloConfigDialog::OnOK() {
    for (CTavloConfigPage* p : m_pages)
        p->Save();
    accept();
}

void CTavloConfigDialog::OnCancel() {
    reject();
}

void CTavloConfigDialog::keyPressEvent(QKeyEvent* event) {
    // Enter never closes the dialog by itself: only the OK command saves.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

int TavloRunConfigDialog(CMainFrame* frame) {
    CTavloSettings& s = CTavloSettings::Instance();
    const CVornString root = s.RootDirectory;
    std::vector<CVornString> targets, words;
    const CTavloFrameViews& v = frame->Views();
    if (v.thread && frame->GetShownView() == TAVLO_VIEW_THREAD) {
        CVornString name, boardUrl, board;
        if (v.thread->GetCurrentBoard(&name, &boardUrl, &board))
            targets.push_back(boardUrl);
    }
    const QString title = frame->windowTitle();
    frame->setWindowTitle(QString::fromUtf8("tavlo設定"));
    CTavloConfigDialog dialog(targets, words, frame);
    const int r = dialog.exec();
    frame->setWindowTitle(title);
    if (r != QDialog::Accepted)
        return 0;
    if (s.RootDirectory != root) {
        TavloMessageBox(frame, "ルートディレクトリに変更がありました\ntavlを終了します",
                        kTavloCaption, TAVLO_MB_OK | TAVLO_MB_ICONINFORMATION);
        frame->close();
        return 1;
    }
    // Every view takes the settings again.
    for (CTavloMainView* view :
         {static_cast<CTavloMainView*>(v.board), static_cast<CTavloMainView*>(v.subject),
          static_cast<CTavloMainView*>(v.thread), static_cast<CTavloMainView*>(v.bookmark),
          static_cast<CTavloMainView*>(v.cache), static_cast<CTavloMainView*>(v.image),
          static_cast<CTavloMainView*>(v.bookmarkList), static_cast<CTavloMainView*>(v.boardList),
          static_cast<CTavloMainView*>(v.cacheList), static_cast<CTavloMainView*>(v.imageList)})
        if (view) {
            view->ApplySettings();
            view->update();
        }
    if (v.bookmarkList)
        v.bookmarkList->ClearMarks();
    frame->ApplyMenuNumber();
    frame->SetDesktopLayout(s.DesktopLayout == 1);
    VLOG(1, "TavloRunConfigDialog", "settings applied");
    return 1;
}
