// The "Trabalho" menu: the machine's settings, where the machine stands, the
// way back to the job's origin, the preview of the chosen file, the scale
// that fits it, the recent files, the port, and what the window remembers.
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QWheelEvent>
#include <algorithm>
#include <functional>

#include "app/JobMenu.h"
#include "app/MachineDialog.h"
#include "app/PortDialog.h"
#include "app/PreviewPainter.h"
#include "app/SettingsStore.h"
#include "motion/MachinePosition.h"
#include "tests/app/WindowFixture.h"

namespace pm {
namespace {

class JobMenuTest : public test::Window {
protected:
    // A window like the fixture's, with a settings store on an INI file in
    // the test's folder; a store of its own reads the file afresh.
    void remake(bool withStore = true) {
        form_.reset();
        store_ = withStore ? std::make_shared<SettingsStore>(dir_.filePath("portmill.ini")) : nullptr;
        auto clock = std::make_unique<VirtualClock>();
        clock_ = clock.get();
        auto trace = std::make_unique<TracePort>(sim_, [c = clock_] { return c->nowNs(); });
        trace->setRecordReads(false);
        trace_ = trace.get();
        Form1::Options o;
        o.startTimer = false;
        o.clockTicks = true;
        o.lockstep = true;
        o.settings = store_;
        form_ = std::make_unique<Form1>(std::move(trace), std::move(clock), o);
        form_->onExit = [this] { ++exits_; };
        // The window's questions go on as before they were asked: the cut,
        // the stop at the end, a start from a statement where the machine is.
        form_->ask = [](const std::string&, const std::vector<std::string>& buttons) {
            const auto here = std::find(buttons.begin(), buttons.end(), "Começar daqui");
            return here != buttons.end() ? static_cast<int>(here - buttons.begin()) : 0;
        };
        form_->show();
        form_->settle();  // the remembered settings reach the machine thread
    }
    QString write(const QString& name, const QByteArray& text) {
        const QString p = dir_.filePath(name);
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return p;
    }
    // Opens a file as "Abrir" does and waits for its preview.
    void open(const QString& path) {
        form_->OpenChosenFile(path);
        form_->waitForEstimates();
    }
    QString status(const char* name) {
        form_->refreshNow();
        return w<QLabel>(name)->text();
    }
    // Runs `fill` on the next modal dialog of type D when it shows.
    template <typename D>
    void onNextDialog(std::function<void(D&)> fill) {
        QTimer::singleShot(0, [this, fill] {
            if (auto* d = qobject_cast<D*>(QApplication::activeModalWidget())) {
                fill(*d);
                return;
            }
            onNextDialog<D>(fill);
        });
    }
    static std::set<std::pair<int, int>> PixelsNot(const QImage& img, QRgb colour) {
        std::set<std::pair<int, int>> out;
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (img.pixel(x, y) != colour) out.insert({x, y});
        return out;
    }

