// Takes the picture of the question "Fresar" asks with the tool at the top,
// for the documentation: on the simulated machine with the Z top switch
// closed, "Ativar Motores" is ticked, the square sample chosen and "Fresar"
// clicked; ImageMagick's `import` grabs the X screen with the question up.
// Run under xvfb-run:
//   shoot_question OUT.png SAMPLE.red
#include <QApplication>
#include <QCheckBox>
#include <QStyleFactory>
#include <QTimer>
#include <QToolButton>

#include "app/Form1.h"
#include "app/tools/GrabScreen.h"
#include "port/SimulatedMachine.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("portmill"));
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("fresar-no-topo.png");
    const std::string sample = argc > 2 ? argv[2] : "samples/quadrado.red";

    // The tool stands at the top: the switch is closed from the first poll.
    pm::SimulatedMachine::Setup setup;
    setup.z = setup.zTop;
    pm::Form1 form(std::make_unique<pm::SimulatedMachine>(setup), std::make_unique<pm::RealClock>());
    form.move(0, 0);
    form.show();
    form.SetCaption(sample);

    QTimer::singleShot(300, &form, [&] {
        if (auto* c = form.findChild<QCheckBox*>(QStringLiteral("Check1"))) c->setChecked(true);
    });
    // The question is modal: the grab runs from the timer inside its loop.
    QTimer::singleShot(1500, &form, [&] { GrabScreenAndExit(form, out); });
    QTimer::singleShot(800, &form, [&] {
        if (auto* b = form.findChild<QToolButton*>(QStringLiteral("Command1"))) b->click();
    });
    return QApplication::exec();
}
