#include "tavlo_desktop_layout.h"

#include "tavlo_main_frame.h"
#include "tavlo_settings.h"
#include "tavlo_views.h"

#include <QApplication>
#include <QFocusEvent>
#include <QPainter>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabBar>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {

// The tree pane's tabs, in order.
constexpr int kTreeViews[] = {TAVLO_VIEW_BOARD, TAVLO_VIEW_BOOKMARK, TAVLO_VIEW_CACHE};
constexpr int kThreadViews[] = {TAVLO_VIEW_THREAD, TAVLO_VIEW_IMAGE};
constexpr int kMinPane = 60;
constexpr int kMarkHeight = 2;

// A pane draws the thin line over itself that shows whether it has the focus; a widget of
// its own for the line would be one more to create, lay out and paint at start-up.
template <class Base> class CMarkedPane : public Base {
public:
    CMarkedPane() { Base::setContentsMargins(0, kMarkHeight, 0, 0); }
    void SetFocused(bool focused) {
        if (focused == m_focused)
            return;
        m_focused = focused;
        Base::update(0, 0, Base::width(), kMarkHeight);
    }
    bool IsFocused() const { return m_focused; }

protected:
    void paintEvent(QPaintEvent* event) override {
        Base::paintEvent(event);
        QPainter painter(this);
        const QPalette& palette = Base::palette();
        painter.fillRect(0, 0, Base::width(), kMarkHeight,
                         m_focused ? palette.color(QPalette::Highlight)
                                   : palette.color(QPalette::Button));
    }

private:
    bool m_focused = false;
};

// The tree pane's tabs: each tab's size is measured again only when what it depends on
// changes, not at every insertion, hover test and layout pass.
class CPaneTabBar : public QTabBar {
protected:
    QSize tabSizeHint(int index) const override {
        if (index < 0 || index >= count())
            return QTabBar::tabSizeHint(index);
        if (m_sizes.size() != static_cast<size_t>(count()))
            m_sizes.resize(static_cast<size_t>(count()));
        Measured& m = m_sizes[static_cast<size_t>(index)];
        // The style may size a tab by its text, its place in the row and whether it is chosen.
        const Key key{tabText(index), index == 0, index == count() - 1, index == currentIndex()};
        if (!m.size.isValid() || !(m.key == key)) {
            m.size = QTabBar::tabSizeHint(index);
            m.key = key;
        }
        return m.size;
    }
    void changeEvent(QEvent* event) override {
        if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
            m_sizes.clear();
        QTabBar::changeEvent(event);
    }

private:
    struct Key {
        QString text;
        bool first = false, last = false, current = false;
        bool operator==(const Key& o) const {
            return text == o.text && first == o.first && last == o.last && current == o.current;
        }
    };
    struct Measured {
        Key key;
        QSize size;
    };
    mutable std::vector<Measured> m_sizes;
};

using CMarkedWidget = CMarkedPane<QWidget>;
using CMarkedStack = CMarkedPane<QStackedWidget>;

} // namespace

