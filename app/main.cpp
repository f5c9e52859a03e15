#include <QApplication>
#include <QCommandLineParser>
#include <QStyleFactory>
#include <QTimer>
#include <QStatusBar>
#include <cstdio>
#include <vector>

#include "app/Form1.h"
#include "app/OpenDialog.h"
#include "app/SettingsStore.h"
#include "app/StatusLog.h"
#include "app/X11Session.h"
#include "files/SafeFile.h"
#include "motion/Records.h"
#include "port/PortFactory.h"
#include "port/SimOptions.h"

namespace {

int Fail(const std::string& error, int status) {
    std::fprintf(stderr, "portmill: %s\n", pm::ShownText(error).c_str());
    return status;
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("portmill"));
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);
    // Qt's own dialogs and buttons in the window's language.
    pm::LoadQtPortuguese();
    // The jog pad counts key presses and acts on the real release of a key.
    pm::UseDetectableAutoRepeat();

    QCommandLineParser args;
    args.setApplicationDescription(QStringLiteral("Comando de fresadora pela porta paralela"));
    args.addHelpOption();
    QCommandLineOption portOption(QStringLiteral("port"),
                                  QStringLiteral("Porta a usar (%1).").arg(QLatin1String(pm::kPortNames)),
                                  QStringLiteral("nome"), QStringLiteral("auto"));
    QCommandLineOption traceOption(
        QStringLiteral("trace"),
        QStringLiteral("Grava cada acesso à porta em PATH: \"<t_ns> <W|R> <endereço> <valor>\"."),
        QStringLiteral("PATH"));
    QCommandLineOption dotsOption(QStringLiteral("dots"),
                                  QStringLiteral("Grava cada ponto da prévia em PATH: \"<x> <y> <cor>\"."),
                                  QStringLiteral("PATH"));
    QCommandLineOption listOption(
        QStringLiteral("list"),
        QStringLiteral("Grava a lista de comandos em PATH, uma linha cada, posta em dia a cada 100 ms."),
        QStringLiteral("PATH"));
    QCommandLineOption statusOption(
        QStringLiteral("status"),
        QStringLiteral("Grava em PATH cada texto novo da barra de estado: \"<campo>\\t<texto>\"."),
        QStringLiteral("PATH"));
    QCommandLineOption simStartOption(
        QStringLiteral("sim-start"),
        QStringLiteral("Máquina simulada: onde estão os eixos ao começar, em passos."),
        QStringLiteral("X,Y,Z"));
    QCommandLineOption simZTopOption(
        QStringLiteral("sim-ztop"),
        QStringLiteral("Máquina simulada: onde fecha a chave do topo de Z, em passos."),
        QStringLiteral("N"));
    QCommandLineOption simStartRateOption(
        QStringLiteral("sim-start-rate"),
        QStringLiteral("Máquina simulada: os motores X e Y perdem o passo mais rápido que N "
                       "meios-passos/s a partir do repouso."),
        QStringLiteral("N"));
    QCommandLineOption simAccelOption(
        QStringLiteral("sim-accel"),
        QStringLiteral("Máquina simulada: os motores X e Y perdem o passo quando mudam de velocidade "
                       "mais depressa que a aceleração de N meios-passos/s² permite."),
        QStringLiteral("N"));
    QCommandLineOption simBacklashOption(
        QStringLiteral("sim-backlash"),
        QStringLiteral("Máquina simulada: a folga dos carros X e Y, em meios-passos."),
        QStringLiteral("X,Y"));
    args.addOptions({portOption, traceOption, dotsOption, listOption, statusOption, simStartOption, simZTopOption,
                     simStartRateOption, simAccelOption, simBacklashOption});
    args.process(app);

    // The port named on the command line, else the one chosen last time
    // ("Trabalho › Porta…"), else the first one found.
    auto settings = std::make_shared<pm::SettingsStore>();
    std::string name = args.value(portOption).toStdString();
    std::string error;
    pm::SimOptions sim;
    if (args.isSet(simStartOption) &&
        !pm::ParseSimStart(args.value(simStartOption).toStdString(), sim, error)) {
        return Fail(error, 2);
    }
    if (args.isSet(simZTopOption) &&
        !pm::ParseSimZTop(args.value(simZTopOption).toStdString(), sim, error)) {
        return Fail(error, 2);
    }
    for (const QCommandLineOption* o : {&simStartRateOption, &simAccelOption, &simBacklashOption}) {
        const std::string name = "--" + o->names().constFirst().toStdString();
        if (args.isSet(*o) && !pm::ParseSimLimit(name, args.value(*o).toStdString(), sim, error))
            return Fail(error, 2);
    }
    std::unique_ptr<pm::Port> port;
    if (!args.isSet(portOption) && !settings->port().isEmpty()) {
        name = settings->port().toStdString();
        port = pm::OpenPort(name, &error);
        if (!port) name = "auto";
    }
    if (!port) port = pm::OpenPort(name, &error);
    if (!port) return Fail(error, 2);
    // The window's clock; the simulated motors are judged on it.
    auto clock = std::make_unique<pm::RealClock>();
    const pm::Clock* time = clock.get();
    if (!pm::SetUpSimulatedMachine(*port, sim, error, [time] { return time->nowNs(); }))
        return Fail(error, 2);

    // Records for diagnosis, on the clock the window runs on; no two of
    // them in one file.
    std::vector<std::string> recordPaths;
    for (const QCommandLineOption* o : {&traceOption, &dotsOption, &listOption, &statusOption}) {
        if (args.isSet(*o)) recordPaths.push_back(QFile::encodeName(args.value(*o)).toStdString());
    }
    if (const std::string same = pm::SameFileConflict({}, recordPaths); !same.empty()) return Fail(same, 2);
    pm::StatusLog statusLog;
    if (args.isSet(statusOption) &&
        !statusLog.open(QFile::encodeName(args.value(statusOption)).toStdString(), error)) {
        return Fail(error, 1);
    }
    pm::RunRecords records;
    if (!records.open(QFile::encodeName(args.value(traceOption)).toStdString(),
                      QFile::encodeName(args.value(dotsOption)).toStdString(),
                      QFile::encodeName(args.value(listOption)).toStdString(), error)) {
        return Fail(error, 1);
    }
    port = records.port(std::move(port), *clock);

    pm::Form1::Options options;
    options.settings = settings;
    options.portName = name;
    options.records = &records;
    pm::Form1 form(std::move(port), std::move(clock), options);
    form.EndOnSignals();
    statusLog.follow(*form.statusBar());
    pm::KeepEmptyTitle(&form);
    form.show();
    // A port that cannot be driven is named once, over the window.
    QTimer::singleShot(0, &form, [&form] { form.ReportPortFault(); });
    return QApplication::exec();
}
