// Plot files from drawing programs, the duration estimate, job progress and
// the port's start-up report, as the window shows them.
#include <QDir>
#include <QFileInfo>
#include <QProgressDialog>
#include <QPushButton>

#include "app/JobProgress.h"
#include "app/StatusField.h"
#include "importer/Hpgl.h"
#include "job/Estimate.h"
#include "tests/app/WindowFixture.h"

namespace pm {
namespace {

using test::MissingPort;
using test::Window;

// A drawing as a drawing program writes it: one line, many pairs a statement.
constexpr const char* kDrawing = "IN;SP1;PU0,0;PD400,0,400,400,0,400,0,0;PU;SP0;";

class Import : public Window {
protected:
    QString write(const QString& name, const QByteArray& text) {
        QString p = dir_.filePath(name);
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return p;
    }
    static QByteArray read(const QString& p) {
        QFile f(p);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QString status(const char* name) { return w<QLabel>(name)->text(); }
    std::string caption() { return form_->Caption(); }
    static std::string local(const QString& p) { return QFile::encodeName(p).toStdString(); }

    // What the estimate should say for the window's present settings.
    JobEstimate expected(const QString& file) {
        EstimateSettings s;
        s.divisor = form_->Text(3);
        s.speed = form_->Slider2();
        s.scale = form_->Slider1();
        s.motors = form_->Check1();
        return EstimateJob(local(file), s);
    }
};

TEST_F(Import, AnHpglFileBecomesTheRedBesideItWithASummary) {
    const QString plt = write("desenho.PLT", kDrawing);
    const QString red = dir_.filePath("desenho.red");
    closeNextMessageBox();
    form_->OpenChosenFile(plt);
    form_->conversion().waitForDone();
    EXPECT_EQ(caption(), local(red));
    EXPECT_EQ(read(red), QByteArray(ConvertHpgl(kDrawing).text.c_str()));
    EXPECT_TRUE(read(red).startsWith("PU0,0;PD400,0;PD400,400;"));
    ASSERT_EQ(messages_.size(), 1);
    EXPECT_TRUE(messages_[0].contains(red));
    EXPECT_TRUE(messages_[0].contains(QString::fromUtf8("Declarações escritas: 6")));
    EXPECT_TRUE(messages_[0].contains("SP 2"));
    EXPECT_TRUE(messages_[0].contains("X 0 a 400, Y 0 a 400"));
    EXPECT_EQ(read(plt), QByteArray(kDrawing)) << "the drawing itself is left alone";
}

// G-code and SVG files go the way HPGL files go, each by its own converter.
TEST_F(Import, GcodeAndSvgFilesBecomeTheRedBesideThem) {
    const struct {
        const char* name;
        const char* text;
        const char* red;
        const char* says;
    } cases[] = {
        {"peca.ngc", "G21\nG0 Z1\nG0 X1 Y1\nG1 Z-1\nG1 X2\n", "PU40,40;PD80,40;", "Regra da ferramenta: z"},
        {"placa.svg",
         "<svg xmlns='http://www.w3.org/2000/svg' width='10mm' height='10mm' viewBox='0 0 10 10'>"
         "<line x1='0' y1='10' x2='10' y2='10' stroke='black'/></svg>",
         "PU0,0;PD400,0;PU;", "Página de 10 x 10 mm"},
    };
    for (const auto& c : cases) {
        const QString file = write(c.name, c.text);
        const QString red = dir_.filePath(QFileInfo(c.name).completeBaseName() + ".red");
        messages_.clear();
        closeNextMessageBox();
        form_->OpenChosenFile(file);
        form_->conversion().waitForDone();
        EXPECT_EQ(caption(), local(red)) << c.name;
        EXPECT_EQ(read(red), QByteArray(c.red)) << c.name;
        ASSERT_EQ(messages_.size(), 1) << c.name;
        EXPECT_TRUE(messages_[0].contains(QString::fromUtf8(c.says))) << messages_[0].toStdString();
    }
}

// A drawing is converted off the window's thread, its progress shown with
// "Cancelar": cancelled, it writes nothing and the choice stays.
TEST_F(Import, ACancelledConversionWritesNothing) {
    const QString first = write("antes.red", "PU1,1;");
    form_->OpenChosenFile(first);
    QByteArray drawing = "IN;PU0,0;";
    for (int i = 0; i < 3000; ++i) drawing += "CI900,0.5;";
    const QString plt = write("lento.plt", drawing);
    form_->OpenChosenFile(plt);
    EXPECT_TRUE(form_->conversion().running());
    auto* progress = form_->findChild<QProgressDialog*>("Conversao");
    ASSERT_NE(progress, nullptr);
    EXPECT_TRUE(progress->isVisible());
    w<QPushButton>("CancelarConversao")->click();
    EXPECT_FALSE(form_->conversion().running());
    form_->conversion().waitForDone();
    EXPECT_EQ(caption(), local(first));
    EXPECT_TRUE(messages_.isEmpty()) << messages_.join('\n').toStdString();
    EXPECT_FALSE(QFileInfo::exists(dir_.filePath("lento.red")));
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Hidden | QDir::Files).filter("lento").size(), 1)
        << "only the drawing: no temporary file";
}

TEST_F(Import, AnExistingRedIsReplacedOnlyWhenTheOperatorSaysSo) {
    const QString first = write("antes.red", "PU1,1;");
    form_->OpenChosenFile(first);
    form_->conversion().waitForDone();
    const QString plt = write("desenho.hpgl", kDrawing);
    const QString red = write("desenho.red", "PU5,5;");
    struct Row {
        QMessageBox::StandardButton answer;
        QString caption;
        QByteArray red;
        int boxes;
    };
    const Row rows[] = {
        {QMessageBox::No, first, "PU5,5;", 1},
        {QMessageBox::Yes, red, ConvertHpgl(kDrawing).text.c_str(), 2},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.answer);
        messages_.clear();
        names_.clear();
        answers_ = {r.answer};
        closeMessageBoxes(r.boxes);
        form_->OpenChosenFile(plt);
        form_->conversion().waitForDone();
        EXPECT_EQ(caption(), local(r.caption));
        EXPECT_EQ(read(red), r.red);
        ASSERT_EQ(messages_.size(), r.boxes);
        EXPECT_EQ(names_[0], "Substituir");
        EXPECT_EQ(messages_[0], QString::fromUtf8("O arquivo %1 já existe.\nSubstituir?").arg(red));
    }
}

