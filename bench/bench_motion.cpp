// Costs and timing of the XY walk: the price of one pass on the simulated
// machine, and how close the real clock keeps the step period.
#include <algorithm>
#include <cmath>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "homing/SwitchPoll.h"
#include "motion/HeadlessControls.h"
#include "motion/Motion.h"
#include "port/SimulatedMachine.h"

namespace {

using namespace pm;

void row(const std::string& name, double value, const char* unit, const std::string& note) {
    std::printf("| %s | %.6g | %s | %s |\n", name.c_str(), value, unit, note.c_str());
}

// The simulated machine, with the time of every data-register write kept in
// a buffer reserved beforehand, so recording costs no allocation mid-walk.
class TimingPort final : public Port {
public:
    TimingPort(const Clock& clock, std::size_t expected) : clock_(clock) { times_.reserve(expected); }
    void vbOut(std::int16_t address, std::int16_t value) override {
        sim_.vbOut(address, value);
        if (address == kDataReg) times_.push_back(clock_.nowNs());  // when the write returned
    }
    std::int16_t vbInp(std::int16_t address) override { return sim_.vbInp(address); }
    std::string describe() const override { return sim_.describe(); }
    const std::vector<std::int64_t>& times() const { return times_; }
    const SimulatedMachine& sim() const { return sim_; }

private:
    const Clock& clock_;
    SimulatedMachine sim_;
    std::vector<std::int64_t> times_;
};

// One walk of `passes` passes on the virtual clock at speed 0; ns per pass.
double passCost(long passes) {
    MachineState st;
    LoadMachineState(st);
    SimulatedMachine sim;
    VirtualClock clock;
    HeadlessControls ui(clock);
    Context c{st, sim, ui, clock};
    ui.onTick = [&c] { Timer1_Timer(c); };
    ui.check1 = true;
    ui.slider2 = 0;
    st.MoveMode.assign(1, 'D');  // (GCC 12 at -O3 misreads a literal assignment)
    st.TargetX = static_cast<double>(passes - 1);
    st.TargetY = st.TargetX * 0.37;
    const auto t0 = std::chrono::steady_clock::now();
    MoveToTarget(c);
    const auto t1 = std::chrono::steady_clock::now();
    if (sim.missedSteps() != 0) std::fprintf(stderr, "bench_motion: missed steps\n");
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count()) /
           static_cast<double>(passes);
}

double percentile(const std::vector<double>& sorted, double p) {
    const auto i = static_cast<std::size_t>(std::lround(p / 100.0 * static_cast<double>(sorted.size() - 1)));
    return sorted[std::min(i, sorted.size() - 1)];
}

// A walk of `steps` periods on the real clock at the given speed, one pump a
// pass with the switch poll on it, as the headless runner does.
void periodAccuracy(int speed, long steps) {
    RealClock clock;
    TimingPort port(clock, static_cast<std::size_t>(steps) + 1);
    MachineState st;
    LoadMachineState(st);
    HeadlessControls ui(clock);
    Context c{st, port, ui, clock};
    ui.onTick = [&c] { Timer1_Timer(c); };
    ui.check1 = true;
    ui.slider2 = speed;
    st.MoveMode.assign(1, 'D');  // (GCC 12 at -O3 misreads a literal assignment)
    st.TargetX = static_cast<double>(steps);
    st.TargetY = st.TargetX / 3;
    // The share of a core the walk got: the busy-wait keeps time only while
    // the scheduler lets it run, so a loaded machine shows here first.
    const std::clock_t cpu0 = std::clock();
    const std::int64_t wall0 = clock.nowNs();
    MoveToTarget(c);
    const double cpuShare = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC /
                            (static_cast<double>(clock.nowNs() - wall0) / 1e9);

    const double period = static_cast<double>(speed) * static_cast<double>(kSpeedCounts) *
                          static_cast<double>(clock.countNs());
    const auto& t = port.times();
    std::vector<double> err;
    err.reserve(t.size());
    double sum = 0;
    double shortest = 1e300;
    for (std::size_t i = 1; i < t.size(); ++i) {
        const auto p = static_cast<double>(t[i] - t[i - 1]);
        sum += p;
        shortest = std::min(shortest, p);
        err.push_back(std::abs(p - period) / 1000.0);
    }
    std::sort(err.begin(), err.end());
    const double n = static_cast<double>(err.size());
    const std::string at = "speed " + std::to_string(speed) + " (" +
                           std::to_string(static_cast<long>(period / 1000)) + " µs)";
    char share[32];
    std::snprintf(share, sizeof share, "%.0f", cpuShare * 100);
    const std::string over = "over " + std::to_string(err.size()) +
                             " steps, real clock, pump every pass; the walk had " + share + "% of a core";
    row("step period mean error, " + at, (sum / n - period) / period * 100.0, "%", over);
    row("step period abs error p50, " + at, percentile(err, 50), "µs", over);
    row("step period abs error p99, " + at, percentile(err, 99), "µs", over);
    row("step period abs error p99.9, " + at, percentile(err, 99.9), "µs", over);
    row("shortest step period, " + at, shortest / 1000.0, "µs", over);
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    for (int i = 1; i < argc; ++i) quick = quick || std::strcmp(argv[i], "--quick") == 0;

    const long passes = quick ? 200'000 : 2'000'000;
    std::vector<double> costs;
    costs.reserve(3);
    for (int i = 0; i < 3; ++i) costs.push_back(passCost(passes));
    std::sort(costs.begin(), costs.end());
    row("MoveToTarget cost per pass, speed 0", costs[1], "ns",
        "median of 3 walks of " + std::to_string(passes) +
            " passes; headless controls, virtual clock, simulated machine");

    // 5,000 periods at each speed; the whole run lasts about 35 s.
    const long steps = quick ? 500 : 5'000;
    for (const int speed : {1, 5, 20, 40}) periodAccuracy(speed, steps);
    return 0;
}
