// The window's own cost: a long job with its dots and list, the limit scan,
// the step period with the window's pump, start-up and memory. The window
// runs under Xvfb with the xcb platform (the program starts itself under
// xvfb-run when there is no display); each row stands beside the same work
// done headless in the same run.
#include <sys/wait.h>
#include <csignal>
#include <ctime>
#include <functional>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSlider>
#include <QStandardPaths>
#include <QCheckBox>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Form1.h"
#include "app/StatementModel.h"
#include "bench/BenchCommon.h"
#include "job/Estimate.h"
#include "motion/SwitchPoll.h"
#include "job/Job.h"
#include "job/Limits.h"
#include "motion/HeadlessMachine.h"
#include "motion/Motion.h"
#include "port/SimulatedMachine.h"
#include "port/TracePort.h"

namespace {

using namespace pm;
using Ns = std::int64_t;

using bench::Row;
using bench::WallNs;

long RssKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

// Short milled strokes wandering over a small field, the pen lifted every
// hundredth statement.
std::uint64_t WriteDrawing(const std::string& path, std::uint64_t statements) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::uint64_t bytes = 0;
    char buf[64];
    for (std::uint64_t n = 0; n < statements; ++n) {
        const long x = 1000 + static_cast<long>(n * 37 % 200);
        const long y = 1000 + static_cast<long>(n * 53 % 200);
        const int len = std::snprintf(buf, sizeof buf, "%s%ld,%ld;", n % 100 == 0 ? "PU" : "PD", x, y);
        std::fwrite(buf, 1, static_cast<std::size_t>(len), f);
        bytes += static_cast<std::uint64_t>(len);
    }
    std::fclose(f);
    return bytes;
}

// Runs fn on the machine thread and waits for it; the window's event loop
// beats every millisecond meanwhile, and the longest gap between two beats
// is returned. seen: the list rows the window held at the job's middle.
Ns RunAndWatch(Form1& form, std::function<void(Context&)> fn, std::size_t* seen = nullptr) {
    Ns last = WallNs();
    Ns gap = 0;
    const Ns t0 = last;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    beat.setInterval(1);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const Ns now = WallNs();
        gap = std::max(gap, now - last);
        last = now;
        if (seen != nullptr && *seen == 0 && now - t0 > 200'000'000) *seen = form.statements().size();
    });
    beat.start();
    form.run(std::move(fn));
    form.settle();
    beat.stop();
    return gap;
}

// A process that keeps one core busy while it lives.
struct Load {
    pid_t pid = -1;
    explicit Load(bool on) {
        if (!on) return;
        pid = ::fork();
        if (pid == 0) {
            volatile unsigned long n = 0;
            for (;;) n = n + 1;
        }
    }
    ~Load() {
        if (pid > 0) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, nullptr, 0);
        }
    }
    Load(const Load&) = delete;
    Load& operator=(const Load&) = delete;
};

double ThreadCpuNs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e9 + static_cast<double>(t.tv_nsec);
}

std::unique_ptr<Form1> MakeForm(std::unique_ptr<Port> port) {
    auto form = std::make_unique<Form1>(std::move(port), std::make_unique<RealClock>());
    form->show();
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
    return form;
}

void SetSpeed(Form1& f, int slider2, bool motors) {
    f.findChild<QSlider*>(QStringLiteral("Slider2"))->setValue(slider2);
    f.findChild<QCheckBox*>(QStringLiteral("Check1"))->setChecked(motors);
}

// The same work without the window: headless events and pump on the real clock,
// the simulated machine, the plot file in the caption.
struct Headless {
    SimulatedMachine port;
    RealClock clock;
    HeadlessMachine machine{port, clock};
    RunSettings& run = machine.run();
    HeadlessEvents& events = machine.events();
    HeadlessPump& pump = machine.pump();
    Context& c = machine.context();
    explicit Headless(const std::string& file) { run.plotFile = file; }
};

