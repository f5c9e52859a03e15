#include <QApplication>
#include <QCommandLineParser>
#include <QStyleFactory>
#include <QTimer>
#include <cstdio>

#include "app/Form1.h"
#include "app/SettingsStore.h"
#include "port/PortFactory.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("portmill"));
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) QApplication::setStyle(fusion);

    QCommandLineParser args;
    args.setApplicationDescription(QStringLiteral("Comando de fresadora pela porta paralela"));
    args.addHelpOption();
    QCommandLineOption portOption(QStringLiteral("port"),
                                  QStringLiteral("Porta a usar (%1).").arg(QLatin1String(pm::kPortNames)),
                                  QStringLiteral("nome"), QStringLiteral("auto"));
    args.addOption(portOption);
    args.process(app);

    // The port named on the command line, else the one chosen last time
    // ("Trabalho › Porta…"), else the first one found.
    auto settings = std::make_shared<pm::SettingsStore>();
    std::string name = args.value(portOption).toStdString();
    std::string error;
    std::unique_ptr<pm::Port> port;
    if (!args.isSet(portOption) && !settings->port().isEmpty()) {
        name = settings->port().toStdString();
        port = pm::OpenPort(name, &error);
        if (!port) name = "auto";
    }
    if (!port) port = pm::OpenPort(name, &error);
    if (!port) {
        std::fprintf(stderr, "portmill: %s\n", error.c_str());
        return 2;
    }

    pm::Form1::Options options;
    options.settings = settings;
    options.portName = name;
    pm::Form1 form(std::move(port), std::make_unique<pm::RealClock>(), options);
    form.EndOnSignals();
    form.show();
    // A port that cannot be driven is named once, over the window.
    QTimer::singleShot(0, &form, [&form] { form.ReportPortFault(); });
    return QApplication::exec();
}
