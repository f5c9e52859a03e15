// Throughput of the plot job and the limit scan on a generated drawing, and
// the memory a long job's statement list takes. Headless, virtual clock,
// simulated machine: what is measured is the program's own work.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/BenchCommon.h"
#include "importer/Drawing.h"
#include "job/Job.h"
#include "job/Limits.h"
#include "motion/HeadlessMachine.h"
#include "motion/Motion.h"
#include "port/SimulatedMachine.h"
#if PM_WITH_SVG
#include "importer_svg/Svg.h"
#endif

namespace {

using namespace pm;

using bench::CpuSeconds;
using bench::Row;

// Counts the data-register writes: one a pass of a move while the motors
// are on.
class CountingPort final : public Port {
public:
    void vbOut(std::int16_t address, std::int16_t value) override {
        if (address == kDataReg) ++dataWrites;
        sim.vbOut(address, value);
    }
    std::int16_t vbInp(std::int16_t address) override { return sim.vbInp(address); }
    std::string describe() const override { return sim.describe(); }
    SimulatedMachine sim;
    std::uint64_t dataWrites = 0;
};

// A drawing of short milled strokes wandering over a 200 x 200 unit field,
// the pen lifted every hundredth statement, until it holds `bytes` bytes.
std::string WriteDrawing(const std::string& path, std::uint64_t bytes, std::uint64_t* statements) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return "cannot write " + path;
    std::uint64_t written = 0;
    std::uint64_t n = 0;
    char buf[64];
    while (written < bytes) {
        const long x = 1000 + static_cast<long>(n * 37 % 200);
        const long y = 1000 + static_cast<long>(n * 53 % 200);
        const int len = std::snprintf(buf, sizeof buf, "%s%ld,%ld;", n % 100 == 0 ? "PU" : "PD", x, y);
        std::fwrite(buf, 1, static_cast<std::size_t>(len), f);
        written += static_cast<std::uint64_t>(len);
        ++n;
    }
    std::fclose(f);
    if (statements != nullptr) *statements = n;
    return {};
}

struct Bench {
    CountingPort port;
    VirtualClock clock;
    HeadlessMachine machine{port, clock};
    RunSettings& run = machine.run();
    HeadlessEvents& events = machine.events();
    HeadlessPump& pump = machine.pump();
    Context& c = machine.context();
    explicit Bench(const std::string& file) {
        run.motorsOn = true;
        run.speed = 0;
        run.plotFile = file;
    }
};

