#pragma once
#include <QImage>
#include <cstdint>

namespace pm {

// The chosen file's path, drawn before it runs: every dot a job would put on
// the canvas, on the pixel the job's dot takes, in light shades of the job's
// own colours (travel green, cut blue), so that the job's dots stand out
// as they cover it.
class PreviewPainter {
public:
    PreviewPainter();
    // One dot of the dry run, in canvas twips, with the job's colour for it.
    void dot(float x, float y, std::uint32_t colour);
    const QImage& image() const { return image_; }
    long long dots() const { return dots_; }

    static constexpr QRgb kTravel = 0xFFB4E6B4;
    static constexpr QRgb kCut = 0xFFA0BEF5;

private:
    QImage image_;
    long long dots_ = 0;
};

}  // namespace pm