TEST_F(Import, ARefusedFileSaysWhyAndKeepsThePreviousChoice) {
    const QString first = write("antes.red", "PU1,1;");
    form_->OpenChosenFile(first);
    form_->conversion().waitForDone();
    const QByteArray refused[] = {"\x1b%-12345X@PJL JOB\r\nIN;PD1,1;", "%PDF-1.4\n\x80\x81 IN;PD1,1;",
                                  "PE<=_p;"};
    for (const QByteArray& text : refused) {
        SCOPED_TRACE(text.constData());
        messages_.clear();
        const QString plt = write("recusado.plt", text);
        closeNextMessageBox();
        form_->OpenChosenFile(plt);
        form_->conversion().waitForDone();
        ASSERT_EQ(messages_.size(), 1);
        const HpglResult r = ConvertHpgl(std::string_view(text.constData(), static_cast<std::size_t>(text.size())));
        ASSERT_FALSE(r.ok);
        EXPECT_EQ(messages_[0].toStdString(), r.error);
        EXPECT_EQ(caption(), local(first));
        EXPECT_FALSE(QFileInfo::exists(dir_.filePath("recusado.red")));
    }
}

TEST_F(Import, TheEstimateArrivesForTheChosenFileAndMatchesTheJob) {
    w<QLineEdit>("Text3")->setText("1");
    const QString red = write("quadro.red", "PU0,0;PD3000,0;PD3000,2000;PU0,0;");
    form_->OpenChosenFile(red);
    form_->conversion().waitForDone();
    EXPECT_TRUE(form_->estimatePending());
    EXPECT_EQ(status("estimateStatus"), QString::fromUtf8("Estimando a duração…"));
    form_->waitForEstimates();
    ASSERT_NE(form_->estimate(), nullptr);
    const JobEstimate want = expected(red);
    EXPECT_EQ(form_->estimate()->durationNs, want.durationNs);
    EXPECT_EQ(status("estimateStatus"),
              QString::fromUtf8("Duração estimada: %1 · X 0,0 a 266,2 mm, Y 0,0 a 177,5 mm")
                  .arg(QString::fromStdString(FormatDuration(want.durationNs))));

    // The job then takes as long on the window's clock.
    const std::int64_t start = clock_->nowNs();
    click("Command1");
    EXPECT_EQ(clock_->nowNs() - start, want.durationNs);
}

