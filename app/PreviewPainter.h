#pragma once
#include <QImage>
#include <cstdint>

namespace pm {

// The chosen file's path, drawn before it runs: every dot a job would put on
// the canvas, in light grey on white, on the pixel the job's dot takes. The
// job's own dots then cover it as they come.
class PreviewPainter {
public:
    PreviewPainter();
    // One dot of the dry run, in canvas twips; its colour is not used.
    void dot(float x, float y);
    const QImage& image() const { return image_; }
    long long dots() const { return dots_; }

    static constexpr QRgb kGrey = 0xFFC8C8C8;

private:
    QImage image_;
    long long dots_ = 0;
};

}  // namespace pm
