#include <gtest/gtest.h>

#include <cstdlib>

#include "Rig.h"
#include "jog/JogXY.h"

namespace pm::test {
namespace {

using Axis = SimulatedMachine::Axis;

// Every data write of the jog moves each motor by one half-step at most.
void ExpectSingleHalfSteps(const Rig& r) {
    EXPECT_EQ(r.sim.missedSteps(), 0);
    EXPECT_EQ(r.sim.roughSteps(Axis::X) + r.sim.roughSteps(Axis::Y), 0);
}

struct ClickCase {
    const char* name;
    long dx, dy;
    bool motors;
};
void PrintTo(const ClickCase& row, std::ostream* os) { *os << row.name; }
class JogClick : public ::testing::TestWithParam<ClickCase> {};

TEST_P(JogClick, MovesItsStepOneHalfStepAWrite) {
    const ClickCase& k = GetParam();
    Rig r({.z = 150});
    r.run.motorsOn = k.motors;
    r.st.CurrentX = 3;  // continues from the pattern the motors hold
    JogXY(r.c, 1, 0, false);
    const long long x0 = r.sim.x();
    const long long y0 = r.sim.y();
    r.trace.clear();

    JogXY(r.c, k.dx, k.dy, false);
    EXPECT_EQ(r.sim.x() - x0, k.dx);
    EXPECT_EQ(r.sim.y() - y0, k.dy);
    EXPECT_EQ(r.dataWrites().size(), static_cast<std::size_t>(std::labs(k.dx) + std::labs(k.dy) + 2));
    EXPECT_EQ(r.dataWrites().back(), 0) << "the X and Y coils off";
    EXPECT_EQ(r.st.CurrentX, 4 + static_cast<double>(k.dx));
    ExpectSingleHalfSteps(r);
    // With the motors on the tool goes up before the first XY step and
    // back down to its height after the last.
    const auto& a = r.trace.accesses();
    std::size_t firstData = a.size();
    std::size_t lastData = 0;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].kind != 'W' || a[i].address != kDataReg || a[i].value == 0) continue;
        firstData = std::min(firstData, i);
        lastData = i;
    }
    bool zBefore = false;
    bool zAfter = false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (a[i].kind != 'W' || a[i].address != kControlReg) continue;
        zBefore = zBefore || i < firstData;
        zAfter = zAfter || i > lastData;
    }
    EXPECT_EQ(zBefore, k.motors);
    EXPECT_EQ(zAfter, k.motors);
    EXPECT_EQ(r.sim.z(), 150);
    EXPECT_EQ(r.st.Running, Operation::None);
}

INSTANTIATE_TEST_SUITE_P(Steps, JogClick,
                         ::testing::Values(ClickCase{"Right10", 10, 0, false},
                                           ClickCase{"Left100", -100, 0, false},
                                           ClickCase{"Up1MotorsOn", 0, 1, true},
                                           ClickCase{"Down10MotorsOn", 0, -10, true}),
                         RowName());

// Held: one step, on past it once held beyond the hold delay, until the
// release; with the ramps on slowed down to the start rate first.
// "Cancelar" stops at once. A step is 4 ms at speed 40.
struct HoldCase {
    const char* name;
    double accel;
    bool cancel;
    std::int64_t atMs;  // the release or the cancel
    long long min, max;  // half-steps moved
};
void PrintTo(const HoldCase& row, std::ostream* os) { *os << row.name; }
class JogHold : public ::testing::TestWithParam<HoldCase> {};

TEST_P(JogHold, GoesOnUntilLetGo) {
    const HoldCase& k = GetParam();
    Rig r;
    r.run.speed = 40;
    r.st.Settings.accel = k.accel;
    const long long x0 = r.sim.x();
    r.pump.onPump = [&] {
        if (r.clock.nowNs() < k.atMs * 1'000'000) return;
        if (k.cancel) {
            r.st.CancelRequested = true;
        } else {
            ReleaseXY(r.c);
        }
    };
    JogXY(r.c, 10, 0, true);
    EXPECT_GE(r.sim.x() - x0, k.min);
    EXPECT_LE(r.sim.x() - x0, k.max);
    ExpectSingleHalfSteps(r);
    EXPECT_FALSE(r.st.JogHeld);
    EXPECT_EQ(r.st.Running, Operation::None);
    // No pass comes sooner than the start rate allows from rest.
    const std::vector<std::int64_t> gaps = r.gaps(kDataReg);
    ASSERT_GE(gaps.size(), 2u);
    if (k.accel > 0) {
        EXPECT_GE(gaps.front(), 5'000'000);
        EXPECT_GE(gaps[gaps.size() - 2], 5'000'000) << "the last step, before the coils go off";
    }
}

INSTANTIATE_TEST_SUITE_P(Releases, JogHold,
                         ::testing::Values(HoldCase{"ClickWithinTheDelay", 0, false, 100, 10, 10},
                                           HoldCase{"NoRamps", 0, false, 500, 58, 62},
                                           HoldCase{"Ramped", 2000, false, 500, 58, 75},
                                           HoldCase{"Cancelled", 0, true, 500, 58, 62}),
                         RowName());

TEST(JogSize, MillimetresOnceTheScaleIsSet) {
    MachineSettings m;
    EXPECT_EQ(JogStepHalfSteps(m, AxisXY::X, 2), 100);
    EXPECT_EQ(JogSizeText(m, 0), "1");
    m.StepsPerMmX = 320;
    m.StepsPerMmY = 40;
    EXPECT_EQ(JogStepHalfSteps(m, AxisXY::X, 0), 32);
    EXPECT_EQ(JogStepHalfSteps(m, AxisXY::Y, 2), 400);
    EXPECT_EQ(JogSizeText(m, 0), "0,1 mm");
}

TEST(JogRefusedXY, NothingWhileAnotherOperationRuns) {
    Rig r;
    r.st.Running = Operation::HomeZ;
    JogXY(r.c, 10, 0, false);
    EXPECT_TRUE(r.trace.accesses().empty());
}

}  // namespace
}  // namespace pm::test