CTavloDesktopLayout::CTavloDesktopLayout(CMainFrame* frame, QWidget* parent)
    : QWidget(parent), m_frame(frame), m_columns(new QSplitter(Qt::Horizontal, this)),
      m_rows(new QSplitter(Qt::Vertical)), m_treeTabs(new CPaneTabBar),
      m_saveTimer(new QTimer(this)) {
    setObjectName("desktop");
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(m_columns);

    // The tree pane: the tabs and the views under one line; the list and the thread panes
    // are their stacks alone.
    auto* tree = new CMarkedWidget;
    tree->setObjectName("pane-tree");
    m_panes[PANE_TREE] = tree;
    auto* treeBox = new QVBoxLayout(tree);
    treeBox->setContentsMargins(0, 0, 0, 0);
    treeBox->setSpacing(0);
    // The tabs are clicked; keys stay with the views (NextTab and the focus key).
    m_treeTabs->setFocusPolicy(Qt::NoFocus);
    m_treeTabs->setDrawBase(false);
    m_treeTabs->setExpanding(false);
    for (const char* label : {"板一覧", "ブックマーク", "キャッシュ"})
        m_treeTabs->addTab(QString::fromUtf8(label));
    treeBox->addWidget(m_treeTabs);
    m_stacks[PANE_TREE] = new QStackedWidget;
    for (int p : {PANE_LIST, PANE_THREAD}) {
        auto* stack = new CMarkedStack;
        m_stacks[static_cast<size_t>(p)] = stack;
        m_panes[static_cast<size_t>(p)] = stack;
    }
    for (size_t p = 0; p < PANE_COUNT; ++p)
        m_stacks[p]->setObjectName(QStringLiteral("pane-%1").arg(p));
    treeBox->addWidget(m_stacks[PANE_TREE], 1);
    m_columns->addWidget(tree);
    m_rows->addWidget(m_stacks[PANE_LIST]);
    m_rows->addWidget(m_stacks[PANE_THREAD]);
    m_columns->addWidget(m_rows);
    for (QSplitter* s : {m_columns, m_rows}) {
        s->setChildrenCollapsible(false);
        s->setHandleWidth(4);
        connect(s, &QSplitter::splitterMoved, this, [this] { saveSizesSoon(); });
    }
    // A larger window widens the list and the thread; the tree keeps its width.
    m_columns->setStretchFactor(0, 0);
    m_columns->setStretchFactor(1, 1);
    m_rows->setStretchFactor(0, 0);
    m_rows->setStretchFactor(1, 1);
    connect(m_treeTabs, &QTabBar::tabBarClicked, this, [this](int i) { onTabClicked(i); });
    qApp->installEventFilter(this);
    // A drag moves the splitter many times: the sizes are written once it rests.
    m_saveTimer->setSingleShot(true);
    m_saveTimer->setInterval(300);
    connect(m_saveTimer, &QTimer::timeout, this, [this] { saveSizes(); });
    // The set sizes are applied at the first resize, once this has its real size.
}

CTavloDesktopLayout::~CTavloDesktopLayout() {
    if (m_saveTimer->isActive())
        saveSizes();
}

int CTavloDesktopLayout::PaneOf(int view) {
    switch (view) {
    case TAVLO_VIEW_BOARD:
    case TAVLO_VIEW_BOOKMARK:
    case TAVLO_VIEW_CACHE:
        return PANE_TREE;
    case TAVLO_VIEW_SUBJECT:
        return PANE_LIST;
    case TAVLO_VIEW_THREAD:
    case TAVLO_VIEW_IMAGE:
        return PANE_THREAD;
    default:
        return -1;
    }
}

CTavloMainView* CTavloDesktopLayout::view(int number) const {
    if (number < 0 || number >= static_cast<int>(m_views.size()))
        return nullptr;
    return m_views[static_cast<size_t>(number)];
}

void CTavloDesktopLayout::Adopt(int shown) {
    m_adopting = true;
    for (int n = TAVLO_VIEW_BOARD; n <= TAVLO_VIEW_IMAGE; ++n)
        m_views[static_cast<size_t>(n)] = m_frame->GetView(n);
    // Every pane shows its first view, the shown one's pane that one. A view behind a tab
    // joins its pane's stack when it is first placed: until then it stays hidden where it is,
    // and is neither moved nor polished nor laid out for nothing.
    for (int n : {TAVLO_VIEW_BOARD, TAVLO_VIEW_SUBJECT, TAVLO_VIEW_THREAD})
        Place(n);
    if (shown >= 0)
        Place(shown);
    m_adopting = false;
}

void CTavloDesktopLayout::Release(QWidget* parent) {
    m_adopting = true;
    for (CTavloMainView*& v : m_views) {
        if (v) {
            v->hide();
            v->setParent(parent);
        }
        v = nullptr;
    }
    m_adopting = false;
}

int CTavloDesktopLayout::Place(int number) {
    const int pane = PaneOf(number);
    CTavloMainView* v = view(number);
    if (pane < 0 || !v)
        return -1;
    QStackedWidget* stack = m_stacks[static_cast<size_t>(pane)];
    const int before = PaneView(pane);
    if (stack->indexOf(v) < 0) {
        const bool adopting = m_adopting;
        m_adopting = true;
        // The stack shows its current page and hides the others.
        stack->addWidget(v);
        m_adopting = adopting;
    }
    if (stack->currentWidget() != v)
        stack->setCurrentWidget(v);
    if (pane == PANE_TREE)
        for (int i = 0; i < 3; ++i)
            if (kTreeViews[i] == number)
                m_treeTabs->setCurrentIndex(i);
    return before != number ? before : -1;
}

int CTavloDesktopLayout::PaneView(int pane) const {
    if (pane < 0 || pane >= PANE_COUNT)
        return -1;
    QWidget* current = m_stacks[static_cast<size_t>(pane)]->currentWidget();
    for (int n = 0; n < static_cast<int>(m_views.size()); ++n)
        if (current && m_views[static_cast<size_t>(n)] == current)
            return n;
    return -1;
}

