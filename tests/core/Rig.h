#pragma once
#include <cstdint>
#include <vector>

#include "motion/HeadlessMachine.h"
#include "motion/Motion.h"
#include "port/SimulatedMachine.h"
#include "port/TracePort.h"

namespace pm::test {

// One machine on the bench: the simulated router behind a trace, the
// virtual clock, the headless events and pump with the switch poll on the
// tick, and the state as the program starts.
struct Rig {
    explicit Rig(const SimulatedMachine::Setup& setup = {})
        : sim(setup), trace(sim, [this] { return clock.nowNs(); }), machine(trace, clock) {}
    Rig(const Rig&) = delete;
    Rig& operator=(const Rig&) = delete;

    void moveTo(double x, double y) {
        st.TargetX = x;
        st.TargetY = y;
        MoveToTarget(c);
    }

    // Times of the data-register writes, in order.
    std::vector<std::int64_t> dataWriteTimes() const {
        std::vector<std::int64_t> t;
        for (const auto& a : trace.accesses())
            if (a.kind == 'W' && a.address == kDataReg) t.push_back(a.tNs);
        return t;
    }

    SimulatedMachine sim;
    VirtualClock clock;
    TracePort trace;
    HeadlessMachine machine;
    MachineState& st = machine.state();
    RunSettings& run = machine.run();
    HeadlessEvents& events = machine.events();
    HeadlessPump& pump = machine.pump();
    Context& c = machine.context();
};

}  // namespace pm::test
