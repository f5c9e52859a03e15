// Costs and timing of the XY walk: the price of one pass on the simulated
// machine, and how close the real clock keeps the step period.
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>

#include "bench/BenchCommon.h"
#include "motion/HeadlessMachine.h"
#include "motion/Motion.h"
#include "port/SimulatedMachine.h"

namespace {

using namespace pm;

using bench::Row;
using bench::TimingPort;

// The ramps of the rows that compare them: a light machine's settings.
constexpr double kBenchAccel = 20000;  // half-steps/s^2
constexpr double kBenchStartRate = 400;  // half-steps/s

// One walk of `passes` passes on the virtual clock at speed 0; ns per pass.
double passCost(long passes, bool ramps = false) {
    HeadlessMachine m;
    MachineState& st = m.state();
    if (ramps) {
        st.Settings.accel = kBenchAccel;
        st.Settings.startRate = kBenchStartRate;
    }
    m.run().motorsOn = true;
    m.run().speed = 0;
    st.MoveMode.assign(1, 'D');  // (GCC 12 at -O3 misreads a literal assignment)
    st.TargetX = static_cast<double>(passes - 1);
    st.TargetY = st.TargetX * 0.37;
    const double ns = bench::ElapsedNs([&] { MoveToTarget(m.context()); });
    if (m.sim()->missedSteps() != 0) std::fprintf(stderr, "bench_motion: missed steps\n");
    return ns / static_cast<double>(passes);
}

// A walk of `steps` periods on the real clock at the given speed, one pump a
// pass with the switch poll on it, as the headless runner does.
void periodAccuracy(int speed, long steps) {
    RealClock clock;
    TimingPort port(clock, kDataReg, static_cast<std::size_t>(steps) + 1);
    HeadlessMachine m(port, clock);
    MachineState& st = m.state();
    m.run().motorsOn = true;
    m.run().speed = speed;
    st.MoveMode.assign(1, 'D');  // (GCC 12 at -O3 misreads a literal assignment)
    st.TargetX = static_cast<double>(steps);
    st.TargetY = st.TargetX / 3;
    // The share of a core the walk got: the busy-wait keeps time only while
    // the scheduler lets it run, so a loaded machine shows here first.
    const std::clock_t cpu0 = std::clock();
    const std::int64_t wall0 = clock.nowNs();
    MoveToTarget(m.context());
    const double cpuShare = static_cast<double>(std::clock() - cpu0) / CLOCKS_PER_SEC /
                            (static_cast<double>(clock.nowNs() - wall0) / 1e9);

    const double period = static_cast<double>(speed) * static_cast<double>(kSpeedCounts) *
                          static_cast<double>(clock.countNs());
    const bench::Intervals iv = bench::MeasureIntervals(port.times(), period);
    const auto err = [&iv](double p) { return bench::Percentile(iv.absError, p) / 1000.0; };
    const std::string at = "speed " + std::to_string(speed) + " (" +
                           std::to_string(static_cast<long>(period / 1000)) + " µs)";
    char share[32];
    std::snprintf(share, sizeof share, "%.0f", cpuShare * 100);
    const std::string over = "over " + std::to_string(iv.absError.size()) +
                             " steps, real clock, pump every pass; the walk had " + share + "% of a core";
    Row("step period mean error, " + at, (iv.mean - period) / period * 100.0, "%", over);
    Row("step period abs error p50, " + at, err(50), "µs", over);
    Row("step period abs error p99, " + at, err(99), "µs", over);
    Row("step period abs error p99.9, " + at, err(99.9), "µs", over);
    Row("shortest step period, " + at, iv.shortest / 1000.0, "µs", over);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::QuickRun(argc, argv);

    const long passes = quick ? 200'000 : 2'000'000;
    const std::string walks = "median of 3 walks of " + std::to_string(passes) +
                              " passes; headless pump, virtual clock, simulated machine";
    const double plain = bench::MedianOfThree([passes] { return passCost(passes); });
    Row("MoveToTarget cost per pass, speed 0", plain, "ns", walks);
    const double ramped = bench::MedianOfThree([passes] { return passCost(passes, true); });
    Row("MoveToTarget cost per pass, speed 0, ramps on", ramped, "ns",
        walks + "; acceleration 20000 half-steps/s², start rate 400 half-steps/s");
    Row("MoveToTarget cost per pass, ramps on / off", ramped / plain, "×", "the two rows above; at most 1.2",
        3);

    // 5,000 periods at each speed; the whole run lasts about 35 s.
    const long steps = quick ? 500 : 5'000;
    for (const int speed : {1, 5, 20, 40}) periodAccuracy(speed, steps);
    return 0;
}
