#include "app/CanvasStretch.h"

#include <QEvent>
#include <QWidget>

namespace pm {
namespace {

// The lamps reach this far above the canvas's lower edge.
constexpr int kOverEdge = 32;

}  // namespace

CanvasStretch::CanvasStretch(QWidget* area, QWidget* canvas)
    : QObject(area), area_(area), canvas_(canvas), last_(area->minimumSize()) {
    area->installEventFilter(this);
}

bool CanvasStretch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == area_ && event->type() == QEvent::Resize) {
        const QSize now = area_->size().expandedTo(area_->minimumSize());
        const QSize d = now - last_;
        last_ = now;
        if (d.isNull()) return false;
        const int below = canvas_->geometry().bottom() + 1 - kOverEdge;
        for (QWidget* w : area_->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w != canvas_ && w->y() >= below) w->move(w->x(), w->y() + d.height());
        }
        canvas_->resize(canvas_->size() + d);
    }
    return false;
}

}  // namespace pm
