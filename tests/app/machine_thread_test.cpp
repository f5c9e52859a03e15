// The hand-over between the window's thread and the machine thread, on the
// virtual clock: what the window queues reaches the core at its next pump,
// in order; what the core shows reaches the window; a message box from the
// machine thread holds only that thread; and a window run writes what the
// headless runner writes for the same settings and the same events.
#include <QCoreApplication>
#include <QTemporaryDir>
#include <csignal>
#include <cstdio>

#include "motion/SwitchPoll.h"
#include "motion/Headless.h"
#include "motion/Motion.h"
#include "motion/Records.h"
#include "app/Canvas.h"
#include "job/Job.h"
#include "tests/app/WindowFixture.h"

namespace pm {
namespace {

using test::App;
using test::Window;

class Handoff : public Window {
protected:
    // A job of long strokes with the motors on, divisor 1.
    void startLongJob() {
        w<QLineEdit>("Text3")->setText(QStringLiteral("1"));
        w<QCheckBox>("Check1")->setChecked(true);
        choose("PU0,0;PD3000,0;PD3000,3000;");
    }
};

TEST_F(Handoff, ChangesQueuedInAnyOrderArriveAtTheNextPumpInOrder) {
    struct Seen {
        int slider1, slider2;
        bool check1;
        std::string text1;
    };
    struct Row {
        const char* what;
        std::function<void(Form1&)> change;
        Seen after;
    };
    const Row rows[] = {
        {"speed then scale",
         [](Form1& f) {
             f.findChild<QSlider*>("Slider2")->setValue(7);
             f.findChild<QSlider*>("Slider1")->setValue(2);
         },
         {2, 7, true, ""}},
        {"the same slider twice: the last counts",
         [](Form1& f) {
             f.findChild<QSlider*>("Slider2")->setValue(9);
             f.findChild<QSlider*>("Slider2")->setValue(3);
         },
         {5, 3, true, ""}},
        {"box, text and slider",
         [](Form1& f) {
             f.findChild<QLineEdit*>("Text1")->setText(QStringLiteral("12"));
             f.findChild<QCheckBox*>("Check1")->setChecked(false);
             f.findChild<QSlider*>("Slider2")->setValue(1);
             f.findChild<QLineEdit*>("Text1")->setText(QStringLiteral("34"));
         },
         {5, 1, false, "34"}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        startLongJob();
        w<QSlider>("Slider1")->setValue(5);
        w<QSlider>("Slider2")->setValue(20);
        w<QLineEdit>("Text1")->setText(QString());
        // What the core reads at each pump, read on the machine thread.
        std::vector<Seen> seen;
        MachineThread& m = form_->machine();
        m.onMachinePump = [&] {
            seen.push_back({m.run().previewScale, m.run().speed, m.run().motorsOn, m.run().limitX});
        };
        int pumps = 0;
        form_->onPump = [&] {
            if (++pumps == 10) r.change(*form_);
        };
        click("Command1");
        form_->onPump = nullptr;
        m.onMachinePump = nullptr;
        ASSERT_GT(seen.size(), 12U);
        // The pumps counted by onPump are the ones that run the window; each
        // also ran onMachinePump just before it.
        for (std::size_t i = 0; i < 10; ++i) {
            EXPECT_EQ(seen[i].slider2, 20) << "pump " << i;
            EXPECT_EQ(seen[i].text1, "") << "pump " << i;
        }
        for (std::size_t i = 10; i < 12; ++i) {
            EXPECT_EQ(seen[i].slider1, r.after.slider1) << "pump " << i;
            EXPECT_EQ(seen[i].slider2, r.after.slider2) << "pump " << i;
            EXPECT_EQ(seen[i].check1, r.after.check1) << "pump " << i;
            EXPECT_EQ(seen[i].text1, r.after.text1) << "pump " << i;
        }
    }
}

TEST_F(Handoff, CancelarQueuedDuringAMoveStopsItBeforeItsNextStep) {
    startLongJob();
    std::size_t writesAtCancel = 0;
    int pumps = 0;
    form_->onPump = [&] {
        if (++pumps != 30) return;
        click("Cancel");
        writesAtCancel = trace_->accesses().size();
    };
    click("Command1");
    ASSERT_GT(writesAtCancel, 0U);
    EXPECT_TRUE(form_->state().CancelRequested);
    // No XY step follows; the job then lifts the tool as it always does.
    std::string after;
    for (std::size_t i = writesAtCancel; i < trace_->accesses().size(); ++i) {
        if (trace_->accesses()[i].address != kDataReg) continue;
        after += std::to_string(trace_->accesses()[i].address) + "=" +
                 std::to_string(trace_->accesses()[i].value) + " ";
    }
    EXPECT_EQ(after, "") << "a step after Cancelar";
    EXPECT_EQ(form_->state().Running, Operation::None);
    EXPECT_TRUE(w("Command1")->isEnabled());
}

TEST_F(Handoff, TheTickRunsThePollOnTheMachineThread) {
    sim_.setZTop(0);  // the Z top switch closed
    EXPECT_FALSE(form_->LampVisible(5));
    form_->machine().queueTick();
    form_->machine().queueTick();  // one tick waits at most
    form_->settle();
    EXPECT_TRUE(form_->LampVisible(5));
}

TEST(HandoffBox, AMessageBoxFromTheMachineThreadHoldsOnlyThatThread) {
    App();
    // Not in lockstep: the window's thread runs freely meanwhile.
    Form1::Options o;
    o.startTimer = false;
    Form1 form(std::make_unique<SimulatedMachine>(), std::make_unique<VirtualClock>(), o);
    form.show();
    std::atomic<bool> answered{false};
    bool windowRan = false;
    bool machineWaited = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box == nullptr) return;
        EXPECT_EQ(box->text(), "Pare");
        // The window answers while the box is open, and its changes queue.
        form.findChild<QSlider*>("Slider1")->setValue(2);
        windowRan = form.findChild<QLabel*>("Label8")->text() == "Scale *  2";
        machineWaited = !answered.load() && form.machine().busy();
        box->accept();
    });
    poll.start(5);
    form.run([&](Context& c) {
        c.events.Message("Pare");
        answered = true;
        // The change made meanwhile comes at the operation's next pump.
        EXPECT_EQ(c.run.previewScale, 5);
        c.pump.turn();
        EXPECT_EQ(c.run.previewScale, 2);
    });
    form.settle();
    EXPECT_TRUE(answered.load());
    EXPECT_TRUE(windowRan);
    EXPECT_TRUE(machineWaited);
}

