#include "app/Form1.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QSocketNotifier>
#include <QSlider>
#include <QStatusBar>
#include <QToolButton>
#include <QUrl>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "app/Canvas.h"
#include "app/CanvasStretch.h"
#include "app/Contact.h"
#include "app/DrawingConversion.h"
#include "app/EndSignals.h"
#include "app/EstimateWorker.h"
#include "app/FileChoice.h"
#include "app/JobMenu.h"
#include "app/JogPad.h"
#include "app/OpenDialog.h"
#include "app/PortSwitch.h"
#include "app/PreviewPainter.h"
#include "app/ResumeMenu.h"
#include "app/ScaleTexts.h"
#include "app/Pictures.h"
#include "app/StatementModel.h"
#include "app/StatusField.h"
#include "app/Widgets.h"
#include "homing/Homing.h"
#include "importer/Drawing.h"
#include "files/SafeFile.h"
#include "job/Job.h"
#include "job/Limits.h"
#include "jog/Jog.h"
#include "motion/Motion.h"
#include "motion/SwitchPoll.h"
#include "port/PortFactory.h"

namespace pm {

Form1::Form1(std::unique_ptr<Port> port, std::unique_ptr<Clock> clock)
    : Form1(std::move(port), std::move(clock), Options{}) {}

Form1::Form1(std::unique_ptr<Port> port, std::unique_ptr<Clock> clock, const Options& options)
    : port_(std::make_unique<PortSwitch>(std::move(port))), clock_(std::move(clock)), options_(options) {
    portSwitch_ = static_cast<PortSwitch*>(port_.get());
    LoadMachineState(st_);  // drive tables and PortBase, before the machine thread reads them
    machineSettings_ = st_.Settings;  // the estimate's copy: st_ is the machine thread's from here
    portText_ = port_->describe();
    portFault_ = port_->fault();

    MachineThread::Options mo;
    mo.clockTicks = options_.clockTicks;
    mo.lockstep = options_.lockstep;
    mo.realTime = dynamic_cast<RealClock*>(clock_.get()) != nullptr;
    MachineThread::Window mw;
    mw.wake = [this] { ScheduleRefresh(); };
    mw.box = [this](const std::string& text, const std::string& title) { ShowMachineMessage(text, title); };
    mw.handOff = [this] { HandOff(); };
    machine_ = std::make_unique<MachineThread>(st_, *port_, *clock_, mo, std::move(mw),
                                               RunSettings{});
    // The machine thread asks for the window through a pipe, whatever the
    // window's thread is doing: its event loop, a dialog's, a message box's.
    auto* asks = new QSocketNotifier(machine_->notifyFd(), QSocketNotifier::Read, this);
    connect(asks, &QSocketNotifier::activated, this, [this] { machine_->serve(); });

    setFont(WindowFont(8, false));
    setWindowIcon(QIcon(pictures::PointingHand()));
    estimates_ = new EstimateWorker(this);
    estimates_->onArrived = [this](const JobEstimate& e, const QImage& preview, const QString& stamp) {
        EstimateArrived(e, preview, stamp);
    };
    estimates_->onProgress = [this](int percent) {
        estimateStatus_->setText(QStringLiteral("Estimando a duração\u2026 %1 %").arg(percent));
    };
    conversion_ = new DrawingConversion(this);
    conversion_->onFinished = [this](const DrawingResult& r, const std::string& in, const std::string& out) {
        ConversionFinished(r, in, out);
    };
    BuildControls();
    BuildMenu();

    refresh_.setSingleShot(true);
    connect(&refresh_, &QTimer::timeout, this, [this] { Refresh(false); });

    Form_Load();
    jobMenu_ = new JobMenu(*this, {Text3_, Slider2_, Slider1_, Check1_, Picture1_}, options_.settings,
                           QString::fromStdString(options_.portName));
    ResumeMenu::Window rw;
    rw.running = [this] { return running_; };
    rw.plotFile = [this] { return caption_; };
    rw.message = [this](const std::string& text) { ShowMessage(text, kMsgTitle); };
    rw.estimateFrom = [this](std::uint64_t from) {
        jobFrom_ = from;
        StartEstimate();
    };
    rw.confirmCutAtTop = [this] { return ConfirmCutAtTop(); };
    rw.askResumePlace = [this] { return AskResumePlace(); };
    rw.parent = this;
    resumeMenu_ = new ResumeMenu(*jobMenu_, *statusBar(), *machine_, std::move(rw));

    // The duration depends on the speed, the divisor and whether the motors
    // run (the lifts): a change of any of them asks for a new estimate.
    connect(Slider2_, &QSlider::valueChanged, this, &Form1::StartEstimate);
    connect(Text3_, &QLineEdit::textChanged, this, &Form1::StartEstimate);
    connect(Check1_, &QCheckBox::toggled, this, &Form1::StartEstimate);
    // The preview of the chosen file is drawn at the scale.
    connect(Slider1_, &QSlider::valueChanged, this, &Form1::StartEstimate);

    Timer1_ = Named(new QTimer(this), "Timer1");
    Timer1_->setInterval(100);
    connect(Timer1_, &QTimer::timeout, this, &Form1::Timer1_Timer);
    if (options_.startTimer) Timer1_->start();

    ArrangeStatusBar();
    setMinimumSize(sizeHint());
}

Form1::~Form1() {
    // The machine thread ends at its next wait, in the middle of whatever it
    // runs; it writes nothing more.
    machine_.reset();
    if (waitCursor_) QGuiApplication::restoreOverrideCursor();
}

void Form1::waitForEstimates() { estimates_->waitForDone(); }

void Form1::run(std::function<void(Context&)> fn) {
    machine_->queue(MachineThread::Gate::Always, std::move(fn));
}

void Form1::SetMachineSettings(const MachineSettings& settings) {
    const bool changed = !(settings == machineSettings_);
    machineSettings_ = settings;
    if (jogPad_ != nullptr) jogPad_->SettingsChanged(settings);
    machine_->queue(MachineThread::Gate::Always, [settings](Context& c) { c.st.Settings = settings; });
    // The ramps, the speeds and the look-ahead change the job's time, the
    // half-steps per mm what the status bar says.
    if (changed) StartEstimate();
}

void Form1::settle() {
    while (machine_->busy()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    refreshNow();
}

long long Form1::pumpsRun() const { return machine_->pumpsRun(); }

std::int64_t Form1::Now() const {
    // The machine's clock as of its last pump: exact in lockstep, and within
    // a step's time otherwise, which is all the progress read-out needs.
    return machine_->nowNs();
}

void Form1::BuildControls() {
    auto* inner = Named(new QWidget(this), "inner");
    inner->setMinimumSize(792, 536);  // 11880 x 8040 twips; the canvas takes what the window grows
    setCentralWidget(inner);

    // Left column.
    model_ = new StatementModel(this);
    List1_ = Named(new StatementView(inner), "List1");
    List1_->setModel(model_);
    List1_->setUniformItemSizes(true);
    List1_->setSelectionMode(QAbstractItemView::SingleSelection);
    List1_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    Place(List1_, 60, 120, 1815, 2205);

    Cancel_ = Graphical<QToolButton>(inner, "Cancel", pictures::StopSign(),
                                     QStringLiteral("Cancelar"));
    Cancel_->setFont(WindowFont(12, true));
    Place(Cancel_, 120, 2460, 1575, 1035);
    connect(Cancel_, &QToolButton::clicked, this,
            [this] { machine_->queue(MachineThread::Gate::Always, CancelRun); });
    // Esc stops a job, a scan or a move as "Cancelar" does.
    auto* esc = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(esc, &QShortcut::activated, Cancel_, &QToolButton::click);

    Check1_ = Named(new QCheckBox(QStringLiteral("Ativar Motores"), inner), "Check1");
    Place(Check1_, 120, 3720, 1575, 255);
    connect(Check1_, &QCheckBox::toggled, this, [this](bool on) {
        machine_->queue(MachineThread::Gate::Always,
                        [m = machine_.get(), on](Context&) { m->run().motorsOn = on; });
    });

    RedSign(inner, "Label7", "+", 60, 4020);
    Label8_ = Named(new QLabel(QStringLiteral("Screen Scale "), inner), "Label8");
    PlaceAuto(Label8_, 420, 4080);
    RedSign(inner, "Label14", "-", 1740, 4260);
    Slider1_ = Named(new QSlider(Qt::Horizontal, inner), "Slider1");
    Slider1_->setRange(-3, 10);
    Slider1_->setSingleStep(1);
    Slider1_->setPageStep(5);
    Place(Slider1_, 240, 4380, 1455, 255);
    connect(Slider1_, &QSlider::valueChanged, this, &Form1::Slider1_Change);
    connect(Slider1_, &QSlider::valueChanged, this, [this](int v) {
        machine_->queue(MachineThread::Gate::Always,
                        [m = machine_.get(), v](Context&) { m->run().previewScale = v; });
    });
    connect(Slider1_, &QSlider::sliderReleased, this, &Form1::Slider1_Change);

    RedSign(inner, "Label13", "+", 60, 4680);
    auto* label2 = Named(new QLabel(QStringLiteral("Velocidade:"), inner), "Label2");
    Place(label2, 360, 4740, 1095, 255);
    RedSign(inner, "Label15", "-", 1740, 4740);
    Slider2_ = Named(new QSlider(Qt::Horizontal, inner), "Slider2");
    Slider2_->setRange(0, 40);
    Slider2_->setSingleStep(1);
    Slider2_->setPageStep(5);
    Place(Slider2_, 180, 5160, 1455, 255);
    connect(Slider2_, &QSlider::valueChanged, this, [this](int v) {
        machine_->queue(MachineThread::Gate::Always,
                        [m = machine_.get(), v](Context&) { m->run().speed = v; });
    });

    Command1_ = Graphical<QToolButton>(inner, "Command1", pictures::LightningBolt(),
                                       QStringLiteral("Fresar"));
    Command1_->setFont(WindowFont(12, true));
    Place(Command1_, 120, 5820, 1695, 1095);
    connect(Command1_, &QToolButton::clicked, this, [this] {
        // The work-area warning and a stale preview are the window's; the
        // job itself starts on the machine thread.
        if (running_ == Operation::None && command1Enabled_) {
            if (!ConfirmCutAtTop()) return;
            jobMenu_->BeforeJob();
            DropStalePreview();
        }
        machine_->queue(MachineThread::Gate::Command1, [](Context& c) { RunJob(c); });
    });

    // Top strip and canvas.
    Label9_ = Named(new QLabel(QStringLiteral("Label9"), inner), "Label9");
    Label9_->setFont(WindowFont(10, true));
    Place(Label9_, 1980, 60, 1455, 255);
    Label10_ = Named(new QLabel(QStringLiteral("Label10"), inner), "Label10");
    Label10_->setFont(WindowFont(10, true));  // room for "y= -1234 mm"
    Place(Label10_, 3840, 60, 1095, 255);

    auto linkColour = [](QLabel* l) {
        QPalette p = l->palette();
        p.setColor(QPalette::WindowText, QColor(0, 0, 255));
        l->setPalette(p);
    };
    Label5_ = Named(new LinkLabel(QString::fromLatin1(contact::kPage), inner), "Label5");
    linkColour(Label5_);
    Label5_->setCursor(pictures::HandCursor());
    PlaceAuto(Label5_, 5400, 120);
    Label5_->onClick = [this] { Label5_Click(); };
    Label6_ = Named(new LinkLabel(QString::fromLatin1(contact::kMail), inner), "Label6");
    linkColour(Label6_);
    Label6_->setCursor(pictures::EnvelopeCursor());
    PlaceAuto(Label6_, 8100, 120);
    Label6_->onClick = [this] { Label6_Click(); };

    Picture1_ = Named(new Canvas(inner), "Picture1");
    Place(Picture1_, 1920, 360, 9855, 5775);
    Picture1_->setFocusPolicy(Qt::NoFocus);
    Picture1_->onMouseMove = [this](double x, double y) { Picture1_MouseMove(x, y); };
    Picture1_->onDirty = [this] { ScheduleRefresh(); };
    new CanvasStretch(inner, Picture1_);

    // Bottom row.
    auto* label1 = Named(new QLabel(QStringLiteral("Dividir cordenadas por:"), inner), "Label1");
    Place(label1, 180, 7140, 2535, 255);
    Text3_ = Named(new QLineEdit(QString::fromLatin1(RunSettings::kDefaultDivisor), inner), "Text3");
    Place(Text3_, 180, 7560, 2475, 315);

    Frame2_ = Named(new QGroupBox(QStringLiteral(" Limites "), inner), "Frame2");
    Place(Frame2_, 2880, 6180, 3735, 1755);
    auto* label3 = Named(new QLabel(QStringLiteral("Y"), Frame2_), "Label3");
    label3->setFont(WindowFont(12, true));
    PlaceAuto(label3, 180, 480);
    Text2_ = Named(new QLineEdit(Frame2_), "Text2");
    Place(Text2_, 480, 480, 1575, 375);
    auto* label4 = Named(new QLabel(QStringLiteral("X"), Frame2_), "Label4");
    label4->setFont(WindowFont(12, true));
    PlaceAuto(label4, 240, 1260);
    Text1_ = Named(new QLineEdit(Frame2_), "Text1");
    Place(Text1_, 540, 1200, 1515, 345);
    Command5_ = Named(new QPushButton(QStringLiteral("Calcular Limites"), Frame2_), "Command5");
    Place(Command5_, 2160, 420, 1455, 495);
    connect(Command5_, &QPushButton::clicked, this,
            [this] { machine_->queue(MachineThread::Gate::Idle, [](Context& c) { ScanLimits(c); }); });
    Command2_ = Named(new QPushButton(QStringLiteral("Ir para o Limite"), Frame2_), "Command2");
    Place(Command2_, 2220, 1140, 1395, 435);
    connect(Command2_, &QPushButton::clicked, this,
            [this] { machine_->queue(MachineThread::Gate::Idle, [](Context& c) { GoToLimit(c); }); });

    Frame1_ = Named(new QGroupBox(QStringLiteral("Home Status"), inner), "Frame1");
    Place(Frame1_, 6840, 6180, 1755, 1815);
    PlaceAuto(Named(new QLabel(QStringLiteral("Y"), Frame1_), "Label19"), 360, 300);
    PlaceAuto(Named(new QLabel(QStringLiteral("X"), Frame1_), "Label20"), 840, 300);
    PlaceAuto(Named(new QLabel(QStringLiteral("Z"), Frame1_), "Label21"), 1320, 300);

    // The lamps are children of the window, drawn over the frame and over
    // the lower edge of the canvas.
    const QPixmap lamp = pictures::Lamp();
    const std::array<std::array<int, 3>, 5> lamps{{
        {3, 7020, 6720}, {4, 7500, 6720}, {5, 7980, 6720}, {7, 7140, 5700}, {6, 8100, 5700}}};
    for (const auto& [i, left, top] : lamps) {
        auto* l = new QLabel(inner);
        l->setObjectName(QStringLiteral("LE(%1)").arg(i));
        l->setPixmap(lamp);
        l->setAutoFillBackground(true);
        QPalette p = l->palette();
        p.setColor(QPalette::Window, QColor(192, 192, 192));
        l->setPalette(p);
        Place(l, left, top, 480, 480);
        LE_[static_cast<std::size_t>(i)] = l;
    }

    Command3_ = Named(new QPushButton(QStringLiteral("Home Z"), inner), "Command3");
    Place(Command3_, 6960, 7200, 1575, 315);
    connect(Command3_, &QPushButton::clicked, this,
            [this] { machine_->queue(MachineThread::Gate::Idle, HomeZ); });
    Command4_ = Named(new QPushButton(QStringLiteral("Home XY"), inner), "Command4");
    Place(Command4_, 6960, 7620, 1575, 315);
    connect(Command4_, &QPushButton::clicked, this,
            [this] { machine_->queue(MachineThread::Gate::Idle, HomeXY); });

    MotorJog_ = Named(new QGroupBox(QStringLiteral("Motor Jog"), inner), "MotorJog");
    Place(MotorJog_, 8700, 6180, 3135, 1815);
    const QColor orange(255, 128, 0);
    // The X and Y arrows, their step size and "Zerar XY aqui".
    jogPad_ = new JogPad(MotorJog_, *machine_, machineSettings_);
    const std::array<QWidget*, 4> xy = jogPad_->arrows();  // left, right, down, up
    auto* label12 = Named(new QLabel(QStringLiteral("X  Y"), MotorJog_), "Label12");
    label12->setFont(WindowFont(9.75, true));
    PlaceAuto(label12, 960, 840);

    Command8_ = Graphical<KeyButton>(MotorJog_, "Command8",
                                     pictures::JogArrow(pictures::Arrow::Up), QString());
    Paint(Command8_, orange);
    Place(Command8_, 2400, 300, 615, 495);
    connect(Command8_, &QToolButton::clicked, this,
            [this] { machine_->queue(MachineThread::Gate::MotorJog, JogZUp); });
    Command8_->onKeyPress = [this] { machine_->queue(MachineThread::Gate::MotorJog, JogZUp); };
    Command8_->onKeyUp = [this] { machine_->queue(MachineThread::Gate::MotorJog, ReleaseZ); };
    Command9_ = Graphical<KeyButton>(MotorJog_, "Command9",
                                     pictures::JogArrow(pictures::Arrow::Down), QString());
    Paint(Command9_, orange);
    Place(Command9_, 2400, 1140, 615, 495);
    connect(Command9_, &QToolButton::clicked, this,
            [this] { machine_->queue(MachineThread::Gate::MotorJog, JogZDownAndRelease); });
    Command9_->onKeyPress = [this] { machine_->queue(MachineThread::Gate::MotorJog, JogZDown); };
    Command9_->onKeyUp = [this] { machine_->queue(MachineThread::Gate::MotorJog, ReleaseZ); };
    auto* label11 = Named(new QLabel(QStringLiteral("Z"), MotorJog_), "Label11");
    label11->setFont(WindowFont(9.75, true));
    PlaceAuto(label11, 2640, 840);

    // Labels, frames, the canvas and the lamps take no focus.
    for (std::size_t i = 3; i <= 7; ++i) LE_[i]->setFocusPolicy(Qt::NoFocus);
    const std::array<QWidget*, 21> order{Command1_, Check1_, Cancel_, List1_,  Slider1_,
                                         Slider2_,  Command9_, Command8_, xy[0],   xy[1],
                                         xy[2],     xy[3],   jogPad_->sizeChooser(), jogPad_->zeroHere(),
                                         Command3_, Command4_, Text3_, Command2_, Command5_, Text2_, Text1_};
    for (std::size_t k = 1; k < order.size(); ++k) setTabOrder(order[k - 1], order[k]);

    // Below the fixed inner area: what port is driven.
    // Three fields side by side, each with its share of the bar.
    portStatus_ = Named(new StatusField(statusBar()), "portStatus");
    progressStatus_ = Named(new StatusField(statusBar()), "progressStatus");
    estimateStatus_ = Named(new StatusField(statusBar()), "estimateStatus");
    statusBar()->addPermanentWidget(portStatus_, 2);
    statusBar()->addPermanentWidget(estimateStatus_, 5);
    statusBar()->addPermanentWidget(progressStatus_, 4);
    statusBar()->setSizeGripEnabled(false);
    realTimeStatus_ = Named(new StatusField(statusBar()), "realTimeStatus");
    statusBar()->addPermanentWidget(realTimeStatus_);
    UpdatePortStatus();

    // Every text the core reads reaches it, whoever set it: the operator,
    // the program, or the core itself (then the same value comes back).
    for (auto [t, field] : {std::pair{Text1_, &RunSettings::limitX}, std::pair{Text2_, &RunSettings::limitY},
                            std::pair{Text3_, &RunSettings::divisor}}) {
        connect(t, &QLineEdit::textChanged, this, [this, field = field](const QString& text) {
            machine_->queue(MachineThread::Gate::Always,
                            [m = machine_.get(), field, v = text.toStdString()](Context&) { m->run().*field = v; });
        });
    }

    dialogo_ = Named(new QFileDialog(this), "dialogo");
    dialogo_->setOption(QFileDialog::DontUseNativeDialog, true);
    dialogo_->setAcceptMode(QFileDialog::AcceptOpen);
    dialogo_->setFileMode(QFileDialog::ExistingFile);
}

void Form1::BuildMenu() {
    QMenuBar* bar = menuBar();
    auto item = [&](const char* name, const char* caption, void (Form1::*handler)()) {
        QAction* a = bar->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, handler);
    };
    item("Abrir", "Abrir", &Form1::Abrir_Click);
    item("Exit", "Sair", &Form1::Exit_Click);
    item("ajuda", "Ajuda", &Form1::ajuda_Click);
    item("esquema", "Esquema", &Form1::esquema_Click);
}

void Form1::Form_Load() {
    Slider1_->setValue(RunSettings::kDefaultScale);  // refreshes Label8, so the scale is named from the start
    Slider2_->setValue(RunSettings::kDefaultSpeed);
    for (int i = 3; i <= 7; ++i) LE_[static_cast<std::size_t>(i)]->hide();
}

// ---- the controls as the window shows them ----

bool Form1::Check1() const { return Check1_->isChecked(); }
int Form1::Slider1() const { return Slider1_->value(); }
int Form1::Slider2() const { return Slider2_->value(); }

std::string Form1::Text(int n) const {
    switch (n) {
        case 1: return Text1_->text().toStdString();
        case 2: return Text2_->text().toStdString();
        case 3: return Text3_->text().toStdString();
        default: return {};
    }
}

void Form1::SetText(int n, const std::string& text) {
    const QString t = QString::fromStdString(text);
    switch (n) {
        case 1: Text1_->setText(t); break;
        case 2: Text2_->setText(t); break;
        case 3: Text3_->setText(t); break;
        default: break;
    }
}

void Form1::SetCaption(const std::string& caption) {
    caption_ = caption;
    setWindowTitle(QFile::decodeName(QByteArray::fromStdString(caption)));
    machine_->queue(MachineThread::Gate::Always,
                    [m = machine_.get(), caption](Context&) { m->run().plotFile = caption; });
}

bool Form1::LampVisible(int i) const {
    return i >= 3 && i <= 7 && !LE_[static_cast<std::size_t>(i)]->isHidden();
}

void Form1::SetLampVisible(int i, bool visible) {
    if (i >= 3 && i <= 7) LE_[static_cast<std::size_t>(i)]->setVisible(visible);
}

void Form1::ListClear() {
    model_->clear();
    listClearedSinceRecord_ = true;
}

void Form1::SetCommand1Enabled(bool enabled) {
    command1Enabled_ = enabled;
    ApplyEnabled();
}

void Form1::SetMotorJogEnabled(bool enabled) {
    motorJogEnabled_ = enabled;
    ApplyEnabled();
}

void Form1::SetOperationRunning(Operation op) { OperationRunning(op, Now()); }

void Form1::OperationRunning(Operation op, std::int64_t atNs) {
    const Operation was = running_;
    running_ = op;
    ApplyEnabled();
    if (op == Operation::Job) {
        jobProgress_.start(atNs, caption_ == runningFile_ ? estimates_->estimate() : nullptr);
    } else if (was == Operation::Job) {
        jobProgress_.end(atNs);
    }
    UpdateProgressStatus();
    if (op == Operation::None) SaveRecords(false);
    // Settings changed while the machine moved are estimated now, so the
    // worker never competes with a running operation for the processor.
    if (op == Operation::None && estimates_->deferred()) StartEstimate();
    // A job started from a statement is over: the estimate counts from the
    // start of the file again.
    if (op == Operation::None && jobFrom_ != 1) {
        jobFrom_ = 1;
        StartEstimate();
    }
}

void Form1::ApplyEnabled() {
    // While an operation runs, none of the buttons that start another one
    // answers; "Cancelar", the sliders, the boxes and the menu stay usable.
    const bool idle = running_ == Operation::None;
    ParkFocus(idle);
    Command1_->setEnabled(command1Enabled_ && idle);
    // The pad stays enabled during its own jog: the button keeps the
    // keyboard focus, and its key presses and the key's release are queued
    // to the machine thread behind the cycle.
    MotorJog_->setEnabled(motorJogEnabled_ && (idle || running_ == Operation::Jog));
    Command5_->setEnabled(idle);
    Command2_->setEnabled(idle);
    Command4_->setEnabled(idle);
    Command3_->setEnabled(idle);
    if (resumeMenu_ != nullptr) resumeMenu_->Update();
    if (idle) ReturnFocus();
}

void Form1::SetWaitCursor(bool on) {
    if (on == waitCursor_) return;
    waitCursor_ = on;
    // The pointer changes at once, without a trip through the event loop.
    if (on) {
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
    } else {
        QGuiApplication::restoreOverrideCursor();
    }
}

void Form1::ShowMessage(const std::string& text, const std::string& title) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(title),
                    QString::fromStdString(text), QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("MsgBox"));
    box.exec();
}