// A dry-run job at speed 0: time per character read, and how the last tenth
// of the file compares with the first.
void JobRows(const std::string& file, std::uint64_t bytes, std::uint64_t statements) {
    // Headless, real clock.
    double headlessUs = 0;
    {
        Headless h(file);
        h.run.speed = 0;
        const Ns t0 = WallNs();
        RunJob(h.c);
        headlessUs = static_cast<double>(WallNs() - t0) / 1e3 / static_cast<double>(bytes);
    }

    auto form = MakeForm(std::make_unique<SimulatedMachine>());
    SetSpeed(*form, 0, false);
    form->SetCaption(file);
    std::vector<std::pair<Ns, unsigned long long>> samples;
    samples.reserve(statements + 1);
    MachineThread& m = form->machine();
    // A sample where the job has read further: a pass that reads nothing
    // adds none, so the samples do not weigh on the memory measured.
    m.onMachinePump = [&] {
        const unsigned long long read = m.bytesRead();
        if (samples.empty() || samples.back().second != read) samples.emplace_back(WallNs(), read);
    };
    const Ns t0 = WallNs();
    std::size_t seen = 0;
    const Ns gap = RunAndWatch(*form, [](Context& c) { RunJob(c); }, &seen);
    const Ns t1 = WallNs();
    m.onMachinePump = nullptr;
    const double us = static_cast<double>(t1 - t0) / 1e3 / static_cast<double>(bytes);
    // Time to read the first and the last tenth of the file.
    auto timeAt = [&](unsigned long long b) {
        auto it = std::lower_bound(samples.begin(), samples.end(), b,
                                   [](const auto& s, unsigned long long v) { return s.second < v; });
        return it == samples.end() ? t1 : it->first;
    };
    const Ns first = timeAt(bytes / 10) - t0;
    const Ns last = t1 - timeAt(bytes - bytes / 10);
    const std::string n = std::to_string(statements);
    Row("window job at speed 0, dots drawn: time per character (" + n + " statements)", us, "us",
        "target <= 1; headless " + std::to_string(headlessUs).substr(0, 6) + " us");
    Row("window job at speed 0: last tenth / first tenth of the file",
        static_cast<double>(last) / static_cast<double>(std::max<Ns>(first, 1)), "x", "target <= 1.2");
    Row("window longest event-loop gap during a job at speed 0", static_cast<double>(gap) / 1e6, "ms",
        "target <= 20; list rows shown at 0.2 s: " + std::to_string(seen));
    Row("window resident memory after the job (" + n + " statements)", static_cast<double>(RssKiB()) / 1024.0,
        "MB", "target <= 120 (at 1,000,000 statements)");
}

// "Calcular Limites" on a large file: total time, and the longest gap
// between two runs of the event loop.
void ScanRows(const std::string& file, std::uint64_t bytes) {
    double headlessS = 0;
    {
        Headless h(file);
        const Ns t0 = WallNs();
        ScanLimits(h.c);
        headlessS = static_cast<double>(WallNs() - t0) / 1e9;
    }
    auto form = MakeForm(std::make_unique<SimulatedMachine>());
    form->SetCaption(file);
    const Ns t0 = WallNs();
    const Ns gap = RunAndWatch(*form, [](Context& c) { ScanLimits(c); });
    const Ns t1 = WallNs();
    const std::string mb = std::to_string(bytes / 1'000'000);
    Row("window Calcular Limites on a " + mb + " MB file", static_cast<double>(t1 - t0) / 1e9, "s",
        "target <= 1; headless " + std::to_string(headlessS).substr(0, 5) + " s");
    Row("window Calcular Limites: longest gap between event-loop runs", static_cast<double>(gap) / 1e6,
        "ms", "target <= 20");
}

struct PeriodStats {
    double meanErrPct = 0, p99Us = 0, shortestUs = 0, longestUs = 0;
};

PeriodStats Periods(const TracePort& t, double setNs) {
    std::vector<Ns> at;
    for (const auto& a : t.accesses()) {
        if (a.kind == 'W' && a.address == kDataReg) at.push_back(a.tNs);
    }
    PeriodStats s;
    if (at.size() < 3) return s;
    const bench::Intervals iv = bench::MeasureIntervals(at, setNs);
    const std::vector<double>& err = iv.absError;
    s.meanErrPct = (iv.mean - setNs) / setNs * 100;
    s.p99Us = err[static_cast<std::size_t>(0.99 * static_cast<double>(err.size() - 1))] / 1e3;
    s.shortestUs = (iv.shortest - setNs) / 1e3;
    s.longestUs = iv.longest / 1e3;
    return s;
}

