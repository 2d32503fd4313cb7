#include "tavlo_dat_view_host.h"

#include "tavlo_dat_view.h"

CTavloDatViewHost::CTavloDatViewHost(CTavloWindow* frame, QWidget* parent)
    : CTavloThreadViewBase(frame, parent), m_view(new CTavloDatView(frame, this)) {
    setFocusProxy(m_view);
}

CTavloDatViewHost::~CTavloDatViewHost() {
    // The thread view serves its workers' messages while it waits for them; it goes while
    // this widget is still whole.
    delete m_view;
}

int CTavloDatViewHost::OpenThread(const CVornString& title, const CVornString& key,
                                  const CVornString& boardUrl, const CVornString& board,
                                  int number) {
    return m_view->OpenThread(title, key, boardUrl, board, number);
}

void CTavloDatViewHost::OnViewMessage(CTavloMessage* message, int cancelFlag) {
    m_view->OnViewMessage(message, cancelFlag);
}

int CTavloDatViewHost::GetTabCount() const {
    return m_view->GetTabCount();
}

bool CTavloDatViewHost::JumpNumber(int number) {
    return m_view->JumpNumber(number);
}

bool CTavloDatViewHost::GetCurrentBoard(CVornString* name, CVornString* boardUrl,
                                        CVornString* board) {
    return m_view->GetCurrentBoard(name, boardUrl, board);
}

CVornString CTavloDatViewHost::GetCurrentTitle() const {
    CTavloDatCtrl* c = m_view->GetCurrentCtrl();
    return c ? c->GetTitle() : CVornString();
}

std::vector<QString> CTavloDatViewHost::ThreadTitles() const {
    return m_view->ThreadTitles();
}

void CTavloDatViewHost::SelectTab(int index) {
    m_view->SelectTab(index);
}

void CTavloDatViewHost::Refresh() {
    m_view->Refresh();
}

bool CTavloDatViewHost::OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) {
    return m_view->OnKeyDown(vk, modifiers);
}

bool CTavloDatViewHost::OnCommand(int id) {
    return m_view->OnCommand(id);
}

bool CTavloDatViewHost::UpdateCommand(int id, bool* enabled, bool* checked) {
    return m_view->UpdateCommand(id, enabled, checked);
}

bool CTavloDatViewHost::IsBusy() const {
    return m_view->IsBusy();
}

void CTavloDatViewHost::OnShowView() {
    m_view->OnShowView();
}

void CTavloDatViewHost::OnHideView() {
    m_view->OnHideView();
}

void CTavloDatViewHost::Search(const CVornString& word, int direction) {
    m_view->Search(word, direction);
}

void CTavloDatViewHost::ApplySettings() {
    m_view->ApplySettings();
}

QString CTavloDatViewHost::Title() const {
    return m_view->Title();
}

void CTavloDatViewHost::resizeEvent(QResizeEvent*) {
    m_view->setGeometry(rect());
}
