#include "app/CanvasView.h"

#include <algorithm>

namespace pm {

void CanvasView::zoomAt(QPointF screen, double factor) {
    const double to = std::clamp(zoom * factor, kMinZoom, kMaxZoom);
    pan = screen - (screen - pan) * (to / zoom);
    zoom = to;
}

CanvasView CanvasView::Fit(const QRectF& rect, const QSizeF& size) {
    // A twentieth of the canvas stays free around the drawing; a line or a
    // single dot counts one pixel across.
    constexpr double kMargin = 0.9;
    const double w = std::max(rect.width(), 1.0);
    const double h = std::max(rect.height(), 1.0);
    CanvasView v;
    v.zoom = std::clamp(std::min(size.width() / w, size.height() / h) * kMargin, kMinZoom, kMaxZoom);
    const QPointF centre(rect.x() + w / 2, rect.y() + h / 2);
    v.pan = QPointF(size.width() / 2, size.height() / 2) - centre * v.zoom;
    return v;
}

}  // namespace pm
