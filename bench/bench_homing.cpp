// Costs and timing of homing and the jog pad: the price of one Home XY pass
// on the simulated machine, and the pass period and jog cycle on the real
// clock against their nominal counts.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "homing/Homing.h"
#include "jog/Jog.h"
#include "motion/HeadlessControls.h"
#include "motion/Motion.h"
#include "port/SimulatedMachine.h"

namespace {

using namespace pm;

void row(const std::string& name, double value, const char* unit, const std::string& note) {
    std::printf("| %s | %.6g | %s | %s |\n", name.c_str(), value, unit, note.c_str());
}

// The simulated machine, with the time of every write to one register kept
// in a buffer reserved beforehand.
class TimingPort final : public Port {
public:
    TimingPort(const Clock& clock, std::int16_t timed, const SimulatedMachine::Setup& setup)
        : clock_(clock), timed_(timed), sim_(setup) {
        times_.reserve(1 << 16);
    }
    void vbOut(std::int16_t address, std::int16_t value) override {
        if (address == timed_) times_.push_back(clock_.nowNs());
        sim_.vbOut(address, value);
    }
    std::int16_t vbInp(std::int16_t address) override { return sim_.vbInp(address); }
    std::string describe() const override { return sim_.describe(); }
    const std::vector<std::int64_t>& times() const { return times_; }
    SimulatedMachine& sim() { return sim_; }

private:
    const Clock& clock_;
    std::int16_t timed_;
    SimulatedMachine sim_;
    std::vector<std::int64_t> times_;
};

// A Home XY whose X switch never closes: kHomeSteps passes on the virtual
// clock; ns per pass.
double lostSwitchPassCost() {
    MachineState st;
    LoadMachineState(st);
    SimulatedMachine sim;
    sim.setSwitchBroken(SimulatedMachine::Axis::X, true);
    VirtualClock clock;
    HeadlessControls ui(clock);
    Context c{st, sim, ui, clock};
    const auto t0 = std::chrono::steady_clock::now();
    Command4_Click(c);
    const auto t1 = std::chrono::steady_clock::now();
    return static_cast<double>(std::chrono::duration_cast<std::chrono::nanoseconds>(t1 - t0).count()) /
           static_cast<double>(kHomeSteps);
}

// Mean and longest interval between the timed writes, less the nominal one.
void periods(const std::vector<std::int64_t>& t, double nominal, const std::string& name,
             const std::string& note) {
    double sum = 0;
    double longest = 0;
    for (std::size_t i = 1; i < t.size(); ++i) {
        const auto p = static_cast<double>(t[i] - t[i - 1]);
        sum += p;
        longest = std::max(longest, p);
    }
    const double n = static_cast<double>(t.size() - 1);
    row(name + " mean stretch", (sum / n - nominal) / 1000.0, "µs",
        note + ", nominal " + std::to_string(static_cast<long>(nominal / 1000)) + " µs");
    row(name + " longest", longest / 1000.0, "µs", note);
}

// A Home XY of `passes` passes on the real clock.
void homeXYPeriod(long passes) {
    RealClock clock;
    TimingPort port(clock, kDataReg, {.x = passes - 1, .y = passes / 2});
    MachineState st;
    LoadMachineState(st);
    HeadlessControls ui(clock);
    Context c{st, port, ui, clock};
    Command4_Click(c);
    auto t = port.times();
    t.pop_back();  // the release
    periods(t, static_cast<double>(kHomePause * clock.countNs()), "Home XY pass period",
            std::to_string(t.size()) + " passes, real clock, 4 status reads and 1 write a pass");
}

// `clicks` Z-up jog clicks on the real clock.
void jogPeriod(int clicks) {
    RealClock clock;
    TimingPort port(clock, kControlReg, {});
    MachineState st;
    LoadMachineState(st);
    HeadlessControls ui(clock);
    Context c{st, port, ui, clock};
    for (int i = 0; i < clicks; ++i) Command8_Click(c);
    periods(port.times(), static_cast<double>(kJogPause * clock.countNs()), "Z jog write interval",
            std::to_string(clicks) + " Z-up clicks, real clock");
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    for (int i = 1; i < argc; ++i) quick = quick || std::strcmp(argv[i], "--quick") == 0;

    std::vector<double> costs;
    for (int i = 0; i < 3; ++i) costs.push_back(lostSwitchPassCost());
    std::sort(costs.begin(), costs.end());
    row("Home XY cost per pass", costs[1], "ns",
        "median of 3 runs of " + std::to_string(kHomeSteps) +
            " passes (X switch never closes); virtual clock, simulated machine");

    // 2,000 passes of 500 µs: one second.
    homeXYPeriod(quick ? 400 : 2'000);
    jogPeriod(quick ? 20 : 100);
    return 0;
}
