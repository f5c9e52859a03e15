// The XY ramps and the travel speed: the walk stays the same, only the times
// between its passes change, and they keep to what a motor can follow.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "Rig.h"

namespace pm::test {
namespace {

constexpr double kAccel = 20000;  // half-steps/s^2
constexpr double kStart = 200;    // half-steps/s

std::vector<std::int64_t> gaps(const std::vector<std::int64_t>& t, std::size_t from = 0) {
    std::vector<std::int64_t> g;
    for (std::size_t i = from + 1; i < t.size(); ++i) g.push_back(t[i] - t[i - 1]);
    return g;
}

void rampsOn(Rig& r, double accel = kAccel, double start = kStart) {
    r.st.Settings.accel = accel;
    r.st.Settings.startRate = start;
}

double rate2(std::int64_t periodNs) {
    const double v = 1e9 / static_cast<double>(periodNs);
    return v * v;
}

// Between two steps of one move above the start rate, the rate changes by no
// more than one half-step at the acceleration allows: |v'^2 - v^2| <= 2a (to
// the rounding of a period to whole ns). g: the intervals between the
// move's port writes.
void expectWithinAcceleration(const std::vector<std::int64_t>& g, double accel, double start) {
    for (std::size_t i = 1; i < g.size(); ++i) {
        const double before = rate2(g[i - 1]);
        const double after = rate2(g[i]);
        if (std::max(before, after) <= start * start * (1 + 1e-9)) continue;
        ASSERT_LE(std::fabs(after - before), 2 * accel * 1.001 + 1e-5 * std::max(before, after))
            << "between steps " << i << " and " << i + 1 << ": " << g[i - 1] << " ns, " << g[i] << " ns";
    }
}

struct Walked {
    std::vector<std::tuple<std::int16_t, std::int16_t>> writes;  // address, value
    std::vector<std::tuple<float, float, std::uint32_t>> dots;
    std::vector<std::int64_t> dataTimes;
    long long x, y, missed;
};

// A run of moves in every mode, from fractional points, on the spot, along
// one axis, diagonal and back.
Walked walk(const MachineSettings& settings) {
    Rig r;
    r.st.Settings = settings;
    r.run.motorsOn = true;
    r.run.speed = 5;
    Walked w{};
    r.events.onDot = [&w](float x, float y, std::uint32_t c) { w.dots.emplace_back(x, y, c); };
    const struct {
        const char* mode;
        double x, y;
    } moves[] = {{"M", 300, 40},     {"M", 300, 40}, {"D", -20.5, 77.25}, {"D", 3.5, -2},
                 {"", 0, 0},         {"D", 1, 0},    {"M", 1200, 1199},   {"D", 1200, -3},
                 {"D", 1201.5, -3.5}, {"M", 0, 0}};
    for (const auto& m : moves) {
        r.st.MoveMode = m.mode;
        r.moveTo(m.x, m.y);
    }
    for (const auto& a : r.trace.accesses()) {
        if (a.kind == 'W') w.writes.emplace_back(a.address, a.value);
    }
    w.dataTimes = r.dataWriteTimes();
    w.x = r.sim.x();
    w.y = r.sim.y();
    w.missed = r.sim.missedSteps();
    return w;
}

TEST(Ramps, ChangeOnlyTheTimesBetweenThePasses) {
    const Walked plain = walk({});
    EXPECT_EQ(plain.missed, 0);
    const MachineSettings settings[] = {
        {kAccel, kStart, -1},
        {kAccel, kStart, 2},  // travel faster than milling
        {500, 50, 40},        // a heavy machine, travel slower than milling
        {1e7, 5000, -1},      // ramps on, but the set rate is below the start rate
        {0, kStart, 1},       // travel speed alone
        {std::numeric_limits<double>::infinity(), 0, -1},  // nonsense: no ramp, 1 half-step/s at the ends
    };
    for (const MachineSettings& s : settings) {
        SCOPED_TRACE(testing::Message() << "accel " << s.accel << ", start rate " << s.startRate
                                        << ", travel speed " << s.travelSpeed);
        const Walked w = walk(s);
        EXPECT_EQ(w.writes, plain.writes);
        EXPECT_EQ(w.dots, plain.dots);
        EXPECT_EQ(w.x, plain.x);
        EXPECT_EQ(w.y, plain.y);
        EXPECT_EQ(w.missed, 0);
        ASSERT_EQ(w.dataTimes.size(), plain.dataTimes.size());
        if (s.travelSpeed < 0) {
            // Pass by pass, no interval shorter than the set period.
            const auto g = gaps(w.dataTimes);
            for (std::size_t i = 0; i < g.size(); ++i) ASSERT_GE(g[i], 500'000) << "after pass " << i;
        }
    }
    // Below its start rate a motor needs no ramp: the timing stays as it was.
    EXPECT_EQ(walk({1e7, 5000, -1}).dataTimes, plain.dataTimes);
}

TEST(Ramps, LongMoveRisesToTheSetRateAndFallsToTheStartRate) {
    Rig r;
    rampsOn(r);
    r.run.motorsOn = true;
    r.run.speed = 5;  // 500 us, 2000 half-steps/s
    r.moveTo(1000, 300);
    const auto g = gaps(r.dataWriteTimes());
    ASSERT_EQ(g.size(), 1000U);
    const std::int64_t set = 500'000;
    EXPECT_EQ(g.front(), 5'000'000);  // the first step at the start rate
    EXPECT_EQ(g.back(), 5'000'000);   // and the last one
    EXPECT_EQ(*std::min_element(g.begin(), g.end()), set);

    // Down monotonically to the set period, flat, up monotonically.
    const auto firstAtSet = std::find(g.begin(), g.end(), set) - g.begin();
    const auto lastAtSet = std::find(g.rbegin() + 1, g.rend(), set).base() - 1 - g.begin();
    for (auto i = 1; i < firstAtSet; ++i) EXPECT_LT(g[i], g[i - 1]) << i;
    for (auto i = firstAtSet; i <= lastAtSet; ++i) EXPECT_EQ(g[i], set) << i;
    for (auto i = lastAtSet + 1; i < 1000; ++i) EXPECT_GT(g[i], g[i - 1]) << i;
    // (2000^2 - 200^2) / (2 * 20000) = 99 half-steps to reach the set rate,
    // the same to come down from it.
    EXPECT_EQ(firstAtSet, 99);
    EXPECT_EQ(999 - lastAtSet, 99);
    expectWithinAcceleration(g, kAccel, kStart);

    // The move lasts what a constant acceleration takes, within 1 %:
    // 2 x (2000 - 200) / 20000 s on the ramps, 802 half-steps at 2000/s, and
    // the set period after the last step, as without ramps.
    const double ideal = 2 * 0.09 + 802 / 2000.0 + 0.0005;
    EXPECT_NEAR(static_cast<double>(r.clock.nowNs()) / 1e9, ideal, ideal * 0.01);
    EXPECT_EQ(r.sim.missedSteps(), 0);
}

TEST(Ramps, ShortMovePeaksBelowTheSetRate) {
    for (const int steps : {1, 2, 3, 60, 61}) {
        Rig r;
        rampsOn(r);
        r.run.motorsOn = true;
        r.run.speed = 1;  // 10000 half-steps/s: far out of reach
        r.moveTo(steps, steps / 2);
        SCOPED_TRACE(testing::Message() << steps << " steps");
        const auto g = gaps(r.dataWriteTimes());
        ASSERT_EQ(g.size(), static_cast<std::size_t>(steps));
        EXPECT_EQ(g.front(), 5'000'000);
        // Symmetric: the way down mirrors the way up.
        for (std::size_t i = 0; i < g.size(); ++i) EXPECT_EQ(g[i], g[g.size() - 1 - i]) << i;
        // The peak: no more than half the move to speed up in, and no less
        // than that less a step.
        const double peak2 = rate2(*std::min_element(g.begin(), g.end()));
        const double half = static_cast<double>(g.size() - 1) / 2;
        EXPECT_LE(peak2, (kStart * kStart + 2 * kAccel * half) * 1.000001);
        EXPECT_GE(peak2, (kStart * kStart + 2 * kAccel * (half - 1)) * 0.999999);
        expectWithinAcceleration(g, kAccel, kStart);
        EXPECT_EQ(r.sim.missedSteps(), 0);
    }
}

TEST(Ramps, SinglePassesOnTheSpotKeepTheSetPeriod) {
    // The job calls the move once a character; those passes do not move.
    Rig r;
    rampsOn(r);
    r.run.motorsOn = true;
    for (int i = 0; i < 5; ++i) MoveToTarget(r.c);
    for (const auto g : gaps(r.dataWriteTimes())) EXPECT_EQ(g, 2'000'000);
    EXPECT_EQ(r.clock.nowNs(), 5 * 2'000'000);
}

TEST(Ramps, SpeedChangedDuringAMoveIsReachedThroughTheRamp) {
    Rig r;
    rampsOn(r);
    r.run.motorsOn = true;
    r.run.speed = 20;  // 2 ms, 500 half-steps/s
    r.pump.onPump = [&r] {
        if (r.pump.count == 300) r.run.speed = 5;   // to 500 us
        if (r.pump.count == 1200) r.run.speed = 20;  // and back
    };
    r.moveTo(2000, 0);
    const auto g = gaps(r.dataWriteTimes());
    ASSERT_EQ(g.size(), 2000U);
    expectWithinAcceleration(g, kAccel, kStart);
    EXPECT_EQ(*std::min_element(g.begin(), g.end()), 500'000);
    // Up from 500 to 2000 half-steps/s: (2000^2 - 500^2) / 40000 = 93.75
    // half-steps, falling periods all the way; then the new set period.
    const std::size_t faster = 299;  // the interval after the pump that moved the slider
    EXPECT_EQ(g[faster - 1], 2'000'000);
    for (std::size_t i = faster; i < faster + 94; ++i) EXPECT_LT(g[i], g[i - 1]) << i;
    for (std::size_t i = faster + 94; i < 1199; ++i) EXPECT_EQ(g[i], 500'000) << i;
    // Slower again: the rate comes down by the same ramp, not at once.
    for (std::size_t i = 1199; i < 1199 + 93; ++i) EXPECT_GT(g[i], g[i - 1]) << i;
    EXPECT_LT(g[1199], 2'000'000);
    for (std::size_t i = 1199 + 94; i < 1990; ++i) EXPECT_EQ(g[i], 2'000'000) << i;
    EXPECT_EQ(r.sim.missedSteps(), 0);
}

TEST(TravelSpeed, ToolUpMovesOnly) {
    const struct {
        int travelSpeed;
        const char* mode;
        std::int64_t period;
    } cases[] = {
        {2, "M", 200'000},  {2, "D", 1'000'000}, {2, "", 1'000'000},
        {-1, "M", 1'000'000}, {0, "M", 0},       {40, "M", 4'000'000},
    };
    for (const auto& k : cases) {
        Rig r;
        r.st.Settings.travelSpeed = k.travelSpeed;
        r.run.motorsOn = true;
        r.run.speed = 10;
        r.st.MoveMode = k.mode;
        r.moveTo(25, 7);
        SCOPED_TRACE(testing::Message() << "travel speed " << k.travelSpeed << ", MoveMode \"" << k.mode << '"');
        for (const auto g : gaps(r.dataWriteTimes())) ASSERT_EQ(g, k.period);
        EXPECT_EQ(r.clock.nowNs(), 26 * k.period);
    }
}

TEST(TravelSpeed, RampsToTheTravelRateOnToolUpMoves) {
    Rig r;
    rampsOn(r);
    r.st.Settings.travelSpeed = 2;  // 200 us, 5000 half-steps/s
    r.run.motorsOn = true;
    r.run.speed = 10;
    r.st.MoveMode = "M";
    r.moveTo(3000, 0);
    const std::size_t travel = r.dataWriteTimes().size();
    r.st.MoveMode = "D";
    r.moveTo(0, 1500);
    const auto t = r.dataWriteTimes();
    const auto up = gaps(std::vector<std::int64_t>(t.begin(), t.begin() + static_cast<long>(travel)));
    const auto down = gaps(t, travel);
    EXPECT_EQ(*std::min_element(up.begin(), up.end()), 200'000);
    EXPECT_EQ(*std::min_element(down.begin(), down.end()), 1'000'000);
    expectWithinAcceleration(up, kAccel, kStart);
    expectWithinAcceleration(down, kAccel, kStart);
    EXPECT_EQ(r.sim.missedSteps(), 0);
}

}  // namespace
}  // namespace pm::test
