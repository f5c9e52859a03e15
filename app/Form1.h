#pragma once
#include <QFileDialog>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <array>
#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/DrawingConversion.h"
#include "app/EstimateWorker.h"
#include "app/JobProgress.h"
#include "app/MachineThread.h"
#include "app/ResumeMenu.h"
#include "job/Estimate.h"
#include "motion/Clock.h"
#include "motion/Context.h"
#include "motion/MachineEvents.h"
#include "motion/MachineState.h"
#include "motion/Records.h"
#include "port/Port.h"

class QAction;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QSlider;
class QToolButton;
class QUrl;
class QPushButton;

namespace pm {

class Canvas;
class JobMenu;
class JogPad;
class KeyButton;
class PortSwitch;
class ResumeMenu;
class SettingsStore;
class LinkLabel;
class StatementModel;
class StatementView;
class StatusField;

// The one window. It owns the machine state, the port and the clock, and the
// machine thread that runs every operation on them; it shows every control
// at its place and hands what the operator does to that thread. Each
// control carries its name as its objectName ("Command1", "LE(5)").
class Form1 final : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        // Timer1 runs as a 100 ms timer of the event loop. Tests turn it off
        // and set clockTicks, so the poll follows the clock at each turn of the pump.
        bool startTimer = true;
        bool clockTicks = false;
        // Tests on the virtual clock: at each pump of the machine thread the
        // window's thread runs its events (onPump first) while the machine
        // thread waits, so a run repeats exactly.
        bool lockstep = false;
        // Where the window keeps what it remembers between runs; none
        // remembers nothing. portName names the port given, for "Porta…".
        std::shared_ptr<SettingsStore> settings;
        std::string portName = "sim";
        // Records of the run for diagnosis (the dots as they are drawn, the
        // list at the end of each operation and at the exit), or none.
        RunRecords* records = nullptr;
    };

    Form1(std::unique_ptr<Port> port, std::unique_ptr<Clock> clock);
    Form1(std::unique_ptr<Port> port, std::unique_ptr<Clock> clock, const Options& options);
    ~Form1() override;

    // The controls as the window shows them. Setting a value here reaches
    // the core at its next pump, as the operator's change would.
    bool Check1() const;
    int Slider1() const;
    int Slider2() const;
    std::string Text(int n) const;
    void SetText(int n, const std::string& text);
    std::string Caption() const { return caption_; }
    void SetCaption(const std::string& caption);
    bool LampVisible(int i) const;
    // What the core shows, applied to the window (the window's thread).
    void SetLampVisible(int i, bool visible);
    void ListClear();
    void SetCommand1Enabled(bool enabled);
    void SetMotorJogEnabled(bool enabled);
    void SetOperationRunning(Operation op);
    void SetWaitCursor(bool on);

    // Queues fn to run on the machine thread at its next pump (or at once
    // when it is idle), with the context every operation works on.
    void run(std::function<void(Context&)> fn);
    // Waits until the machine thread has done everything queued, answering
    // its message boxes through the event loop, and shows what it did.
    void settle();
    // Whether the window's thread runs inside a pump of the machine thread
    // or one of its message boxes (the machine thread waits meanwhile).
    bool insidePump() const { return insidePump_ > 0; }

    // The machine's settings (size, ramps, travel speed): the window's copy,
    // and the machine thread's at its next pump.
    void SetMachineSettings(const MachineSettings& settings);
    // FormScale.cpp. After "Máquina…" changed the half-steps per millimetre
    // (before: the settings it started from), proposes the divisor that
    // draws the plot files at their size and sets it on the operator's word.
    void ProposeDivisor(const MachineSettings& before);
    const MachineSettings& machineSettings() const { return machineSettings_; }
    // Where the machine stands, as the machine thread last said.
    const MachinePosition& machinePosition() const { return machinePosition_; }

    // The operation running, as the machine thread last said.
    Operation running() const { return running_; }
    // The window's questions are answered through this when it is set
    // (tests): the text and the buttons, the last of which changes nothing;
    // it returns the index of the button taken.
    std::function<int(const std::string& text, const std::vector<std::string>& buttons)> ask;

    // Only while the machine thread is idle or waits at a pump.
    MachineState& state() { return st_; }
    Port& port() { return *port_; }
    Clock& clock() { return *clock_; }
    MachineThread& machine() { return *machine_; }
    const Canvas& canvas() const { return *Picture1_; }
    const StatementModel& statements() const { return *model_; }
    QFileDialog& dialogo() { return *dialogo_; }
    // The "Trabalho" menu and what goes with it; its pause and resume items.
    JobMenu& jobMenu() { return *jobMenu_; }
    ResumeMenu& resumeMenu() { return *resumeMenu_; }
    // The port the window drives, which "Porta…" exchanges.
    PortSwitch& portSwitch() { return *portSwitch_; }

    // Brings the screen up to date at once: what the machine thread showed,
    // the canvas and the list (the newest entry selected), which otherwise
    // refresh about 60 times a second.
    void refreshNow();
    // How far the running job has read its file, as the core last said.
    unsigned long long jobBytesRead() const { return progressRead_; }
    // Pumps the machine thread ran.
    long long pumpsRun() const;

    // What "Abrir" does with the file the dialog gave: a ".red" becomes the
    // chosen file; a drawing (HPGL, G-code, SVG) is converted to the ".red"
    // beside it first (asking before replacing one), off the window's
    // thread, and a summary is shown when it is done. A refused file leaves
    // the previous choice. Then the duration is estimated anew.
    void OpenChosenFile(const QString& path);
    // The conversions of "Abrir" (tests wait on it).
    DrawingConversion& conversion() { return *conversion_; }
    // Reads the port once on the machine thread, which opens a real port,
    // and says once in a message box why it cannot be driven, if it cannot.
    // Called by the program when the window is up.
    void ReportPortFault();

    // The last estimate that arrived for the present file and settings;
    // nullptr while there is none (none asked, stale, or still running).
    const JobEstimate* estimate() const { return estimates_->estimate(); }
    // Whether an estimate is asked for and has not arrived yet.
    bool estimatePending() const { return estimates_->pending(); }
    // Estimates started on the worker so far.
    int estimatesStarted() const { return estimates_->started(); }
    // Blocks until the worker has finished every estimate it holds (tests,
    // and the window's end).
    void waitForEstimates();
    // Asks for an estimate of the chosen file with the present settings.
    void StartEstimate();
    // A modal message box with one OK button.
    void ShowMessage(const std::string& text, const std::string& title);

    // Test hooks: run on the window's thread at every pump in lockstep, and
    // in place of ending the process.
    std::function<void()> onPump;
    std::function<void()> onExit;

    // SIGINT, SIGTERM and SIGHUP end the program as "Sair" does, after every
    // coil is switched off; the status is 128 and the signal's number.
    // Called once by the program.
    void EndOnSignals();
    // Ends the process with status: every coil that may be on is switched
    // off first, and nothing else is written.
    [[noreturn]] void EndProgram(int status);

    // Where the help text and the schematic are looked up: beside the program
    // first, then in ../share/portmill from it (where packaging installs
    // them), then in the current directory.
    static QString DataFile(const QString& name);
    // Label8's text for a value of Slider1.
    static QString ScaleText(int v);

