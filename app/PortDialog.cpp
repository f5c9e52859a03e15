#include "app/PortDialog.h"

#include <QButtonGroup>
#include <QDialogButtonBox>
#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "motion/Motion.h"

namespace pm {

QStringList PortDialog::FoundDevices() {
    QStringList out;
    const QDir dev(QStringLiteral("/dev"));
    for (const QString& n : dev.entryList({QStringLiteral("parport*")}, QDir::System, QDir::Name))
        out << dev.filePath(n);
    return out;
}

PortDialog::PortDialog(const QString& current, const QStringList& devices, QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("Porta"));
    setWindowTitle(QStringLiteral("Porta"));
    group_ = new QButtonGroup(this);
    auto* box = new QVBoxLayout(this);
    const auto add = [&](const QString& caption, const QString& name) {
        auto* b = new QRadioButton(caption, this);
        b->setObjectName(name);
        group_->addButton(b, static_cast<int>(names_.size()));
        names_ << name;
        box->addWidget(b);
        return b;
    };
    add(QStringLiteral("Máquina simulada"), QStringLiteral("sim"));
    for (const QString& d : devices) add(QStringLiteral("Porta paralela %1").arg(d), QStringLiteral("ppdev:") + d);
    if (devices.isEmpty()) {
        auto* none = new QLabel(QStringLiteral("Nenhuma porta paralela encontrada (/dev/parport*)."), this);
        none->setObjectName(QStringLiteral("nenhuma"));
        box->addWidget(none);
    }
    auto* row = new QHBoxLayout;
    auto* io = new QRadioButton(QStringLiteral("E/S direta no endereço"), this);
    io->setObjectName(QStringLiteral("io"));
    group_->addButton(io, static_cast<int>(names_.size()));
    names_ << QStringLiteral("io");
    base_ = new QLineEdit(QStringLiteral("0x378"), this);
    base_->setObjectName(QStringLiteral("endereco"));
    row->addWidget(io);
    row->addWidget(base_);
    box->addLayout(row);
    box->addWidget(new QLabel(QStringLiteral("A E/S direta precisa do programa rodando como root."), this));

    // The port in use is chosen.
    int chosen = 0;
    if (current.startsWith(QStringLiteral("io"))) {
        chosen = static_cast<int>(names_.size()) - 1;
        const qsizetype colon = current.indexOf(QLatin1Char(':'));
        if (colon >= 0) base_->setText(current.mid(colon + 1));
    } else if (const qsizetype at = names_.indexOf(current); at >= 0) {
        chosen = static_cast<int>(at);
    }
    group_->button(chosen)->setChecked(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancelar"));
    connect(buttons, &QDialogButtonBox::accepted, this, &PortDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &PortDialog::reject);
    box->addWidget(buttons);
}

void PortDialog::accept() {
    const int id = group_->checkedId();
    if (id < 0) return;
    if (id == static_cast<int>(names_.size()) - 1) {
        bool ok = false;
        const QString text = base_->text().trimmed();
        const uint base = text.toUInt(&ok, 0);  // 0x378, 888 or 01570
        if (!ok || base == 0 || base > 0xFFFD) {
            QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kMsgTitle),
                            QStringLiteral("\"%1\" não é um endereço de porta (por exemplo 0x378).").arg(text),
                            QMessageBox::Ok, this);
            box.setObjectName(QStringLiteral("MsgBox"));
            box.exec();
            return;
        }
        name_ = QStringLiteral("io:0x%1").arg(base, 0, 16);
    } else {
        name_ = names_.at(id);
    }
    QDialog::accept();
}

}  // namespace pm
