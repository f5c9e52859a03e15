// The canvas's view: a zoom keeps the point under the pointer, a fit shows a
// rectangle centred and as large as the canvas holds.
#include <gtest/gtest.h>

#include "app/CanvasView.h"

namespace pm {
namespace {

TEST(CanvasView, ZoomKeepsThePointUnderThePointerWithinTheLimits) {
    struct Row {
        double zoom;
        QPointF pan, at;
        double factor, want;
    };
    const Row rows[] = {
        {1, {0, 0}, {100, 50}, 2, 2},
        {3, {-40, 10}, {0, 0}, 0.5, 1.5},
        {2, {5, 5}, {300, 200}, 0.1, CanvasView::kMinZoom},
        {60, {-900, -300}, {10, 370}, 2, CanvasView::kMaxZoom},
    };
    for (const Row& r : rows) {
        CanvasView v{r.zoom, r.pan};
        const QPointF under = v.toArea(r.at);
        v.zoomAt(r.at, r.factor);
        EXPECT_DOUBLE_EQ(v.zoom, r.want);
        EXPECT_NEAR(v.toArea(r.at).x(), under.x(), 1e-9);
        EXPECT_NEAR(v.toArea(r.at).y(), under.y(), 1e-9);
    }
}

TEST(CanvasView, FitShowsTheRectangleCentredAndAsLargeAsItGoes) {
    struct Row {
        QRectF rect;
        QSizeF size;
        double zoom;
    };
    const Row rows[] = {
        {{10, 350, 30, 10}, {653, 381}, 653 / 30.0 * 0.9},   // wide: the width fills
        {{600, 0, 20, 200}, {1200, 800}, 800 / 200.0 * 0.9},  // tall: the height fills
        {{5, 5, 0, 0}, {653, 381}, CanvasView::kMaxZoom},     // one dot
        {{0, 0, 653, 381}, {653, 381}, CanvasView::kMinZoom},
    };
    for (const Row& r : rows) {
        const CanvasView v = CanvasView::Fit(r.rect, r.size);
        EXPECT_DOUBLE_EQ(v.zoom, r.zoom);
        const QPointF centre = v.toScreen(r.rect.center());
        EXPECT_NEAR(centre.x(), r.size.width() / 2, 0.5 * v.zoom);
        EXPECT_NEAR(centre.y(), r.size.height() / 2, 0.5 * v.zoom);
    }
}

}  // namespace
}  // namespace pm
