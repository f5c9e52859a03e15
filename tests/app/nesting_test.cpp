// Every control pressed from inside the event pump of a job, a scan, Home Z
// and a lift: whatever the order, the window comes back idle, with every
// control usable, no plot file left open, the machine where the program
// believes it is and no step lost.
#include <QDirIterator>
#include <QFileInfo>
#include <algorithm>

#include "tests/app/WindowFixture.h"

namespace pm {
namespace {

using test::App;
using test::UrlSink;

enum class Op { Job, Scan, HomeZ, Lift };

const char* Name(Op op) {
    switch (op) {
        case Op::Job: return "job";
        case Op::Scan: return "scan";
        case Op::HomeZ: return "Home Z";
        case Op::Lift: return "lift";
    }
    return "?";
}

// Answers the window's modal boxes from inside their own event loops: a
// message box is read and closed, the file dialog is given `pick` (or
// dismissed when it is empty).
class Answerer : public QObject {
public:
    QStringList messages;
    QString pick;
    int dialogs = 0;

protected:
    bool eventFilter(QObject* o, QEvent* e) override {
        if (e->type() != QEvent::Show) return false;
        if (auto* box = qobject_cast<QMessageBox*>(o)) {
            messages << box->text();
            QTimer::singleShot(0, box, [box] { box->accept(); });
        } else if (auto* d = qobject_cast<QFileDialog*>(o)) {
            ++dialogs;
            QTimer::singleShot(0, d, [d, p = pick] {
                if (p.isEmpty()) {
                    d->reject();
                    return;
                }
                d->selectFile(p);
                if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))) name->setText(p);
                static_cast<QDialog*>(d)->done(QDialog::Accepted);
            });
        }
        return false;
    }
};

