#pragma once

#include "tavlo_dat_ctrl.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QMenuBar;

// The grep window: the posts extracted from a thread (by ID, name or reference) in a post
// control of its own, with copy, wrap and jump commands.
class CTavloGrepDialog : public QDialog {
public:
    enum {
        ID_GREP_BACK = 32932,
        ID_GREP_COPY = 32935,
        ID_GREP_COPYALL = 32958,
        ID_GREP_WRAP = 32960,
        ID_GREP_JUMP = 32957
    };

    // Called with the number of a post of the thread when the user jumps there: the chosen
    // post (no history), or the post an anchor in the window names (record: with history).
    using JumpHandler = std::function<void(int number, bool record)>;

    CTavloGrepDialog(CTavloDatCtrl* source, const std::vector<int>& numbers, JumpHandler onJump,
                     QWidget* parent = nullptr);
    ~CTavloGrepDialog() override;

    CTavloDatCtrl* GetPostCtrl() const { return m_ctrl.get(); }
    const std::vector<int>& GetNumbers() const { return m_numbers; }
    // The thread's number of the post at the control's current position.
    int CurrentNumber() const;
    void OnCommand(int id);
    // Keys of the settings' table (Windows VK codes); true when used.
    bool OnKeyDown(int vk, Qt::KeyboardModifiers modifiers);
    // Text of every extracted post, one after another.
    std::u16string AllText() const;
    // An anchor in the window names a post of the thread, not an entry of the window: the
    // window closes and the thread goes there.
    void JumpToThreadPost(int number);

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    std::unique_ptr<CTavloDatCtrl> m_ctrl;
    std::vector<int> m_numbers;
    std::vector<std::u16string> m_texts;
    JumpHandler m_onJump;
    QMenuBar* m_menu;
    QAction* m_wrapAction = nullptr;
};
