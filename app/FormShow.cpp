// What the machine thread told, shown by the window's thread: the batch
// taken at each refresh and applied in order, the message boxes and the
// lockstep hand-over it asks for, and the status bar.
#include <QFile>
#include <QListView>
#include <QMessageBox>
#include <QCoreApplication>
#include <algorithm>
#include <chrono>

#include "app/Canvas.h"
#include "app/Form1.h"
#include "app/JobMenu.h"
#include "app/ResumeMenu.h"
#include "app/StatementModel.h"
#include "app/StatusField.h"
#include "motion/Motion.h"

namespace pm {

void Form1::ShowMachineMessage(const std::string& text, const std::string& title) {
    // The machine thread waits for the answer; what it showed before the box
    // is on the screen first.
    ++insidePump_;
    Drain();
    refreshNow();
    ShowMessage(text, title);
    --insidePump_;
}

void Form1::HandOff() {
    // Lockstep: the machine thread waits here, at its pump, while the window
    // shows what it did and runs its events.
    ++insidePump_;
    Drain();
    if (onPump) onPump();
    QCoreApplication::processEvents();
    --insidePump_;
}

bool Form1::Drain(std::int64_t budgetNs) {
    // The updates go in the order the core made them; the dots of a batch
    // before a clear are drawn before it. With a budget the window stops
    // when it is spent and goes on at its next refresh, so that a job at
    // speed 0, which shows more than the window can draw, never holds the
    // event loop; without one it shows what the machine thread has made
    // (while that thread waits, or twice the batch at most when it runs).
    const auto start = std::chrono::steady_clock::now();
    unsigned counted = 0;
    auto spent = [&] {
        return budgetNs > 0 && (++counted & 63U) == 0 &&
               std::chrono::steady_clock::now() - start > std::chrono::nanoseconds(budgetNs);
    };
    auto drawDots = [&](std::size_t end, bool budgeted) {
        for (; drainDot_ < end && drainDot_ < drain_.dots.size(); ++drainDot_) {
            if (budgeted && spent()) return false;
            const Dot& d = drain_.dots[drainDot_];
            Picture1_->PSet(d.x, d.y, d.colour);
            if (options_.records != nullptr) options_.records->dot(d.x, d.y, d.colour);
        }
        return true;
    };
    for (int taken = 0;;) {
        if (drainUpdate_ >= drain_.updates.size() && drainDot_ >= drain_.dots.size()) {
            if (budgetNs <= 0 && taken == 2) return false;
            drain_ = machine_->take();
            drainUpdate_ = 0;
            drainDot_ = 0;
            ++taken;
            if (drain_.empty()) return true;
            ScheduleRefresh();
        }
        while (drainUpdate_ < drain_.updates.size()) {
            if (spent()) return false;
            // Taken out first: a handler may run a nested event loop.
            WindowUpdate u = std::move(drain_.updates[drainUpdate_++]);
            if (u.kind == WindowUpdate::Kind::ClearPreview) drawDots(u.dotsBefore, false);
            Show(u);
        }
        if (!drawDots(drain_.dots.size(), true)) return false;
    }
}

void Form1::Show(WindowUpdate& u) {
    using K = WindowUpdate::Kind;
    switch (u.kind) {
        case K::ClearPreview: Picture1_->Cls(); break;
        case K::ListAdd: model_->add(u.text); break;
        case K::ListClear: ListClear(); break;
        case K::Lamp: SetLampVisible(u.n, u.on); break;
        case K::Text: SetText(u.n, u.text); break;
        case K::Command1Enabled: SetCommand1Enabled(u.on); break;
        case K::MotorJogEnabled: SetMotorJogEnabled(u.on); break;
        case K::Running:
            runningFile_ = u.text;
            OperationRunning(u.op, u.atNs);
            break;
        case K::WaitCursor: SetWaitCursor(u.on); break;
        case K::Progress:
            progressRead_ = u.read;
            progressSize_ = u.size;
            jobProgress_.statement(u.statement, u.x, u.y, u.atNs);
            break;
        case K::PortStatus:
            portText_ = std::move(u.text);
            portFault_ = std::move(u.fault);
            UpdatePortStatus();
            break;
        case K::JobPaused:
            jobProgress_.paused(u.on, Now());
            resumeMenu_->Paused(u.on, u.read);
            break;
        case K::JobEnded:
            resumeMenu_->JobEnded(u.stop);
            resumeMenu_->ShowStepLateness(u.text);
            break;
        case K::Position:
            machinePosition_ = u.position;
            if (jobMenu_ != nullptr) jobMenu_->UpdateStatus();
            break;
    }
}

void Form1::ScheduleRefresh() {
    if (refreshPending_) return;
    refreshPending_ = true;
    refresh_.start(16);  // about 60 refreshes a second at most
}

void Form1::refreshNow() { Refresh(true); }

void Form1::Refresh(bool force) {
    // A window behind the machine draws for a few milliseconds at a time
    // and comes back at once, after the events that wait.
    constexpr std::int64_t kDrainBudgetNs = 6'000'000;
    const bool shownAll = Drain(force ? 0 : kDrainBudgetNs);
    refreshPending_ = !shownAll;
    refresh_.stop();
    if (!shownAll) refresh_.start(0);
    Picture1_->update(Picture1_->contentsRect());
    // A view lays out all its rows again when rows arrive, which grows with
    // the list: the rows go over at most once per fifty times that cost, so
    // a long job's list never takes more than a few percent of its time.
    // Paced on the window's own time, whatever clock the machine runs on.
    const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                 std::chrono::steady_clock::now().time_since_epoch())
                                 .count();
    const std::int64_t wait = std::max<std::int64_t>(16'000'000, 50 * List1_->layoutNs());
    if (force || now - lastPublishNs_ >= wait || now < lastPublishNs_) {
        if (model_->publish()) {
            lastPublishNs_ = now;
            const QModelIndex last = model_->index(model_->rowCount() - 1);
            List1_->setCurrentIndex(last);
            List1_->scrollTo(last);
        }
    } else if (model_->hasUnpublished()) {
        ScheduleRefresh();  // the newest rows follow a little later
    }
    UpdateProgressStatus();
    UpdatePortStatus();
}

void Form1::UpdateProgressStatus() {
    const std::int64_t now = Now();
    progressStatus_->setDetail(jobProgress_.detail(now));
    progressStatus_->setText(jobProgress_.text(now, machineSettings_));
}

void Form1::UpdatePortStatus() {
    const std::string& fault = portFault_;
    QString text = QString::fromStdString(portText_);
    if (!fault.empty() && !text.contains(QStringLiteral("ausente"))) {
        text += QStringLiteral(" \u2014 porta ausente");
    }
    if (machine_->realTime()) {
        realTimeStatus_->setText(QStringLiteral("tempo real"));
        realTimeStatus_->setDetail(QString::fromStdString(machine_->realTimeNote()));
    } else if (!machine_->realTimeNote().empty()) {
        realTimeStatus_->setText(QStringLiteral("sem tempo real"));
        realTimeStatus_->setDetail(QString::fromStdString(machine_->realTimeNote()));
    }
    if (jobMenu_ != nullptr) jobMenu_->UpdateStatus();
    if (text == portStatus_->text()) return;
    portStatus_->setText(text);
    portStatus_->setDetail(QString::fromStdString(fault));
    QPalette p = portStatus_->palette();
    p.setColor(QPalette::WindowText, fault.empty() ? palette().color(QPalette::WindowText)
                                                   : QColor(200, 0, 0));
    portStatus_->setPalette(p);
}

}  // namespace pm