// The headless runner and the window run the same job with the same change
// of speed at the same pump: the same port accesses at the same times, the
// same list.
TEST(HandoffRecords, AWindowRunWritesWhatTheHeadlessRunnerWrites) {
    App();
    QTemporaryDir dir;
    const QString path = dir.filePath("q.red");
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("PU0,0;PD400,0;PD400,300;PU0,0;PD50,50;PU0,0;");
    }
    const std::string file = QFile::encodeName(path).toStdString();
    constexpr std::int64_t kChangeAt = 150'000'000;  // the speed changes here

    // Headless, as portmill-cli runs it; the change at the first pump the
    // window would run after kChangeAt (its pump runs at most once a ms).
    SimulatedMachine hsim;
    VirtualClock hclock;
    TracePort htrace(hsim, [&] { return hclock.nowNs(); });
    MachineState hst;
    LoadMachineState(hst);
    RunSettings run;
    HeadlessEvents events;
    HeadlessPump pump(hclock);
    Context hc{hst, htrace, hclock, run, events, pump};
    pump.onTick = [&] { PollSwitches(hc); };
    run.plotFile = file;
    run.motorsOn = true;
    run.divisor = "1";
    bool hchanged = false;
    bool pumped = false;
    std::int64_t lastPump = 0;
    pump.onPump = [&] {
        const std::int64_t now = hclock.nowNs();
        if (pumped && now - lastPump < 1'000'000) return;
        pumped = true;
        lastPump = now;
        if (!hchanged && now >= kChangeAt) {
            hchanged = true;
            run.speed = 4;
        }
    };
    RunJob(hc);

    // The window, in lockstep on its own virtual clock.
    SimulatedMachine* wsim = nullptr;
    auto sim = std::make_unique<SimulatedMachine>();
    wsim = sim.get();
    auto clock = std::make_unique<VirtualClock>();
    VirtualClock* wclock = clock.get();
    auto trace = std::make_unique<TracePort>(*wsim, [wclock] { return wclock->nowNs(); });
    TracePort* wtrace = trace.get();
    // The simulated machine lives as long as the window: it is owned here.
    Form1::Options o;
    o.startTimer = false;
    o.clockTicks = true;
    o.lockstep = true;
    {
        Form1 form(std::move(trace), std::move(clock), o);
        form.show();
        form.findChild<QCheckBox*>("Check1")->setChecked(true);
        form.findChild<QLineEdit*>("Text3")->setText("1");
        form.SetCaption(file);
        bool changed = false;
        form.onPump = [&] {
            if (!changed && wclock->nowNs() >= kChangeAt) {
                changed = true;
                form.findChild<QSlider*>("Slider2")->setValue(4);
            }
        };
        form.findChild<QToolButton*>("Command1")->click();
        form.settle();
        ASSERT_TRUE(changed);
        ASSERT_TRUE(hchanged);

        const auto& a = htrace.accesses();
        const auto& b = wtrace->accesses();
        ASSERT_EQ(a.size(), b.size());
        for (std::size_t i = 0; i < a.size(); ++i) {
            ASSERT_EQ(a[i].tNs, b[i].tNs) << i;
            ASSERT_EQ(a[i].kind, b[i].kind) << i;
            ASSERT_EQ(a[i].address, b[i].address) << i;
            ASSERT_EQ(a[i].value, b[i].value) << i;
        }
        ASSERT_EQ(form.statements().size(), events.list.size());
    }
}

