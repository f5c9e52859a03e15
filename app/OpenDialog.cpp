#include "app/OpenDialog.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCompleter>
#include <QFileDialog>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QTimer>
#include <QTranslator>

namespace pm {

namespace {

void HideCompletions(const QFileDialog& dialog) {
    for (QCompleter* c : dialog.findChildren<QCompleter*>()) {
        if (c->popup() != nullptr) c->popup()->hide();
    }
}

}  // namespace

bool RunOpenDialog(QFileDialog& dialog, const QString& lastChosen) {
    if (!lastChosen.isEmpty()) dialog.selectFile(lastChosen);
    // Once the dialog is up, its name field holds the name all selected.
    QTimer::singleShot(0, &dialog, [&dialog] {
        if (auto* name = dialog.findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) {
            name->setFocus(Qt::OtherFocusReason);
            name->selectAll();
        }
    });
    const bool chosen = dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty();
    HideCompletions(dialog);
    return chosen;
}

bool LoadQtPortuguese() {
    auto* qt = new QTranslator(qApp);
    if (!qt->load(QLocale(QLocale::Portuguese, QLocale::Brazil), QStringLiteral("qtbase"),
                  QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    QCoreApplication::installTranslator(qt);
    return true;
}

}  // namespace pm
