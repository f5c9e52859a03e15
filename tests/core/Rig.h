#pragma once
#include <cstdint>
#include <vector>

#include "motion/HeadlessControls.h"
#include "motion/Motion.h"
#include "motion/SwitchPoll.h"
#include "port/SimulatedMachine.h"
#include "port/TracePort.h"

namespace pm::test {

// One machine on the bench: the simulated router behind a trace, the
// virtual clock, the headless controls with the switch poll on their tick,
// and the state as Form_Load leaves it.
struct Rig {
    explicit Rig(const SimulatedMachine::Setup& setup = {})
        : sim(setup), trace(sim, [this] { return clock.nowNs(); }), ui(clock),
          c{st, trace, ui, clock} {
        LoadMachineState(st);
        ui.onTick = [this] { Timer1_Timer(c); };
    }
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

    MachineState st;
    SimulatedMachine sim;
    VirtualClock clock;
    TracePort trace;
    HeadlessControls ui;
    Context c;
};

}  // namespace pm::test
