#pragma once
#include <QPointF>
#include <QRectF>
#include <QSizeF>

namespace pm {

// How the canvas shows its drawing area: the area's pixel p appears at
// pan + p * zoom in the canvas's own pixels. The area is never shown smaller
// than one screen pixel to its pixel, so no dot it holds is ever lost.
struct CanvasView {
    static constexpr double kMinZoom = 1;
    static constexpr double kMaxZoom = 64;

    double zoom = 1;
    QPointF pan;

    QPointF toScreen(QPointF area) const { return pan + area * zoom; }
    QPointF toArea(QPointF screen) const { return (screen - pan) / zoom; }
    // Zooms by factor (within the limits), the area's point under `screen`
    // staying there.
    void zoomAt(QPointF screen, double factor);
    // The view that shows rect (in the area's pixels) centred, as large as
    // a canvas of size holds with a margin around it.
    static CanvasView Fit(const QRectF& rect, const QSizeF& size);
};

}  // namespace pm