// Runs a job of `statements` statements in a child process; its peak RSS
// (KiB) and the list's bytes per entry come back through a pipe.
bool MeasureMemory(const std::string& file, std::uint64_t statements, long* peakKiB,
                   double* bytesPerEntry, const MachineSettings& machine = {}) {
    int fds[2];
    if (::pipe(fds) != 0) return false;
    const pid_t pid = ::fork();
    if (pid < 0) return false;
    if (pid == 0) {
        ::close(fds[0]);
        double perEntry = -1;
        {
            Bench b(file);
            b.run.motorsOn = false;  // a dry run: the list is what is measured
            b.machine.state().Settings = machine;
            if (machine.rampsOn()) b.run.speed = 1;
            RunJob(b.c);
            if (b.events.list.size() == statements) {
                perEntry = static_cast<double>(b.events.list.bytes()) / static_cast<double>(statements);
            }
            rusage ru{};
            ::getrusage(RUSAGE_SELF, &ru);
            const double out[2] = {perEntry, static_cast<double>(ru.ru_maxrss)};
            if (::write(fds[1], out, sizeof out) != static_cast<ssize_t>(sizeof out)) _exit(1);
        }
        _exit(0);
    }
    ::close(fds[1]);
    double in[2] = {-1, -1};
    const bool got = ::read(fds[0], in, sizeof in) == static_cast<ssize_t>(sizeof in);
    ::close(fds[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    *bytesPerEntry = in[0];
    *peakKiB = static_cast<long>(in[1]);
    return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The virtual-clock duration (ns) of a dry-run job on file at speed 1 and
// divisor 1, with the given ramps (an acceleration of 0 turns them off).
std::int64_t JobDurationNs(const std::string& file, double accel, double startRate) {
    Bench b(file);
    b.run.motorsOn = false;
    b.run.speed = 1;
    b.run.divisor = "1";
    b.machine.state().Settings.accel = accel;
    b.machine.state().Settings.startRate = startRate;
    RunJob(b.c);
    return b.clock.nowNs();
}

// Rows of a job's duration at speed 1 with ramps off and on.
void RampRows(const std::string& name, const std::string& file, const std::string& about) {
    const double off = static_cast<double>(JobDurationNs(file, 0, 400)) / 1e9;
    const double on = static_cast<double>(JobDurationNs(file, 20000, 400)) / 1e9;
    const std::string note = about + "; dry run, divisor 1, virtual clock";
    Row("job duration at speed 1, ramps off, " + name, off, "s", note);
    Row("job duration at speed 1, ramps on, " + name, on, "s",
        note + "; acceleration 20000 half-steps/s², start rate 400 half-steps/s");
    Row("job duration at speed 1, ramps on / off, " + name, on / off, "×", "the two rows above", 3);
}

// The virtual-clock duration (ns) of a dry-run job on file at `speed` and
// `divisor`, with the given machine settings.
std::int64_t PlannedJobNs(const std::string& file, int speed, const std::string& divisor,
                          const MachineSettings& m) {
    Bench b(file);
    b.run.motorsOn = false;
    b.run.speed = speed;
    b.run.divisor = divisor;
    b.machine.state().Settings = m;
    RunJob(b.c);
    return b.clock.nowNs();
}

MachineSettings Ramps(int lookahead) {
    MachineSettings m;
    m.accel = 20000;
    m.startRate = 400;
    m.lookahead = lookahead;
    return m;
}

// The look-ahead rows of one drawing: against ramps off at the same top
// speed (speed 1, 10000 half-steps/s) and at the start rate (speed 25, 400
// half-steps/s).
void LookaheadRows(const std::string& name, const std::string& file, const std::string& divisor,
                   const std::string& about, const char* topTarget, const char* startTarget) {
    const double off = static_cast<double>(PlannedJobNs(file, 1, divisor, MachineSettings{}));
    const double offStart = static_cast<double>(PlannedJobNs(file, 25, divisor, MachineSettings{}));
    const double corners = static_cast<double>(PlannedJobNs(file, 1, divisor, Ramps(0)));
    const double planned = static_cast<double>(PlannedJobNs(file, 1, divisor, Ramps(64)));
    const std::string note = about + "; dry run, divisor " + divisor +
                             ", virtual clock, acceleration 20000 half-steps/s², start rate 400 half-steps/s";
    Row("job duration at speed 1, ramps with look-ahead 64, " + name, planned / 1e9, "s",
        note + "; look-ahead 0 (a stop at every corner): " + std::to_string(corners / 1e9) +
            " s; ramps off: " + std::to_string(off / 1e9) + " s");
    Row("job duration, ramps with look-ahead / ramps off, same top speed, " + name, planned / off, "×",
        std::string("speed 1 both; target ") + topTarget, 3);
    Row("job duration, ramps with look-ahead at speed 1 / ramps off at the start rate, " + name,
        planned / offStart, "×", std::string("ramps off at speed 25 (400 half-steps/s); target ") + startTarget,
        3);
}

// A circle of radius 2000 half-steps around (0, 0), from (2000, 0), in plot
// units at the divisor 3.55 (40 a millimetre), as chords of `chordMm` mm, or
// when `sagittaMm` is set, of the length that keeps each chord within that
// distance of the circle; "%.2f" coordinates.
std::string WriteCircle(const std::string& path, double chordMm, double sagittaMm, std::uint64_t* chords) {
    constexpr double kPi = 3.14159265358979323846;
    const double r = 2000 * 3.55;  // plot units
    double angle = chordMm / (r / 40);
    if (sagittaMm > 0) angle = 2 * std::acos(1 - sagittaMm * 40 / r);
    const auto n = static_cast<std::uint64_t>(std::ceil(2 * kPi / angle));
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return "cannot write " + path;
    std::fprintf(f, "PU%.2f,0;", r);
    for (std::uint64_t i = 1; i <= n; ++i) {
        const double a = 2 * kPi * static_cast<double>(i) / static_cast<double>(n);
        std::fprintf(f, "PD%.2f,%.2f;", r * std::cos(a), r * std::sin(a));
    }
    std::fprintf(f, "PU;");
    std::fclose(f);
    *chords = n;
    return {};
}

// CPU time of a dry run at speed 1 with ramps and the given look-ahead.
double PlannedJobCpu(const std::string& file, int lookahead) {
    Bench b(file);
    b.run.motorsOn = false;
    b.run.speed = 1;
    b.run.divisor = "1";
    b.machine.state().Settings = Ramps(lookahead);
    const double t0 = CpuSeconds();
    RunJob(b.c);
    return CpuSeconds() - t0;
}

// A job with the motors on a simulated machine whose motors start at 400
// half-steps/s and accelerate at 20000 half-steps/s²: the steps they
// missed and the job's duration.
struct LimitedRun {
    long long missed = 0;
    std::int64_t ns = 0;
};
LimitedRun RunOnLimitedMachine(const std::string& file, int speed, const std::string& divisor,
                               const MachineSettings& m) {
    Bench b(file);
    b.port.sim.setMotorLimits(400, 20000);
    b.port.sim.setTimeSource([&b] { return b.clock.nowNs(); });
    b.run.speed = speed;
    b.run.divisor = divisor;
    b.machine.state().Settings = m;
    RunJob(b.c);
    return {b.port.sim.missedSteps(), b.clock.nowNs()};
}

// The smallest value of the speed slider (the fastest) at which the job
// misses no step, searched on the assumption that a slower speed misses no
// more; 41 when none does.
int FastestWithoutMisses(const std::string& file, const std::string& divisor, const MachineSettings& m) {
    int lo = 0;   // the fastest tried that missed, or below the range
    int hi = 41;  // the fastest known to miss nothing
    if (RunOnLimitedMachine(file, 0, divisor, m).missed == 0) return 0;
    while (hi - lo > 1) {
        const int mid = (lo + hi) / 2;
        (RunOnLimitedMachine(file, mid, divisor, m).missed == 0 ? hi : lo) = mid;
    }
    return hi;
}

// The lost-step rows of one drawing: missed steps at speed 1 without ramps
// and with ramps and look-ahead, and the fastest speed without a miss.
void LostStepRows(const std::string& name, const std::string& file, const std::string& divisor) {
    const std::string machine = "motors on, divisor " + divisor +
                                ", virtual clock; simulated motors: start rate 400 half-steps/s, "
                                "acceleration 20000 half-steps/s²";
    const MachineSettings off;
    const MachineSettings ramps = Ramps(64);
    Row("job at speed 1 without ramps: missed steps, " + name,
        static_cast<double>(RunOnLimitedMachine(file, 1, divisor, off).missed), "steps",
        machine + "; expected at least 1");
    Row("job at speed 1 with ramps and look-ahead: missed steps, " + name,
        static_cast<double>(RunOnLimitedMachine(file, 1, divisor, ramps).missed), "steps",
        machine + "; the program's ramps as the motors' (look-ahead 64); expected 0");
    const int fastOff = FastestWithoutMisses(file, divisor, off);
    const int fastRamps = FastestWithoutMisses(file, divisor, ramps);
    const auto about = [&](int speed, const MachineSettings& m) {
        if (speed > 40) return std::string("none up to speed 40");
        const double rate = speed > 0 ? 1e4 / speed : 0;
        return "speed slider " + std::to_string(speed) + " (" +
               (speed > 0 ? std::to_string(static_cast<int>(rate)) + " half-steps/s" : std::string("no delay")) +
               "), job " + std::to_string(static_cast<double>(RunOnLimitedMachine(file, speed, divisor, m).ns) / 1e9) +
               " s";
    };
    Row("fastest speed with 0 missed steps, ramps off, " + name, fastOff, "slider",
        about(fastOff, off) + "; " + machine);
    Row("fastest speed with 0 missed steps, ramps with look-ahead, " + name, fastRamps, "slider",
        about(fastRamps, ramps) + "; " + machine);
    if (fastOff <= 40 && fastRamps <= 40) {
        const double tOff = static_cast<double>(RunOnLimitedMachine(file, fastOff, divisor, off).ns);
        const double tRamps = static_cast<double>(RunOnLimitedMachine(file, fastRamps, divisor, ramps).ns);
        Row("job duration at the fastest speed with 0 missed steps, ramps with look-ahead / ramps off, " + name,
            tRamps / tOff, "×", "the two rows above", 3);
    }
}

void LookaheadBench(const std::string& dir, const std::string& strokes, std::uint64_t strokeCount) {
    std::uint64_t chords = 0;
    const std::string circle = dir + "/circle.red";
    if (WriteCircle(circle, 0.01, 0, &chords).empty()) {
        LookaheadRows("circle of 0.01 mm chords", circle, "3.55",
                      "radius 2000 half-steps, " + std::to_string(chords) + " chords of 0.01 mm (0.113 half-steps)",
                      "at most 1.15", "at most 0.35");
        LostStepRows("circle of 0.01 mm chords", circle, "3.55");
    }
    const std::string coarse = dir + "/circle_coarse.red";
    if (WriteCircle(coarse, 0, 0.01, &chords).empty()) {
        LookaheadRows("circle of chords within 0.01 mm", coarse, "3.55",
                      "radius 2000 half-steps, " + std::to_string(chords) +
                          " chords of 3.8 mm, each within 0.01 mm of the circle",
                      "none (the circle above is the issue's)", "none");
    }
    if (!strokes.empty()) {
        LookaheadRows("generated drawing", strokes, "1",
                      std::to_string(strokeCount) + " strokes of 37 to 163 half-steps a side, pen up every 100th",
                      "none", "none");
    }
#if PM_WITH_SVG
    const std::string star = dir + "/estrela.red";
    const DrawingResult conv = ConvertDrawingFile(PM_SAMPLES_DIR "/estrela.svg", star, {},
                                                  [](std::string_view t, const SvgOptions& o) { return ConvertSvg(t, o); });
    if (conv.ok) LookaheadRows("samples/estrela.svg", star, "3.55", "converted to plot units", "none", "none");
#endif
    LookaheadRows("casa.red", PM_SAMPLES_DIR "/casa.red", "1", "the sample house", "none", "none");
    LostStepRows("casa.red", PM_SAMPLES_DIR "/casa.red", "1");

}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::QuickRun(argc, argv);
    const std::uint64_t size = quick ? 1'000'000 : 10'000'000;
    const std::string dir = std::filesystem::temp_directory_path().string() + "/portmill_bench_job_" +
                            std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    const std::string drawing = dir + "/drawing.red";
    std::uint64_t statements = 0;
    const std::string error = WriteDrawing(drawing, size, &statements);
    if (!error.empty()) {
        std::fprintf(stderr, "bench_job: %s\n", error.c_str());
        return 1;
    }
    const std::string sizeNote = std::to_string(size / 1'000'000) + " MB file, " +
                                 std::to_string(statements) + " statements";

    {
        Bench b(drawing);
        const double t0 = CpuSeconds();
        const PlotRun run = RunJob(b.c);
        const double s = CpuSeconds() - t0;
        const double passes = static_cast<double>(b.port.dataWrites - 1);  // FinishJob writes one
        Row("job characters", static_cast<double>(run.bytes) / s, "chars/s",
            "CPU time; speed 0, motors on, virtual clock; " + sizeNote);
        Row("job passes", passes / s, "passes/s",
            "XY walk passes in the same job (" + std::to_string(static_cast<long long>(passes)) +
                ")");
        Row("job CPU time", s, "s", sizeNote);
    }
    {
        Bench b(drawing);
        const double t0 = CpuSeconds();
        const PlotRun run = ScanLimits(b.c);
        const double s = CpuSeconds() - t0;
        Row("scan throughput", static_cast<double>(run.bytes) / 1e6 / s, "MB/s",
            "CPU time; Calcular Limites, headless; " + sizeNote);
    }

    RampRows("casa.red", PM_SAMPLES_DIR "/casa.red", "the sample house, 1200 x 1500 half-steps, 13 statements");
    {
        const std::string strokes = dir + "/strokes.red";
        std::uint64_t n = 0;
        if (WriteDrawing(strokes, 20'000, &n).empty()) {
            RampRows("generated drawing", strokes,
                     std::to_string(n) + " strokes of 37 to 163 half-steps a side, pen up every 100th");
            LookaheadBench(dir, strokes, n);
        }
    }

    const std::uint64_t memStatements = quick ? 100'000 : 1'000'000;
    const std::string longJob = dir + "/long.red";
    {
        std::FILE* f = std::fopen(longJob.c_str(), "wb");
        if (f == nullptr) return 1;
        for (std::uint64_t i = 0; i < memStatements; ++i) {
            std::fprintf(f, "PD%llu,%llu;", static_cast<unsigned long long>(i % 4000),
                         static_cast<unsigned long long>(i % 3000));
        }
        std::fclose(f);
    }
    {
        // What planning adds to a job, per move: the CPU time with look-ahead
        // less the same ramps stopping at every corner.
        const double with = PlannedJobCpu(longJob, 64);
        const double without = PlannedJobCpu(longJob, 0);
        Row("planning cost per move", (with - without) / static_cast<double>(memStatements) * 1e6, "µs",
            "CPU time, look-ahead 64 less look-ahead 0, speed 1, dry run, divisor 1, " +
                std::to_string(memStatements) + " moves of 1 to 4000 half-steps; target at most 2 µs",
            3);
    }
    long peakKiB = 0;
    double perEntry = 0;
    const auto fileBytes = std::filesystem::file_size(longJob);
    if (MeasureMemory(longJob, memStatements, &peakKiB, &perEntry)) {
        const std::string n = std::to_string(memStatements) + " statements";
        Row("job peak RSS", static_cast<double>(peakKiB) / 1024.0, "MiB",
            "headless dry run of " + n + " (" + std::to_string(fileBytes / 1'000'000) +
                " MB of text)");
        long plannedKiB = 0;
        double plannedPerEntry = 0;
        if (MeasureMemory(longJob, memStatements, &plannedKiB, &plannedPerEntry, Ramps(64))) {
            Row("peak memory of a " + n + " job with look-ahead", static_cast<double>(plannedKiB) / 1024.0,
                "MiB", "the same dry run with ramps and look-ahead 64 at speed 1");
            Row("peak memory with look-ahead / without", static_cast<double>(plannedKiB) / static_cast<double>(peakKiB),
                "×", "the two rows above; target within 10 % (at most 1.10)", 3);
        }
        Row("List1 bytes per entry", perEntry, "bytes",
            "average statement " +
                std::to_string(static_cast<double>(fileBytes) / static_cast<double>(memStatements))
                    .substr(0, 5) +
                " chars; text plus end offset, with growth slack");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
