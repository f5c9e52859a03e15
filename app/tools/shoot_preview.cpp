// Takes the picture of a file just opened: the machine homed and moved a
// little, so the status bar shows where it stands, then the drawing chosen
// and its grey preview fitted to the canvas ("Ajustar escala"). Run under
// xvfb-run:
//   shoot_preview OUT.png DRAWING.red [DIVISOR]   (the divisor 0.3 by default)
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QStyleFactory>
#include <QTimer>

#include "app/Form1.h"
#include "app/JobMenu.h"
#include "app/tools/GrabScreen.h"
#include "port/SimulatedMachine.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("portmill"));
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
    if (argc < 3) {
        std::fprintf(stderr, "usage: shoot_preview OUT.png DRAWING.red\n");
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    const QString plot = QString::fromLocal8Bit(argv[2]);

    auto machine = std::make_unique<pm::SimulatedMachine>();
    machine->setPosition(pm::SimulatedMachine::Axis::X, 300);
    machine->setPosition(pm::SimulatedMachine::Axis::Y, 200);
    pm::Form1 form(std::move(machine), std::make_unique<pm::RealClock>());
    form.move(0, 0);
    form.show();

    QTimer::singleShot(300, &form, [&form, &out, &plot, argc, argv] {
        // Home XY, then "Ir para o Limite" with the motors on: the machine
        // stands at 141 x 70 half-steps from its switches. Each runs to its
        // end on the machine thread before the next change is made.
        form.findChild<QPushButton*>(QStringLiteral("Command4"))->click();
        form.settle();
        auto* motors = form.findChild<QCheckBox*>(QStringLiteral("Check1"));
        motors->setChecked(true);
        form.SetText(1, "500");
        form.SetText(2, "250");
        form.findChild<QPushButton*>(QStringLiteral("Command2"))->click();
        form.settle();
        motors->setChecked(false);
        form.SetText(1, "");
        form.SetText(2, "");

        // A small divisor spreads the sample drawing over the canvas.
        form.SetText(3, argc > 3 ? argv[3] : "0.3");
        form.OpenChosenFile(plot);
        form.waitForEstimates();
        form.jobMenu().AjustarEscala_Click();
        form.waitForEstimates();
        QTimer::singleShot(300, &form, [&form, &out, &plot, argc, argv] { GrabScreenAndExit(form, out); });
    });
    return QApplication::exec();
}
