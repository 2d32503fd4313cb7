#include "tavlo_tab_ctrl.h"

#include "tavlo_platform.h"
#include "tavlo_settings.h"

#include <QKeyEvent>
#include <QPainter>
#include <QVariant>

CTavloTabCtrl::CTavloTabCtrl(QWidget* parent) : QTabBar(parent) {
    setDrawBase(false);
    setExpanding(false);
    setUsesScrollButtons(true);
    setElideMode(Qt::ElideRight);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QTabBar::currentChanged, this, [this](int index) {
        if (m_onSelChange)
            m_onSelChange(index);
    });
}

int CTavloTabCtrl::AddItem(const QString& label, void* data) {
    int index = addTab(label);
    if (index < 0)
        return -1;
    setTabData(index, QVariant::fromValue(reinterpret_cast<quintptr>(data)));
    return index;
}

void* CTavloTabCtrl::GetItemData(int index) const {
    if (index < 0 || index >= count())
        return nullptr;
    return reinterpret_cast<void*>(tabData(index).value<quintptr>());
}

void CTavloTabCtrl::SetItemData(int index, void* data) {
    if (index >= 0 && index < count())
        setTabData(index, QVariant::fromValue(reinterpret_cast<quintptr>(data)));
}

int CTavloTabCtrl::FindItemData(const void* data) const {
    for (int i = 0; i < count(); ++i)
        if (GetItemData(i) == data)
            return i;
    return -1;
}

void CTavloTabCtrl::SetItemSize(const QSize& size) {
    m_itemSize = size;
    setIconSize(iconSize()); // lays the tabs out again with the new size
    updateGeometry();
    update();
}

int CTavloTabCtrl::StripHeight() const {
    if (count() == 0)
        return fontMetrics().height() + 6;
    return tabRect(count() - 1).bottom() + 1;
}

QSize CTavloTabCtrl::tabSizeHint(int index) const {
    if (!m_itemSize.isEmpty())
        return m_itemSize;
    const QFontMetrics fm = fontMetrics();
    return QSize(fm.horizontalAdvance(tabText(index)) + 16, fm.height() + 6);
}

void CTavloTabCtrl::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setFont(font());
    const QPalette& pal = palette();
    const QColor active = TavloColor(CTavloSettings::Instance().ColorActive);
    for (int i = 0; i < count(); ++i) {
        QRect r = tabRect(i);
        if (!r.intersects(rect()))
            continue;
        const bool selected = i == currentIndex();
        // Button face for every tab; the selected one takes the menu colour (the base colour
        // stands for it here) and the active colour for its label.
        p.fillRect(r, selected ? pal.color(QPalette::Base) : pal.color(QPalette::Button));
        p.setPen(pal.color(QPalette::Mid));
        p.drawRect(r.adjusted(0, 0, -1, -1));
        p.setPen(selected ? active : pal.color(QPalette::WindowText));
        // No mnemonic processing: "&" is drawn as itself.
        QRect textRect = r.adjusted(4, 0, -4, 0);
        QString text = p.fontMetrics().elidedText(tabText(i), Qt::ElideRight, textRect.width(), 0);
        p.drawText(textRect, Qt::AlignCenter | Qt::TextSingleLine, text);
    }
}

void CTavloTabCtrl::keyPressEvent(QKeyEvent* event) {
    if (m_forwardKeys) {
        event->ignore(); // the parent gets it
        return;
    }
    const int n = count();
    if (n > 0 && (event->key() == Qt::Key_Left || event->key() == Qt::Key_Right)) {
        int i = currentIndex() + (event->key() == Qt::Key_Right ? 1 : -1);
        setCurrentIndex((i + n) % n);
        event->accept();
        return;
    }
    QTabBar::keyPressEvent(event);
}
