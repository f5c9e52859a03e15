#include "app/StatusField.h"

#include <QPainter>
#include <QStyle>

namespace pm {

StatusField::StatusField(QWidget* parent) : QLabel(parent) {
    setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    setTextFormat(Qt::PlainText);
}

void StatusField::setText(const QString& text) {
    if (text == this->text()) return;
    QLabel::setText(text);
    updateTip();
    emit textChanged(text);
}

void StatusField::setDetail(const QString& detail) {
    detail_ = detail;
    updateTip();
}

bool StatusField::elided() const {
    return fontMetrics().horizontalAdvance(text()) > contentsRect().width();
}

QSize StatusField::minimumSizeHint() const { return {0, QLabel::minimumSizeHint().height()}; }

QSize StatusField::sizeHint() const { return {0, QLabel::sizeHint().height()}; }

void StatusField::updateTip() {
    QString tip = text();
    if (!detail_.isEmpty()) tip += (tip.isEmpty() ? QString() : QStringLiteral("\n")) + detail_;
    if (tip != toolTip()) setToolTip(tip);
}

void StatusField::paintEvent(QPaintEvent* /*e*/) {
    // QLabel::setText, called on the base, repaints: the tooltip follows it
    // here.
    updateTip();
    QPainter p(this);
    const QRect r = contentsRect();
    const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, r.width());
    style()->drawItemText(&p, r, static_cast<int>(alignment()), palette(), isEnabled(), shown,
                          foregroundRole());
}

}  // namespace pm
