#include "ui/Icon.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

QPixmap FennelwrightIcon(int size)
{
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 64.0, size / 64.0);
    // A document with a folded corner...
    QPainterPath page;
    page.moveTo(12, 4);
    page.lineTo(42, 4);
    page.lineTo(54, 16);
    page.lineTo(54, 60);
    page.lineTo(12, 60);
    page.closeSubpath();
    QLinearGradient g(0, 0, 0, 64);
    g.setColorAt(0, QColor(0xFA, 0xF7, 0xEE));
    g.setColorAt(1, QColor(0xE6, 0xE0, 0xCF));
    p.setPen(QPen(QColor(0x55, 0x55, 0x55), 1.5));
    p.setBrush(g);
    p.drawPath(page);
    p.setBrush(QColor(0xD0, 0xC9, 0xB4));
    p.drawPolygon(QPolygonF({QPointF(42, 4), QPointF(42, 16), QPointF(54, 16)}));
    // ... with a fennel frond: a stem and feathery leaves, the revision tree.
    QPen stem(QColor(0x3C, 0x7A, 0x2E), 3, Qt::SolidLine, Qt::RoundCap);
    p.setPen(stem);
    p.drawLine(QPointF(33, 54), QPointF(33, 22));
    p.setPen(QPen(QColor(0x5B, 0xA1, 0x3F), 2, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 4; ++i) {
        double const y = 48 - i * 8;
        p.drawLine(QPointF(33, y), QPointF(22 + i * 1.5, y - 7));
        p.drawLine(QPointF(33, y - 3), QPointF(44 - i * 1.5, y - 10));
    }
    p.setBrush(QColor(0xE8, 0xB8, 0x20));
    p.setPen(QPen(QColor(0x9A, 0x74, 0x0A), 1));
    p.drawEllipse(QPointF(33, 18), 4, 4);
    return pm;
}