    std::shared_ptr<SettingsStore> store_;
};

// The grey preview takes exactly the pixels the job's dots then take, at
// every scale, with a divisor that leaves fractions.
TEST_F(JobMenuTest, PreviewTakesThePixelsOfTheJobsDots) {
    const QString file = write("casa.red", "PU;PA600,600;PD;PA4000,600;PA4000,3000;PA2300,4700;"
                                           "PA600,3000;PA600,600;PU;PA4000,3000;PD;PA600,3000;PU;");
    for (const int scale : {5, 2, 1, 10}) {
        SCOPED_TRACE(scale);
        w<QSlider>("Slider1")->setValue(scale);
        open(file);
        const QImage preview = form_->canvas().image();
        const auto grey = PixelsNot(preview, qRgb(255, 255, 255));
        ASSERT_FALSE(grey.empty());
        // Grey on white.
        for (const auto& [x, y] : grey) ASSERT_EQ(preview.pixel(x, y), PreviewPainter::kGrey);

        click("Command1");
        const QImage done = form_->canvas().image();
        EXPECT_EQ(PixelsNot(done, qRgb(255, 255, 255)), grey);
        EXPECT_EQ(PixelsNot(done, PreviewPainter::kGrey).size(),
                  static_cast<std::size_t>(done.width()) * static_cast<std::size_t>(done.height()))
            << "every grey pixel is covered by a dot";
    }
}

TEST_F(JobMenuTest, TheWheelOverTheCanvasMovesSlider1) {
    auto* slider = w<QSlider>("Slider1");
    const auto turn = [this](int delta) {
        QWheelEvent e(QPointF(100, 100), QPointF(100, 100), QPoint(), QPoint(0, delta), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(w("Picture1"), &e);
    };
    EXPECT_EQ(slider->value(), 5);
    turn(120);  // forward: towards "+", a larger drawing
    EXPECT_EQ(slider->value(), 4);
    turn(-360);
    EXPECT_EQ(slider->value(), 7);
    turn(60);  // half a notch waits for the other half
    EXPECT_EQ(slider->value(), 7);
    turn(60);
    EXPECT_EQ(slider->value(), 6);
    for (int i = 0; i < 20; ++i) turn(-120);
    EXPECT_EQ(slider->value(), 10);
    EXPECT_EQ(w<QLabel>("Label8")->text(), Form1::ScaleText(10));
}

TEST_F(JobMenuTest, AjustarEscalaTakesTheLargestScaleThatHoldsTheDrawing) {
    w<QLineEdit>("Text3")->setText("1");
    struct Row {
        const char* drawing;
        int scale;  // what Slider1 holds after; 7 where nothing fits
        bool says;
    };
    const Row rows[] = {
        {"PD;PA400,400;", 1, false},
        {"PD;PA40000,20000;", 5, false},
        {"PD;PA97949,0;", 10, false},
        {"PU;PA-4000,-3000;", -1, false},
        {"PD;PA97950,0;", 7, true},
        {"PU;PA-10,0;PA10,0;", 7, true},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.drawing);
        w<QSlider>("Slider1")->setValue(7);
        open(write("d.red", r.drawing));
        messages_.clear();
        if (r.says) closeNextMessageBox();
        form_->jobMenu().AjustarEscala_Click();
        EXPECT_EQ(w<QSlider>("Slider1")->value(), r.scale);
        EXPECT_EQ(messages_.size(), r.says ? 1 : 0);
        if (!r.says) {
            // The whole drawing is on the canvas: its far corner too.
            form_->waitForEstimates();
            EXPECT_FALSE(PixelsNot(form_->canvas().image(), qRgb(255, 255, 255)).empty());
        }
    }
}

// The machine's place in the status bar, the way back to the job's origin,
// and the warning when the drawing would leave the work area.
TEST_F(JobMenuTest, PositionReturnAndWorkAreaWarning) {
    EXPECT_EQ(status("positionStatus"), QString::fromUtf8("Máquina: posição desconhecida"));
    click("Command4");  // Home XY
    EXPECT_EQ(status("positionStatus"), QString::fromUtf8("Máquina: X 0,0 mm Y 0,0 mm"));

    MachineSettings area = form_->machineSettings();
    area.TravelX = 100;
    area.TravelY = 50;
    form_->SetMachineSettings(area);
    w<QLineEdit>("Text3")->setText("1");
    w<QCheckBox>("Check1")->setChecked(true);
    // 1127 half-steps is 100.02 mm at 40 / 3.55 half-steps a millimetre.
    // The job's first pass may pull the motors by up to three half-steps to
    // its own first phase; the count follows whatever they do.
    const auto shown = [this] {
        const MachineSettings& m = form_->state().Settings;
        return QStringLiteral("Máquina: X %1 mm Y %2 mm")
            .arg(QString::fromStdString(Millimetres(static_cast<double>(sim_.x()) / m.StepsPerMmX)),
                 QString::fromStdString(Millimetres(static_cast<double>(sim_.y()) / m.StepsPerMmY)));
    };
    open(write("ida.red", "PU;PA200,100;PD;PA1127,100;PA1127,0;"));
    click("Command1");
    EXPECT_TRUE(messages_.empty()) << messages_.join("\n").toStdString();
    EXPECT_NEAR(static_cast<double>(sim_.x()), 1127, 3);
    EXPECT_EQ(status("positionStatus"), shown());

    // From X 100 mm the same drawing goes to 200 mm: warned, and milled.
    closeNextMessageBox();
    click("Command1");
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].contains("sai da área de trabalho")) << messages_[0].toStdString();
    EXPECT_NEAR(static_cast<double>(sim_.x()), 2254, 6);
    EXPECT_EQ(status("positionStatus"), shown());
    const long long originX = sim_.x() - 1127;
    const long long originY = sim_.y();