// The step period of a move with the window's pump and dots, motors on.
void PeriodRows(bool quick, bool load) {
    for (const int speed : {1, 20}) {
        const long steps = speed == 1 ? (quick ? 5'000 : 20'000) : (quick ? 500 : 5'000);
        const double setNs = speed * 1000.0 * 100.0;
        PeriodStats headless;
        {
            SimulatedMachine sim;
            RealClock clock;
            TracePort port(sim, [&] { return clock.nowNs(); });
            port.setRecordReads(false);
            HeadlessMachine m(port, clock);
            MachineState& st = m.state();
            m.run().motorsOn = true;
            m.run().speed = speed;
            st.MoveMode = "D";
            st.TargetX = static_cast<double>(steps);
            st.TargetY = static_cast<double>(steps / 3);
            Load busy(load);
            MoveToTarget(m.context());
            headless = Periods(port, setNs);
        }
        SimulatedMachine sim;
        auto clockOwned = std::make_unique<RealClock>();
        RealClock* clock = clockOwned.get();
        auto trace = std::make_unique<TracePort>(sim, [clock] { return clock->nowNs(); });
        trace->setRecordReads(false);
        TracePort* t = trace.get();
        Form1 form(std::move(trace), std::move(clockOwned));
        form.show();
        for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
        SetSpeed(form, speed, true);
        form.findChild<QSlider*>(QStringLiteral("Slider1"))->setValue(1);
        form.state().MoveMode = "D";
        form.state().TargetX = static_cast<double>(steps);
        form.state().TargetY = static_cast<double>(steps / 3);
        {
            Load busy(load);
            RunAndWatch(form, MoveToTarget);
        }
        const PeriodStats w = Periods(*t, setNs);
        const std::string sp = "speed " + std::to_string(speed) + ", " + std::to_string(steps) + " steps" +
                               (load ? ", under load" : "") +
                               (form.machine().realTime() ? ", real time" : ", no real time");
        auto fmt = [](double v) { return std::to_string(v).substr(0, 7); };
        // One step held up by the system (a host that takes the processor
        // away) weighs on the mean as a hundred late microseconds do: the
        // longest period says whether that happened.
        Row("window step period, " + sp + ": mean error", w.meanErrPct, "%",
            "target <= 0.1; headless " + fmt(headless.meanErrPct) + " %; longest period " +
                fmt(w.longestUs) + " us, headless " + fmt(headless.longestUs) + " us");
        Row("window step period, " + sp + ": p99 absolute error", w.p99Us, "us",
            std::string(load ? "target <= 50" : "target <= 20") + "; headless " + fmt(headless.p99Us) + " us");
        Row("window step period, " + sp + ": shortest period minus the set one", w.shortestUs, "us",
            "target >= -20; headless " + fmt(headless.shortestUs) + " us");
    }
}

// Small strokes of a few half-steps with the tool down throughout: a job of
// a few seconds at the slow speeds whose time is its steps' alone (a lift
// ends at a tick of the 100 ms poll, whose phase against the job's start
// the estimate cannot know: one lift would weigh up to 4 % at speed 1).
std::uint64_t WriteSmallDrawing(const std::string& path, std::uint64_t statements) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return 0;
    std::uint64_t bytes = 0;
    char buf[64];
    for (std::uint64_t n = 0; n < statements; ++n) {
        const long x = static_cast<long>(n * 7 % 11);
        const long y = static_cast<long>(n * 5 % 9);
        const int len = std::snprintf(buf, sizeof buf, "PD%ld,%ld;", x, y);
        std::fwrite(buf, 1, static_cast<std::size_t>(len), f);
        bytes += static_cast<std::uint64_t>(len);
    }
    std::fclose(f);
    return bytes;
}

// A job with motors on, dots and list at each speed: its time over its
// estimate, in the window and headless, and the machine thread's share of
// a core at speed 20.
void EstimateRows(const std::string& file, std::uint64_t statements, bool load) {
    for (const int speed : {1, 2, 5, 20}) {
        EstimateSettings es;
        es.divisor = "1";
        es.speed = speed;
        es.motors = true;
        const JobEstimate e = EstimateJob(file, es);
        const double est = static_cast<double>(std::max<std::int64_t>(e.durationNs, 1));
        double headless = 0;
        {
            Headless h(file);
            h.pump.onTick = [&h] { PollSwitches(h.c); };
            h.run.speed = speed;
            h.run.motorsOn = true;
            h.run.divisor = "1";
            Load busy(load);
            const Ns t0 = WallNs();
            RunJob(h.c);
            headless = static_cast<double>(WallNs() - t0) / est;
        }
        auto form = MakeForm(std::make_unique<SimulatedMachine>());
        SetSpeed(*form, speed, true);
        form->SetText(3, "1");
        form->SetCaption(file);
        double cpu = 0;
        Ns t0 = 0;
        Ns t1 = 0;
        {
            Load busy(load);
            t0 = WallNs();
            RunAndWatch(*form, [&](Context& c) {
                const double c0 = ThreadCpuNs();
                RunJob(c);
                cpu = ThreadCpuNs() - c0;
            });
            t1 = WallNs();
        }
        const std::string name = "window job time / estimate, speed " + std::to_string(speed) +
                                 (load ? " under load" : "") + " (" + std::to_string(statements) +
                                 " statements, motors on)";
        Row(name, static_cast<double>(t1 - t0) / est, "x",
            std::string(load ? "target <= 1.02" : "target <= 1.01") + "; headless " +
                std::to_string(headless).substr(0, 5) + " x");
        if (speed == 20 && !load) {
            Row("machine thread CPU share at speed 20", cpu / static_cast<double>(t1 - t0) * 100, "%",
                "target <= 30");
        }
    }
}

