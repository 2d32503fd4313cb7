#pragma once

#include "tavlo_views.h"

class CTavloDatView;

// The thread view as the frame's view 2: holds the thread view (tabs of threads) and passes
// the frame's requests on to it.
class CTavloDatViewHost : public CTavloThreadViewBase {
public:
    explicit CTavloDatViewHost(CTavloWindow* frame, QWidget* parent = nullptr);
    ~CTavloDatViewHost() override;

    CTavloDatView* View() const { return m_view; }

    int OpenThread(const CVornString& title, const CVornString& key, const CVornString& boardUrl,
                   const CVornString& board, int number) override;
    void OnViewMessage(CTavloMessage* message, int cancelFlag) override;
    int GetTabCount() const override;
    bool JumpNumber(int number) override;
    bool GetCurrentBoard(CVornString* name, CVornString* boardUrl, CVornString* board) override;
    CVornString GetCurrentTitle() const override;
    std::vector<QString> ThreadTitles() const override;
    void SelectTab(int index) override;
    void Refresh() override;

    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers) override;
    bool OnCommand(int id) override;
    bool UpdateCommand(int id, bool* enabled, bool* checked) override;
    bool IsBusy() const override;
    void OnShowView() override;
    void OnHideView() override;
    void Search(const CVornString& word, int direction) override;
    void ApplySettings() override;
    QString Title() const override;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    CTavloDatView* m_view;
};
