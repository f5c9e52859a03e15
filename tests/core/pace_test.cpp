#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "Rig.h"

namespace pm::test {
namespace {

std::vector<std::int64_t> gaps(const std::vector<std::int64_t>& t) {
    std::vector<std::int64_t> g;
    for (std::size_t i = 1; i < t.size(); ++i) g.push_back(t[i] - t[i - 1]);
    return g;
}

TEST(Clock, SpinDelayCountsHundredNanosecondsByDefault) {
    const struct {
        std::int64_t countNs, counts, elapsed;
    } cases[] = {
        {100, 10000, 1'000'000}, {100, 20000, 2'000'000}, {100, 1, 100},
        {100, 0, 0},             {100, -5, 0},            {250, 8000, 2'000'000},
        {0, 7, 7},  // a count never lasts less than a nanosecond
    };
    for (const auto& k : cases) {
        VirtualClock clock;
        clock.setCountNs(k.countNs);
        clock.SpinDelay(k.counts);
        EXPECT_EQ(clock.nowNs(), k.elapsed) << k.counts << " counts of " << k.countNs << " ns";
    }
}

TEST(Clock, PollTickIsDueEveryHundredMilliseconds) {
    VirtualClock clock;
    EXPECT_FALSE(clock.tickDue());
    clock.waitUntilNs(99'999'999);
    EXPECT_FALSE(clock.tickDue());
    clock.waitUntilNs(100'000'000);
    EXPECT_TRUE(clock.tickDue());
    clock.takeTick();
    EXPECT_FALSE(clock.tickDue());
    // Ticks missed while nothing pumped are not delivered in a burst.
    clock.waitUntilNs(550'000'000);
    EXPECT_TRUE(clock.tickDue());
    clock.takeTick();
    EXPECT_FALSE(clock.tickDue());
    clock.waitUntilNs(600'000'000);
    EXPECT_TRUE(clock.tickDue());
}

TEST(MoveToTarget, EveryPassLastsExactlyTheSpeedDelay) {
    for (const int speed : {0, 1, 5, 20, 40, -3}) {
        Rig r;
        r.run.motorsOn = true;
        r.run.speed = speed;
        r.moveTo(30, 12);
        r.moveTo(30, 12);  // one more pass on the spot
        r.moveTo(0, 0);
        const std::int64_t period = speed > 0 ? speed * 1000LL * 100 : 0;
        const auto t = r.dataWriteTimes();
        ASSERT_EQ(t.size(), 31U + 1 + 31);
        SCOPED_TRACE(testing::Message() << "Slider2 " << speed);
        EXPECT_EQ(t.front(), 0);
        for (const auto g : gaps(t)) ASSERT_EQ(g, period);
        EXPECT_EQ(r.clock.nowNs(), static_cast<std::int64_t>(t.size()) * period);
    }
}

// The pump of pass 4 keeps the window busy for `busy` ns (a message box, a
// long redraw). The walk goes on from there without a burst of steps.
TEST(MoveToTarget, APassAfterAStallStartsAFreshDeadline) {
    const std::int64_t period = 2'000'000;  // speed 20
    for (const std::int64_t busy : {period / 4, period, period * 3 / 2, std::int64_t{1'000'000'000}}) {
        Rig r;
        r.run.motorsOn = true;
        r.pump.onPump = [&] {
            if (r.pump.count == 4) r.clock.waitUntilNs(r.clock.nowNs() + busy);
        };
        r.moveTo(10, 0);
        const auto g = gaps(r.dataWriteTimes());
        ASSERT_EQ(g.size(), 10U);
        SCOPED_TRACE(testing::Message() << "busy " << busy << " ns");
        for (std::size_t i = 0; i < g.size(); ++i) {
            // A stall shorter than the period is absorbed by the delay.
            const std::int64_t expected = i == 3 ? std::max(period, busy) : period;
            EXPECT_EQ(g[i], expected) << "after step " << i + 1;
        }
    }
}

// The dot of each pass takes the given time before the step is written (a
// slow redraw). A step that late by no more than the tolerance keeps the
// passes on their grid; a later one moves the grid. Either way no step comes
// sooner than one period less the tolerance, which never exceeds a hundredth
// of the period.
TEST(MoveToTarget, ALateStepWithinTheToleranceKeepsTheRhythm) {
    const struct {
        std::vector<std::int64_t> dotNs;  // by pass, cycled
        std::int64_t tolerance;
        std::int64_t endPastGrid;  // the walk's end past 11 periods
        int speed;
        bool everyGapExact;
    } cases[] = {
        {{4'000}, 10'000, 4'000, 20, true},
        {{0, 8'000}, 10'000, 0, 20, false},
        {{0, 0, 50'000, 0, 0, 0, 0, 0, 0, 0, 0}, 10'000, 50'000, 20, false},
        {{0, 8'000}, 10'000, 5 * 8'000, 1, false},  // 1 us allowed at 100 us
        {{500}, 10'000, 500, 1, true},
    };
    for (const auto& k : cases) {
        Rig r;
        r.clock.setStepTolerance(k.tolerance);
        r.run.motorsOn = true;
        r.run.speed = k.speed;
        r.st.MoveMode = "M";
        std::size_t pass = 0;
        r.events.onDot = [&](float, float, std::uint32_t) {
            r.clock.waitUntilNs(r.clock.nowNs() + k.dotNs[pass++ % k.dotNs.size()]);
        };
        r.moveTo(10, 0);
        const std::int64_t period = k.speed * 100'000LL;
        const std::int64_t allowed = std::min(k.tolerance, period / 100);
        SCOPED_TRACE(testing::Message() << "speed " << k.speed << ", dot times of case " << &k - cases);
        const auto g = gaps(r.dataWriteTimes());
        for (std::size_t i = 0; i < g.size(); ++i) {
            EXPECT_GE(g[i], period - allowed);
            // The first pass's fresh deadline counts from its own step, so
            // the grid starts one dot time after that step.
            const std::int64_t exact = i == 0 ? period + k.dotNs[1 % k.dotNs.size()] : period;
            if (k.everyGapExact) {
                EXPECT_EQ(g[i], exact);
            }
        }
        EXPECT_EQ(r.clock.nowNs(), 11 * period + k.endPastGrid);
    }
}

TEST(MoveToTarget, StepsKeepTheirRhythmAcrossSinglePassMoves) {
    // The job calls the move once a character; the passes keep one rhythm.
    Rig r;
    r.run.motorsOn = true;
    for (int i = 0; i < 5; ++i) {
        MoveToTarget(r.c);
        r.pump.turn();
        r.pump.turn();
    }
    r.moveTo(3, 3);
    for (const auto g : gaps(r.dataWriteTimes())) EXPECT_EQ(g, 2'000'000);
    // After a Z lift (its own pauses), the first step comes without delay.
    r.clock.SpinDelay(40000);
    const std::int64_t liftEnd = r.clock.nowNs();
    r.moveTo(5, 3);
    EXPECT_EQ(r.dataWriteTimes()[9], liftEnd);
}

}  // namespace
}  // namespace pm::test