// A window on a virtual clock and a simulated machine, with a plot file and
// one operation ready to start.
struct Rig {
    explicit Rig(Op op) : op(op) {
        App();
        auto m = std::make_unique<SimulatedMachine>();
        sim = m.get();
        x0 = sim->x();
        y0 = sim->y();
        auto c = std::make_unique<VirtualClock>();
        clock = c.get();
        Form1::Options o;
        o.startTimer = false;
        o.clockTicks = true;
        o.lockstep = true;
        form = std::make_unique<Form1>(std::move(m), std::move(c), o);
        form->onExit = [this] { ++exits; };
        // The window's questions go on as before they were asked: the cut,
        // the stop at the end, a start from a statement where the machine is.
        form->ask = [](const std::string&, const std::vector<std::string>& buttons) {
            const auto here = std::find(buttons.begin(), buttons.end(), "Começar daqui");
            return here != buttons.end() ? static_cast<int>(here - buttons.begin()) : 0;
        };
        form->show();
        form->activateWindow();  // so that Esc reaches its shortcut
        QCoreApplication::processEvents();
        qApp->installEventFilter(&answers);
        for (const char* scheme : {"file", "https", "mailto"}) {
            QDesktopServices::setUrlHandler(QString::fromLatin1(scheme), &urls, "open");
        }
        form->findChild<QLineEdit*>(QStringLiteral("Text3"))->setText(QStringLiteral("1"));
        plot = write(QStringLiteral("desenho.red"), op == Op::Lift
                                                        ? "PD200,0;PU400,0;PD400,100;PU0,0;"
                                                        : "PU0,0;PD2000,0;PD2000,1500;PU0,0;");
        other = write(QStringLiteral("outro.red"), "PU10,10;");
        write(QStringLiteral("desenho.plt"), "IN;PU0,0;PD5,5;");
        form->OpenChosenFile(plot);
        if (op == Op::Lift) form->findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(true);
        clock->waitUntilNs(clock->nowNs() + 2'000'000);  // the first pump of the operation runs
    }
    ~Rig() {
        qApp->removeEventFilter(&answers);
        for (const char* scheme : {"file", "https", "mailto"}) {
            QDesktopServices::unsetUrlHandler(QString::fromLatin1(scheme));
        }
    }
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    QString write(const QString& name, const QByteArray& text) {
        QString p = dir.filePath(name);
        QFile f(p);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
        return p;
    }
    template <typename W = QWidget>
    W* w(const char* name) {
        auto* found = form->findChild<W*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    // Whether the pump now runs inside the operation under test.
    bool inside() {
        const MachineState& s = form->state();
        switch (op) {
            case Op::Job: return s.Running == Operation::Job && form->statements().size() >= 2;
            case Op::Scan: return s.Running == Operation::Scan;
            case Op::HomeZ: return s.Running == Operation::HomeZ && sim->z() >= 3;
            case Op::Lift:
                return s.Running == Operation::Job && s.ToolRaised && s.ZStepCount >= 3 &&
                       !form->LampVisible(5);
        }
        return false;
    }

    void start() {
        const char* button = op == Op::Scan ? "Command5" : op == Op::HomeZ ? "Command3" : "Command1";
        w<QAbstractButton>(button)->click();
        form->settle();
    }

    // Files of this rig that the process still holds open.
    int openPlotFiles() const {
        int n = 0;
        QDirIterator fds(QStringLiteral("/proc/self/fd"), QDir::Files | QDir::System);
        while (fds.hasNext()) {
            const QString target = QFileInfo(fds.next()).symLinkTarget();
            if (target.startsWith(dir.path())) ++n;
        }
        return n;
    }

    Op op;
    SimulatedMachine* sim = nullptr;
    VirtualClock* clock = nullptr;
    long long x0 = 0;
    long long y0 = 0;
    std::unique_ptr<Form1> form;
    QTemporaryDir dir;
    QString plot;
    QString other;
    Answerer answers;
    UrlSink urls;
    int exits = 0;
};

void Key(QWidget* to, Qt::Key key, const QString& text) {
    QKeyEvent down(QEvent::KeyPress, key, Qt::NoModifier, text);
    QKeyEvent up(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(to, &down);
    QApplication::sendEvent(to, &up);
}

void LeftClick(QWidget* on) {
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(2, 2), on->mapToGlobal(QPointF(2, 2)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(2, 2), on->mapToGlobal(QPointF(2, 2)),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(on, &press);
    QApplication::sendEvent(on, &release);
}

struct Press {
    const char* what;
    std::function<void(Rig&)> press;
    // What must hold after it, beyond the common checks.
    std::function<void(Rig&)> after;
};

void Click(Rig& r, const char* name) { r.w<QAbstractButton>(name)->click(); }
void Menu(Rig& r, const char* name) { r.w<QAction>(name)->trigger(); }

std::vector<Press> Presses() {
    std::vector<Press> p;
    for (const char* b : {"Command1", "Command5", "Command2", "Command3", "Command4", "Command8",
                          "Command9", "Command10", "Command11", "Command12", "Command13"}) {
        // All of these are locked while an operation runs: nothing happens.
        p.push_back({b, [b](Rig& r) { Click(r, b); }, {}});
    }
    p.push_back({"Cancel", [](Rig& r) { Click(r, "Cancel"); },
                 [](Rig& r) { EXPECT_TRUE(r.form->state().CancelRequested); }});
    p.push_back({"Esc", [](Rig& r) { Key(r.w("Check1"), Qt::Key_Escape, {}); },
                 [](Rig& r) { EXPECT_TRUE(r.form->state().CancelRequested); }});
    p.push_back({"keys on Z up", [](Rig& r) { Key(r.w("Command8"), Qt::Key_A, QStringLiteral("a")); }, {}});
    p.push_back({"keys on Z down", [](Rig& r) { Key(r.w("Command9"), Qt::Key_A, QStringLiteral("a")); }, {}});
    p.push_back({"Check1", [](Rig& r) { Click(r, "Check1"); }, {}});
    p.push_back({"Slider1", [](Rig& r) { r.w<QSlider>("Slider1")->setValue(2); }, {}});
    p.push_back({"Slider2", [](Rig& r) { r.w<QSlider>("Slider2")->setValue(0); }, {}});
    p.push_back({"Text3", [](Rig& r) { r.w<QLineEdit>("Text3")->setText(QStringLiteral("2")); }, {}});
    p.push_back({"Label5", [](Rig& r) { LeftClick(r.w("Label5")); },
                 [](Rig& r) { EXPECT_EQ(r.urls.urls.size(), 1); }});
    p.push_back({"Label6", [](Rig& r) { LeftClick(r.w("Label6")); },
                 [](Rig& r) { EXPECT_EQ(r.urls.urls.size(), 1); }});
    p.push_back({"Ajuda", [](Rig& r) { Menu(r, "ajuda"); }, [](Rig& r) { EXPECT_EQ(r.urls.urls.size(), 1); }});
    p.push_back({"Esquema", [](Rig& r) { Menu(r, "esquema"); },
                 [](Rig& r) { EXPECT_EQ(r.urls.urls.size(), 1); }});
    p.push_back({"Abrir dismissed", [](Rig& r) { Menu(r, "Abrir"); },
                 [](Rig& r) {
                     EXPECT_EQ(r.answers.dialogs, 1);
                     EXPECT_EQ(r.form->Caption(), QFile::encodeName(r.plot).toStdString());
                 }});
    p.push_back({"Abrir another file",
                 [](Rig& r) {
                     r.answers.pick = r.other;
                     Menu(r, "Abrir");
                 },
                 [](Rig& r) {
                     EXPECT_EQ(r.form->Caption(), QFile::encodeName(r.other).toStdString());
                     if (r.op != Op::HomeZ) {
                         EXPECT_EQ(r.form->state().PlotFileName, QFile::encodeName(r.plot).toStdString())
                             << "the running operation kept its file";
                     }
                 }});
    p.push_back({"Abrir the drawing of the running file",
                 [](Rig& r) {
                     r.answers.pick = r.dir.filePath(QStringLiteral("desenho.plt"));
                     Menu(r, "Abrir");
                 },
                 [](Rig& r) {
                     QFile f(r.plot);
                     ASSERT_TRUE(f.open(QIODevice::ReadOnly));
                     EXPECT_FALSE(f.readAll().startsWith("PU0,0;PD5,5;")) << "rewritten under the operation";
                     ASSERT_EQ(r.answers.messages.size(), 1);
                     // Home Z reads no file: only the question comes, and is not answered yes.
                     const char* said = r.op == Op::HomeZ ? "já existe" : "está em uso";
                     EXPECT_TRUE(r.answers.messages[0].contains(QString::fromUtf8(said)));
                 }});
    return p;
}

class Nesting : public ::testing::TestWithParam<Op> {};

TEST_P(Nesting, EveryControlFromInsideThePumpLeavesTheWindowConsistent) {
    for (const Press& p : Presses()) {
        SCOPED_TRACE(p.what);
        Rig r(GetParam());
        bool pressed = false;
        r.form->onPump = [&] {
            if (pressed || !r.inside()) return;
            pressed = true;
            p.press(r);
        };
        r.start();
        r.form->onPump = nullptr;
        ASSERT_TRUE(pressed) << "the operation never pumped";
        // A setting changed meanwhile is estimated once the operation ends;
        // the worker reads the plot file too.
        r.form->waitForEstimates();

        const MachineState& s = r.form->state();
        EXPECT_EQ(s.Running, Operation::None);
        for (QAbstractButton* b : r.w("inner")->findChildren<QAbstractButton*>()) {
            if (!b->objectName().isEmpty()) {
                EXPECT_TRUE(b->isEnabled()) << b->objectName().toStdString();
            }
        }
        for (const char* n : {"MotorJog", "Slider1", "Slider2", "Text1", "Text2", "Text3", "List1"}) {
            EXPECT_TRUE(r.w(n)->isEnabled()) << n;
        }
        for (QAction* a : r.form->menuBar()->actions()) EXPECT_TRUE(a->isEnabled());
        EXPECT_EQ(r.openPlotFiles(), 0) << "a plot file is still open";
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
        EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
        EXPECT_EQ(r.sim->missedSteps(), 0);
        EXPECT_EQ(r.exits, 0);
        // With the motors on all along, the program's idea of X and Y is
        // where the machine stands; a dry run moves nothing.
        if (std::string(p.what) != "Check1") {
            const bool motors = r.form->Check1();
            EXPECT_EQ(r.sim->x() - r.x0, motors ? std::lround(s.CurrentX) : 0);
            EXPECT_EQ(r.sim->y() - r.y0, motors ? std::lround(s.CurrentY) : 0);
        }
        if (p.after) p.after(r);
    }
}

INSTANTIATE_TEST_SUITE_P(Operations, Nesting, ::testing::Values(Op::Job, Op::Scan, Op::HomeZ, Op::Lift),
                         [](const ::testing::TestParamInfo<Op>& i) {
                             std::string n = Name(i.param);
                             n.erase(std::remove(n.begin(), n.end(), ' '), n.end());
                             return n;
                         });

class SairFrom : public ::testing::TestWithParam<Op> {};

TEST_P(SairFrom, EndsTheProgramAtOnce) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            Rig r(GetParam());
            r.form->onExit = nullptr;
            r.form->onPump = [&r] {
                if (r.inside()) r.w<QAction>("Exit")->trigger();
            };
            r.start();
            std::fprintf(stderr, "still running\n");
            std::exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

INSTANTIATE_TEST_SUITE_P(Operations, SairFrom, ::testing::Values(Op::Job, Op::Scan, Op::HomeZ, Op::Lift),
                         [](const ::testing::TestParamInfo<Op>& i) {
                             std::string n = Name(i.param);
                             n.erase(std::remove(n.begin(), n.end(), ' '), n.end());
                             return n;
                         });

}  // namespace
}  // namespace pm
