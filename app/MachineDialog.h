#pragma once
#include <QDialog>
#include <array>

#include "motion/MachineSettings.h"

class QLineEdit;

namespace pm {

// "Máquina…": the half-steps per millimetre, the travel, the Home XY
// allowance, the Z cycles per millimetre, the XY ramps and travel speed, and
// the play of X and Y ("Folga X", "Folga Y"). "OK" checks every value and
// says in a message what is wrong, keeping the dialog open.
class MachineDialog final : public QDialog {
    Q_OBJECT
public:
    MachineDialog(const MachineSettings& m, QWidget* parent);

    // The settings entered, once the dialog was accepted.
    const MachineSettings& result() const { return result_; }

    // Reads the fields' texts (a decimal point or comma; empty is 0 for the
    // values that may be unknown, and "the same as Velocidade" for the travel
    // speed) into m, or says why not.
    // The play of X and Y is in millimetres at the half-steps per mm entered.
    enum Field { StepsX, StepsY, TravelX, TravelY, AllowX, AllowY, ZCycles, Accel, StartRate, TravelSpeed, Lookahead, PlayX, PlayY, kFields };
    static bool Read(const std::array<QString, kFields>& texts, MachineSettings& m, QString& error);

    void accept() override;

private:
    std::array<QLineEdit*, kFields> edits_{};
    MachineSettings result_;
};

}  // namespace pm
