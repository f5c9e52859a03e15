#pragma once
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <functional>

namespace pm {

// A label that answers a click (Label5, Label6).
class LinkLabel final : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
    std::function<void()> onClick;

protected:
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()) && onClick) {
            onClick();
        }
        QLabel::mouseReleaseEvent(e);
    }
};

// A graphical button that also hands its key events to the core: every key
// press that produces a character runs onKeyPress (so each auto-repeat runs
// it again), and only the real release of a key runs onKeyUp, not the
// releases that the auto-repeat puts between its presses. The button's own
// key handling (the space bar clicks it on release) follows.
class KeyButton final : public QToolButton {
    Q_OBJECT
public:
    using QToolButton::QToolButton;
    std::function<void()> onKeyPress;
    std::function<void()> onKeyUp;

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (!e->text().isEmpty() && onKeyPress) onKeyPress();
        QToolButton::keyPressEvent(e);
    }
    void keyReleaseEvent(QKeyEvent* e) override {
        if (!e->isAutoRepeat() && onKeyUp) onKeyUp();
        QToolButton::keyReleaseEvent(e);
    }
};

}  // namespace pm
