#include "tavlo_window_placement.h"

#include "tavlo_settings.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include <algorithm>

namespace {

// The handset size: what a small screen gets, and the least a stored size may be.
constexpr int kSmallWidth = 640;
constexpr int kSmallHeight = 480;

QScreen* screenAt(const QPoint& p) {
    for (QScreen* s : QGuiApplication::screens())
        if (s->availableGeometry().contains(p))
            return s;
    return nullptr;
}

} // namespace

QRect CTavloWindowPlacement::InitialGeometry(const QRect& available) {
    QSize size(kSmallWidth, kSmallHeight);
    if (available.width() >= 1024 && available.height() >= 720)
        size = QSize(std::clamp(available.width() * 2 / 3, kSmallWidth, 1400),
                     std::clamp(available.height() * 4 / 5, kSmallHeight, 1000));
    size = size.boundedTo(available.size());
    QRect r(QPoint(0, 0), size);
    r.moveCenter(available.center());
    return r;
}

void CTavloWindowPlacement::Restore(QWidget* window) {
    const CTavloSettings& s = CTavloSettings::Instance();
    QScreen* primary = QGuiApplication::primaryScreen();
    const QRect available = primary ? primary->availableGeometry() : QRect(0, 0, 800, 600);
    if (s.WindowWidth <= 0 || s.WindowHeight <= 0) {
        const QRect r = InitialGeometry(available);
        window->resize(r.size());
        // Only a large screen's window is placed; the small one keeps where the system puts it.
        if (r.size() != QSize(kSmallWidth, kSmallHeight))
            window->move(r.topLeft());
    } else {
        const QPoint at(s.WindowLeft, s.WindowTop);
        QScreen* screen = screenAt(at);
        const QRect area = screen ? screen->availableGeometry() : available;
        // A size from a larger screen is cut to this one.
        QSize size = QSize(std::max(s.WindowWidth, 160), std::max(s.WindowHeight, 120))
                         .boundedTo(area.size());
        window->resize(size);
        if (screen) {
            window->move(at);
        } else {
            QRect r(QPoint(0, 0), size);
            r.moveCenter(area.center());
            window->move(r.topLeft());
        }
    }
    if (s.WindowMaximized == 1)
        window->setWindowState(window->windowState() | Qt::WindowMaximized);
}

CTavloWindowPlacement::CTavloWindowPlacement(QWidget* window)
    : QObject(window), m_window(window), m_timer(new QTimer(this)) {
    m_timer->setSingleShot(true);
    m_timer->setInterval(300);
    connect(m_timer, &QTimer::timeout, this, &CTavloWindowPlacement::write);
    m_last = QRect(window->pos(), window->size());
    m_lastMaximized = window->isMaximized();
    window->installEventFilter(this);
}

CTavloWindowPlacement::~CTavloWindowPlacement() {
    // A change still waiting for its write is not lost.
    if (m_timer->isActive())
        write();
}

void CTavloWindowPlacement::Flush() {
    if (m_timer->isActive())
        write();
}

bool CTavloWindowPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_window) {
        switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::WindowStateChange:
            m_timer->start();
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

void CTavloWindowPlacement::write() {
    m_timer->stop();
    if (!m_window || m_window->isMinimized() || !m_window->isVisible())
        return;
    CTavloSettings& s = CTavloSettings::Instance();
    const bool maximized = m_window->isMaximized() || m_window->isFullScreen();
    const QRect now(m_window->pos(), m_window->size());
    if (maximized == m_lastMaximized && (maximized || now == m_last))
        return;
    m_lastMaximized = maximized;
    if (!maximized)
        m_last = now;
    // A maximized window keeps the size it comes back to.
    if (!maximized) {
        s.SetInt("WindowLeft", m_window->x());
        s.SetInt("WindowTop", m_window->y());
        s.SetInt("WindowWidth", m_window->width());
        s.SetInt("WindowHeight", m_window->height());
    }
    s.SetInt("WindowMaximized", maximized ? 1 : 0);
}
