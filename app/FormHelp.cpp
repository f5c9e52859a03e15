#include <QDesktopServices>
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

}  // namespace pm
