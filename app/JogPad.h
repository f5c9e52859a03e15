#pragma once
#include <QObject>
#include <QToolButton>
#include <array>
#include <functional>

#include "motion/MachineSettings.h"

class QComboBox;
class QGroupBox;
class QPushButton;

namespace pm {

class MachineThread;

// A purple arrow of the jog pad: the mouse button or the space bar held on
// it, or an arrow key while it has the focus, runs onHold(dx, dy) at the
// press (dx, dy: -1, 0 or 1, the arrow key's own direction) and onLetGo at
// the release; the auto-repeat of a held key runs nothing.
class ArrowButton final : public QToolButton {
    Q_OBJECT
public:
    ArrowButton(QWidget* parent, int dx, int dy);
    std::function<void(int dx, int dy)> onHold;
    std::function<void()> onLetGo;

protected:
    void keyPressEvent(QKeyEvent* e) override;
    void keyReleaseEvent(QKeyEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

private:
    int dx_, dy_;
    bool keyHeld_ = false;  // an arrow key holds the jog
};

// The X and Y half of the jog pad in the frame MotorJog: the four purple
// arrows (Command13 up, Command12 down, Command10 left, Command11 right),
// the step size chooser and "Zerar XY aqui". What they do runs on the
// machine thread.
class JogPad final : public QObject {
    Q_OBJECT
public:
    JogPad(QGroupBox* frame, MachineThread& machine, const MachineSettings& settings);
    // In the order of the tab chain: left, right, down, up.
    std::array<QWidget*, 4> arrows() const;
    QComboBox* sizeChooser() const { return size_; }
    QPushButton* zeroHere() const { return zero_; }
    // The sizes are named in mm once the half-steps per mm are set.
    void SettingsChanged(const MachineSettings& settings);

    // Handlers.
    void Hold(int dx, int dy);
    void LetGo();
    void ZerarXY_Click();

private:
    MachineThread& machine_;
    MachineSettings settings_;
    std::array<ArrowButton*, 4> arrows_{};
    QComboBox* size_ = nullptr;
    QPushButton* zero_ = nullptr;
};

}  // namespace pm
