#pragma once
#include <QObject>
#include <cstdint>
#include <functional>
#include <string>

#include "motion/MachineState.h"

class QAction;
class QLabel;
class QStatusBar;
class QWidget;

namespace pm {

class StatusField;

class JobMenu;
class MachineThread;

// Where a job started from a statement begins: here, back at the job's
// origin first, or not at all.
enum class ResumePlace { None, Here, BackToOrigin };

// The items of the menu "Trabalho" that pause and continue the running job
// and start a job from a statement; the job's state in the status bar; and
// where the last job stopped, kept in the user's settings.
class ResumeMenu final : public QObject {
    Q_OBJECT
public:
    // What the menu asks of the window.
    struct Window {
        std::function<Operation()> running;              // the operation running now
        std::function<std::string()> plotFile;           // the chosen plot file
        std::function<void(const std::string&)> message; // a message box
        std::function<void(std::uint64_t)> estimateFrom; // estimate from a statement on
        std::function<bool()> confirmCutAtTop;           // false: the operator keeps the tool up
        std::function<ResumePlace()> askResumePlace;     // where a job from a statement starts
        QWidget* parent = nullptr;                       // of the dialog
    };
    ResumeMenu(JobMenu& menu, QStatusBar& bar, MachineThread& machine, Window window);

    // Where the last job stopped, as kept (statement 0 when nothing is).
    static StopPoint SavedStopPoint();
    static void SaveStopPoint(const StopPoint& at);

    // "Começar da declaração…" asks the operator for N through this when it
    // is set (tests), instead of the dialog; 0 means cancelled.
    std::function<std::uint64_t(std::uint64_t proposed)> askStatement;

    // Handlers of the items.
    void Pausar_Click();
    void Continuar_Click();
    void ComecarDa_Click();

    // What the machine told: the job holds or goes on, or it ended.
    void Paused(bool paused, std::uint64_t statement);
    void JobEnded(const StopPoint& at);
    // After a job on the real clock: how late its steps came, in the job's status field.
    void ShowStepLateness(const std::string& summary);
    // The items enabled as the running operation allows.
    void Update();

private:
    MachineThread& machine_;
    Window window_;
    QAction* Pausar_ = nullptr;
    QAction* Continuar_ = nullptr;
    QAction* ComecarDa_ = nullptr;
    StatusField* jobStatus_ = nullptr;
    bool paused_ = false;
};

}  // namespace pm
