#pragma once

#include <QObject>
#include <QRect>

class QTimer;
class QWidget;

// The main window's size and place across starts. The first start on a large screen opens at
// a size that shows a thread list whole, centred; a small screen keeps the handset size. Later
// starts open where the window was, as long as that is still on a screen.
class CTavloWindowPlacement : public QObject {
public:
    // Sizes and places the window before it is shown.
    static void Restore(QWidget* window);
    // The first start's rectangle on a screen's available area.
    static QRect InitialGeometry(const QRect& available);

    // Watches the shown window and writes its size, place and maximized state to the settings
    // when they change (once the user stops dragging), not at exit.
    explicit CTavloWindowPlacement(QWidget* window);
    ~CTavloWindowPlacement() override;
    // Writes a change still waiting for its write (before the window is hidden for good).
    void Flush();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void write();

    QWidget* m_window;
    QTimer* m_timer;
    // What was last written (or shown at the start): only a difference is written.
    QRect m_last;
    bool m_lastMaximized = false;
};