// A window far behind the machine (a job at speed 0 shows more than it can
// draw) holds the machine thread until it catches up, and still shows every
// row and writes every dot in the order made, a clear among them.
TEST(HandoffBacklog, EverythingShownArrivesInOrderHoweverFarBehind) {
    App();
    QTemporaryDir dir;
    const std::string dots = QFile::encodeName(dir.filePath("d.txt")).toStdString();
    RunRecords records;
    std::string error;
    ASSERT_TRUE(records.open("", dots, "", error)) << error;
    Form1::Options o;
    o.startTimer = false;
    o.records = &records;
    Form1 form(std::make_unique<SimulatedMachine>(), std::make_unique<VirtualClock>(), o);
    form.show();
    constexpr int kRows = 60'000;  // more than the machine thread may keep waiting
    constexpr int kDotsPerRow = 8;
    form.run([](Context& c) {
        for (int i = 0; i < kRows; ++i) {
            if (i == kRows / 2) c.events.PreviewCleared();
            // Row i's dots on the first pixel row before the clear and on the
            // second after it, i/65536 twips below its top (exact in a float).
            const float y = (i < kRows / 2 ? 15.0F : 30.0F) + static_cast<float>(i) / 65536.0F;
            for (int d = 0; d < kDotsPerRow; ++d) c.events.Dot(15.0F * static_cast<float>(d), y, DotKind::Cut);
            c.events.StatementListed(std::to_string(i));
            c.pump.turn();
        }
    });
    form.settle();
    std::string closeError;
    ASSERT_TRUE(records.close(closeError)) << closeError;
    ASSERT_EQ(form.statements().size(), static_cast<std::size_t>(kRows));
    for (int i : {0, 1, kRows / 2, kRows - 1}) EXPECT_EQ(form.statements().at(static_cast<std::size_t>(i)), std::to_string(i));
    std::FILE* f = std::fopen(dots.c_str(), "r");
    ASSERT_NE(f, nullptr);
    int n = 0;
    float x = 0, y = 0;
    unsigned colour = 0;
    while (std::fscanf(f, "%f %f %u", &x, &y, &colour) == 3) {
        const float top = n / kDotsPerRow < kRows / 2 ? 15.0F : 30.0F;
        ASSERT_EQ((y - top) * 65536.0F, static_cast<float>(n / kDotsPerRow)) << n;
        ASSERT_EQ(colour, DotColour(DotKind::Cut)) << n;
        ASSERT_EQ(x, 15.0F * static_cast<float>(n % kDotsPerRow)) << n;
        ++n;
    }
    std::fclose(f);
    EXPECT_EQ(n, kRows * kDotsPerRow);
    // The clear came between the two halves: the first is gone.
    const QImage& canvas = form.findChild<Canvas*>("Picture1")->image();
    for (int px = 0; px < kDotsPerRow; ++px) {
        EXPECT_EQ(canvas.pixel(px, 1), canvas.pixel(100, 100)) << px;
        EXPECT_NE(canvas.pixel(px, 2), canvas.pixel(100, 100)) << px;
    }
}

