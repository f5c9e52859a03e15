#include "app/Pictures.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>
#include <cmath>
#include <numbers>

namespace pm::pictures {
namespace {

constexpr int kSize = 32;

QPixmap Blank() {
    QPixmap p(kSize, kSize);
    p.fill(Qt::transparent);
    return p;
}

void Smooth(QPainter& g) {
    g.setRenderHint(QPainter::Antialiasing, true);
}

}  // namespace

QPixmap PointingHand() {
    QPixmap p = Blank();
    QPainter g(&p);
    Smooth(g);
    // A hand pointing up-left with the index finger, as a link pointer.
    QPainterPath hand;
    hand.moveTo(9, 2);
    hand.cubicTo(11, 1, 13, 2, 13, 4);
    hand.lineTo(13, 13);
    hand.cubicTo(14, 11.5, 17, 11.5, 17, 13.5);
    hand.cubicTo(18, 12, 21, 12, 21, 14.5);
    hand.cubicTo(22, 13, 25, 13.5, 25, 16);
    hand.lineTo(25, 22);
    hand.cubicTo(25, 26, 23, 28, 22, 30);
    hand.lineTo(11, 30);
    hand.cubicTo(9, 27, 6, 24, 4, 20);
    hand.cubicTo(3, 18, 5, 16, 7, 17.5);
    hand.lineTo(9, 19);
    hand.lineTo(9, 4);
    hand.cubicTo(9, 3, 9, 2.5, 9, 2);
    hand.closeSubpath();
    g.setPen(QPen(Qt::black, 1.4));
    g.setBrush(QColor(255, 255, 255));
    g.drawPath(hand);
    g.setPen(QPen(Qt::black, 1));
    g.drawLine(QPointF(13, 13), QPointF(13, 18));
    g.drawLine(QPointF(17, 13.5), QPointF(17, 18));
    g.drawLine(QPointF(21, 14.5), QPointF(21, 18.5));
    g.setBrush(QColor(40, 40, 160));
    g.drawRect(QRectF(11, 28, 11, 3));
    return p;
}

QPixmap LightningBolt() {
    QPixmap p = Blank();
    QPainter g(&p);
    Smooth(g);
    const QPolygonF bolt{QPointF(19, 1),  QPointF(6, 18),  QPointF(14, 18),
                         QPointF(10, 31), QPointF(26, 12), QPointF(17, 12),
                         QPointF(23, 1)};
    g.setPen(QPen(QColor(120, 80, 0), 1.2));
    g.setBrush(QColor(255, 220, 0));
    g.drawPolygon(bolt);
    return p;
}

QPixmap StopSign() {
    QPixmap p = Blank();
    QPainter g(&p);
    Smooth(g);
    QPolygonF octagon;
    for (int i = 0; i < 8; ++i) {
        const double a = (22.5 + 45.0 * i) * std::numbers::pi / 180.0;
        octagon << QPointF(16 + 15 * std::cos(a), 16 + 15 * std::sin(a));
    }
    g.setPen(QPen(Qt::white, 1.5));
    g.setBrush(QColor(210, 0, 0));
    g.drawPolygon(octagon);
    QFont f = g.font();
    f.setPixelSize(8);
    f.setBold(true);
    g.setFont(f);
    g.setPen(Qt::white);
    g.drawText(QRectF(0, 0, kSize, kSize), Qt::AlignCenter, QStringLiteral("STOP"));
    return p;
}

QPixmap JogArrow(Arrow a) {
    QPixmap p = Blank();
    QPainter g(&p);
    Smooth(g);
    g.translate(16, 16);
    switch (a) {
        case Arrow::Up: break;
        case Arrow::Right: g.rotate(90); break;
        case Arrow::Down: g.rotate(180); break;
        case Arrow::Left: g.rotate(270); break;
    }
    const QPolygonF arrow{QPointF(0, -13), QPointF(12, 1),  QPointF(5, 1), QPointF(5, 13),
                          QPointF(-5, 13), QPointF(-5, 1), QPointF(-12, 1)};
    g.setPen(QPen(Qt::black, 1.2));
    g.setBrush(Qt::white);
    g.drawPolygon(arrow);
    return p;
}

QPixmap Lamp() {
    QPixmap p(kSize, kSize);
    p.fill(QColor(192, 192, 192));
    QPainter g(&p);
    Smooth(g);
    QRadialGradient glow(QPointF(16, 16), 16);
    glow.setColorAt(0.0, QColor(255, 120, 100, 255));
    glow.setColorAt(0.45, QColor(255, 0, 0, 220));
    glow.setColorAt(1.0, QColor(255, 0, 0, 0));
    g.setPen(Qt::NoPen);
    g.setBrush(glow);
    g.drawEllipse(QPointF(16, 16), 16, 16);
    QRadialGradient bulb(QPointF(13, 12), 10);
    bulb.setColorAt(0.0, QColor(255, 230, 220));
    bulb.setColorAt(0.35, QColor(255, 40, 20));
    bulb.setColorAt(1.0, QColor(150, 0, 0));
    g.setPen(QPen(QColor(100, 0, 0), 1));
    g.setBrush(bulb);
    g.drawEllipse(QPointF(16, 16), 9, 9);
    return p;
}

QPixmap Envelope() {
    QPixmap p = Blank();
    QPainter g(&p);
    Smooth(g);
    const QRectF body(2, 7, 28, 19);
    g.setPen(QPen(Qt::black, 1.4));
    g.setBrush(QColor(255, 255, 235));
    g.drawRect(body);
    g.drawLine(body.topLeft(), QPointF(16, 18));
    g.drawLine(QPointF(16, 18), body.topRight());
    g.drawLine(body.bottomLeft(), QPointF(12, 15));
    g.drawLine(body.bottomRight(), QPointF(20, 15));
    return p;
}

QCursor HandCursor() { return QCursor(PointingHand(), 10, 2); }
QCursor EnvelopeCursor() { return QCursor(Envelope(), 16, 16); }

}  // namespace pm::pictures
