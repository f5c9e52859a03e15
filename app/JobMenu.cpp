#include "app/JobMenu.h"

#include <QAction>
#include <QCheckBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSlider>
#include <QStatusBar>

#include "app/Canvas.h"
#include "app/CanvasMarks.h"
#include "app/Form1.h"
#include "app/MachineDialog.h"
#include "app/PortDialog.h"
#include "app/PortSwitch.h"
#include "app/SettingsStore.h"
#include "app/StatusField.h"
#include "homing/Homing.h"
#include "job/Job.h"
#include "job/ReturnToOrigin.h"
#include "motion/MachinePosition.h"
#include "motion/Motion.h"
#include "port/PortFactory.h"

namespace pm {

JobMenu::JobMenu(Form1& form, const Widgets& widgets, std::shared_ptr<SettingsStore> store, QString portName)
    : QObject(&form), form_(form), widgets_(widgets), store_(std::move(store)), portName_(std::move(portName)) {
    menu_ = form.menuBar()->addMenu(QStringLiteral("Trabalho"));
    menu_->setObjectName(QStringLiteral("Trabalho"));
    menu_->menuAction()->setObjectName(QStringLiteral("TrabalhoMenu"));
    recent_ = new QMenu(QStringLiteral("Abrir recente"), menu_);
    recent_->setObjectName(QStringLiteral("AbrirRecente"));
    connect(recent_, &QMenu::aboutToShow, this, &JobMenu::FillRecentMenu);

    tail_ = menu_->addSeparator();
    portAction_ = menu_->addAction(QStringLiteral("Porta\u2026"));
    portAction_->setObjectName(QStringLiteral("Porta"));
    connect(portAction_, &QAction::triggered, this, &JobMenu::Porta_Click);

    addItem(QStringLiteral("Máquina\u2026"), "Maquina", [this] { Maquina_Click(); });
    addItem(QStringLiteral("Voltar à origem do trabalho"), "VoltarOrigem",
            [this] { VoltarOrigem_Click(); });
    addItem(QStringLiteral("Verificar posição"), "VerificarPosicao", [this] { VerificarPosicao_Click(); });
    addItem(QStringLiteral("Ajustar escala"), "AjustarEscala", [this] { AjustarEscala_Click(); });
    // How the next drawing opened is converted; off, the file's order.
    shortenPath_ = addItem(QStringLiteral("Otimizar o percurso"), "OtimizarPercurso", [] {});
    shortenPath_->setCheckable(true);
    menu_->insertMenu(tail_, recent_);
    FillRecentMenu();

    position_ = new StatusField(form.statusBar());
    position_->setObjectName(QStringLiteral("positionStatus"));
    form.statusBar()->addPermanentWidget(position_);

    widgets_.canvas->onFit = [this] { AjustarEscala_Click(); };
    connect(widgets_.scale, &QSlider::valueChanged, this, &JobMenu::UpdateCanvasMarks);
    connect(widgets_.divisor, &QLineEdit::textChanged, this, &JobMenu::UpdateCanvasMarks);
    for (const char* limit : {"Text1", "Text2"}) {
        if (auto* t = form.findChild<QLineEdit*>(QString::fromLatin1(limit)))
            connect(t, &QLineEdit::textChanged, this, &JobMenu::UpdateCanvasMarks);
    }
    LoadSettings();
    UpdateStatus();
}

JobMenu::~JobMenu() = default;

QAction* JobMenu::addItem(const QString& caption, const char* name, std::function<void()> handler,
                          QAction* before) {
    auto* a = new QAction(caption, menu_);
    a->setObjectName(QString::fromLatin1(name));
    menu_->insertAction(before != nullptr ? before : tail_, a);
    connect(a, &QAction::triggered, this, [h = std::move(handler)] { h(); });
    return a;
}

void JobMenu::LoadSettings() {
    if (!store_) return;
    form_.SetMachineSettings(store_->machine());
    if (const auto d = store_->divisor()) widgets_.divisor->setText(*d);
    if (const auto v = store_->speed()) widgets_.speed->setValue(*v);
    if (const auto v = store_->scale()) widgets_.scale->setValue(*v);
    const QString folder = store_->lastFolder();
    if (!folder.isEmpty() && QFileInfo(folder).isDir()) form_.dialogo().setDirectory(folder);
    // The motors start off whatever was ticked when the program ended.
    widgets_.motors->setChecked(false);
    shortenPath_->setChecked(store_->shortenPath());

    // Every change is written at once, so a program ended by "Sair" keeps it.
    SettingsStore* s = store_.get();
    connect(widgets_.divisor, &QLineEdit::textChanged, this, [s](const QString& t) { s->setDivisor(t); });
    connect(widgets_.speed, &QSlider::valueChanged, this, [s](int v) { s->setSpeed(v); });
    connect(widgets_.scale, &QSlider::valueChanged, this, [s](int v) { s->setScale(v); });
    connect(shortenPath_, &QAction::toggled, this, [s](bool on) { s->setShortenPath(on); });
}

bool JobMenu::shortenPath() const { return shortenPath_->isChecked(); }

void JobMenu::FileOpened(const QString& path) {
    const QFileInfo info(path);
    form_.dialogo().setDirectory(info.absolutePath());
    if (!store_) return;
    store_->setLastFolder(info.absolutePath());
    store_->addRecentFile(info.absoluteFilePath());
    store_->sync();
    // At once: a greyed-out submenu never opens, so it would not refill itself.
    FillRecentMenu();
}

void JobMenu::FillRecentMenu() {
    recent_->clear();
    const QStringList files = store_ ? store_->recentFiles() : QStringList();
    recent_->setEnabled(!files.isEmpty());
    int n = 0;
    for (const QString& f : files) {
        QAction* a = recent_->addAction(QStringLiteral("&%1 %2").arg(++n % 10).arg(f));
        a->setObjectName(QStringLiteral("recente%1").arg(n));
        connect(a, &QAction::triggered, this, [this, f] { AbrirRecente(f); });
    }
}

void JobMenu::AbrirRecente(const QString& path) {
    if (!QFileInfo::exists(path)) {
        if (store_) store_->removeRecentFile(path);
        FillRecentMenu();
        form_.ShowMessage("O arquivo " + path.toStdString() +
                         " não existe mais e foi retirado da lista de arquivos recentes.",
                     kMsgTitle);
        return;
    }
    form_.OpenChosenFile(path);
}

void JobMenu::Maquina_Click() {
    MachineDialog dialog(form_.machineSettings(), &form_);
    if (dialog.exec() != QDialog::Accepted) return;
    const MachineSettings before = form_.machineSettings();
    form_.SetMachineSettings(dialog.result());
    if (store_) {
        store_->setMachine(dialog.result());
        store_->sync();
    }
    UpdateStatus();
    form_.ProposeDivisor(before);
}

void JobMenu::VoltarOrigem_Click() {
    // A motion like any other: the machine thread runs it when nothing runs.
    form_.machine().queue(MachineThread::Gate::Idle, [](Context& c) { (void)ReturnToJobOrigin(c); });
}

void JobMenu::VerificarPosicao_Click() {
    // Home XY with a count: the result comes back as a message.
    form_.machine().queue(MachineThread::Gate::Idle, [](Context& c) { (void)CheckPosition(c); });
}

void JobMenu::AjustarEscala_Click() {
    if (form_.Caption().empty()) {
        form_.ShowMessage(kNoFileMessage, kMsgTitle);
        return;
    }
    if (form_.estimate() == nullptr) {
        if (!form_.estimatePending()) form_.StartEstimate();
        form_.waitForEstimates();
    }
    const JobEstimate* e = form_.estimate();
    if (e == nullptr || e->extentSteps.empty) {
        form_.ShowMessage("O desenho não tem pontos para ajustar a escala.", kMsgTitle);
        return;
    }
    const Extent& x = e->extentSteps;
    const auto scale = FitScale(x.minX, x.minY, x.maxX, x.maxY, Canvas::kWidth * Canvas::kTwipsPerPixel,
                                Canvas::kHeight * Canvas::kTwipsPerPixel, kPreviewBase);
    if (!scale) {
        form_.ShowMessage("O desenho não cabe no quadro em nenhuma escala: ele passa dos dois lados "
                     "da origem ou é grande demais.",
                     kMsgTitle);
        return;
    }
    widgets_.scale->setValue(*scale);
    // Then the view: the drawing as large as the canvas holds.
    widgets_.canvas->fitTwips(QRectF(JobToTwips(x.minX, x.minY, *scale), JobToTwips(x.maxX, x.maxY, *scale))
                                  .normalized()
                                  .adjusted(0, 0, Canvas::kTwipsPerPixel, Canvas::kTwipsPerPixel));
}

void JobMenu::Porta_Click() {
    if (form_.running() != Operation::None) {
        form_.ShowMessage("A porta só pode ser trocada quando nada está em andamento.", kMsgTitle);
        return;
    }
    PortDialog dialog(portName_, PortDialog::FoundDevices(), &form_);
    if (dialog.exec() != QDialog::Accepted) return;
    std::string error;
    std::unique_ptr<Port> port = OpenPort(dialog.portName().toStdString(), &error);
    if (!port) {
        form_.ShowMessage(error, kMsgTitle);
        return;
    }
    // The machine thread alone touches the port: it puts the new one in
    // place when nothing runs. Another machine: where it stands is not known.
    auto opened = std::make_shared<std::unique_ptr<Port>>(std::move(port));
    PortSwitch* ports = &form_.portSwitch();
    MachineThread* machine = &form_.machine();
    machine->queue(MachineThread::Gate::Idle, [ports, machine, opened](Context& c) {
        ports->replace(std::move(*opened));
        c.st.Position = MachinePosition{};
        machine->portFaultShown = false;
        machine->publishPortStatus();
    });
    portName_ = dialog.portName();
    if (store_) {
        store_->setPort(portName_);
        store_->sync();
    }
    form_.ReportPortFault();
}

void JobMenu::BeforeJob() {
    const MachineSettings& settings = form_.machineSettings();
    const MachinePosition& position = form_.machinePosition();
    if (!WorkAreaKnown(settings) || !position.HomedXY || form_.Caption().empty()) return;
    if (form_.estimate() == nullptr) {
        if (!form_.estimatePending()) form_.StartEstimate();
        form_.waitForEstimates();
    }
    const JobEstimate* e = form_.estimate();
    if (e == nullptr || e->extentSteps.empty) return;
    const Extent& x = e->extentSteps;
    const std::string warning = ExtentWarning(position, settings, x.minX, x.minY, x.maxX, x.maxY);
    if (warning.empty()) return;
    form_.ShowMessage(warning + "\n\nO trabalho começa assim mesmo; \"Cancelar\" o interrompe.", kMsgTitle);
}

void JobMenu::UpdateStatus() {
    // From "Zerar XY aqui" on, where the tool stands from the job's origin
    // comes first, the machine's place beside it.
    const std::string work = WorkPositionText(form_.machinePosition(), form_.machineSettings());
    const QString text = QString::fromStdString((work.empty() ? work : work + "   ") +
                                                MachinePositionText(form_.machinePosition(), form_.machineSettings()));
    if (text != position_->text()) position_->setText(text);
    UpdateCanvasMarks();
}

void JobMenu::UpdateCanvasMarks() {
    const MachinePosition& p = form_.machinePosition();
    const int scale = widgets_.scale->value();
    const auto area = WorkAreaSteps(p, form_.machineSettings(), form_.Text(1), form_.Text(2), form_.Text(3));
    widgets_.canvas->setWorkArea(
        area ? QRectF(JobToTwips(area->left(), area->top(), scale), JobToTwips(area->right(), area->bottom(), scale))
                   .normalized()
             : QRectF());
    // Counted from the coils: where the tool stands once a job fixed its origin.
    if (p.JobOriginKnown) {
        widgets_.canvas->setTool(JobToTwips(static_cast<double>(p.X - p.JobOriginX),
                                            static_cast<double>(p.Y - p.JobOriginY), scale));
    }
}

}  // namespace pm