    action("VoltarOrigem")->trigger();
    form_->settle();
    EXPECT_EQ(sim_.x(), originX);
    EXPECT_EQ(sim_.y(), originY);
    EXPECT_EQ(sim_.missedSteps(), 0);
    EXPECT_EQ(status("positionStatus"), shown());

    // The lost-step check homes and finds every step where it was counted.
    closeNextMessageBox();
    action("VerificarPosicao")->trigger();
    form_->settle();
    EXPECT_EQ(messages_.back(), QStringLiteral("Nenhum passo perdido"));
    EXPECT_EQ(sim_.x(), 0);
    EXPECT_EQ(sim_.y(), 0);
}

TEST_F(JobMenuTest, MachineDialogReadsAndChecksEveryValue) {
    using F = std::array<QString, MachineDialog::kFields>;
    struct Row {
        F texts;
        bool ok;
        const char* says;
    };
    const Row rows[] = {
        {{"11,27", "11.27", "200", "150", "", "0", "", "", "200", ""}, true, ""},
        {{"11,27", "11,27", "", "", "", "", "2,5", "20000", "400", "5"}, true, ""},
        {{"onze", "11", "", "", "", "", "", "", "200", ""}, false, "\"onze\" não é um número"},
        {{"", "11", "", "", "", "", "", "", "200", ""}, false, "não é um número"},
        {{"11", "11", "-5", "", "", "", "", "", "200", ""}, false, "curso"},
        {{"11", "11", "200", "150", "100", "", "", "", "200", ""}, false, "folga"},
        {{"0", "11", "", "", "", "", "", "", "200", ""}, false, "meios-passos"},
        {{"11", "11", "", "", "", "", "", "-1", "200", ""}, false, "aceleração"},
        {{"11", "11", "", "", "", "", "", "", "0", ""}, false, "partida"},
        {{"11", "11", "", "", "", "", "", "", "200", "41"}, false, "deslocamentos"},
        {{"11", "11", "", "", "", "", "", "", "200", "2,5"}, false, "deslocamentos"},
        {{"11", "11", "", "", "", "", "", "", "200", "", "-1"}, false, "antecipação"},
        {{"11", "11", "", "", "", "", "", "", "200", "", "10001"}, false, "antecipação"},
        {{"11", "11", "", "", "", "", "", "", "200", "", "", "-0,5"}, false, "folga"},
    };
    for (const Row& r : rows) {
        MachineSettings m;
        QString error;
        EXPECT_EQ(MachineDialog::Read(r.texts, m, error), r.ok) << r.texts[0].toStdString();
        EXPECT_TRUE(error.contains(QString::fromUtf8(r.says))) << error.toStdString();
    }
    MachineSettings m;
    QString error;
    ASSERT_TRUE(MachineDialog::Read({"11,27", "10", "200", "150", "", "", "", "20000", "400", "5", "0", "0,5", ""},
                                    m, error));
    EXPECT_EQ(m.BacklashX, 6);  // 0.5 mm at 11.27 half-steps a mm, whole
    EXPECT_EQ(m.BacklashY, 0);
    EXPECT_EQ(m.lookahead, 0);
    EXPECT_EQ(m.accel, 20000);
    EXPECT_EQ(m.startRate, 400);
    EXPECT_EQ(m.travelSpeed, 5);
    EXPECT_EQ(m.StepsPerMmX, 11.27);
    EXPECT_EQ(m.StepsPerMmY, 10);
    EXPECT_EQ(HomeAllowanceSteps(m, AxisXY::X), 2480);
}

