#include "app/ResumeMenu.h"

#include <QAction>
#include <QInputDialog>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QStatusBar>
#include <algorithm>
#include <climits>

#include "app/JobMenu.h"
#include "app/MachineThread.h"
#include "app/SettingsStore.h"
#include "app/StatusField.h"
#include "job/Job.h"
#include "job/ReturnToOrigin.h"
#include "motion/Motion.h"

namespace pm {

ResumeMenu::ResumeMenu(JobMenu& menu, QStatusBar& bar, MachineThread& machine, Window window)
    : QObject(&menu), machine_(machine), window_(std::move(window)) {
    // At the top of the menu, above the machine's items.
    QMenu* m = menu.menu();
    QAction* first = m->actions().value(0);
    auto item = [&](const char* name, const QString& caption, void (ResumeMenu::*handler)()) {
        return menu.addItem(caption, name, [this, handler] { (this->*handler)(); }, first);
    };
    // The Pause key and P pause a running job and let a paused one go on:
    // only one of the two items is enabled at a time.
    const QList<QKeySequence> keys{QKeySequence(Qt::Key_Pause), QKeySequence(Qt::Key_P)};
    Pausar_ = item("Pausar", QStringLiteral("Pausar"), &ResumeMenu::Pausar_Click);
    Pausar_->setShortcuts(keys);
    Continuar_ = item("Continuar", QStringLiteral("Continuar"), &ResumeMenu::Continuar_Click);
    Continuar_->setShortcuts(keys);
    m->insertSeparator(first);
    ComecarDa_ = item("ComecarDa", QStringLiteral("Começar da declaração…"), &ResumeMenu::ComecarDa_Click);
    m->insertSeparator(first);
    for (QAction* a : {Pausar_, Continuar_}) a->setShortcutContext(Qt::WindowShortcut);

    jobStatus_ = new StatusField(&bar);
    jobStatus_->setObjectName(QStringLiteral("jobStatus"));
    bar.addPermanentWidget(jobStatus_);
    Update();
}

void ResumeMenu::Update() {
    const Operation running = window_.running();
    const bool job = running == Operation::Job;
    Pausar_->setEnabled(job && !paused_);
    Continuar_->setEnabled(job && paused_);
    ComecarDa_->setEnabled(running == Operation::None);
}

// Both are taken by the machine thread at its next pump, like every click.
void ResumeMenu::Pausar_Click() { machine_.queue(MachineThread::Gate::Always, PauseJob); }

void ResumeMenu::Continuar_Click() { machine_.queue(MachineThread::Gate::Always, ContinueJob); }

void ResumeMenu::Paused(bool paused, std::uint64_t statement) {
    paused_ = paused;
    jobStatus_->setText(paused ? QStringLiteral("Pausado na declaração %1").arg(statement)
                               : QString());
    Update();
}

void ResumeMenu::JobEnded(const StopPoint& at) {
    paused_ = false;
    if (at.statement != 0) {
        jobStatus_->setText(QStringLiteral("Cancelado na declaração %1").arg(at.statement));
        SaveStopPoint(at);
    } else {
        jobStatus_->clear();
        // A job that reached its end leaves nothing of that file to resume.
        if (SavedStopPoint().file == at.file) SaveStopPoint(StopPoint{});
    }
    Update();
}

void ResumeMenu::ShowStepLateness(const std::string& summary) {
    if (summary.empty()) return;
    const QString text = QString::fromStdString(summary);
    jobStatus_->setText(jobStatus_->text().isEmpty() ? text : jobStatus_->text() + QStringLiteral("; ") + text);
}

StopPoint ResumeMenu::SavedStopPoint() { return SettingsStore().stopPoint(); }

void ResumeMenu::SaveStopPoint(const StopPoint& at) { SettingsStore().setStopPoint(at); }

void ResumeMenu::ComecarDa_Click() {
    if (window_.running() != Operation::None) return;
    const std::string file = window_.plotFile();
    if (file.empty()) {
        window_.message(kNoFileMessage);
        return;
    }
    // The last stopping point of this file, if one is kept.
    const StopPoint saved = SavedStopPoint();
    const bool kept = saved.file == file && saved.statement != 0;
    const std::uint64_t proposed = kept ? saved.statement : 1;
    std::uint64_t from = 0;
    if (askStatement) {
        from = askStatement(proposed);
    } else {
        QString text = QStringLiteral(
            "Começar o trabalho na declaração:\n\n"
            "Antes, ponha a máquina na origem do trabalho (para um trabalho\n"
            "começado em Home XY: Home XY) e a ferramenta na altura em que\n"
            "o trabalho começou.");
        if (kept && !saved.divisor.empty())
            text += QStringLiteral("\nO trabalho parado usava o divisor %1.")
                        .arg(QString::fromStdString(saved.divisor));
        QInputDialog dialog(window_.parent);
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
    // The job goes on at the height the tool has now.
    if (!window_.confirmCutAtTop()) return;
    // From statement 1 the job takes where the machine stands as its origin.
    const ResumePlace place = from > 1 ? window_.askResumePlace() : ResumePlace::Here;
    if (place == ResumePlace::None) return;
    // The estimate counts from there until the job is over.
    window_.estimateFrom(from);
    if (place == ResumePlace::BackToOrigin) {
        // The travel back goes with the tool up; the job starts only when
        // the machine has arrived.
        machine_.queue(MachineThread::Gate::Idle, [from](Context& c) {
            if (ReturnToJobOrigin(c) == ReturnEnd::Arrived) (void)RunJob(c, from);
        });
        return;
    }
    machine_.queue(MachineThread::Gate::Idle, [from](Context& c) { (void)RunJob(c, from); });
}

}  // namespace pm