// Notes the estimate's field each time a call from the worker arrives.
TEST_F(Import, ARunningEstimateShowsHowFarItIs) {
    QByteArray text;
    for (int i = 0; i < 400; ++i) text += "PA10,10;\r\n";
    const QString red = write("longo.red", text);
    struct {
        QStringList seen;
    } watch;
    QObject::connect(w<StatusField>("estimateStatus"), &StatusField::textChanged,
                     [&watch](const QString& t) { watch.seen.append(t); });
    form_->OpenChosenFile(red);
    form_->conversion().waitForDone();
    form_->waitForEstimates();
    // Every text the field showed: the start, then every percent up to 100
    // in order, then the result.
    ASSERT_GE(watch.seen.size(), 4);
    EXPECT_EQ(watch.seen.front(), QString::fromUtf8("Estimando a duração…"));
    EXPECT_TRUE(watch.seen.back().startsWith(QString::fromUtf8("Duração estimada: "))) << watch.seen.back().toStdString();
    int last = -1;
    for (qsizetype i = 1; i + 1 < watch.seen.size(); ++i) {
        const QString& t = watch.seen[i];
        ASSERT_TRUE(t.startsWith(QString::fromUtf8("Estimando a duração… ")) && t.endsWith(" %")) << t.toStdString();
        const int percent = t.section(' ', -2, -2).toInt();
        EXPECT_GT(percent, last) << t.toStdString();
        last = percent;
    }
    EXPECT_EQ(last, 100);
}

