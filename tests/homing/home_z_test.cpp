#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "Rig.h"
#include "homing/Homing.h"
#include "jog/Jog.h"
#include "motion/SwitchPoll.h"

namespace pm::test {
namespace {

using Axis = SimulatedMachine::Axis;

// Whether the written values are whole cycles of 10, 9, 15, 3.
bool WholeUpCycles(const std::vector<int>& w) {
    if (w.size() % 4 != 0) return false;
    for (std::size_t i = 0; i < w.size(); ++i) {
        if (w[i] != ZPhasesUp[i % 4]) return false;
    }
    return true;
}

enum class Poll { OnTheClock, AtEveryPump };

struct HomeZCase {
    const char* name;
    Poll poll;
    long long zTop;
    long long cycles;  // cycles written before it stops
};
void PrintTo(const HomeZCase& row, std::ostream* os) { *os << row.name; }


class HomeZ : public ::testing::TestWithParam<HomeZCase> {};

TEST_P(HomeZ, StopsOneCyclePastTheReadingThatSeesTheTopSwitch) {
    const HomeZCase& k = GetParam();
    Rig r({.z = 0, .zTop = k.zTop});
    r.markPositions();
    const auto poll = [&] { PollSwitches(r.c); };
    if (k.poll == Poll::OnTheClock) {
        r.pump.onTick = poll;
    } else {
        r.pump.onTick = nullptr;
        r.pump.onPump = poll;
    }

    pm::HomeZ(r.c);

    const std::vector<int> w = r.controlWrites();
    EXPECT_TRUE(WholeUpCycles(w));
    const long long cycles = static_cast<long long>(w.size()) / 4;
    EXPECT_EQ(cycles, k.cycles);
    EXPECT_EQ(r.pump.count, cycles);
    // The first pattern only energises the motor; every later one is a step.
    EXPECT_EQ(r.sim.z(), 4 * cycles - 1);
    EXPECT_TRUE(r.sim.zTopClosed());
    EXPECT_EQ(r.sim.missedSteps(), 0);
    // Nothing released: 3 holds the tool at the top, X and Y untouched.
    EXPECT_EQ(r.sim.controlRegister(), 3);
    EXPECT_TRUE(r.sim.energised(Axis::Z));
    EXPECT_TRUE(r.dataWrites().empty());
    for (const std::int64_t gap : r.gaps(kControlReg)) {
        EXPECT_EQ(gap, kJogPause * r.clock.countNs());
    }
    EXPECT_EQ(r.st.Running, Operation::None);
    EXPECT_EQ(r.events.running, Operation::None);
    EXPECT_TRUE(r.events.messages.empty());
    EXPECT_TRUE(r.positionsKept());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HomeZ,
    ::testing::Values(
        // The switch is read afresh after every cycle, whenever the poll
        // runs: at 160 it is seen after cycle 41 (z 163), at 3 after cycle 1.
        HomeZCase{"ClockPollSwitchCloses131ms", Poll::OnTheClock, 160, 42},
        HomeZCase{"ClockPollSwitchClosesAtOnce", Poll::OnTheClock, 3, 2},
        HomeZCase{"PollEveryPump", Poll::AtEveryPump, 160, 42},
        HomeZCase{"PollEveryPumpOneCycleToTheTop", Poll::AtEveryPump, 3, 2}),
    RowName());

TEST(HomeZShown, WritesNothingWhenTheTopSwitchIsAlreadyClosed) {
    Rig r({.z = 160});
    r.markPositions();
    pm::HomeZ(r.c);
    // One reading of the switches, and nothing written.
    ASSERT_EQ(r.trace.accesses().size(), 1U);
    EXPECT_EQ(r.trace.accesses()[0].kind, 'R');
    EXPECT_EQ(r.pump.count, 0);
    EXPECT_EQ(r.st.Running, Operation::None);
    EXPECT_TRUE(r.positionsKept());
}

class HomeZCancel : public ::testing::TestWithParam<int> {};

TEST_P(HomeZCancel, CancelarInThePumpStopsAfterThatPassCycle) {
    const int atPump = GetParam();
    Rig r({.zTop = 1'000'000});
    r.markPositions();
    r.pump.onPump = [&] {
        if (r.pump.count == atPump) r.st.CancelRequested = true;
    };

    pm::HomeZ(r.c);

    const std::vector<int> w = r.controlWrites();
    EXPECT_TRUE(WholeUpCycles(w));
    EXPECT_EQ(static_cast<long long>(w.size()), 4LL * atPump);
    EXPECT_EQ(r.sim.controlRegister(), 3);
    EXPECT_TRUE(r.dataWrites().empty());
    // The request stays set, as a cancelled job leaves it.
    EXPECT_TRUE(r.st.CancelRequested);
    EXPECT_EQ(r.st.Running, Operation::None);
    EXPECT_TRUE(r.positionsKept());
}

INSTANTIATE_TEST_SUITE_P(Pumps, HomeZCancel, ::testing::Values(1, 2, 37));

TEST(HomeZCancelLeftOver, ACancelFromBeforeTheClickDoesNotStopIt) {
    Rig r({.zTop = 20});
    r.st.CancelRequested = true;
    pm::HomeZ(r.c);
    EXPECT_TRUE(r.sim.zTopClosed());
    EXPECT_FALSE(r.st.CancelRequested);
}

TEST(HomeZLostSwitch, StopsWithTheTopSwitchMessageWhenTheCountIsFull) {
    Rig r;
    r.trace.setRecordReads(false);
    r.sim.setSwitchBroken(Axis::Z, true);
    r.markPositions();

    pm::HomeZ(r.c);

    const std::vector<int> w = r.controlWrites();
    EXPECT_EQ(w.size(), 4u * 32767u);
    EXPECT_TRUE(WholeUpCycles(w));
    ASSERT_EQ(r.events.messages.size(), 1u);
    EXPECT_EQ(r.events.messages[0], kZTopNotFound);
    EXPECT_EQ(r.sim.controlRegister(), 3);
    EXPECT_EQ(r.st.Running, Operation::None);
    EXPECT_TRUE(r.positionsKept());
}

TEST(HomeZNested, OtherMotionsRefuseWhileItRuns) {
    Rig r({.zTop = 40});
    std::vector<Operation> runningInPump;
    r.pump.onPump = [&] {
        runningInPump.push_back(r.events.running);
        if (r.pump.count != 3) return;
        pm::HomeXY(r.c);
        pm::HomeZ(r.c);
        JogZUp(r.c);
        JogZUp(r.c);
        ReleaseZ(r.c);
        JogZDownAndRelease(r.c);
        JogZDown(r.c);
        ReleaseZ(r.c);
    };

    pm::HomeZ(r.c);

    EXPECT_TRUE(WholeUpCycles(r.controlWrites()));
    EXPECT_TRUE(r.dataWrites().empty());
    EXPECT_TRUE(r.sim.zTopClosed());
    EXPECT_EQ(r.sim.missedSteps(), 0);
    for (const Operation op : runningInPump) EXPECT_EQ(op, Operation::HomeZ);
    EXPECT_TRUE(r.events.messages.empty());
}

TEST(HomingRefused, NeitherStartsWhileAnotherOperationRuns) {
    for (const auto click : {&pm::HomeZ, &pm::HomeXY}) {
        Rig r;
        r.st.Running = Operation::Job;
        click(r.c);
        EXPECT_TRUE(r.trace.accesses().empty());
        EXPECT_EQ(r.st.Running, Operation::Job);  // still the job's
        EXPECT_FALSE(r.events.blocking);
    }
}

}  // namespace
}  // namespace pm::test
