// A simulated machine that stalls and lags: the steps a job loses, the
// lost-step check that finds them, and the play taken up on reversals.
#include <gtest/gtest.h>

#include "homing/Homing.h"
#include "job/Estimate.h"
#include "job/Job.h"
#include "tests/job/Rig.h"

namespace pm::test {
namespace {

// The sample house on a machine whose motors start at 400 half-steps/s and
// accelerate at 20000 half-steps/s², standing at home.
struct LimitedRig : Rig {
    LimitedRig() {
        sim.setPosition(SimulatedMachine::Axis::X, 0);
        sim.setPosition(SimulatedMachine::Axis::Y, 0);
        sim.setMotorLimits(400, 20000);
        sim.setTimeSource([this] { return clock.nowNs(); });
        run.motorsOn = true;
        run.speed = 1;
        run.plotFile = PM_SAMPLES "/casa.red";
        st.Settings.startRate = 400;
    }
};

struct LostCase {
    const char* name;
    double accel;  // the program's ramps (0: off)
    bool loses;
};

class LostSteps : public ::testing::TestWithParam<LostCase> {};

TEST_P(LostSteps, TheCheckFindsWhatTheMotorsLost) {
    const LostCase& t = GetParam();
    LimitedRig r;
    r.st.Settings.accel = t.accel;
    ASSERT_EQ(RunJob(r.c).end, PlotEnd::EndOfFile);
    const long long driftX = r.sim.x() - r.st.Position.X;
    const long long driftY = r.sim.y() - r.st.Position.Y;
    EXPECT_EQ(r.sim.missedSteps() > 0, t.loses);
    EXPECT_EQ(driftX != 0 || driftY != 0, t.loses);

    const PositionCheck check = CheckPosition(r.c);
    ASSERT_TRUE(check.done);
    EXPECT_EQ(check.driftX, driftX);
    EXPECT_EQ(check.driftY, driftY);
    EXPECT_EQ(r.events.messages.back(), PositionCheckText(check));
    EXPECT_EQ(r.sim.missedSteps() > 0, t.loses);  // the check itself loses none
    EXPECT_EQ(r.sim.x(), 0);
    EXPECT_EQ(r.st.Position.X, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Speed1, LostSteps,
    ::testing::Values(LostCase{"RampsOff", 0, true}, LostCase{"RampsWithLookAhead", 20000, false}),
    [](const ::testing::TestParamInfo<LostCase>& info) { return std::string(info.param.name); });

TEST(PositionCheckText, SaysWhatWasLost) {
    EXPECT_EQ(PositionCheckText({true, 0, 0}), "Nenhum passo perdido");
    EXPECT_EQ(PositionCheckText({true, -3, 0}), "X perdeu 3 meios-passos, Y 0");
}

struct PlayCase {
    const char* name;
    bool compensation;  // the play (3, 5) taken up
};

class Backlash : public ::testing::TestWithParam<PlayCase> {};

// Moves up land short by the play unless it is taken up; moves down push
// the carriage with the motor.
TEST_P(Backlash, ReversalsLandShortByThePlayUnlessTakenUp) {
    const PlayCase& t = GetParam();
    Rig r;
    r.sim.setBacklash(SimulatedMachine::Axis::X, 3);
    r.sim.setBacklash(SimulatedMachine::Axis::Y, 5);
    r.run.motorsOn = true;
    r.st.Settings.BacklashX = t.compensation ? 3 : 0;
    r.st.Settings.BacklashY = t.compensation ? 5 : 0;
    const long long x0 = r.sim.x();
    const long long y0 = r.sim.y();
    const int moves[][2] = {{400, 300}, {100, 50}, {300, 20}, {-50, 200}};
    for (const auto& m : moves) {
        const bool upX = m[0] > r.st.CurrentX;
        const bool upY = m[1] > r.st.CurrentY;
        r.st.TargetX = m[0];
        r.st.TargetY = m[1];
        MoveToTarget(r.c);
        const int shortX = !t.compensation && upX ? 3 : 0;
        const int shortY = !t.compensation && upY ? 5 : 0;
        EXPECT_EQ(r.sim.x() - x0, m[0] - shortX) << m[0] << "," << m[1];
        EXPECT_EQ(r.sim.y() - y0, m[1] - shortY) << m[0] << "," << m[1];
        EXPECT_EQ(r.st.Position.X, m[0]);
    }
    EXPECT_EQ(r.sim.missedSteps(), 0);
    // The check finds no step lost, only where the program started.
    const PositionCheck check = CheckPosition(r.c);
    EXPECT_EQ(check.driftX, x0);
    EXPECT_EQ(check.driftY, y0);
}

INSTANTIATE_TEST_SUITE_P(Play, Backlash,
                         ::testing::Values(PlayCase{"Off", false}, PlayCase{"TakenUp", true}),
                         [](const ::testing::TestParamInfo<PlayCase>& info) {
                             return std::string(info.param.name);
                         });

// The take-up's time is in the estimate, to the nanosecond.
TEST(Backlash, EstimateIncludesTheTakeUp) {
    LimitedRig r;
    r.st.Settings.accel = 20000;
    r.st.Settings.BacklashX = 4;
    r.st.Settings.BacklashY = 6;
    ASSERT_EQ(RunJob(r.c).end, PlotEnd::EndOfFile);
    EstimateSettings s{"3.55", 1, 5, true, {}, r.st.Settings};
    const JobEstimate est = EstimateJob(r.run.plotFile, s);
    ASSERT_TRUE(est.ok) << est.error;
    EXPECT_EQ(est.durationNs, r.clock.nowNs());
    LimitedRig plain;
    plain.st.Settings.accel = 20000;
    RunJob(plain.c);
    EXPECT_GT(est.durationNs, plain.clock.nowNs());
}

}  // namespace
}  // namespace pm::test
