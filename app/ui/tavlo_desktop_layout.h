#pragma once

#include <QWidget>

#include <array>

class CMainFrame;
class CTavloMainView;
class QSplitter;
class QStackedWidget;
class QTabBar;
class QTimer;

// The desktop layout: the board tree (with the bookmarks and the cache as tabs beside it), the
// thread list and the thread view at once, in splitters whose sizes are settings. The views are
// the frame's own; the layout only holds them while it is on. The frame keeps its idea of the
// shown view: here it is the view of the pane that has the focus.
class CTavloDesktopLayout : public QWidget {
public:
    enum Pane { PANE_TREE, PANE_LIST, PANE_THREAD, PANE_COUNT };

    CTavloDesktopLayout(CMainFrame* frame, QWidget* parent);
    ~CTavloDesktopLayout() override;

    // Takes the views into the panes, each pane showing the first of its views (or shown, for
    // its pane); the others join their pane when first placed. Release hands them back to
    // parent, hidden.
    void Adopt(int shown);
    void Release(QWidget* parent);

    // The pane a view number lives in: 0, 3 and 4 the tree pane, 1 the list, 2 and 5 the
    // thread pane; -1 for none.
    static int PaneOf(int view);
    // Makes view the page its pane shows. The view its pane showed before, when that one was
    // put away for it, else -1.
    int Place(int view);
    // The view a pane shows now.
    int PaneView(int pane) const;
    // The view of the pane after (or before) the pane of view, in the order tree, list, thread.
    int NextPaneView(int view, bool backward) const;
    // The view whose pane holds the widget, or -1.
    int ViewOfWidget(const QWidget* widget) const;
    // The line over the pane of view shows that it has the focus.
    void MarkFocus(int view);
    // Whether the line over a pane shows the focus.
    bool IsMarked(int pane) const;
    bool IsPlaced(int view) const { return PaneView(PaneOf(view)) == view; }

    // Splitter sizes as set (the tree's width, the list's height).
    int TreeWidth() const;
    int ListHeight() const;
    void ApplySizes();

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CTavloMainView* view(int number) const;
    void onTabClicked(int index);
    void saveSizesSoon();
    void saveSizes();

    CMainFrame* m_frame;
    QSplitter* m_columns;
    QSplitter* m_rows;
    QTabBar* m_treeTabs;
    std::array<QStackedWidget*, PANE_COUNT> m_stacks{};
    // The panes as placed in the splitters: the tree's box, the list's and thread's stacks.
    std::array<QWidget*, PANE_COUNT> m_panes{};
    std::array<CTavloMainView*, 6> m_views{};
    QTimer* m_saveTimer;
    bool m_adopting = false;
    bool m_sized = false;
};
