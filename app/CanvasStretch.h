#pragma once
#include <QObject>
#include <QSize>

class QWidget;

namespace pm {

// Lets the window's controls, each at its fixed place, follow the window's
// size: the canvas takes the width and the height gained or lost, and what
// stands below it moves with its lower edge (the lamps drawn over that edge
// too). The area is never smaller than at the start.
class CanvasStretch final : public QObject {
    Q_OBJECT
public:
    CanvasStretch(QWidget* area, QWidget* canvas);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* area_;
    QWidget* canvas_;
    QSize last_;
};

}  // namespace pm
