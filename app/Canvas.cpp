#include "app/Canvas.h"

#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

#include "motion/Motion.h"

namespace pm {
namespace {

const QColor kOutside(224, 224, 224);  // around the drawing area
const QColor kWorkAreaLine(200, 110, 0);
const QColor kToolMark(220, 0, 0);
// From this zoom on, each pixel of the area is drawn as a dot at its
// centre rather than as a square: lines stay lines when magnified.
constexpr double kDotsFrom = 3;
// A notch of the wheel zooms by this much.
constexpr double kNotchZoom = 1.25;

}  // namespace

Canvas::Canvas(QWidget* parent)
    : QFrame(parent), image_(kWidth, kHeight, QImage::Format_RGB32), tool_(0, kPreviewBase) {
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setLineWidth(2);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    image_.fill(Qt::white);
    fit_ = new QToolButton(this);
    fit_->setObjectName(QStringLiteral("AjustarVista"));
    fit_->setText(QStringLiteral("Ajustar"));
    fit_->setToolTip(QStringLiteral("Ajustar o desenho ao quadro"));
    fit_->setFocusPolicy(Qt::NoFocus);
    fit_->setCursor(Qt::ArrowCursor);
    connect(fit_, &QToolButton::clicked, this, [this] {
        if (onFit) onFit();
    });
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
    tool_ = QPointF(x, y);
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

void Canvas::setView(const CanvasView& v, bool chosen) {
    view_ = v;
    viewChosen_ = chosen;
    update();
}

void Canvas::fitTwips(const QRectF& twips) {
    const QRectF r = twips.normalized();
    const double t = kTwipsPerPixel;
    setView(CanvasView::Fit(QRectF(r.x() / t, r.y() / t, r.width() / t, r.height() / t), contentsRect().size()),
            true);
}

void Canvas::setWorkArea(const QRectF& twips) {
    if (twips == workArea_) return;
    workArea_ = twips;
    update();
}

void Canvas::setTool(QPointF twips) {
    if (twips == tool_) return;
    tool_ = twips;
    update();
}

void Canvas::paintDots(QPainter& g, QSize size) const {
    const QRectF area(view_.pan, QSizeF(kWidth, kHeight) * view_.zoom);
    if (view_.zoom == 1) {
        g.drawImage(view_.pan, image_);  // pixel for pixel, the job's every refresh
        return;
    }
    if (view_.zoom < kDotsFrom) {
        g.drawImage(area, image_);  // magnified square by square: nothing is lost
        return;
    }
    g.fillRect(area, Qt::white);
    const QPointF from = view_.toArea(QPointF(0, 0));
    const QPointF to = view_.toArea(QPointF(size.width(), size.height()));
    const int x0 = std::max(0, static_cast<int>(std::floor(from.x())));
    const int y0 = std::max(0, static_cast<int>(std::floor(from.y())));
    const int x1 = std::min(kWidth - 1, static_cast<int>(std::floor(to.x())));
    const int y1 = std::min(kHeight - 1, static_cast<int>(std::floor(to.y())));
    const double side = std::clamp(view_.zoom * 0.4, 2.0, 8.0);
    const QRgb white = qRgb(255, 255, 255);
    for (int y = y0; y <= y1; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image_.constScanLine(y));
        for (int x = x0; x <= x1; ++x) {
            if (row[x] == white) continue;
            const QPointF c = view_.toScreen(QPointF(x + 0.5, y + 0.5));
            g.fillRect(QRectF(c.x() - side / 2, c.y() - side / 2, side, side), QColor(row[x]));
        }
    }
}

void Canvas::paintEvent(QPaintEvent* e) {
    QFrame::paintEvent(e);
    QPainter g(this);
    const QRect c = contentsRect();
    g.setClipRect(c);
    g.translate(c.topLeft());
    // Around the area only: the pixels it covers whole it paints itself.
    const QRectF a(view_.pan, QSizeF(kWidth, kHeight) * view_.zoom);
    const QRect covered(QPoint(static_cast<int>(std::ceil(a.left())), static_cast<int>(std::ceil(a.top()))),
                        QPoint(static_cast<int>(std::floor(a.right())) - 1, static_cast<int>(std::floor(a.bottom())) - 1));
    const QRegion around = QRegion(QRect(QPoint(), c.size())) - QRegion(covered);
    for (const QRect& r : around) g.fillRect(r, kOutside);
    paintDots(g, c.size());

    g.setRenderHint(QPainter::Antialiasing);
    g.setBrush(Qt::NoBrush);
    const double t = kTwipsPerPixel;
    if (!workArea_.isNull()) {
        g.setPen(QPen(kWorkAreaLine, 1.5, Qt::DashLine));
        g.drawRect(QRectF(view_.toScreen(workArea_.topLeft() / t), view_.toScreen(workArea_.bottomRight() / t))
                       .normalized());
    }
    // The tool: a ring with a cross, the size of a fingertip on the screen.
    const QPointF at = view_.toScreen(tool_ / t);
    g.setPen(QPen(kToolMark, 1.5));
    g.drawEllipse(at, 6, 6);
    g.drawLine(at - QPointF(10, 0), at + QPointF(10, 0));
    g.drawLine(at - QPointF(0, 10), at + QPointF(0, 10));
}

void Canvas::resizeEvent(QResizeEvent* e) {
    QFrame::resizeEvent(e);
    const QRect c = contentsRect();
    fit_->adjustSize();
    fit_->move(c.right() + 1 - fit_->width() - 4, c.top() + 4);
    if (!viewChosen_) {
        showWholeArea();
        return;
    }
    // The drawing grows up from the lower edge: that edge stays in place.
    view_.pan += QPointF(0, e->size().height() - e->oldSize().height());
}

void Canvas::showWholeArea() {
    // As large as it fits, on the lower edge; at the window's first size,
    // pixel for pixel.
    const QSize c = contentsRect().size();
    CanvasView v;
    v.zoom = std::clamp(std::min(static_cast<double>(c.width()) / kWidth, static_cast<double>(c.height()) / kHeight),
                        CanvasView::kMinZoom, CanvasView::kMaxZoom);
    v.pan = QPointF((c.width() - kWidth * v.zoom) / 2, c.height() - kHeight * v.zoom);
    setView(v, false);
}

void Canvas::mouseMoveEvent(QMouseEvent* e) {
    const QPointF at = e->position() - QPointF(contentsRect().topLeft());
    if (dragging_) {
        CanvasView v = view_;
        v.pan += at - dragFrom_;
        dragFrom_ = at;
        setView(v, true);
    }
    // Positions are read in the drawing area only, not around it.
    const QPointF p = view_.toArea(at);
    const bool inside = p.x() >= 0 && p.x() < kWidth && p.y() >= 0 && p.y() < kHeight;
    if (inside && onMouseMove) onMouseMove(p.x() * kTwipsPerPixel, p.y() * kTwipsPerPixel);
    QFrame::mouseMoveEvent(e);
}

void Canvas::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QFrame::mousePressEvent(e);
    dragging_ = true;
    dragFrom_ = e->position() - QPointF(contentsRect().topLeft());
    setCursor(Qt::ClosedHandCursor);
}

void Canvas::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QFrame::mouseReleaseEvent(e);
    dragging_ = false;
    unsetCursor();
}

void Canvas::mouseDoubleClickEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return QFrame::mouseDoubleClickEvent(e);
    showWholeArea();
}

void Canvas::wheelEvent(QWheelEvent* e) {
    CanvasView v = view_;
    v.zoomAt(e->position() - QPointF(contentsRect().topLeft()),
             std::pow(kNotchZoom, e->angleDelta().y() / 120.0));
    setView(v, true);
    e->accept();
}

}  // namespace pm
