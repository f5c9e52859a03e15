#include <QGroupBox>
#include <QPushButton>
#include <QToolButton>

#include "app/Form1.h"
#include "app/Widgets.h"

namespace pm {

void Form1::ParkFocus(bool idle) {
    QWidget* focused = focusWidget();
    if (focused == nullptr) return;
    const bool jogStays = motorJogEnabled_ && (idle || running_ == Operation::Jog);
    const bool losesIt =
        (focused == Command1_ && !(command1Enabled_ && idle)) ||
        (MotorJog_->isAncestorOf(focused) && !jogStays) ||
        (!idle && (focused == Command2_ || focused == Command3_ || focused == Command4_ ||
                   focused == Command5_));
    if (!losesIt) return;
    focusBeforeOperation_ = focused;
    centralWidget()->setFocus(Qt::OtherFocusReason);
}

void Form1::ReturnFocus() {
    if (focusBeforeOperation_ == nullptr) return;
    QWidget* back = focusBeforeOperation_;
    focusBeforeOperation_ = nullptr;
    // Only from where it was parked: a control the operator chose since keeps it.
    QWidget* now = focusWidget();
    if ((now == nullptr || now == centralWidget()) && back->isEnabled()) {
        back->setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace pm