protected:
    void closeEvent(QCloseEvent* e) override;

private:
    void BuildControls();
    void BuildMenu();
    // FormStatus.cpp: the status bar's fields in two rows.
    void ArrangeStatusBar();
    // SafetyQuestions.cpp. Asks text with the buttons (the last one changes
    // nothing); the index of the button taken.
    int Ask(const char* name, const std::string& text, const std::vector<std::string>& buttons);
    // "Fresar" with the motors on while the top-switch lamp is lit: the cut
    // would be in the air. True when the job may start.
    bool ConfirmCutAtTop();
    // The program's end while an operation runs: "Parar e sair?".
    bool ConfirmStopAndQuit();
    // Where a job started from a statement begins: here, back at the job's
    // origin first, or not at all.
    ResumePlace AskResumePlace();
    void Form_Load();
    void ApplyEnabled();
    // A button about to be disabled hands the keyboard focus to the window
    // itself, not to the next control (a text box would take it with its
    // text selected); the focus goes back to it when the operation ends,
    // unless the operator has put it elsewhere meanwhile.
    void ParkFocus(bool idle);
    void ReturnFocus();
    void ScheduleRefresh();
    void Refresh(bool force);
    // Shows what the machine thread made; within budgetNs when above 0.
    // True when nothing is left to show.
    bool Drain(std::int64_t budgetNs = 0);
    // One thing the core told (the dots before a clear are drawn first).
    void Show(WindowUpdate& u);
    void OperationRunning(Operation op, std::int64_t atNs);
    void ShowMachineMessage(const std::string& text, const std::string& title);
    void HandOff();
    std::int64_t Now() const;
    void UpdatePortStatus();
    void UpdateProgressStatus();
    void EstimateArrived(const JobEstimate& e, const QImage& preview, const QString& stamp);
    // The chosen file as it is now on disk (path, time, size), and the same
    // for the file the preview was drawn from.
    QString FileStamp() const;
    QString previewStamp_;
    // A preview of another file, or of settings still being estimated, is
    // not what the job will draw: the job then starts on white.
    void DropStalePreview();
    bool AskReplace(const QString& path);
    // Hands url to the desktop; where it cannot open it, says so in a
    // message box that names shown (a file's full path or the address).
    void OpenOutside(const QUrl& url, const QString& shown);
    // Brings the list record up to List1 and hands the other records to
    // the system; closes them too when the program ends.
    void SaveRecords(bool closing);

    // Handlers of this window.
    void Abrir_Click();
    void Exit_Click();
    void ajuda_Click();
    void esquema_Click();
    void Label5_Click();
    void Label6_Click();
    void Slider1_Change();
    void Picture1_MouseMove(double x, double y);
    void Timer1_Timer();

    MachineState st_;
    std::unique_ptr<Port> port_;
    PortSwitch* portSwitch_ = nullptr;  // port_, which "Porta…" exchanges
    std::unique_ptr<Clock> clock_;
    Options options_;
    std::unique_ptr<MachineThread> machine_;
    int insidePump_ = 0;
    std::string portText_;
    std::string portFault_;

    std::string caption_;
    bool command1Enabled_ = true;
    bool motorJogEnabled_ = true;
    Operation running_ = Operation::None;
    bool waitCursor_ = false;
    unsigned long long progressRead_ = 0;
    unsigned long long progressSize_ = 0;

    JobProgress jobProgress_;  // the running job, for the status bar

    EstimateWorker* estimates_ = nullptr;
    DrawingConversion* conversion_ = nullptr;
    // A drawing converted by "Abrir": its plot file becomes the chosen one.
    void ConversionFinished(const DrawingResult& r, const std::string& drawing, const std::string& plotFile);
    std::string runningFile_;  // the plot file the running operation reads

    QTimer refresh_;
    WindowBatch drain_;  // the batch being shown, and how far
    std::size_t drainUpdate_ = 0;
    std::size_t drainDot_ = 0;
    bool refreshPending_ = false;
    std::int64_t lastPublishNs_ = 0;

    // Controls, by their names.
    StatementView* List1_ = nullptr;
    StatementModel* model_ = nullptr;
    QToolButton* Cancel_ = nullptr;
    QCheckBox* Check1_ = nullptr;
    QLabel* Label8_ = nullptr;
    QSlider* Slider1_ = nullptr;
    QSlider* Slider2_ = nullptr;
    QToolButton* Command1_ = nullptr;
    QLabel* Label9_ = nullptr;
    QLabel* Label10_ = nullptr;
    LinkLabel* Label5_ = nullptr;
    LinkLabel* Label6_ = nullptr;
    Canvas* Picture1_ = nullptr;
    QLineEdit* Text1_ = nullptr;
    QLineEdit* Text2_ = nullptr;
    QLineEdit* Text3_ = nullptr;
    QGroupBox* Frame1_ = nullptr;
    QGroupBox* Frame2_ = nullptr;
    QGroupBox* MotorJog_ = nullptr;
    QPushButton* Command2_ = nullptr;
    QPushButton* Command3_ = nullptr;
    QPushButton* Command4_ = nullptr;
    QPushButton* Command5_ = nullptr;
    KeyButton* Command8_ = nullptr;
    KeyButton* Command9_ = nullptr;
    JogPad* jogPad_ = nullptr;  // the X and Y arrows, their step size, "Zerar XY aqui"
    std::array<QLabel*, 8> LE_{};  // members 3 to 7
    StatusField* portStatus_ = nullptr;
    StatusField* progressStatus_ = nullptr;
    StatusField* estimateStatus_ = nullptr;
    StatusField* divisorStatus_ = nullptr;
    StatusField* realTimeStatus_ = nullptr;
    std::uint64_t jobFrom_ = 1;  // the statement the estimate counts from
    // The window's copies: the settings as the operator last set them (the
    // machine thread gets each change queued), and where the machine stands
    // as the machine thread last said.
    MachineSettings machineSettings_;
    MachinePosition machinePosition_;
    QTimer* Timer1_ = nullptr;
    QFileDialog* dialogo_ = nullptr;
    std::string dialogoFileName_;
    JobMenu* jobMenu_ = nullptr;
    ResumeMenu* resumeMenu_ = nullptr;
    // List1's entries already in the list record, and whether List1 was
    // cleared since (the record is then written anew).
    QPointer<QWidget> focusBeforeOperation_;
    std::size_t listRecorded_ = 0;
    bool listClearedSinceRecord_ = false;
};

}  // namespace pm
