#include "tavlo_icons.h"

#include <QPainter>
#include <QPainterPath>

#include <array>
#include <cmath>
#include <numbers>

namespace {

QPixmap blank() {
    QPixmap p(kTavloIconSize, kTavloIconSize);
    p.fill(Qt::transparent);
    return p;
}

QPixmap drawNormal() {
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    // A sheet with a folded corner and three lines of text.
    QPainterPath sheet;
    sheet.moveTo(3.5, 1.5);
    sheet.lineTo(10.5, 1.5);
    sheet.lineTo(13.5, 4.5);
    sheet.lineTo(13.5, 14.5);
    sheet.lineTo(3.5, 14.5);
    sheet.closeSubpath();
    g.setPen(QPen(QColor(0x70, 0x70, 0x70), 1));
    g.setBrush(Qt::white);
    g.drawPath(sheet);
    g.drawLine(QPointF(10.5, 1.5), QPointF(10.5, 4.5));
    g.drawLine(QPointF(10.5, 4.5), QPointF(13.5, 4.5));
    g.setPen(QPen(QColor(0xA0, 0xA0, 0xA0), 1));
    for (double y : {7.5, 9.5, 11.5})
        g.drawLine(QPointF(5.5, y), QPointF(11.5, y));
    return p;
}

QPixmap drawChecking() {
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    // A circular arrow: the entry is being fetched.
    QColor blue(0x1E, 0x63, 0xD6);
    g.setPen(QPen(blue, 2.2, Qt::SolidLine, Qt::FlatCap));
    g.setBrush(Qt::NoBrush);
    g.drawArc(QRectF(2.5, 2.5, 11, 11), 100 * 16, 290 * 16);
    QPolygonF head;
    head << QPointF(6.0, 0.5) << QPointF(11.0, 3.2) << QPointF(6.2, 6.4);
    g.setPen(Qt::NoPen);
    g.setBrush(blue);
    g.drawPolygon(head);
    return p;
}

QPixmap drawBookmark() {
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    // A gold star.
    QPolygonF star;
    const double cx = 8, cy = 8.4, outer = 7.4, inner = 3.0;
    for (int i = 0; i < 10; ++i) {
        const double r = i % 2 ? inner : outer;
        const double a = -std::numbers::pi / 2 + i * std::numbers::pi / 5;
        star << QPointF(cx + r * std::cos(a), cy + r * std::sin(a));
    }
    g.setPen(QPen(QColor(0xA0, 0x6A, 0x00), 1));
    g.setBrush(QColor(0xFF, 0xC8, 0x20));
    g.drawPolygon(star);
    return p;
}

QPixmap drawUpdated() {
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    // A green badge with an arrow up: the thread gained posts.
    g.setPen(QPen(QColor(0x1B, 0x6E, 0x20), 1));
    g.setBrush(QColor(0x3C, 0xB0, 0x43));
    g.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
    QPolygonF arrow;
    arrow << QPointF(8, 3.5) << QPointF(12.5, 8.5) << QPointF(9.6, 8.5) << QPointF(9.6, 12.5)
          << QPointF(6.4, 12.5) << QPointF(6.4, 8.5) << QPointF(3.5, 8.5);
    g.setPen(Qt::NoPen);
    g.setBrush(Qt::white);
    g.drawPolygon(arrow);
    return p;
}

QPixmap drawNew() {
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    // A red badge with an "N": the thread was not in the list before.
    g.setPen(QPen(QColor(0x90, 0x10, 0x10), 1));
    g.setBrush(QColor(0xE0, 0x28, 0x28));
    g.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 3, 3);
    g.setPen(QPen(Qt::white, 2.0, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    g.setBrush(Qt::NoBrush);
    QPolygonF n;
    n << QPointF(5, 11.5) << QPointF(5, 4.5) << QPointF(11, 11.5) << QPointF(11, 4.5);
    g.drawPolyline(n);
    return p;
}

QPixmap drawFolder(bool open) {
    QPixmap p = blank();
    QPainter g(&p);
    g.setRenderHint(QPainter::Antialiasing);
    const QColor edge(0x9A, 0x72, 0x10);
    // The back with its tab.
    QPainterPath back;
    back.moveTo(1.5, 3.5);
    back.lineTo(6.0, 3.5);
    back.lineTo(7.5, 5.0);
    back.lineTo(14.5, 5.0);
    back.lineTo(14.5, 13.5);
    back.lineTo(1.5, 13.5);
    back.closeSubpath();
    g.setPen(QPen(edge, 1));
    g.setBrush(QColor(0xE8, 0xB8, 0x30));
    g.drawPath(back);
    if (open) {
        // The front flap tilted open, with a sheet showing behind it.
        g.setBrush(Qt::white);
        g.setPen(QPen(QColor(0x90, 0x90, 0x90), 1));
        g.drawRect(QRectF(3.5, 4.5, 9, 6));
        QPolygonF flap;
        flap << QPointF(3.5, 7.5) << QPointF(15.5, 7.5) << QPointF(13.0, 13.5)
             << QPointF(1.5, 13.5);
        g.setPen(QPen(edge, 1));
        g.setBrush(QColor(0xFF, 0xD8, 0x60));
        g.drawPolygon(flap);
    } else {
        g.setBrush(QColor(0xFF, 0xD0, 0x50));
        g.drawRect(QRectF(1.5, 6.5, 13, 7));
    }
    return p;
}

} // namespace

const QPixmap& TavloMarkIcon(int index) {
    // Kept until the process ends: pixmaps must not outlive the application object, and static
    // destructors run after it is gone.
    static const auto* icons = new std::array<QPixmap, TAVLO_MARK_ICON_COUNT>{
        drawNormal(), drawChecking(), drawBookmark(), drawUpdated(), drawNew()};
    static const auto* none = new QPixmap;
    if (index < 0 || index >= TAVLO_MARK_ICON_COUNT)
        return *none;
    return (*icons)[static_cast<size_t>(index)];
}

const QPixmap& TavloFolderIcon(bool open) {
    static const auto* closedIcon = new QPixmap(drawFolder(false));
    static const auto* openIcon = new QPixmap(drawFolder(true));
    return open ? *openIcon : *closedIcon;
}
