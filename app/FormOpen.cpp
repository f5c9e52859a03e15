// "Abrir": the file dialog, the decision on the chosen file (open it,
// convert it, refuse it, ask about replacing the conversion) and what the
// window does when a conversion ends.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

#include "app/DrawingConversion.h"
#include "app/FileChoice.h"
#include "app/Form1.h"
#include "app/JobMenu.h"
#include "app/OpenDialog.h"
#include "importer/Drawing.h"
#include "motion/Motion.h"

namespace pm {

void Form1::Abrir_Click() {
    const QString plt = QStringLiteral("c:\\plt");
    if (QDir(plt).exists()) dialogo_->setDirectory(plt);
    // The first filter is the one shown: every kind "Abrir" opens.
    dialogo_->setNameFilters({QStringLiteral("Desenhos (*.red *.plt *.hpgl *.hpg *.nc *.ngc *.gcode *.gc *.tap *.svg)"),
                              QStringLiteral("*.red"),
                              QStringLiteral("HPGL (*.plt *.hpgl *.hpg)"),
                              QStringLiteral("G-code (*.nc *.ngc *.gcode *.gc *.tap)"), QStringLiteral("SVG (*.svg)")});
    if (RunOpenDialog(*dialogo_, QFile::decodeName(QByteArray::fromStdString(dialogoFileName_)))) {
        OpenChosenFile(dialogo_->selectedFiles().constFirst());
        return;
    }
    // A dismissed dialog keeps the last name.
    SetCaption(dialogoFileName_);
}

void Form1::OpenChosenFile(const QString& path) {
    const std::string chosen = QFile::encodeName(path).toStdString();
    const std::string inUse = running_ != Operation::None ? runningFile_ : std::string();
    const FileChoice choice = ChooseFile(chosen, inUse, [](const std::string& p) {
        return QFileInfo::exists(QFile::decodeName(QByteArray::fromStdString(p)));
    });
    const QString plotName = QFile::decodeName(QByteArray::fromStdString(choice.plotFile));
    switch (choice.action) {
        case FileAction::Use:
            // A conversion still running would take the choice back later.
            conversion_->cancel();
            dialogoFileName_ = choice.plotFile;
            SetCaption(dialogoFileName_);
            StartEstimate();
            jobMenu_->FileOpened(path);
            return;
        case FileAction::Refuse:
            ShowMessage(choice.message, kMsgTitle);
            return;
        case FileAction::AskReplace:
            if (!AskReplace(plotName)) return;
            break;
        case FileAction::Convert:
            break;
    }
    // Read and converted on a thread of its own: a slow or huge drawing holds
    // up neither this window nor the machine.
    DrawingOptions options;
    options.shortenPath = jobMenu_->shortenPath();
    conversion_->start(chosen, choice.plotFile, options);
}

void Form1::ConversionFinished(const DrawingResult& r, const std::string& drawing, const std::string& plotFile) {
    if (!r.ok) {
        ShowMessage(r.error, kMsgTitle);
        return;
    }
    const QString plotName = QFile::decodeName(QByteArray::fromStdString(plotFile));
    dialogoFileName_ = plotFile;
    SetCaption(dialogoFileName_);
    StartEstimate();
    // The operator opened the drawing: "Abrir recente" opens it again, through its conversion.
    jobMenu_->FileOpened(QFile::decodeName(QByteArray::fromStdString(drawing)));
    ShowMessage("Convertido para " + plotName.toStdString() + "\n\n" + DescribeSummary(r.summary), kMsgTitle);
}

bool Form1::AskReplace(const QString& path) {
    QMessageBox box(QMessageBox::Question, QString::fromLatin1(kMsgTitle),
                    QStringLiteral("O arquivo %1 já existe.\nSubstituir?").arg(path),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("Substituir"));
    box.button(QMessageBox::Yes)->setText(QStringLiteral("Sim"));
    box.button(QMessageBox::No)->setText(QStringLiteral("Não"));
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

}  // namespace pm
