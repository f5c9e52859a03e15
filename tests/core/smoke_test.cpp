#include <gtest/gtest.h>

#include "homing/SwitchPoll.h"
#include "motion/HeadlessControls.h"
#include "motion/Motion.h"
#include "port/SimulatedMachine.h"

namespace pm {
namespace {

TEST(Smoke, MoveLeavesSimAtBelievedPlace) {
    MachineState st;
    LoadMachineState(st);
    SimulatedMachine sim;
    VirtualClock clock;
    HeadlessControls ui(clock);
    Context c{st, sim, ui, clock};
    ui.check1 = true;
    st.TargetX = 10;
    st.TargetY = 4;
    MoveToTarget(c);
    EXPECT_EQ(st.CurrentX, 10);
    EXPECT_EQ(sim.x(), 2010);
    EXPECT_EQ(sim.y(), 1504);
    EXPECT_EQ(sim.missedSteps(), 0);
}

}  // namespace
}  // namespace pm
