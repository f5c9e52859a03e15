// Throughput of the plot job and the limit scan on a generated drawing, and
// the memory a long job's statement list takes. Headless, virtual clock,
// simulated machine: what is measured is the program's own work.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "bench/BenchCommon.h"
#include "job/Job.h"
#include "job/Limits.h"
#include "motion/HeadlessMachine.h"
#include "motion/Motion.h"
#include "port/SimulatedMachine.h"

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
                   double* bytesPerEntry) {
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
    long peakKiB = 0;
    double perEntry = 0;
    const auto fileBytes = std::filesystem::file_size(longJob);
    if (MeasureMemory(longJob, memStatements, &peakKiB, &perEntry)) {
        const std::string n = std::to_string(memStatements) + " statements";
        Row("job peak RSS", static_cast<double>(peakKiB) / 1024.0, "MiB",
            "headless dry run of " + n + " (" + std::to_string(fileBytes / 1'000'000) +
                " MB of text)");
        Row("List1 bytes per entry", perEntry, "bytes",
            "average statement " +
                std::to_string(static_cast<double>(fileBytes) / static_cast<double>(memStatements))
                    .substr(0, 5) +
                " chars; text plus end offset, with growth slack");
    }
    std::filesystem::remove_all(dir);
    return 0;
}
