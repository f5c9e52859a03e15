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

bool Canvas::PixelOf(float x, float y, int& px, int& py) {
    // A twip belongs to the pixel whose 15 twips hold it; the tests are
    // written so that NaN falls out as well.
    if (!(x >= 0 && x < kWidth * kTwipsPerPixel && y >= 0 && y < kHeight * kTwipsPerPixel)) return false;
    px = static_cast<int>(x / kTwipsPerPixel);
    py = static_cast<int>(y / kTwipsPerPixel);
    return px < kWidth && py < kHeight;
}

void Canvas::PSet(float x, float y, std::uint32_t colour) {
    int px = 0;
    int py = 0;
    if (!PixelOf(x, y, px, py)) return;
    // Packed as 0x00BBGGRR; the image holds 0xAARRGGBB.
    const QRgb rgb = qRgb(static_cast<int>(colour & 0xFF), static_cast<int>(colour >> 8 & 0xFF),
                          static_cast<int>(colour >> 16 & 0xFF));
    reinterpret_cast<QRgb*>(image_.scanLine(py))[px] = rgb;
    if (onDirty) onDirty();
}

void Canvas::Cls() {
    if (underlay_.isNull()) {
        image_.fill(Qt::white);
    } else {
        image_ = underlay_;
    }
    if (onDirty) onDirty();
}

void Canvas::setUnderlay(const QImage& underlay, bool clearNow) {
    underlay_ = underlay.isNull() ? QImage() : underlay.convertToFormat(QImage::Format_RGB32);
    if (clearNow) Cls();
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
