// Takes the window's picture after homing, for the documentation: on the
// simulated machine, "Home XY" and then "Home Z" are clicked, and once both
// have ended ImageMagick's `import` grabs the X screen with the X, Y and Z
// lamps lit. Run under xvfb-run:
//   shoot_homing OUT.png
#include <QApplication>
#include <QPushButton>
#include <QStyleFactory>
#include <QTimer>

#include "app/Form1.h"
#include "app/tools/GrabScreen.h"
#include "port/SimulatedMachine.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("portmill"));
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("homing.png");

    // Close to the switches, so that the homing takes a second of real time.
    pm::SimulatedMachine::Setup setup;
    setup.x = 600;
    setup.y = 400;
    pm::Form1 form(std::make_unique<pm::SimulatedMachine>(setup), std::make_unique<pm::RealClock>());
    form.move(0, 0);
    form.show();

    auto click = [&form](const char* name) {
        if (auto* b = form.findChild<QPushButton*>(QString::fromLatin1(name))) b->click();
    };
    // Home XY runs on the machine thread; Home Z, clicked meanwhile, waits
    // behind it in the queue and runs when it ends.
    QTimer::singleShot(500, &form, [&] { click("Command4"); });
    QTimer::singleShot(800, &form, [&] { click("Command3"); });
    QTimer::singleShot(2500, &form, [&] { GrabScreenAndExit(form, out); });
    return QApplication::exec();
}
