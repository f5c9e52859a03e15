// Costs and timing of homing and the jog pad: the price of one Home XY pass
// on the simulated machine, and the pass period and jog cycle on the real
// clock against their nominal counts.
#include <cstdint>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "homing/Homing.h"
#include "jog/Jog.h"
#include "motion/HeadlessMachine.h"
#include "motion/Motion.h"
#include "port/SimulatedMachine.h"

namespace {

using namespace pm;

using bench::Row;
using bench::TimingPort;

// A Home XY whose X switch never closes: kHomeSteps passes on the virtual
// clock; ns per pass.
double lostSwitchPassCost() {
    HeadlessMachine m;
    m.sim()->setSwitchBroken(SimulatedMachine::Axis::X, true);
    return bench::ElapsedNs([&] { HomeXY(m.context()); }) / static_cast<double>(kHomeSteps);
}

// Mean and longest interval between the timed writes, less the nominal one.
void periods(const std::vector<std::int64_t>& t, double nominal, const std::string& name,
             const std::string& note) {
    const bench::Intervals iv = bench::MeasureIntervals(t, nominal);
    Row(name + " mean stretch", (iv.mean - nominal) / 1000.0, "µs",
        note + ", nominal " + std::to_string(static_cast<long>(nominal / 1000)) + " µs");
    Row(name + " longest", iv.longest / 1000.0, "µs", note);
}

// A Home XY of `passes` passes on the real clock.
void homeXYPeriod(long passes) {
    RealClock clock;
    TimingPort port(clock, kDataReg, 1 << 16, {.x = passes - 1, .y = passes / 2});
    HeadlessMachine m(port, clock);
    HomeXY(m.context());
    auto t = port.times();
    t.pop_back();  // the release
    periods(t, static_cast<double>(kHomePause * clock.countNs()), "Home XY pass period",
            std::to_string(t.size()) + " passes, real clock, 4 status reads and 1 write a pass");
}

// `clicks` Z-up jog clicks on the real clock.
void jogPeriod(int clicks) {
    RealClock clock;
    TimingPort port(clock, kControlReg, 1 << 16);
    HeadlessMachine m(port, clock);
    for (int i = 0; i < clicks; ++i) JogZUp(m.context());
    periods(port.times(), static_cast<double>(kJogPause * clock.countNs()), "Z jog write interval",
            std::to_string(clicks) + " Z-up clicks, real clock");
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::QuickRun(argc, argv);

    Row("Home XY cost per pass", bench::MedianOfThree(lostSwitchPassCost), "ns",
        "median of 3 runs of " + std::to_string(kHomeSteps) +
            " passes (X switch never closes); virtual clock, simulated machine");

    // 2,000 passes of 500 µs: one second.
    homeXYPeriod(quick ? 400 : 2'000);
    jogPeriod(quick ? 20 : 100);
    return 0;
}
