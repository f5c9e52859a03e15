#pragma once
#include <QFrame>
#include <QImage>
#include <cstdint>
#include <functional>

#include "app/CanvasView.h"

class QToolButton;

namespace pm {

// Picture1, the preview: a white drawing area of 653 x 381 pixels (9795 x
// 5715 twips) inside a sunken border. Dots go into an image, so they stay
// when the window is covered or minimised; the screen is refreshed from it
// at most about 60 times a second.
//
// The canvas grows with the window and shows the drawing area through a
// view: the whole area as large as it fits at first, then as the operator
// sets it (the wheel zooms at the pointer, a drag with the left button pans,
// "Ajustar" fits the drawing, a double click shows the whole area again).
// The view never changes the image: a dot is kept wherever the view goes.
// Over it the canvas outlines the machine's work area and marks the tool.
class Canvas final : public QFrame {
    Q_OBJECT
public:
    static constexpr int kWidth = 653;
    static constexpr int kHeight = 381;
    static constexpr int kTwipsPerPixel = 15;

    explicit Canvas(QWidget* parent);

    // One dot at canvas twips (x, y); a colour packed with red in the low
    // byte. Points outside the drawing area are dropped. The tool is there.
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

    const CanvasView& view() const { return view_; }
    // Shows twips (a rectangle in canvas twips) as large as the canvas holds.
    void fitTwips(const QRectF& twips);
    // The machine's work area in canvas twips; none when null.
    void setWorkArea(const QRectF& twips);
    const QRectF& workArea() const { return workArea_; }
    // Where the tool stands, in canvas twips.
    void setTool(QPointF twips);
    QPointF tool() const { return tool_; }

    // The pointer position in canvas twips, for Picture1_MouseMove.
    std::function<void(double x, double y)> onMouseMove;
    // Called when a dot or a clear needs the screen refreshed.
    std::function<void()> onDirty;
    // The button "Ajustar" over the canvas.
    std::function<void()> onFit;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void wheelEvent(QWheelEvent* e) override;

private:
    void setView(const CanvasView& v, bool chosen);
    void showWholeArea();
    void paintDots(QPainter& g, QSize size) const;

    QImage image_;
    QImage underlay_;
    CanvasView view_;
    bool viewChosen_ = false;  // the operator's view, or the whole area
    QRectF workArea_;
    QPointF tool_;
    bool dragging_ = false;
    QPointF dragFrom_;
    QToolButton* fit_ = nullptr;
};

}  // namespace pm