// Start-up: this program started again as a child that builds the window,
// shows it and says so once it has been painted.
int StartupChild(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    auto form = std::make_unique<Form1>(std::make_unique<SimulatedMachine>(), std::make_unique<RealClock>());
    form->show();
    QTimer::singleShot(0, [&] {
        std::fputs("shown\n", stdout);
        std::fflush(stdout);
        // Idle for a while with the poll running, then report the memory.
        QTimer::singleShot(1000, [&] {
            std::printf("%ld\n", RssKiB());
            std::fflush(stdout);
            QCoreApplication::exit(0);
        });
    });
    return QApplication::exec();
}

void StartupRows(const char* self) {
    int fds[2];
    if (::pipe(fds) != 0) return;
    const Ns t0 = WallNs();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], 1);
        ::close(fds[0]);
        ::execl(self, self, "--startup-child", static_cast<char*>(nullptr));
        _exit(127);
    }
    ::close(fds[1]);
    std::FILE* in = ::fdopen(fds[0], "r");
    char line[64] = {};
    Ns shown = 0;
    long rss = -1;
    if (std::fgets(line, sizeof line, in) != nullptr) shown = WallNs();
    if (std::fgets(line, sizeof line, in) != nullptr) rss = std::atol(line);
    std::fclose(in);
    int status = 0;
    ::waitpid(pid, &status, 0);
    Row("window start-up to shown (process start included)", static_cast<double>(shown - t0) / 1e6, "ms",
        "target <= 500");
    Row("window resident memory at idle", static_cast<double>(rss) / 1024.0, "MB", "target <= 60");
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc > 1 && std::strcmp(argv[1], "--startup-child") == 0) return StartupChild(argc, argv);

    const bool quick = bench::QuickRun(argc, argv);
    // --only job|scan|estimate|period: one group of rows (start-up always).
    std::string only;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--only=", 7) == 0) only = argv[i] + 7;
    }
    auto wanted = [&only](const char* group) { return only.empty() || only == group; };

    // Under Xvfb with the xcb platform: start again inside xvfb-run when no
    // display is there.
    if (std::getenv("DISPLAY") == nullptr && std::getenv("PM_BENCH_XVFB") == nullptr) {
        ::setenv("PM_BENCH_XVFB", "1", 1);
        std::vector<char*> args{const_cast<char*>("xvfb-run"), const_cast<char*>("-a"),
                                const_cast<char*>("-s"), const_cast<char*>("-screen 0 1024x768x24")};
        for (int i = 0; i < argc; ++i) args.push_back(argv[i]);
        args.push_back(nullptr);
        ::execvp("xvfb-run", args.data());
        std::fprintf(stderr, "bench_window: xvfb-run not found; running offscreen\n");
        ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    } else if (std::getenv("QT_QPA_PLATFORM") == nullptr && std::getenv("DISPLAY") != nullptr) {
        ::setenv("QT_QPA_PLATFORM", "xcb", 1);
    }

    StartupRows(argv[0]);

    QApplication app(argc, argv);
    // The window's remembered settings (ramps, travel speed) stay the
    // user's: the benchmark runs on the defaults.
    QStandardPaths::setTestModeEnabled(true);
    const std::string dir = std::filesystem::temp_directory_path().string();
    const std::uint64_t statements = quick ? 100'000 : 1'000'000;
    if (wanted("job")) {
        const std::string job = dir + "/portmill-bench-window-job.red";
        const std::uint64_t jobBytes = WriteDrawing(job, statements);
        JobRows(job, jobBytes, statements);
        std::filesystem::remove(job);
    }
    if (wanted("scan")) {
        const std::string scan = dir + "/portmill-bench-window-scan.red";
        const std::uint64_t scanBytes = WriteDrawing(scan, quick ? 100'000 : 1'000'000);
        ScanRows(scan, scanBytes);
        std::filesystem::remove(scan);
    }
    if (wanted("estimate")) {
        const std::string small = dir + "/portmill-bench-window-small.red";
        const std::uint64_t smallStatements = 2'000;
        WriteSmallDrawing(small, smallStatements);
        EstimateRows(small, smallStatements, false);
        EstimateRows(small, smallStatements, true);
        std::filesystem::remove(small);
    }
    if (wanted("period")) {
        PeriodRows(quick, false);
        PeriodRows(quick, true);
    }
    return 0;
}
