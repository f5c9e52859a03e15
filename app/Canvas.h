#pragma once
#include <QFrame>
#include <QImage>
#include <cstdint>
#include <functional>

namespace pm {

// Picture1, the preview: a white drawing area of 653 x 381 pixels (9795 x
// 5715 twips) inside a sunken border. Dots go into an image, so they stay
// when the window is covered or minimised; the screen is refreshed from it
// at most about 60 times a second.
class Canvas final : public QFrame {
    Q_OBJECT
public:
    static constexpr int kWidth = 653;
    static constexpr int kHeight = 381;
    static constexpr int kTwipsPerPixel = 15;

    explicit Canvas(QWidget* parent);

    // One dot at canvas twips (x, y); a colour packed with red in the low
    // byte. Points outside the drawing area are dropped.
    void PSet(float x, float y, std::uint32_t colour);
    // Clears to the underlay: white, or the chosen file's preview.
    void Cls();
    const QImage& image() const { return image_; }

    // The pixel a dot at canvas twips (x, y) lands on; false when it falls
    // outside the drawing area.
    static bool PixelOf(float x, float y, int& px, int& py);

    // What a clear leaves on the canvas: the preview of the chosen file, or
    // a null image for white. With clearNow, the canvas shows it at once.
    void setUnderlay(const QImage& underlay, bool clearNow);
    const QImage& underlay() const { return underlay_; }

    // The pointer position in canvas twips, for Picture1_MouseMove.
    std::function<void(double x, double y)> onMouseMove;
    // Called when a dot or a clear needs the screen refreshed.
    std::function<void()> onDirty;

protected:
    void paintEvent(QPaintEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;

private:
    QImage image_;
    QImage underlay_;
};

}  // namespace pm
