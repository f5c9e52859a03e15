#pragma once
#include <QColor>
#include <QFont>
#include <QIcon>
#include <QKeyEvent>
#include <QPalette>
#include <QPixmap>
#include <QLabel>
#include <QMouseEvent>
#include <QToolButton>
#include <functional>

namespace pm {

// The layout is given in twips; at 96 dpi a pixel is 15 of them.
constexpr int Px(int twips) { return twips / 15; }

inline void Place(QWidget* w, int left, int top, int width, int height) {
    w->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

// A label sized to its text.
inline void PlaceAuto(QWidget* w, int left, int top) {
    w->move(Px(left), Px(top));
    w->adjustSize();
}

// "MS Sans Serif" where the desktop has it, else its sans font.
inline QFont WindowFont(double points, bool bold) {
    QFont f;
    f.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"),
                   QStringLiteral("Sans Serif")});
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

template <typename W>
W* Named(W* w, const char* name) {
    w->setObjectName(QString::fromLatin1(name));
    return w;
}

inline QLabel* RedSign(QWidget* parent, const char* name, const char* text, int left, int top) {
    auto* l = Named(new QLabel(QString::fromLatin1(text), parent), name);
    l->setFont(WindowFont(12, true));
    QPalette p = l->palette();
    p.setColor(QPalette::WindowText, QColor(255, 0, 0));
    l->setPalette(p);
    PlaceAuto(l, left, top);
    return l;
}

// A graphical button: a picture over its caption on its own face colour.
template <typename B>
B* Graphical(QWidget* parent, const char* name, const QPixmap& picture, const QString& caption) {
    auto* b = Named(new B(parent), name);
    b->setIcon(QIcon(picture));
    b->setIconSize(QSize(32, 32));
    b->setText(caption);
    b->setToolButtonStyle(caption.isEmpty() ? Qt::ToolButtonIconOnly
                                            : Qt::ToolButtonTextUnderIcon);
    b->setFocusPolicy(Qt::StrongFocus);
    return b;
}

inline void Paint(QWidget* w, QColor face) {
    // Disabled, the button keeps the plain grey face, so a locked pad shows.
    QPalette p = w->palette();
    p.setColor(QPalette::Active, QPalette::Button, face);
    p.setColor(QPalette::Inactive, QPalette::Button, face);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}


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
