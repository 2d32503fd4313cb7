#include "tavlo_tab_view.h"

#include "tavlo_platform.h"
#include "tavlo_settings.h"
#include "tavlo_tab_ctrl.h"

CTavloTabView::CTavloTabView(int viewNumber, const QString& title, CTavloWindow* frame,
                             QWidget* parent)
    : CTavloMainView(parent), m_number(viewNumber), m_title(title), m_frame(frame),
      m_tabs(new CTavloTabCtrl(this)) {
    m_tabs->SetForwardKeys(1);
    m_tabs->SetSelChangeHandler([this](int) { onSelChange(); });
    setFocusPolicy(Qt::StrongFocus);
    ApplySettings();
}

int CTavloTabView::AddTab(CTavloMainView* child, const CVornString& label) {
    if (!child)
        return 0;
    child->setParent(this);
    child->hide();
    // Adding the first tab selects it, which lays out already.
    if (m_tabs->AddItem(TavloQString(label), child) < 0)
        return 0;
    Layout();
    return 1;
}

int CTavloTabView::GetTabCount() const {
    return m_tabs->count();
}

int CTavloTabView::GetCurSel() const {
    return m_tabs->currentIndex();
}

void CTavloTabView::SetCurSel(int index) {
    if (index >= 0 && index < m_tabs->count())
        m_tabs->setCurrentIndex(index);
}

CTavloMainView* CTavloTabView::GetView(int index) const {
    return static_cast<CTavloMainView*>(m_tabs->GetItemData(index));
}

void CTavloTabView::NextTab() {
    const int n = m_tabs->count();
    if (n < 2)
        return;
    m_tabs->setCurrentIndex((m_tabs->currentIndex() + 1) % n);
    update();
}

void CTavloTabView::PrevTab() {
    const int n = m_tabs->count();
    if (n < 2)
        return;
    m_tabs->setCurrentIndex((m_tabs->currentIndex() + n - 1) % n);
    update();
}

bool CTavloTabView::OnContainerKey(int vk) {
    if (vk == 0)
        return false;
    const CTavloSettings& s = CTavloSettings::Instance();
    auto is = [&](int command) { return s.IsKey(command, vk); };
    if (is(CTavloSettings::CMD_NEXTTAB)) {
        NextTab();
        return true;
    }
    if (is(CTavloSettings::CMD_PREVTAB)) {
        PrevTab();
        return true;
    }
    if (is(CTavloSettings::CMD_VIEWBACK)) {
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_VIEWBACK, 0, 0);
        return true;
    }
    if (is(CTavloSettings::CMD_VIEWFORWARD)) {
        if (m_frame)
            m_frame->SendMessage(TAVLO_WM_VIEWFORWARD, 0, 0);
        return true;
    }
    return false;
}

bool CTavloTabView::OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) {
    CTavloMainView* child = GetSelectedView();
    return child && child->OnKeyDown(vk, modifiers);
}

bool CTavloTabView::OnCommand(int id) {
    if (CTavloMainView* child = GetSelectedView())
        if (child->OnCommand(id))
            return true;
    switch (id) {
    case ID_NEXT_TAB:
        NextTab();
        return true;
    case ID_PREV_TAB:
        PrevTab();
        return true;
    default:
        return false;
    }
}

bool CTavloTabView::UpdateCommand(int id, bool* enabled, bool* checked) {
    if (CTavloMainView* child = GetSelectedView())
        if (child->UpdateCommand(id, enabled, checked))
            return true;
    if (id == ID_NEXT_TAB || id == ID_PREV_TAB) {
        *enabled = m_tabs->count() >= 2;
        *checked = false;
        return true;
    }
    return false;
}

bool CTavloTabView::IsBusy() const {
    for (int i = 0; i < m_tabs->count(); ++i)
        if (CTavloMainView* v = GetView(i); v && v->IsBusy())
            return true;
    return false;
}

void CTavloTabView::OnShowView() {
    if (CTavloMainView* child = GetSelectedView())
        child->OnShowView();
}

void CTavloTabView::OnHideView() {
    if (CTavloMainView* child = GetSelectedView())
        child->OnHideView();
}

void CTavloTabView::Search(const CVornString& word, int direction) {
    if (CTavloMainView* child = GetSelectedView())
        child->Search(word, direction);
}

void CTavloTabView::ApplySettings() {
    const CTavloSettings& s = CTavloSettings::Instance();
    m_tabs->setFont(TavloFont(s.FontName[CTavloSettings::FONT_TAB],
                              s.FontSize[CTavloSettings::FONT_TAB],
                              s.FontBold[CTavloSettings::FONT_TAB]));
    for (int i = 0; i < m_tabs->count(); ++i)
        if (CTavloMainView* v = GetView(i))
            v->ApplySettings();
    Layout();
}

void CTavloTabView::Layout() {
    m_tabs->setGeometry(0, 0, width(), m_tabs->sizeHint().height());
    const int top = std::max(0, m_tabs->StripHeight() - 2);
    CTavloMainView* selected = GetSelectedView();
    for (int i = 0; i < m_tabs->count(); ++i) {
        CTavloMainView* v = GetView(i);
        if (!v)
            continue;
        if (v == selected) {
            v->setGeometry(0, top, width(), std::max(0, height() - top));
            v->show();
        } else {
            v->hide();
        }
    }
    // The strip stays above the child it overlaps by two pixels.
    m_tabs->raise();
}

void CTavloTabView::resizeEvent(QResizeEvent*) {
    Layout();
}

void CTavloTabView::onSelChange() {
    const bool hadFocus = isAncestorOf(QWidget::focusWidget()) || hasFocus();
    Layout();
    if (hadFocus)
        if (CTavloMainView* v = GetSelectedView())
            v->setFocus();
}
