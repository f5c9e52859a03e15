#pragma once
// What every benchmark program shares: its Markdown rows, the --quick
// switch, the clocks it reads and the intervals between timed port writes.
#include <time.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "motion/Clock.h"
#include "port/Port.h"
#include "port/SimulatedMachine.h"

namespace pm::bench {

// One row "| name | value | unit | note |" on standard output, written out
// at once so that a forked child never prints it again.
inline void Row(const std::string& name, double value, const char* unit, const std::string& note,
                int digits = 6) {
    std::printf("| %s | %.*g | %s | %s |\n", name.c_str(), digits, value, unit, note.c_str());
    std::fflush(stdout);
}

// True when --quick is among the arguments: shorter runs for a first look.
inline bool QuickRun(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0) return true;
    }
    return false;
}

// The steady clock in ns.
inline std::int64_t WallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Seconds on the steady clock since t0.
inline double SecondsSince(std::chrono::steady_clock::time_point t0) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// CPU time of this thread: the program's own work, whatever else the
// machine is busy with.
inline double CpuSeconds() {
    timespec ts{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// How long one call of f takes on the steady clock, in ns.
template <typename F>
double ElapsedNs(F&& f) {
    const auto t0 = std::chrono::steady_clock::now();
    std::forward<F>(f)();
    const auto t1 = std::chrono::steady_clock::now();
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count());
}

// ns per call of f(i), over n calls.
template <typename F>
double NsPerCall(long n, F&& f) {
    return ElapsedNs([&] {
               for (long i = 0; i < n; ++i) f(i);
           }) /
           static_cast<double>(n);
}

// The middle one of three runs of f: one run disturbed by the machine's
// other work does not show.
template <typename F>
double MedianOfThree(F&& f) {
    std::vector<double> v;
    v.reserve(3);
    for (int i = 0; i < 3; ++i) v.push_back(f());
    std::sort(v.begin(), v.end());
    return v[1];
}

// The value at p percent of an ascending list, by the nearest rank.
inline double Percentile(const std::vector<double>& sorted, double p) {
    const auto i = static_cast<std::size_t>(std::lround(p / 100.0 * static_cast<double>(sorted.size() - 1)));
    return sorted[std::min(i, sorted.size() - 1)];
}

// The intervals between successive times (ns) against the nominal one.
struct Intervals {
    double mean = 0;
    double shortest = 0;
    double longest = 0;
    std::vector<double> absError;  // |interval - nominal| in ns, ascending
};

// Needs two times at least.
inline Intervals MeasureIntervals(const std::vector<std::int64_t>& t, double nominal) {
    Intervals r;
    r.absError.reserve(t.size());
    double sum = 0;
    r.shortest = 1e300;
    for (std::size_t i = 1; i < t.size(); ++i) {
        const auto p = static_cast<double>(t[i] - t[i - 1]);
        sum += p;
        r.shortest = std::min(r.shortest, p);
        r.longest = std::max(r.longest, p);
        r.absError.push_back(std::abs(p - nominal));
    }
    r.mean = sum / static_cast<double>(r.absError.size());
    std::sort(r.absError.begin(), r.absError.end());
    return r;
}

// The simulated machine, with the time every write to one register returned
// kept in a buffer reserved beforehand, so recording costs no allocation
// mid-run.
class TimingPort final : public Port {
public:
    TimingPort(const Clock& clock, std::int16_t timed, std::size_t expected,
               const SimulatedMachine::Setup& setup = {})
        : clock_(clock), timed_(timed), sim_(setup) {
        times_.reserve(expected);
    }
    void vbOut(std::int16_t address, std::int16_t value) override {
        sim_.vbOut(address, value);
        if (address == timed_) times_.push_back(clock_.nowNs());
    }
    std::int16_t vbInp(std::int16_t address) override { return sim_.vbInp(address); }
    std::string describe() const override { return sim_.describe(); }
    const std::vector<std::int64_t>& times() const { return times_; }

private:
    const Clock& clock_;
    std::int16_t timed_;
    SimulatedMachine sim_;
    std::vector<std::int64_t> times_;
};

}  // namespace pm::bench
