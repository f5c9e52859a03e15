// The items of the menu "Trabalho" that pause and continue the running job
// and start a job from a statement, and where the last job stopped, kept in
// the settings.
#include <QAction>
#include <QFile>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>

#include <QSettings>
#include <QStatusBar>
#include <algorithm>
#include <climits>

#include "app/Form1.h"
#include "app/JobMenu.h"
#include "job/Job.h"
#include "motion/Motion.h"

namespace pm {
namespace {

const QString kStopFile = QStringLiteral("parada/arquivo");
const QString kStopStatement = QStringLiteral("parada/declaracao");
const QString kStopDivisor = QStringLiteral("parada/divisor");

}  // namespace

void Form1::BuildJobMenu() {
    // At the top of the menu, above the machine's items.
    QMenu* menu = jobMenu_->menu();
    QAction* first = menu->actions().value(0);
    auto item = [&](const char* name, const QString& caption, void (Form1::*handler)()) {
        return jobMenu_->addItem(caption, name, [this, handler] { (this->*handler)(); }, first);
    };
    // The Pause key and P pause a running job and let a paused one go on:
    // only one of the two items is enabled at a time.
    const QList<QKeySequence> keys{QKeySequence(Qt::Key_Pause), QKeySequence(Qt::Key_P)};
    Pausar_ = item("Pausar", QStringLiteral("Pausar"), &Form1::Pausar_Click);
    Pausar_->setShortcuts(keys);
    Continuar_ = item("Continuar", QStringLiteral("Continuar"), &Form1::Continuar_Click);
    Continuar_->setShortcuts(keys);
    menu->insertSeparator(first);
    ComecarDa_ = item("ComecarDa", QStringLiteral("Começar da declaração…"), &Form1::ComecarDa_Click);
    menu->insertSeparator(first);
    for (QAction* a : {Pausar_, Continuar_}) a->setShortcutContext(Qt::WindowShortcut);

    jobStatus_ = new QLabel(statusBar());
    jobStatus_->setObjectName(QStringLiteral("jobStatus"));
    statusBar()->addPermanentWidget(jobStatus_);
    UpdateJobMenu();
}

void Form1::UpdateJobMenu() {
    if (Pausar_ == nullptr) return;
    const bool job = running_ == Operation::Job;
    Pausar_->setEnabled(job && !paused_);
    Continuar_->setEnabled(job && paused_);
    ComecarDa_->setEnabled(running_ == Operation::None);
}

// Both are taken by the machine thread at its next pump, like every click.
void Form1::Pausar_Click() { machine_->queue(MachineThread::Gate::Always, Pause_Click); }

void Form1::Continuar_Click() { machine_->queue(MachineThread::Gate::Always, Continue_Click); }

void Form1::SetJobPaused(bool paused, std::uint64_t statement) {
    paused_ = paused;
    jobStatus_->setText(paused ? QStringLiteral("Pausado na declaração %1").arg(statement)
                               : QString());
    UpdateJobMenu();
}

void Form1::JobEnded(const StopPoint& at) {
    paused_ = false;
    if (at.statement != 0) {
        jobStatus_->setText(QStringLiteral("Cancelado na declaração %1").arg(at.statement));
        SaveStopPoint(at);
    } else {
        jobStatus_->clear();
        // A job that reached its end leaves nothing of that file to resume.
        if (SavedStopPoint().file == at.file) SaveStopPoint(StopPoint{});
    }
    UpdateJobMenu();
}

void Form1::ShowStepLateness(const std::string& summary) {
    if (summary.empty()) return;
    const QString text = QString::fromStdString(summary);
    jobStatus_->setText(jobStatus_->text().isEmpty() ? text : jobStatus_->text() + QStringLiteral("; ") + text);
}

StopPoint Form1::SavedStopPoint() {
    const QSettings settings(QStringLiteral("portmill"), QStringLiteral("portmill"));
    StopPoint at;
    at.file = QFile::encodeName(settings.value(kStopFile).toString()).toStdString();
    at.statement = settings.value(kStopStatement, 0).toULongLong();
    at.divisor = settings.value(kStopDivisor).toString().toStdString();
    return at;
}

void Form1::SaveStopPoint(const StopPoint& at) {
    QSettings settings(QStringLiteral("portmill"), QStringLiteral("portmill"));
    if (at.statement == 0) {
        settings.remove(QStringLiteral("parada"));
        return;
    }
    settings.setValue(kStopFile, QFile::decodeName(at.file.c_str()));
    settings.setValue(kStopStatement, static_cast<qulonglong>(at.statement));
    settings.setValue(kStopDivisor, QString::fromStdString(at.divisor));
}

void Form1::ComecarDa_Click() {
    if (running_ != Operation::None) return;
    if (caption_.empty()) {
        ShowMessage(kNoFileMessage, kMsgTitle);
        return;
    }
    // The last stopping point of this file, if one is kept.
    const StopPoint saved = SavedStopPoint();
    const std::uint64_t proposed = saved.file == caption_ && saved.statement != 0 ? saved.statement : 1;
    std::uint64_t from = 0;
    if (askStatement) {
        from = askStatement(proposed);
    } else {
        QString text = QStringLiteral(
            "Começar o trabalho na declaração:\n\n"
            "Antes, ponha a máquina na origem do trabalho (para um trabalho\n"
            "começado em Home XY: Home XY) e a ferramenta na altura em que\n"
            "o trabalho começou.");
        if (saved.file == caption_ && saved.statement != 0 && !saved.divisor.empty())
            text += QStringLiteral("\nO trabalho parado usava o divisor %1.")
                        .arg(QString::fromStdString(saved.divisor));
        QInputDialog dialog(this);
        dialog.setObjectName(QStringLiteral("ComecarDaDialog"));
        dialog.setWindowTitle(QStringLiteral("Começar da declaração"));
        dialog.setLabelText(text);
        dialog.setInputMode(QInputDialog::IntInput);
        dialog.setIntRange(1, INT_MAX);
        dialog.setIntValue(static_cast<int>(std::min<std::uint64_t>(proposed, INT_MAX)));
        dialog.setOkButtonText(QStringLiteral("Começar"));
        dialog.setCancelButtonText(QStringLiteral("Cancelar"));
        const bool ok = dialog.exec() == QDialog::Accepted;
        const int n = dialog.intValue();
        from = ok ? static_cast<std::uint64_t>(n) : 0;
    }
    if (from == 0) return;
    // The estimate counts from there until the job is over.
    jobFrom_ = from;
    StartEstimate();
    machine_->queue(MachineThread::Gate::Idle, [from](Context& c) { (void)RunJob(c, from); });
}

}  // namespace pm
