// Takes the window's picture for the documentation: runs a dry-run job of a
// drawing on the simulated machine and, part-way through, has ImageMagick's
// `import` grab the X screen. Run under xvfb-run:
//   shoot_window OUT.png [DRAWING]
// DRAWING is an HPGL file (converted beside a copy in the temporary folder)
// or a ".red"; without it, a generated frame, rose and star.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStyleFactory>
#include <QTimer>
#include <QToolButton>
#include <QSlider>
#include <cmath>
#include <cstdio>
#include <numbers>

#include "app/Form1.h"
#include "app/tools/GrabScreen.h"
#include "importer/Hpgl.h"
#include "app/StatementModel.h"
#include "port/SimulatedMachine.h"

namespace {

// A drawing in plot units (divisor 3.55): a frame, a rose and a star.
QByteArray Drawing() {
    QByteArray s;
    auto pu = [&](double x, double y) { s += QStringLiteral("PU%1,%2;").arg(std::lround(x)).arg(std::lround(y)).toLatin1(); };
    auto pd = [&](double x, double y) { s += QStringLiteral("PD%1,%2;").arg(std::lround(x)).arg(std::lround(y)).toLatin1(); };
    const double k = 3.55;
    pu(600 * k, 400 * k);
    pd(9200 * k, 400 * k);
    pd(9200 * k, 5300 * k);
    pd(600 * k, 5300 * k);
    pd(600 * k, 400 * k);
    const double cx = 3000 * k, cy = 2850 * k, r = 2100 * k;
    pu(cx + r, cy);
    for (int i = 1; i <= 360; ++i) {
        const double t = i * std::numbers::pi / 180;
        const double rr = r * std::cos(4 * t);
        pd(cx + rr * std::cos(t), cy + rr * std::sin(t));
    }
    const double sx = 6900 * k, sy = 2850 * k, sr = 2000 * k;
    pu(sx, sy + sr);
    for (int i = 1; i <= 5; ++i) {
        const double t = std::numbers::pi / 2 + i * 4 * std::numbers::pi / 5;
        pd(sx + sr * std::cos(t), sy + sr * std::sin(t));
    }
    pu(0, 0);
    return s;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("portmill"));
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
    const QString out = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("screenshot.png");
    QString plot = QDir::temp().filePath(QStringLiteral("portmill-amostra.red"));
    int shootAt = 300;  // statements listed when the picture is taken
    if (argc > 2) {
        const QString given = QString::fromLocal8Bit(argv[2]);
        if (pm::IsHpglFileName(given.toStdString())) {
            const QString copy = QDir::temp().filePath(QFileInfo(given).fileName());
            QFile::remove(copy);
            if (!QFile::copy(given, copy)) return 1;
            plot = QString::fromStdString(pm::PlotFileNameFor(copy.toStdString()));
            const pm::HpglResult r = pm::ConvertHpglFile(copy.toStdString(), plot.toStdString());
            if (!r.ok) {
                std::fprintf(stderr, "%s\n", r.error.c_str());
                return 1;
            }
        } else {
            plot = given;
        }
        shootAt = 20;
    } else {
        QFile f(plot);
        if (!f.open(QIODevice::WriteOnly)) return 1;
        f.write(Drawing());
        f.close();
    }

    auto machine = std::make_unique<pm::SimulatedMachine>();
    machine->setSpareInputs(true, false);  // something on the spare input, to show a lamp
    pm::Form1 form(std::move(machine), std::make_unique<pm::RealClock>());
    form.move(0, 0);
    form.show();
    form.findChild<QSlider*>(QStringLiteral("Slider1"))->setValue(1);
    form.findChild<QSlider*>(QStringLiteral("Slider2"))->setValue(argc > 2 ? 10 : 1);
    // A drawing in plot units of its own program is small: spread it over the canvas.
    if (argc > 2) form.SetText(3, "0.1");
    form.OpenChosenFile(plot);  // and the estimate runs
    form.waitForEstimates();

    // The job runs on the machine thread; the window looks at its list as it
    // fills and takes the picture once enough of the job shows.
    bool shot = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, &form, [&] {
        if (shot || form.statements().size() < static_cast<std::size_t>(shootAt)) return;
        shot = true;
        GrabScreenAndExit(form, out);
    });
    watch.start(5);
    QTimer::singleShot(500, &form, [&] {
        form.findChild<QToolButton*>(QStringLiteral("Command1"))->click();
    });
    return QApplication::exec();
}
