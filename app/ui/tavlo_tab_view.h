#pragma once

#include "tavlo_main_view.h"
#include "tavlo_window.h"
#include "vorn_string.h"

#include <QString>

class CTavloTabCtrl;

// A container view: one of several child views under a tab strip (the bookmark container,
// view 3, and the cache container, view 4). Keys, commands, show/hide and the search word go
// to the selected child; the container keys switch its tabs.
class CTavloTabView : public CTavloMainView {
public:
    CTavloTabView(int viewNumber, const QString& title, CTavloWindow* frame,
                  QWidget* parent = nullptr);

    int ViewNumber() const override { return m_number; }
    QString Title() const override { return m_title; }

    // Appends a tab for child, labelled with board text (Shift_JIS); 1, or 0 when the strip
    // refused it. The container takes the child as its own widget.
    int AddTab(CTavloMainView* child, const CVornString& label);
    int GetTabCount() const;
    int GetCurSel() const;
    void SetCurSel(int index);
    CTavloMainView* GetView(int index) const;
    CTavloMainView* GetSelectedView() const { return GetView(GetCurSel()); }
    CTavloTabCtrl* GetTabCtrl() const { return m_tabs; }

    // With two or more tabs, moves the selection by one, wrapping at both ends.
    void NextTab();
    void PrevTab();

    // The container keys, checked before the frame's: NextTab, PrevTab, ViewBack (message
    // 6), ViewForward (message 7). true when consumed.
    bool OnContainerKey(int vk);

    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    bool OnCommand(int id) override;
    bool UpdateCommand(int id, bool* enabled, bool* checked) override;
    bool IsBusy() const override;
    void OnShowView() override;
    void OnHideView() override;
    void Search(const CVornString& word, int direction) override;
    void ApplySettings() override;

    // Strip across the top, the selected child below it; the others hidden.
    void Layout();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void onSelChange();

    int m_number;
    QString m_title;
    CTavloWindow* m_frame;
    CTavloTabCtrl* m_tabs;
};
