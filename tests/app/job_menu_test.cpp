// The "Trabalho" menu: the machine's settings, where the machine stands, the
// way back to the job's origin, the preview of the chosen file, the scale
// that fits it, the recent files, the port, and what the window remembers.
#include <QDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <algorithm>
#include <functional>

#include "app/Canvas.h"
#include "app/CanvasMarks.h"
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

// The preview takes exactly the pixels the job's dots then take, at every
// scale, with a divisor that leaves fractions: travel and cut in their shades.
TEST_F(JobMenuTest, PreviewTakesThePixelsOfTheJobsDots) {
    const QString file = write("casa.red", "PU;PA600,600;PD;PA4000,600;PA4000,3000;PA2300,4700;"
                                           "PA600,3000;PA600,600;PU;PA4000,3000;PD;PA600,3000;PU;");
    const QRgb white = qRgb(255, 255, 255);
    for (const int scale : {5, 2, 1, 10}) {
        SCOPED_TRACE(scale);
        w<QSlider>("Slider1")->setValue(scale);
        open(file);
        const QImage preview = form_->canvas().image();
        const auto shaded = PixelsNot(preview, white);
        std::set<QRgb> shades;
        for (const auto& [x, y] : shaded) shades.insert(preview.pixel(x, y));
        EXPECT_EQ(shades, (std::set<QRgb>{PreviewPainter::kTravel, PreviewPainter::kCut}));

        click("Command1");
        const QImage done = form_->canvas().image();
        EXPECT_EQ(PixelsNot(done, white), shaded);
        for (const auto& [x, y] : shaded) {
            ASSERT_TRUE(shades.count(done.pixel(x, y)) == 0) << "every preview pixel is covered by a dot";
        }
    }
}

// The wheel zooms at the pointer and a drag pans: the scale and the dots stay.
TEST_F(JobMenuTest, TheWheelZoomsAtThePointerAndADragPans) {
    auto* canvas = form_->findChild<Canvas*>("Picture1");
    open(write("d.red", "PD;PA4000,3000;"));
    const QImage dots = canvas->image();
    const QPoint at(200, 300);
    const QPointF inside = at - canvas->contentsRect().topLeft();
    const QPointF under = canvas->view().toArea(inside);
    QWheelEvent e(at, canvas->mapToGlobal(QPointF(at)), QPoint(), QPoint(0, 240), Qt::NoButton, Qt::NoModifier,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &e);
    EXPECT_DOUBLE_EQ(canvas->view().zoom, 1.25 * 1.25);
    EXPECT_NEAR(canvas->view().toArea(inside).x(), under.x(), 1e-9);
    EXPECT_NEAR(canvas->view().toArea(inside).y(), under.y(), 1e-9);

    const QPointF pan = canvas->view().pan;
    QTest::mousePress(canvas, Qt::LeftButton, {}, at);
    QTest::mouseMove(canvas, at + QPoint(50, -20));
    QTest::mouseRelease(canvas, Qt::LeftButton, {}, at + QPoint(50, -20));
    EXPECT_EQ(canvas->view().pan, pan + QPointF(50, -20));
    EXPECT_EQ(w<QSlider>("Slider1")->value(), 5);
    EXPECT_EQ(canvas->image(), dots);
}

// The canvas takes what the window grows; what stands below it moves down.
TEST_F(JobMenuTest, TheCanvasGrowsWithTheWindow) {
    const QRect canvas = w("Picture1")->geometry();
    const QRect fresar = w("Command1")->geometry();
    const QRect list = w("List1")->geometry();
    form_->resize(form_->size() + QSize(300, 200));
    QApplication::processEvents();
    EXPECT_EQ(w("Picture1")->geometry(), canvas.adjusted(0, 0, 300, 200));
    EXPECT_EQ(w("Command1")->geometry(), fresar.translated(0, 200));
    EXPECT_EQ(w("List1")->geometry(), list);
    EXPECT_DOUBLE_EQ(form_->canvas().view().zoom, (653 + 300) / 653.0) << "the whole area, as large as it fits";
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
    // The view then fits the drawing: the small one fills the canvas's height.
    open(write("d.red", rows[0].drawing));
    form_->findChild<QToolButton*>("AjustarVista")->click();
    const CanvasView& v = form_->canvas().view();
    const QRectF shown(v.toScreen(JobToTwips(0, 0, 1) / 15), v.toScreen(JobToTwips(400, 400, 1) / 15));
    EXPECT_GT(shown.normalized().height(), 0.85 * form_->canvas().contentsRect().height());
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

// "Máquina…": new half-steps per mm propose the divisor for plot files
// (taken here), and every setting that changes the job's time estimates anew.
TEST_F(JobMenuTest, MaquinaProposesTheDivisorAndReestimates) {
    open(write("a.red", "PD;PA400,0;"));
    std::vector<std::string> proposed;
    form_->ask = [&proposed](const std::string&, const std::vector<std::string>& buttons) {
        proposed.push_back(buttons.at(0));
        return 0;
    };
    struct Row {
        std::vector<std::pair<const char*, const char*>> boxes;
        bool estimated;
        const char* proposal;  // the first button of the question, or none
    };
    const Row rows[] = {{{{"passosX", "320"}, {"passosY", "320"}}, true, "Usar 0.125"},
                        {{{"aceleracao", "20000"}}, true, nullptr},
                        {{{"partida", "300"}}, true, nullptr},
                        {{{"deslocamento", "5"}}, true, nullptr},
                        {{{"antecipacao", "8"}}, true, nullptr},
                        {{}, false, nullptr},
                        {{{"passosY", "300"}}, true, nullptr}};  // X and Y differ: no one divisor
    for (const Row& r : rows) {
        SCOPED_TRACE(r.boxes.empty() ? "none" : r.boxes[0].first);
        proposed.clear();
        onNextDialog<MachineDialog>([&r](MachineDialog& d) {
            for (const auto& [box, value] : r.boxes) d.findChild<QLineEdit*>(box)->setText(value);
            d.accept();
        });
        const int before = form_->estimatesStarted();
        action("Maquina")->trigger();
        EXPECT_EQ(form_->estimatesStarted() > before, r.estimated);
        EXPECT_EQ(proposed, r.proposal ? std::vector<std::string>{r.proposal} : std::vector<std::string>{});
    }
    EXPECT_EQ(w<QLineEdit>("Text3")->text(), "0.125");
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

// A drawing opened is listed at once, itself rather than its conversion.
TEST_F(JobMenuTest, AbrirRecenteListsTheDrawingOpenedAtOnce) {
    remake();
    auto* menu = form_->findChild<QMenu*>("AbrirRecente");
    EXPECT_FALSE(menu->isEnabled());
    const QString svg = write("casa.svg", "<svg xmlns='http://www.w3.org/2000/svg' width='10mm' height='10mm' "
                                          "viewBox='0 0 10 10'><line x1='0' y1='0' x2='10' y2='10' stroke='black'/></svg>");
    closeNextMessageBox();
    form_->OpenChosenFile(svg);
    form_->conversion().waitForDone();
    ASSERT_TRUE(menu->isEnabled());
    EXPECT_TRUE(menu->actions().front()->text().endsWith(svg));
    EXPECT_EQ(form_->Caption(), QFile::encodeName(dir_.filePath("casa.red")).toStdString());
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