// A simulated machine that prints every write, so that a death test sees
// the last ones.
class PrintingPort final : public Port {
public:
    void vbOut(std::int16_t address, std::int16_t value) override {
        std::fprintf(stderr, "W %d %d\n", address, value);
        sim_.vbOut(address, value);
    }
    std::int16_t vbInp(std::int16_t address) override { return sim_.vbInp(address); }
    std::string describe() const override { return sim_.describe(); }

private:
    SimulatedMachine sim_;
};

// "Sair", the frame's close and the three signals in the middle of a job:
// every coil is switched off last, and nothing is written after it; with
// the motors off nothing is written at all.
TEST(WindowEnd, EveryCoilIsOffWhenTheProgramHasEnded) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    struct Row {
        const char* what;
        int status;
        bool motors;
        std::function<void(Form1&)> end;
    };
    const Row rows[] = {
        {"Sair", 0, true, [](Form1& f) { f.findChild<QAction*>("Exit")->trigger(); }},
        {"close", 0, true, [](Form1& f) { f.close(); }},
        {"SIGINT", 128 + SIGINT, true, [](Form1&) { std::raise(SIGINT); }},
        {"SIGTERM", 128 + SIGTERM, true, [](Form1&) { std::raise(SIGTERM); }},
        {"SIGHUP", 128 + SIGHUP, true, [](Form1&) { std::raise(SIGHUP); }},
        {"Sair, motors off", 0, false, [](Form1& f) { f.findChild<QAction*>("Exit")->trigger(); }},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        const char* tail = r.motors ? "W 888 0\nW 890 11\n$" : "started\n$";
        EXPECT_EXIT(
            {
                App();
                QTemporaryDir dir;
                const QString path = dir.filePath("x.red");
                QFile f(path);
                (void)f.open(QIODevice::WriteOnly);
                f.write("PU0,0;PD4000,0;PD4000,4000;");
                f.close();
                Form1::Options o;
                o.startTimer = false;
                o.clockTicks = true;
                o.lockstep = true;
                Form1 form(std::make_unique<PrintingPort>(), std::make_unique<VirtualClock>(), o);
                form.ask = [](const std::string&, const std::vector<std::string>&) { return 0; };  // "Parar e sair"
                form.EndOnSignals();
                form.show();
                QCoreApplication::processEvents();
                form.findChild<QCheckBox*>("Check1")->setChecked(r.motors);
                form.SetText(3, "1");
                form.SetCaption(path.toStdString());
                std::fprintf(stderr, "started\n");
                int pumps = 0;
                form.onPump = [&] {
                    if (++pumps == 200) r.end(form);
                };
                form.findChild<QToolButton*>("Command1")->click();
                form.settle();
                std::fprintf(stderr, "still running\n");
                std::exit(3);
            },
            ::testing::ExitedWithCode(r.status), tail);
    }
}

}  // namespace
}  // namespace pm
