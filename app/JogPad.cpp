#include "app/JogPad.h"

#include <QComboBox>
#include <QGroupBox>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QPushButton>

#include "app/MachineThread.h"
#include "app/Pictures.h"
#include "app/Widgets.h"
#include "jog/JogXY.h"
#include "motion/Motion.h"

namespace pm {
namespace {

// The direction an arrow key jogs, or none.
bool ArrowKey(int key, int& dx, int& dy) {
    dx = key == Qt::Key_Right ? 1 : (key == Qt::Key_Left ? -1 : 0);
    dy = key == Qt::Key_Up ? 1 : (key == Qt::Key_Down ? -1 : 0);
    return dx != 0 || dy != 0;
}

}  // namespace

ArrowButton::ArrowButton(QWidget* parent, int dx, int dy) : QToolButton(parent), dx_(dx), dy_(dy) {
    connect(this, &QAbstractButton::pressed, this, [this] {
        if (onHold) onHold(dx_, dy_);
    });
    connect(this, &QAbstractButton::released, this, [this] {
        if (onLetGo) onLetGo();
    });
}

void ArrowButton::keyPressEvent(QKeyEvent* e) {
    int dx = 0;
    int dy = 0;
    if (!ArrowKey(e->key(), dx, dy)) {
        QToolButton::keyPressEvent(e);
        return;
    }
    // The arrow keys jog; they do not move the focus off the pad.
    e->accept();
    if (e->isAutoRepeat()) return;
    keyHeld_ = true;
    if (onHold) onHold(dx, dy);
}

void ArrowButton::keyReleaseEvent(QKeyEvent* e) {
    int dx = 0;
    int dy = 0;
    if (!ArrowKey(e->key(), dx, dy)) {
        QToolButton::keyReleaseEvent(e);
        return;
    }
    e->accept();
    if (e->isAutoRepeat()) return;
    keyHeld_ = false;
    if (onLetGo) onLetGo();
}

void ArrowButton::focusOutEvent(QFocusEvent* e) {
    // A key let go while another window or a message has the focus never
    // reaches this button: losing the focus lets go instead.
    if (keyHeld_) {
        keyHeld_ = false;
        if (onLetGo) onLetGo();
    }
    QToolButton::focusOutEvent(e);
}

JogPad::JogPad(QGroupBox* frame, MachineThread& machine, const MachineSettings& settings)
    : QObject(frame), machine_(machine), settings_(settings) {
    struct Arrow {
        const char* name;
        pictures::Arrow arrow;
        int dx, dy;
        int left, top;
    };
    const std::array<Arrow, 4> pad{{{"Command10", pictures::Arrow::Left, -1, 0, 120, 780},
                                    {"Command11", pictures::Arrow::Right, 1, 0, 1560, 780},
                                    {"Command12", pictures::Arrow::Down, 0, -1, 840, 1140},
                                    {"Command13", pictures::Arrow::Up, 0, 1, 840, 300}}};
    const QColor purple(192, 0, 192);
    for (std::size_t k = 0; k < pad.size(); ++k) {
        auto* b = Named(new ArrowButton(frame, pad[k].dx, pad[k].dy), pad[k].name);
        b->setIcon(QIcon(pictures::JogArrow(pad[k].arrow)));
        b->setIconSize(QSize(32, 32));
        b->setToolButtonStyle(Qt::ToolButtonIconOnly);
        b->setFocusPolicy(Qt::StrongFocus);
        Paint(b, purple);
        Place(b, pad[k].left, pad[k].top, 615, 495);
        b->onHold = [this](int dx, int dy) { Hold(dx, dy); };
        b->onLetGo = [this] { LetGo(); };
        arrows_[k] = b;
    }

    const QFont small = WindowFont(7, false);
    size_ = Named(new QComboBox(frame), "JogStep");
    size_->setFont(small);
    size_->setFocusPolicy(Qt::StrongFocus);
    Place(size_, 60, 1305, 765, 330);
    zero_ = Named(new QPushButton(QStringLiteral("Zerar XY aqui"), frame), "ZerarXY");
    zero_->setFont(small);
    zero_->setToolTip(QStringLiteral("A origem do trabalho passa a ser onde a ferramenta está, sem movê-la"));
    Place(zero_, 1455, 1305, 930, 330);
    connect(zero_, &QPushButton::clicked, this, &JogPad::ZerarXY_Click);
    SettingsChanged(settings);
    size_->setCurrentIndex(1);
}

std::array<QWidget*, 4> JogPad::arrows() const {
    return {arrows_[0], arrows_[1], arrows_[2], arrows_[3]};
}

void JogPad::SettingsChanged(const MachineSettings& settings) {
    settings_ = settings;
    const int at = size_->currentIndex();
    size_->clear();
    for (int i = 0; i < kJogSizes; ++i) size_->addItem(QString::fromStdString(JogSizeText(settings, i)));
    size_->setToolTip(JogInMillimetres(settings)
                          ? QStringLiteral("Passo do jog X e Y")
                          : QStringLiteral("Passo do jog X e Y, em meios-passos (em mm quando os meios-passos "
                                           "por mm estão definidos em \"Máquina\u2026\")"));
    if (at >= 0) size_->setCurrentIndex(at);
}

void JogPad::Hold(int dx, int dy) {
    const int size = size_->currentIndex();
    const long sx = dx * JogStepHalfSteps(settings_, AxisXY::X, size);
    const long sy = dy * JogStepHalfSteps(settings_, AxisXY::Y, size);
    machine_.queue(MachineThread::Gate::MotorJog, [sx, sy](Context& c) { JogXY(c, sx, sy, true); });
}

void JogPad::LetGo() { machine_.queue(MachineThread::Gate::Always, ReleaseXY); }

void JogPad::ZerarXY_Click() {
    machine_.queue(MachineThread::Gate::Idle, [](Context& c) { ZeroXYHere(c.st); });
}

}  // namespace pm
