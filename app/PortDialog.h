#pragma once
#include <QDialog>
#include <QStringList>

class QButtonGroup;
class QLineEdit;

namespace pm {

// "Porta…": the simulated machine, each parallel port found (/dev/parportN,
// through the kernel's driver) or direct I/O at a base address. The result
// is a port name as OpenPort knows it.
class PortDialog final : public QDialog {
    Q_OBJECT
public:
    // current: the name in use; devices: the ports found, e.g. "/dev/parport0".
    PortDialog(const QString& current, const QStringList& devices, QWidget* parent);

    // The parallel port devices present on this computer.
    static QStringList FoundDevices();

    // The name chosen, once accepted.
    QString portName() const { return name_; }

    void accept() override;

private:
    QButtonGroup* group_ = nullptr;
    QLineEdit* base_ = nullptr;
    QStringList names_;  // by button id; the last is direct I/O
    QString name_;
};

}  // namespace pm