// ---- this window's handlers ----

void Form1::Exit_Click() {
    if (!ConfirmStopAndQuit()) return;
    // A job cut short by the end of the program can be started again there.
    // Where it stands is read here only while the machine thread waits at a
    // pump; otherwise the program's end takes it from that thread.
    if (running_ == Operation::Job && insidePump()) ResumeMenu::SaveStopPoint(st_.JobPoint);
    if (onExit) {
        onExit();
        return;
    }
    EndProgram(0);
}

void Form1::EndProgram(int status) {
    // At once, from inside whatever runs: the machine thread switches every
    // coil that may be on off at its next wait and writes nothing more (or,
    // hung within a second, is left and the coils are switched off from
    // here); nothing is unwound, and the system closes the open files.
    if (!machine_->releaseAndStop(1000)) {
        SaveRecords(false);  // the hung thread may still hold the trace
    } else {
        // A job cut short by the end of the program can be started again there.
        if (const StopPoint at = machine_->releasedJobPoint(); at.statement != 0) ResumeMenu::SaveStopPoint(at);
        SaveRecords(true);
    }
    // A conversion cut short leaves no temporary file beside its plot file.
    RemoveTemporaryFiles();
    std::_Exit(status);
}

void Form1::closeEvent(QCloseEvent* e) {
    e->ignore();
    Exit_Click();
}

