#pragma once
#include <memory>

#include "motion/Clock.h"
#include "motion/Context.h"
#include "motion/Headless.h"
#include "motion/MachineState.h"
#include "motion/RunSettings.h"
#include "port/Port.h"
#include "port/SimulatedMachine.h"

namespace pm {

// A machine without a window, set up as the window sets itself up: the
// machine state loaded (drive tables, PortBase), a port, a clock, the run
// settings at the operator's defaults, the events kept as fields, the
// headless pump with the 100 ms switch poll on the clock's tick, and the
// context every operation takes. The headless runner, the estimate, the
// tests, the fuzz targets and the benchmarks all start from one.
class HeadlessMachine {
public:
    // The simulated machine, set up as given, on a virtual clock; both its own.
    explicit HeadlessMachine(const SimulatedMachine::Setup& setup = {});
    // A port and a clock the caller keeps alive longer than this machine: a
    // real port, a trace around a simulated machine, a real clock.
    HeadlessMachine(Port& port, Clock& clock);
    HeadlessMachine(const HeadlessMachine&) = delete;
    HeadlessMachine& operator=(const HeadlessMachine&) = delete;
    ~HeadlessMachine();

    MachineState& state() { return st_; }
    const MachineState& state() const { return st_; }
    RunSettings& run() { return run_; }
    const RunSettings& run() const { return run_; }
    HeadlessEvents& events() { return events_; }
    const HeadlessEvents& events() const { return events_; }
    HeadlessPump& pump() { return pump_; }
    Context& context() { return c_; }
    Clock& clock() { return clock_; }
    const Clock& clock() const { return clock_; }
    // The simulated machine of the first constructor; null on a given port.
    SimulatedMachine* sim() { return ownSim_.get(); }
    const SimulatedMachine* sim() const { return ownSim_.get(); }

private:
    std::unique_ptr<SimulatedMachine> ownSim_;
    std::unique_ptr<VirtualClock> ownClock_;
    Clock& clock_;
    MachineState st_;
    RunSettings run_;
    HeadlessEvents events_;
    HeadlessPump pump_;
    Context c_;
};

}  // namespace pm