// Everything the window remembers comes back at the next start, as the
// dialogs and controls set it; the motors always start off.
TEST_F(JobMenuTest, SettingsComeBackAtTheNextStart) {
    remake();
    w<QLineEdit>("Text3")->setText("2.5");
    w<QSlider>("Slider2")->setValue(7);
    w<QSlider>("Slider1")->setValue(3);
    w<QCheckBox>("Check1")->setChecked(true);
    QDir(dir_.path()).mkpath("desenhos");
    const QString file = write("desenhos/a.red", "PD;PA10,10;");
    open(file);
    onNextDialog<MachineDialog>([](MachineDialog& d) {
        d.findChild<QLineEdit*>("cursoX")->setText("300");
        d.findChild<QLineEdit*>("cursoY")->setText("200,5");
        d.findChild<QLineEdit*>("ciclosZ")->setText("x");
        d.accept();  // refused: says why and stays open
    });
    closeNextMessageBox();
    onNextDialog<MachineDialog>([](MachineDialog& d) {
        if (d.findChild<QLineEdit*>("ciclosZ")->text() != "x") return;
        d.findChild<QLineEdit*>("ciclosZ")->setText("4");
        d.findChild<QLineEdit*>("folgaEixoY")->setText("1");
        d.accept();
    });
    action("Maquina")->trigger();
    form_->settle();
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].contains("não é um número"));
    EXPECT_EQ(form_->state().Settings.TravelY, 200.5);
    EXPECT_EQ(form_->state().Settings.ZCyclesPerMm, 4);

    // Ended by "Sair": nothing more is written on the way out, so the file
    // holds every value already.
    action("Exit")->trigger();
    {
        const QSettings file(dir_.filePath("portmill.ini"), QSettings::IniFormat);
        EXPECT_EQ(file.value("janela/divisor").toString(), "2.5");
        EXPECT_EQ(file.value("janela/velocidade").toInt(), 7);
        EXPECT_EQ(file.value("janela/escala").toInt(), 3);
        EXPECT_EQ(file.value("maquina/cursoY").toDouble(), 200.5);
        EXPECT_FALSE(file.contains("janela/motores"));
    }
    remake();
    EXPECT_EQ(w<QLineEdit>("Text3")->text(), "2.5");
    EXPECT_EQ(w<QSlider>("Slider2")->value(), 7);
    EXPECT_EQ(w<QSlider>("Slider1")->value(), 3);
    EXPECT_FALSE(w<QCheckBox>("Check1")->isChecked());
    EXPECT_EQ(form_->state().Settings.TravelX, 300);
    EXPECT_EQ(form_->state().Settings.TravelY, 200.5);
    EXPECT_EQ(form_->state().Settings.ZCyclesPerMm, 4);
    EXPECT_EQ(form_->state().Settings.BacklashY, 11);
    EXPECT_EQ(QFileInfo(form_->dialogo().directory().path()).canonicalFilePath(),
              QFileInfo(dir_.filePath("desenhos")).canonicalFilePath());
    EXPECT_EQ(store_->recentFiles(), QStringList{QFileInfo(file).absoluteFilePath()});

    // A window without a store starts as it always did.
    remake(false);
    EXPECT_EQ(w<QLineEdit>("Text3")->text(), "3.55");
    EXPECT_EQ(w<QSlider>("Slider1")->value(), 5);
}