void Form1::EndOnSignals() {
    new EndSignals([this](int signal) { EndProgram(128 + signal); }, this);
}

void Form1::ajuda_Click() {
    const QString file = DataFile(QStringLiteral("instru.txt"));
    OpenOutside(QUrl::fromLocalFile(file), file);
}

void Form1::esquema_Click() {
    const QString file = DataFile(QStringLiteral("esquema.jpg"));
    OpenOutside(QUrl::fromLocalFile(file), file);
}

void Form1::Label5_Click() {
    const QString page = QString::fromLatin1(contact::kPageUrl);
    OpenOutside(QUrl(page), page);
}

void Form1::Label6_Click() {
    const QString mail = QStringLiteral("mailto:") + QString::fromLatin1(contact::kMail);
    OpenOutside(QUrl(mail), QString::fromLatin1(contact::kMail));
}

void Form1::Slider1_Change() { Label8_->setText(ScaleText(Slider1_->value())); Label8_->adjustSize(); }

void Form1::Picture1_MouseMove(double x, double y) {
    const auto [tx, ty] = PointerTexts(x, y, Slider1_->value(), machineSettings_);
    Label9_->setText(tx);
    Label10_->setText(ty);
    Label9_->adjustSize();
    Label10_->adjustSize();
}

void Form1::Timer1_Timer() {
    // The poll runs on the machine thread, at its next pump.
    machine_->queueTick();
    SaveRecords(false);
    if (running_ == Operation::Job) UpdateProgressStatus();
}

void Form1::ReportPortFault() {
    machine_->queue(MachineThread::Gate::Always, [this](Context& c) {
        const std::string fault = CheckPort(c.port);
        machine_->publishPortStatus();
        if (fault.empty() || machine_->portFaultShown) return;
        machine_->portFaultShown = true;
        c.events.Message(fault);
    });
}

QString Form1::ScaleText(int v) {
    // A number's text keeps a place for its sign: a blank before 0 and up.
    const QString value = v >= 0 ? QStringLiteral(" %1").arg(v) : QString::number(v);
    QString caption;
    if (v < 1) caption = QStringLiteral("Scale / ") + value;
    if (v > 1) caption = QStringLiteral("Scale * ") + value;
    if (v >= -1 && v <= 1) caption = QStringLiteral("Scale Normal");
    return caption;
}

}  // namespace pm