int CTavloDesktopLayout::NextPaneView(int number, bool backward) const {
    int pane = PaneOf(number);
    if (pane < 0)
        pane = PANE_TREE;
    for (int step = 1; step < PANE_COUNT; ++step) {
        const int p = (pane + (backward ? PANE_COUNT - step : step)) % PANE_COUNT;
        const int v = PaneView(p);
        if (v >= 0)
            return v;
    }
    return number;
}

int CTavloDesktopLayout::ViewOfWidget(const QWidget* widget) const {
    for (int p = 0; p < PANE_COUNT && widget; ++p) {
        QStackedWidget* stack = m_stacks[static_cast<size_t>(p)];
        if (stack == widget || stack->isAncestorOf(widget))
            return PaneView(p);
    }
    return -1;
}

void CTavloDesktopLayout::onTabClicked(int index) {
    if (index < 0 || index >= 3)
        return;
    // As choosing the view from the menu: shown, focused and recorded.
    m_frame->SwitchView(kTreeViews[index]);
}

bool CTavloDesktopLayout::eventFilter(QObject* watched, QEvent* event) {
    // Only a click moves the shown view: the focus that Qt hands on when a focused widget
    // goes (the last thread tab closed) is no choice of the user's, and the single view
    // would not switch either.
    if (event->type() != QEvent::FocusIn || m_adopting ||
        static_cast<QFocusEvent*>(event)->reason() != Qt::MouseFocusReason)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || !isAncestorOf(widget))
        return false;
    const int v = ViewOfWidget(widget);
    if (v >= 0)
        m_frame->OnPaneFocused(v);
    return false;
}

void CTavloDesktopLayout::MarkFocus(int view) {
    const int focused = PaneOf(view);
    for (int p = 0; p < PANE_COUNT; ++p) {
        QWidget* pane = m_panes[static_cast<size_t>(p)];
        if (p == PANE_TREE)
            static_cast<CMarkedWidget*>(pane)->SetFocused(p == focused);
        else
            static_cast<CMarkedStack*>(pane)->SetFocused(p == focused);
    }
}

bool CTavloDesktopLayout::IsMarked(int pane) const {
    if (pane < 0 || pane >= PANE_COUNT)
        return false;
    QWidget* w = m_panes[static_cast<size_t>(pane)];
    return pane == PANE_TREE ? static_cast<CMarkedWidget*>(w)->IsFocused()
                             : static_cast<CMarkedStack*>(w)->IsFocused();
}

int CTavloDesktopLayout::TreeWidth() const {
    const QList<int> sizes = m_columns->sizes();
    return sizes.isEmpty() ? 0 : sizes.first();
}

int CTavloDesktopLayout::ListHeight() const {
    const QList<int> sizes = m_rows->sizes();
    return sizes.isEmpty() ? 0 : sizes.first();
}

void CTavloDesktopLayout::ApplySizes() {
    const CTavloSettings& s = CTavloSettings::Instance();
    // The splitters fill this widget; their own sizes may still be the old ones here.
    const int width = this->width() - m_columns->handleWidth();
    const int height = this->height() - m_rows->handleWidth();
    if (width <= 0 || height <= 0)
        return; // not laid out yet: again at the first resize
    // The rest goes to the second pane; a window smaller than the setting still shows both.
    const int tree = std::clamp(s.DesktopTreeWidth, kMinPane, std::max(kMinPane, width - kMinPane));
    const int list =
        std::clamp(s.DesktopListHeight, kMinPane, std::max(kMinPane, height - kMinPane));
    m_columns->setSizes({tree, width - tree});
    m_rows->setSizes({list, height - list});
    // Until the window is large enough for the set sizes, every resize tries again.
    m_sized = tree == s.DesktopTreeWidth && list == s.DesktopListHeight;
}

void CTavloDesktopLayout::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (!m_sized)
        ApplySizes();
}

void CTavloDesktopLayout::saveSizesSoon() {
    m_saveTimer->start();
}

void CTavloDesktopLayout::saveSizes() {
    m_saveTimer->stop();
    CTavloSettings& s = CTavloSettings::Instance();
    if (int w = TreeWidth(); w > 0)
        s.SetInt("DesktopTreeWidth", w);
    if (int h = ListHeight(); h > 0)
        s.SetInt("DesktopListHeight", h);
}
