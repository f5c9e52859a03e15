#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "Rig.h"
#include "jog/Jog.h"

namespace pm::test {
namespace {

using Axis = SimulatedMachine::Axis;

struct JogCase {
    const char* name;
    void (*handler)(Context&);
    bool check1;
    // Every write, in order: register and value.
    std::vector<std::pair<int, int>> writes;
};
void PrintTo(const JogCase& row, std::ostream* os) { *os << row.name; }


class Jog : public ::testing::TestWithParam<JogCase> {};

TEST_P(Jog, WritesItsCycleAndNothingElse) {
    const JogCase& k = GetParam();
    Rig r;
    r.run.motorsOn = k.check1;
    r.markPositions();

    k.handler(r.c);

    std::vector<std::pair<int, int>> got;
    for (const auto& a : r.trace.accesses()) {
        if (a.kind == 'W') got.emplace_back(a.address, a.value);
    }
    EXPECT_EQ(got, k.writes);
    for (const std::int64_t gap : r.gaps(kControlReg)) {
        // The pauses of the cycle; the release follows at once.
        EXPECT_TRUE(gap == kJogPause * r.clock.countNs() || gap == 0) << gap;
    }
    EXPECT_EQ(r.clock.nowNs(),
              (k.writes.size() >= 4 ? 4 : 0) * kJogPause * r.clock.countNs());
    EXPECT_EQ(r.pump.count, 0);
    EXPECT_EQ(r.st.Running, Operation::None);
    EXPECT_EQ(r.events.running, Operation::None);
    EXPECT_TRUE(r.events.messages.empty());
    EXPECT_TRUE(r.positionsKept());
}

const std::vector<std::pair<int, int>> kUp{{890, 10}, {890, 9}, {890, 15}, {890, 3}};
const std::vector<std::pair<int, int>> kDown{{890, 3}, {890, 15}, {890, 9}, {890, 10}};
const std::vector<std::pair<int, int>> kDownThenRelease{{890, 3}, {890, 15}, {890, 9},
                                                        {890, 10}, {888, 0},  {890, 11}};
const std::vector<std::pair<int, int>> kZOff{{890, 11}};

INSTANTIATE_TEST_SUITE_P(
    Handlers, Jog,
    ::testing::Values(JogCase{"UpClick", &JogZUp, true, kUp},
                      JogCase{"UpClickMotorsOff", &JogZUp, false, kUp},
                      JogCase{"UpKeyPress", &JogZUp, true, kUp},
                      JogCase{"UpKeyPressMotorsOff", &JogZUp, false, kUp},
                      JogCase{"UpKeyUp", &ReleaseZ, true, kZOff},
                      JogCase{"UpKeyUpMotorsOff", &ReleaseZ, false, kZOff},
                      JogCase{"DownClick", &JogZDownAndRelease, true, kDownThenRelease},
                      JogCase{"DownClickMotorsOff", &JogZDownAndRelease, false, kDownThenRelease},
                      JogCase{"DownKeyPress", &JogZDown, true, kDown},
                      JogCase{"DownKeyPressMotorsOff", &JogZDown, false, kDown},
                      JogCase{"DownKeyUp", &ReleaseZ, true, kZOff},
                      JogCase{"DownKeyUpMotorsOff", &ReleaseZ, false, kZOff}),
    RowName());

struct HeldKeyCase {
    const char* name;
    void (*press)(Context&);
    void (*release)(Context&);
    long long zPerCycle;
};
void PrintTo(const HeldKeyCase& row, std::ostream* os) { *os << row.name; }


class HeldKey : public ::testing::TestWithParam<HeldKeyCase> {};

TEST_P(HeldKey, EachRepeatJogsOneCycleAndTheReleaseSwitchesZOff) {
    const HeldKeyCase& k = GetParam();
    Rig r({.z = 100});
    r.markPositions();
    k.press(r.c);  // the first cycle settles the rotor on the sequence
    r.trace.clear();
    const long long z0 = r.sim.z();

    for (int i = 0; i < 5; ++i) k.press(r.c);
    EXPECT_TRUE(r.sim.energised(Axis::Z));
    EXPECT_EQ(r.sim.z() - z0, 5 * k.zPerCycle);
    k.release(r.c);

    const std::vector<int> w = r.controlWrites();
    ASSERT_EQ(w.size(), 21u);
    EXPECT_EQ(w.back(), 11);
    EXPECT_FALSE(r.sim.energised(Axis::Z));
    EXPECT_EQ(r.sim.z() - z0, 5 * k.zPerCycle);
    EXPECT_TRUE(r.dataWrites().empty());
    EXPECT_EQ(r.sim.missedSteps(), 0);
    EXPECT_TRUE(r.positionsKept());
}

INSTANTIATE_TEST_SUITE_P(
    Keys, HeldKey,
    ::testing::Values(HeldKeyCase{"Up", &JogZUp, &ReleaseZ, 4},
                      HeldKeyCase{"Down", &JogZDown, &ReleaseZ, -4}),
    RowName());

TEST(JogDownClick, SwitchesEveryCoilOff) {
    Rig r({.x = 3, .y = 3});
    r.run.motorsOn = true;
    r.st.TargetX = 5;
    r.st.TargetY = 1;
    MoveToTarget(r.c);  // X and Y energised where the walk ended
    ASSERT_TRUE(r.sim.energised(Axis::X));
    JogZDownAndRelease(r.c);
    EXPECT_FALSE(r.sim.energised(Axis::X));
    EXPECT_FALSE(r.sim.energised(Axis::Y));
    EXPECT_FALSE(r.sim.energised(Axis::Z));
}

TEST(JogRefused, NoHandlerWritesWhileAnotherOperationRuns) {
    for (const auto handler : {&JogZUp, &JogZUp, &ReleaseZ,
                               &JogZDownAndRelease, &JogZDown, &ReleaseZ}) {
        Rig r;
        r.st.Running = Operation::HomeZ;
        handler(r.c);
        EXPECT_TRUE(r.trace.accesses().empty());
        EXPECT_EQ(r.st.Running, Operation::HomeZ);
    }
}

}  // namespace
}  // namespace pm::test
