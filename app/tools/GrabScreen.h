#pragma once
// Shared by the documentation's picture tools: brings the window up to date,
// has ImageMagick's `import` grab the X screen into `out`, and ends the
// process with import's verdict.
#include <QCoreApplication>
#include <QProcess>
#include <QString>
#include <cstdio>
#include <cstdlib>

#include "app/Form1.h"

[[noreturn]] inline void GrabScreenAndExit(pm::Form1& form, const QString& out) {
    form.refreshNow();
    for (int i = 0; i < 20; ++i) QCoreApplication::processEvents();
    const int rc = QProcess::execute(QStringLiteral("import"),
                                     {QStringLiteral("-window"), QStringLiteral("root"), out});
    std::fprintf(stderr, "import: %d\n", rc);
    std::_Exit(rc == 0 ? 0 : 1);
}
