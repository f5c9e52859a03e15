#include "app/PreviewPainter.h"

#include "app/Canvas.h"
#include "motion/MachineEvents.h"

namespace pm {

PreviewPainter::PreviewPainter() : image_(Canvas::kWidth, Canvas::kHeight, QImage::Format_RGB32) {
    image_.fill(Qt::white);
}

void PreviewPainter::dot(float x, float y, std::uint32_t colour) {
    int px = 0;
    int py = 0;
    if (!Canvas::PixelOf(x, y, px, py)) return;
    ++dots_;
    reinterpret_cast<QRgb*>(image_.scanLine(py))[px] = colour == DotColour(DotKind::Travel) ? kTravel : kCut;
}

}  // namespace pm