// Off at first, the file's order is kept; ticked, the drawings converted
// take the shortest tool-up path and the summary says so; the choice
// comes back at the next start.
TEST_F(JobMenuTest, OtimizarOPercursoOrdersTheConversionsAndIsRemembered) {
    remake();
    QAction* item = action("OtimizarPercurso");
    ASSERT_TRUE(item->isCheckable());
    EXPECT_FALSE(item->isChecked());
    const QByteArray far = "IN;PU4000,0;PD400,0;PU;";
    const auto converted = [this](const QString& plt) {
        closeNextMessageBox();
        open(plt);
        form_->conversion().waitForDone();
        QFile red(QString(plt).replace(".plt", ".red"));
        EXPECT_TRUE(red.open(QIODevice::ReadOnly));
        return red.readAll();
    };
    EXPECT_TRUE(converted(write("a.plt", far)).startsWith("PU4000,0;PD400,0;"));
    item->trigger();
    EXPECT_TRUE(converted(write("b.plt", far)).startsWith("PU400,0;PD4000,0;"));
    ASSERT_EQ(messages_.size(), 2);
    EXPECT_FALSE(messages_[0].contains("Percurso otimizado"));
    EXPECT_TRUE(messages_[1].contains("Percurso otimizado: deslocamento com a ferramenta levantada de 100 mm "
                                      "para 10 mm; levantamentos de 1 para 1."))
        << messages_[1].toStdString();
    remake();
    EXPECT_TRUE(action("OtimizarPercurso")->isChecked());
}

TEST_F(JobMenuTest, RecentFilesKeepTenAndDropAMissingOneWithAMessage) {
    remake();
    QStringList files;
    for (int i = 0; i < 12; ++i) files << write(QStringLiteral("f%1.red").arg(i), "PD;");
    for (const QString& f : files) store_->addRecentFile(f);
    store_->addRecentFile(files[5]);  // again: moves to the top, once
    QStringList recent = store_->recentFiles();
    ASSERT_EQ(recent.size(), 10);
    EXPECT_EQ(recent[0], files[5]);
    EXPECT_EQ(recent[1], files[11]);
    EXPECT_FALSE(recent.contains(files[0]));

    QFile::remove(files[11]);
    closeNextMessageBox();
    form_->jobMenu().AbrirRecente(files[11]);
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].contains("não existe mais")) << messages_[0].toStdString();
    EXPECT_FALSE(store_->recentFiles().contains(files[11]));
    EXPECT_TRUE(form_->Caption().empty());

    form_->jobMenu().AbrirRecente(files[7]);
    EXPECT_EQ(form_->Caption(), QFile::encodeName(files[7]).toStdString());
    EXPECT_EQ(store_->recentFiles().front(), files[7]);
    auto* menu = form_->findChild<QMenu*>("AbrirRecente");
    ASSERT_NE(menu, nullptr);
    emit menu->aboutToShow();
    EXPECT_EQ(menu->actions().size(), 9);
    EXPECT_TRUE(menu->actions().front()->text().endsWith(files[7]));
}

TEST_F(JobMenuTest, PortaExchangesThePortWhileNothingRuns) {
    remake();
    onNextDialog<PortDialog>([](PortDialog& d) {
        d.findChild<QRadioButton*>("io")->setChecked(true);
        d.findChild<QLineEdit*>("endereco")->setText("porta");
        d.accept();  // refused
    });
    closeNextMessageBox();
    onNextDialog<PortDialog>([](PortDialog& d) {
        if (d.findChild<QLineEdit*>("endereco")->text() != "porta") return;
        d.findChild<QRadioButton*>("sim")->setChecked(true);
        d.accept();
    });
    click("Command4");
    ASSERT_TRUE(form_->state().Position.HomedXY);
    action("Porta")->trigger();
    form_->settle();
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].contains("não é um endereço")) << messages_[0].toStdString();
    EXPECT_EQ(form_->jobMenu().portName(), "sim");
    EXPECT_EQ(store_->port(), "sim");
    EXPECT_FALSE(form_->state().Position.HomedXY) << "another machine: its place is unknown";
    EXPECT_EQ(status("portStatus"), QString::fromUtf8("Máquina simulada"));
    trace_ = nullptr;  // gone with the old port

    // While a job runs, the port stays.
    w<QLineEdit>("Text3")->setText("1");
    open(write("longo.red", "PD;PA3000,0;"));
    bool asked = false;
    form_->onPump = [&] {
        if (asked) return;
        asked = true;
        closeNextMessageBox();
        form_->jobMenu().Porta_Click();
    };
    click("Command1");
    ASSERT_EQ(messages_.size(), 2) << messages_.join("\n").toStdString();
    EXPECT_TRUE(messages_[1].contains("nada está em andamento"));
}

}  // namespace
}  // namespace pm
