#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "motion/HeadlessMachine.h"
#include "motion/Motion.h"
#include "port/SimulatedMachine.h"
#include "port/TracePort.h"

namespace pm::test {

// Lets a test look at the window and the machine at the moment of each
// write, and counts the status reads.
class ProbePort final : public Port {
public:
    explicit ProbePort(Port& inner) : inner_(inner) {}
    void vbOut(std::int16_t address, std::int16_t value) override {
        inner_.vbOut(address, value);
        if (onWrite) onWrite(address, value);
    }
    std::int16_t vbInp(std::int16_t address) override {
        if (address == kStatusReg) ++statusReads;
        return inner_.vbInp(address);
    }
    std::string describe() const override { return inner_.describe(); }

    std::function<void(std::int16_t, std::int16_t)> onWrite;
    long long statusReads = 0;

private:
    Port& inner_;
};

// The simulated router behind a trace, the virtual clock, headless events and pump
// with the switch poll on the clock's 100 ms tick, as the program starts.
struct Rig {
    explicit Rig(const SimulatedMachine::Setup& setup = {}) : sim(setup) {}

    // Values that homing and jogging must leave alone.
    void markPositions() {
        st.CurrentX = 12.5;
        st.CurrentY = -3;
        st.ZStepCount = 7;
    }
    bool positionsKept() const {
        return st.CurrentX == 12.5 && st.CurrentY == -3 && st.ZStepCount == 7;
    }

    std::vector<int> dataWrites() const { return trace.writes(kDataReg); }
    std::vector<int> controlWrites() const { return trace.writes(kControlReg); }
    // Nanoseconds between consecutive writes to one register.
    std::vector<std::int64_t> gaps(std::int16_t address) const {
        std::vector<std::int64_t> out;
        std::int64_t last = -1;
        for (const auto& a : trace.accesses()) {
            if (a.kind != 'W' || a.address != address) continue;
            if (last >= 0) out.push_back(a.tNs - last);
            last = a.tNs;
        }
        return out;
    }

    SimulatedMachine sim;
    VirtualClock clock;
    TracePort trace{sim, [this] { return clock.nowNs(); }};
    ProbePort probe{trace};
    HeadlessMachine machine{probe, clock};
    MachineState& st = machine.state();
    RunSettings& run = machine.run();
    HeadlessEvents& events = machine.events();
    HeadlessPump& pump = machine.pump();
    Context& c = machine.context();
};

// Names a parameterised case after its table row.
struct RowName {
    template <class Row>
    std::string operator()(const ::testing::TestParamInfo<Row>& info) const {
        return info.param.name;
    }
};

}  // namespace pm::test
