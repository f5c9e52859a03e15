// The status bar laid out in two rows of fields, each wide enough to be
// read whole at the window's size: what the chosen file will take and the
// divisor it is drawn with, the port; the running job, the stopping point,
// where the machine stands.
#include <QBoxLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <array>

#include "app/Form1.h"
#include "app/ScaleTexts.h"
#include "app/StatusField.h"

namespace pm {

void Form1::ArrangeStatusBar() {
    divisorStatus_ = new StatusField(statusBar());
    divisorStatus_->setObjectName(QStringLiteral("divisorStatus"));
    const auto showDivisor = [this] {
        divisorStatus_->setText(DivisorStatusText(Text3_->text().toStdString()));
    };
    connect(Text3_, &QLineEdit::textChanged, this, showDivisor);
    showDivisor();

    struct Place {
        const char* name;
        int share;  // of its row's width, in percent
    };
    const std::array<std::array<Place, 4>, 2> rows{{
        {{{"estimateStatus", 60}, {"divisorStatus", 13}, {"portStatus", 17}, {"realTimeStatus", 10}}},
        {{{"progressStatus", 45}, {"jobStatus", 21}, {"positionStatus", 34}, {nullptr, 0}}},
    }};
    auto* panel = new QWidget(statusBar());
    panel->setObjectName(QStringLiteral("statusPanel"));
    auto* box = new QVBoxLayout(panel);
    box->setContentsMargins(0, 0, 0, 0);
    box->setSpacing(0);
    for (const auto& row : rows) {
        auto* line = new QHBoxLayout;
        box->addLayout(line);
        for (const Place& p : row) {
            if (p.name == nullptr) continue;
            auto* f = statusBar()->findChild<StatusField*>(QString::fromLatin1(p.name), Qt::FindDirectChildrenOnly);
            if (f == nullptr) continue;
            statusBar()->removeWidget(f);
            line->addWidget(f, p.share);
            f->show();
        }
    }
    statusBar()->addPermanentWidget(panel, 1);
    // Two rows in twice the menu bar's height.
    statusBar()->setFixedHeight(2 * menuBar()->sizeHint().height());
}

}  // namespace pm
