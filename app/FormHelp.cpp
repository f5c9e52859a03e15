#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include "app/Form1.h"
#include "motion/Motion.h"

namespace pm {

void Form1::OpenOutside(const QUrl& url, const QString& shown) {
    if (QDesktopServices::openUrl(url)) return;
    const QString what = url.isLocalFile() ? QStringLiteral("o arquivo") : QStringLiteral("o endereço");
    ShowMessage(QStringLiteral("Não foi possível abrir %1\n%2\n\nNão há programa que o abra neste computador; "
                          "abra-o à mão.")
               .arg(what, shown)
               .toStdString(),
           kMsgTitle);
}

QString Form1::DataFile(const QString& name) {
    const QDir program(QCoreApplication::applicationDirPath());
    QString beside = program.filePath(name);
    if (QFileInfo::exists(beside)) return beside;
    QString installed =
        QDir::cleanPath(program.filePath(QStringLiteral("../share/portmill/") + name));
    if (QFileInfo::exists(installed)) return installed;
    QString here = QDir::current().filePath(name);
    if (QFileInfo::exists(here)) return here;
    return beside;  // the program that opens it says what is missing
}

}  // namespace pm
