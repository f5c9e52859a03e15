#include "app/Canvas.h"

#include <QMouseEvent>
#include <QPainter>

namespace pm {

Canvas::Canvas(QWidget* parent)
    : QFrame(parent), image_(kWidth, kHeight, QImage::Format_RGB32) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    image_.fill(Qt::white);
}

void Canvas::PSet(float x, float y, std::uint32_t colour) {
    // A twip belongs to the pixel whose 15 twips hold it; the tests are
    // written so that NaN falls out as well.
    if (!(x >= 0 && x < kWidth * kTwipsPerPixel && y >= 0 && y < kHeight * kTwipsPerPixel)) return;
    const int px = static_cast<int>(x / kTwipsPerPixel);
    const int py = static_cast<int>(y / kTwipsPerPixel);
    if (px >= kWidth || py >= kHeight) return;
    // Packed as 0x00BBGGRR; the image holds 0xAARRGGBB.
    const QRgb rgb = qRgb(static_cast<int>(colour & 0xFF), static_cast<int>(colour >> 8 & 0xFF),
                          static_cast<int>(colour >> 16 & 0xFF));
    reinterpret_cast<QRgb*>(image_.scanLine(py))[px] = rgb;
    if (onDirty) onDirty();
}

void Canvas::Cls() {
    image_.fill(Qt::white);
    if (onDirty) onDirty();
}

void Canvas::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e);
    QPainter g(this);
    g.drawImage(contentsRect().topLeft(), image_);
}

void Canvas::mouseMoveEvent(QMouseEvent* e) {
    // Positions are read in the drawing area only, not over its border.
    const QPointF at = e->position() - QPointF(contentsRect().topLeft());
    const bool inside = at.x() >= 0 && at.x() < kWidth && at.y() >= 0 && at.y() < kHeight;
    if (inside && onMouseMove) onMouseMove(at.x() * kTwipsPerPixel, at.y() * kTwipsPerPixel);
    QFrame::mouseMoveEvent(e);
}

}  // namespace pm
