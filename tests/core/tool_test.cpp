#include <gtest/gtest.h>

#include <vector>

#include "Rig.h"
#include "motion/SwitchPoll.h"

namespace pm::test {
namespace {

using Axis = SimulatedMachine::Axis;

std::vector<int> repeated(const std::array<int, 4>& cycle, int times) {
    std::vector<int> v;
    for (int i = 0; i < times; ++i) v.insert(v.end(), cycle.begin(), cycle.end());
    return v;
}

// The lift reads the top switch afresh after every cycle (the poll's
// reading is older than the cycle) and goes one cycle past the reading that
// sees it closed. The rotor takes the first write as its phase, so n cycles
// rise 4n - 1 steps: the switch at `top` is seen after cycle k, the first
// with z + 4k - 1 >= top, and the lift ends after cycle k + 1.
TEST(RaiseTool, StopsOneCyclePastTheReadingThatSeesTheTopSwitch) {
    const struct {
        long long z, top;
        bool lampShownBefore;  // an earlier poll already showed LE(5)
        int cycles;
    } cases[] = {
        {0, 160, false, 42},
        {0, 99, false, 26},    // closes exactly at cycle 25
        {0, 100, false, 27},   // one step short at cycle 25
        {200, 160, false, 0},  // already closed, though no poll has shown it yet
        {200, 160, true, 0},   // shown before the lift: nothing at all
        {-400, 160, false, 142},
    };
    for (const auto& k : cases) {
        Rig r({.z = k.z, .zTop = k.top});
        r.run.motorsOn = true;
        if (k.lampShownBefore) PollSwitches(r.c);
        r.st.ZStepCount = 999;
        r.trace.clear();
        RaiseTool(r.c);

        SCOPED_TRACE(testing::Message() << "z " << k.z << " top " << k.top);
        EXPECT_EQ(r.st.ZStepCount, k.cycles);
        const auto writes = r.trace.writes(kControlReg);
        EXPECT_EQ(writes, repeated(ZPhasesUp, k.cycles));
        EXPECT_EQ(r.sim.z(), k.z + (k.cycles > 0 ? 4LL * k.cycles - 1 : 0));
        EXPECT_EQ(r.sim.missedSteps(), 0);
        EXPECT_EQ(r.clock.nowNs(), k.cycles * 4'000'000LL);
        EXPECT_EQ(r.sim.controlRegister(), k.cycles > 0 ? 3 : kZRelease);
    }
}

// A lower pumps no events, so the lamp still shows the poll from before
// it: the next lift reads the switch itself and lifts the tool again.
TEST(RaiseTool, ReadsTheSwitchAfreshAfterALower) {
    Rig r({.z = 0});
    r.run.motorsOn = true;
    RaiseTool(r.c);
    const int n = r.st.ZStepCount;
    PollSwitches(r.c);  // the poll sees the tool at the top
    ASSERT_TRUE(r.events.lamp[5]);
    LowerTool(r.c);
    ASSERT_TRUE(r.events.lamp[5]);  // no poll since
    ASSERT_EQ(r.sim.z(), 0);
    r.trace.clear();
    r.pump.onTick = nullptr;  // no poll during the lift either
    RaiseTool(r.c);
    EXPECT_EQ(r.st.ZStepCount, n);
    EXPECT_EQ(r.trace.writes(kControlReg), repeated(ZPhasesUp, n));
    EXPECT_GE(r.sim.z(), 160);
}

TEST(RaiseTool, LowerReplaysTheCountAndBringsZBack) {
    for (const long long start : {0LL, 37LL, -1000LL}) {
        Rig r({.z = start});
        r.run.motorsOn = true;
        RaiseTool(r.c);
        const int n = r.st.ZStepCount;
        ASSERT_GT(n, 0);
        const long long pumps = r.pump.count;
        r.trace.clear();
        LowerTool(r.c);
        SCOPED_TRACE(testing::Message() << "start " << start);
        EXPECT_EQ(r.trace.writes(kControlReg), repeated(ZPhasesDown, n));
        EXPECT_EQ(r.trace.accesses().size(), 4U * n);  // no poll read: the lower does not pump
        EXPECT_EQ(r.pump.count, pumps);
        EXPECT_EQ(r.st.ZStepCount, n);
        // The lift rose 4n - 1 steps and the lower's first 3 repeats the
        // phase the lift ended on, so the lower comes down as far.
        EXPECT_EQ(r.sim.z(), start);
        EXPECT_EQ(r.sim.missedSteps(), 0);
        EXPECT_EQ(r.sim.controlRegister(), 10);
    }
}

TEST(RaiseTool, MotorsOffLiftAndLowerWriteNothingAndKeepTheCount) {
    Rig r;
    r.st.ZStepCount = 7;
    RaiseTool(r.c);
    LowerTool(r.c);
    EXPECT_TRUE(r.trace.accesses().empty());
    EXPECT_EQ(r.st.ZStepCount, 7);
    EXPECT_EQ(r.pump.count, 0);
    EXPECT_EQ(r.clock.nowNs(), 0);
}

TEST(LowerTool, LowersOnlyAfterALift) {
    const struct {
        const char* name;
        void (*sequence)(Rig&);
        int expectedDownCycles;
    } cases[] = {
        {"no lift since start", [](Rig& r) { LowerTool(r.c); }, 0},
        {"lift, lower, lower",
         [](Rig& r) {
             RaiseTool(r.c);
             LowerTool(r.c);
             r.trace.clear();
             LowerTool(r.c);
         },
         0},
        {"lift, lower, then the end of the job",
         [](Rig& r) {
             RaiseTool(r.c);
             LowerTool(r.c);
             r.trace.clear();
             FinishJob(r.c);
         },
         0},
        {"lift, then the end of the job",
         [](Rig& r) {
             RaiseTool(r.c);
             r.trace.clear();
             FinishJob(r.c);
         },
         42},
        {"lift with motors on, lower with motors off, then on",
         [](Rig& r) {
             RaiseTool(r.c);
             r.run.motorsOn = false;
             LowerTool(r.c);
             r.run.motorsOn = true;
             r.trace.clear();
             LowerTool(r.c);
         },
         42},
        {"lift with motors on, a lift with motors off, lower",
         [](Rig& r) {
             RaiseTool(r.c);
             r.run.motorsOn = false;
             RaiseTool(r.c);
             r.run.motorsOn = true;
             r.trace.clear();
             LowerTool(r.c);
         },
         42},
    };
    for (const auto& k : cases) {
        Rig r;
        r.run.motorsOn = true;
        r.st.ZStepCount = 12;  // a count left over, never to be replayed unlifted
        k.sequence(r);
        SCOPED_TRACE(k.name);
        auto writes = r.trace.writes(kControlReg);
        if (!writes.empty() && writes.back() == kZRelease) writes.pop_back();
        EXPECT_EQ(writes, repeated(ZPhasesDown, k.expectedDownCycles));
        if (k.expectedDownCycles > 0) {
            EXPECT_EQ(r.sim.z(), 0);
        }
    }
}

TEST(FinishJob, ReleasesEveryCoilWhateverTheMotorSwitch) {
    for (const bool motors : {false, true}) {
        Rig r;
        r.run.motorsOn = motors;
        r.events.plotStartAllowed = false;
        r.trace.clear();
        FinishJob(r.c);
        const auto& a = r.trace.accesses();
        ASSERT_EQ(a.size(), 2U);
        EXPECT_EQ(a[0].address, kDataReg);
        EXPECT_EQ(a[0].value, 0);
        EXPECT_EQ(a[1].address, kControlReg);
        EXPECT_EQ(a[1].value, kZRelease);
        EXPECT_TRUE(r.events.plotStartAllowed);
    }
    Rig r;
    r.trace.clear();
    ReleaseMotors(r.c);
    ASSERT_EQ(r.trace.accesses().size(), 2U);
    EXPECT_EQ(r.trace.writes(kDataReg), std::vector<int>{0});
    EXPECT_EQ(r.trace.writes(kControlReg), std::vector<int>{kZRelease});
}

TEST(RaiseTool, CancelEndsTheLiftKeepingTheCyclesSoFar) {
    Rig r;
    r.run.motorsOn = true;
    r.pump.onPump = [&] {
        if (r.pump.count == 5) r.st.CancelRequested = true;
    };
    RaiseTool(r.c);
    // The pass whose pump saw the cancel still writes its cycle.
    EXPECT_EQ(r.st.ZStepCount, 5);
    EXPECT_EQ(r.trace.writes(kControlReg), repeated(ZPhasesUp, 5));
    EXPECT_TRUE(r.events.messages.empty());
    r.st.CancelRequested = false;
    LowerTool(r.c);
    EXPECT_EQ(r.sim.z(), 0);

    Rig before;
    before.run.motorsOn = true;
    before.st.ZStepCount = 9;
    before.st.CancelRequested = true;
    RaiseTool(before.c);
    EXPECT_EQ(before.st.ZStepCount, 0);
    EXPECT_TRUE(before.trace.accesses().empty());
}

TEST(RaiseTool, StopsAtAFullCountWhenTheTopSwitchIsNeverSeen) {
    Rig r;
    r.run.motorsOn = true;
    r.sim.setSwitchBroken(Axis::Z, true);
    RaiseTool(r.c);
    EXPECT_EQ(r.st.ZStepCount, 32767);
    EXPECT_EQ(r.trace.writes(kControlReg).size(), 4U * 32767);
    ASSERT_EQ(r.events.messages.size(), 1U);
    EXPECT_EQ(r.events.messages[0], kZTopNotFound);
    // The job stops, and no lower replays a count that measured nothing.
    EXPECT_TRUE(r.st.CancelRequested);
    r.trace.clear();
    LowerTool(r.c);
    FinishJob(r.c);
    EXPECT_EQ(r.trace.writes(kControlReg), std::vector<int>{kZRelease});
}

}  // namespace
}  // namespace pm::test
