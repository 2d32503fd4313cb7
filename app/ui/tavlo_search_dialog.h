#pragma once

#include "tavlo_window.h"

#include <QWidget>

class QComboBox;
class QPushButton;

// The search bar: an editable list of search words (control 1007) filled from the setting
// HistorySearchWord, and buttons that search forward (1065), backward (1066) and close the bar
// (1067). The word goes to the main window as message 28 (direction in wParam).
class CTavloSearchDialog : public QWidget {
public:
    explicit CTavloSearchDialog(CTavloWindow* frame, QWidget* parent = nullptr);

    // Empties the word list and fills it with HistorySearchWord, the first entry as the text.
    void ReloadList();
    QComboBox* GetCombo() const { return m_combo; }
    QPushButton* GetButton(int id) const;

    // The word to the main window with a direction; an empty word sends nothing.
    void Send(int direction);
    // Asks the main window to close the bar (message 26 with 0).
    void Close();

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    CTavloWindow* m_frame;
    QComboBox* m_combo;
    QPushButton* m_forward;
    QPushButton* m_backward;
    QPushButton* m_backward2;
    QPushButton* m_close;
};