TEST_F(Import, EveryChangedSettingAsksAgainAndOnlyTheLastCounts) {
    const QString red = write("quadro.red", "PU0,0;PD3000,0;PD3000,2000;PU0,0;");
    form_->OpenChosenFile(red);
    form_->conversion().waitForDone();
    struct Row {
        const char* what;
        std::function<void()> change;
    };
    const Row rows[] = {
        {"Slider2", [&] { w<QSlider>("Slider2")->setValue(3); }},
        {"Text3", [&] { w<QLineEdit>("Text3")->setText("2"); }},
        {"Check1", [&] { w<QCheckBox>("Check1")->setChecked(true); }},
        {"Slider2 twice", [&] {
             w<QSlider>("Slider2")->setValue(0);
             w<QSlider>("Slider2")->setValue(9);
         }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const int before = form_->estimatesStarted();
        r.change();
        EXPECT_GT(form_->estimatesStarted(), before);
        EXPECT_EQ(form_->estimate(), nullptr) << "the old one is stale at once";
        form_->waitForEstimates();
        ASSERT_NE(form_->estimate(), nullptr);
        EXPECT_EQ(form_->estimate()->durationNs, expected(red).durationNs);
    }
    // The window's own machine never moved for it.
    EXPECT_TRUE(trace_->accesses().empty());
    EXPECT_EQ(form_->state().CurrentX, 0);
}

TEST_F(Import, AnUnreadableFileGivesNoDuration) {
    form_->OpenChosenFile(dir_.filePath("sumiu.red"));
    form_->conversion().waitForDone();
    form_->waitForEstimates();
    ASSERT_NE(form_->estimate(), nullptr);
    EXPECT_FALSE(form_->estimate()->ok);
    EXPECT_TRUE(status("estimateStatus").startsWith("Estimativa: "));
}

TEST_F(Import, ProgressShowsTheStatementTheTimeLeftAndThePlace) {
    w<QLineEdit>("Text3")->setText("1");
    const QString red = write("quadro.red", "PU0,0;PD3000,0;PD3000,2000;PU0,0;");
    form_->OpenChosenFile(red);
    form_->conversion().waitForDone();
    form_->waitForEstimates();
    const std::int64_t total = form_->estimate()->durationNs;
    const std::int64_t start = clock_->nowNs();
    QStringList seen;
    form_->onPump = [&] {
        if (clock_->nowNs() - start < total / 2 || !seen.isEmpty()) return;
        form_->refreshNow();
        // The estimate ran as the job runs: what is left is the rest of it.
        const std::int64_t elapsed = clock_->nowNs() - start;
        seen << status("progressStatus");
        EXPECT_EQ(seen[0], QString::fromUtf8("Lido: 3 de 4 · restante %1 · X 266,2 Y 0,0 mm")
                               .arg(QString::fromStdString(FormatDuration(total - elapsed))));
        // A faster speed mid-job is estimated at once, and the time left follows it.
        w<QSlider>("Slider2")->setValue(10);
        form_->waitForEstimates();
        form_->refreshNow();
        seen << status("progressStatus");
    };
    click("Command1");
    ASSERT_EQ(seen.size(), 2);
    const auto left = [](const QString& t) { return t.section(QString::fromUtf8(" · "), 1, 1); };
    EXPECT_NE(left(seen[1]), left(seen[0]));
    EXPECT_TRUE(left(seen[1]).startsWith("restante ")) << seen[1].toStdString();
    form_->refreshNow();
    EXPECT_EQ(status("progressStatus"),
              QString::fromUtf8("Lido: 4 de 4 · decorrido %1 · X 0,0 Y 0,0 mm")
                  .arg(QString::fromStdString(FormatDuration(clock_->nowNs() - start))));
}

// The time left counts down within a statement, stands still while the job
// is paused, and goes on from there.
TEST(JobProgress, TheTimeLeftHoldsAcrossAPause) {
    JobEstimate e;
    e.ok = true;
    e.statements = 2;
    e.durationNs = 1000;
    e.listedNs = {100, 600};
    JobProgress p;
    p.start(0, &e);
    EXPECT_EQ(p.left(50), 1000 - 50);  // before the first statement: all of it, counting down
    p.statement(1, 0, 0, 100);
    EXPECT_EQ(p.left(300), 700);
    p.paused(true, 300);
    EXPECT_EQ(p.left(5000), 700);
    p.paused(false, 5000);
    EXPECT_EQ(p.left(5100), 600);
    EXPECT_EQ(p.left(9000), 400) << "no more than the statement's own time is counted down";
    p.statement(2, 0, 0, 9000);
    EXPECT_EQ(p.left(9100), 300);
}

TEST(WindowPort, AFaultIsSaidOnceAndTheStatusBarSaysThePortIsMissing) {
    test::App();
    Form1 form(std::make_unique<MissingPort>(), std::make_unique<VirtualClock>());
    form.show();
    QStringList said;
    auto closer = [&said] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            said << box->text();
            box->accept();
        }
    };
    // The box comes from the machine thread: look for it until it shows.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, closer);
    poll.start(5);
    form.ReportPortFault();
    form.ReportPortFault();
    form.settle();
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said[0], QString::fromUtf8("Sem permissão para abrir /dev/parport0"));
    EXPECT_TRUE(form.findChild<QLabel*>("portStatus")->text().contains("ausente"));

    Form1 sim(std::make_unique<SimulatedMachine>(), std::make_unique<VirtualClock>());
    sim.ReportPortFault();  // would block on a box if it showed one
    sim.settle();
    EXPECT_EQ(sim.findChild<QLabel*>("portStatus")->text(), QString::fromUtf8("Máquina simulada"));
}

TEST(WindowData, LookedUpBesideTheProgramThenInShareThenHere) {
    test::App();
    const QString name = "portmill-dados-de-teste.txt";
    const QDir program(QCoreApplication::applicationDirPath());
    const QString beside = program.filePath(name);
    const QString shareDir = QDir::cleanPath(program.filePath("../share/portmill"));
    const QString share = QDir(shareDir).filePath(name);
    QTemporaryDir here;
    const QString old = QDir::currentPath();
    QDir::setCurrent(here.path());
    const bool madeShare = QDir().mkpath(shareDir);
    ASSERT_TRUE(madeShare);
    auto touch = [](const QString& p) {
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
    };
    EXPECT_EQ(Form1::DataFile(name), beside) << "nowhere: beside the program, for the message";
    touch(here.filePath(name));
    EXPECT_EQ(Form1::DataFile(name), QDir::current().filePath(name));
    touch(share);
    EXPECT_EQ(Form1::DataFile(name), share);
    touch(beside);
    EXPECT_EQ(Form1::DataFile(name), beside);
    QFile::remove(beside);
    QFile::remove(share);
    QDir().rmdir(shareDir);
    QDir().rmdir(QFileInfo(shareDir).path());
    QDir::setCurrent(old);
}

}  // namespace
}  // namespace pm
