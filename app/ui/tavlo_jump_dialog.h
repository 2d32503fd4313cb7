#pragma once

#include "tavlo_window.h"

#include <QWidget>

class QComboBox;
class QPushButton;

// The direct-input bar: a combo box for a URL, a board id or a post number, filled from the
// setting HistoryJump, with an OK and a cancel image button. OK sends the text (Shift_JIS) to
// the main window as message 36; cancel asks it to close the bar (message 37 with 0).
class CTavloJumpDialog : public QWidget {
public:
    explicit CTavloJumpDialog(CTavloWindow* frame, QWidget* parent = nullptr);

    // Fills the list with HistoryJump, the first entry as the text.
    void ReloadList();
    QComboBox* GetCombo() const { return m_combo; }
    QPushButton* GetOkButton() const { return m_ok; }
    QPushButton* GetCancelButton() const { return m_cancel; }

    void OnOK();
    void OnCancel();
    // Icon size of the buttons: 16, or 32 once the combo box is 32 pixels high or more.
    int IconSize() const;

protected:
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void updateIcons();

    CTavloWindow* m_frame;
    QComboBox* m_combo;
    QPushButton* m_ok;
    QPushButton* m_cancel;
};
