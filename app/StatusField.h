#pragma once
#include <QLabel>

namespace pm {

// A field of the status bar: it keeps the room the bar gives it, never
// pushes a neighbour aside, and shows what does not fit cut short with an
// ellipsis; its tooltip holds the whole text, and below it a detail when one
// is set. text() stays the whole text.
class StatusField final : public QLabel {
    Q_OBJECT
public:
    explicit StatusField(QWidget* parent);

    // QLabel's, and then says so; the same text again changes nothing.
    void setText(const QString& text);
    void setDetail(const QString& detail);
    void clear() { setText(QString()); }
    // Whether the text is drawn cut short at the present width.
    bool elided() const;

    QSize minimumSizeHint() const override;
    QSize sizeHint() const override;

signals:
    void textChanged(const QString& text);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    void updateTip();
    QString detail_;
};

}  // namespace pm
