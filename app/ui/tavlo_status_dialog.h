#pragma once

#include "tavlo_window.h"
#include "vorn_string.h"

#include <QWidget>

class QLabel;
class QProgressBar;

// The status panel docked at the bottom of the main window while the network works: a text
// (control 1033) and a progress bar (control 1054).
class CTavloStatusDialog : public QWidget {
public:
    explicit CTavloStatusDialog(CTavloWindow* frame, QWidget* parent = nullptr);

    // Board text (Shift_JIS).
    void SetText(const CVornString& text);
    QString GetText() const;
    // Position done / total x 100, truncated; 0 for a total of 0 or less.
    void SetProgress(int done, int total);
    int GetPosition() const;
    static int ProgressPercent(int done, int total);

    // Cancel (Escape): asks the main window to hide the panel (message 24 with 0).
    void Cancel();

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    CTavloWindow* m_frame;
    QLabel* m_text;
    QProgressBar* m_progress;
};
