#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

#include "Rig.h"

namespace pm::test {
namespace {

using Point = std::pair<double, double>;

TEST(PhaseIndex, RoundsHalvesToEvenAndFoldsIntoTheTable) {
    const struct {
        double position;
        int index;
    } cases[] = {
        {0, 0},     {8, 0},     {-8, 0},   {7, 7},    {-1, 7},   {-9, 7},
        {-13, 3},   {13, 5},    {-5, 3},   {27.4, 3}, {2.5, 2},  {3.5, 4},
        {4.5, 4},   {-0.5, 0},  {-1.5, 6}, {-2.5, 6}, {0.49, 0}, {0.51, 1},
        {1e9 + 3, 3}, {-1e9 - 3, 5},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(PhaseIndex(k.position), k.index) << "position " << k.position;
    }
}

TEST(PhaseIndex, DataByteJoinsTheTwoNibbles) {
    MachineState st;
    LoadMachineState(st);
    const struct {
        double x, y;
        int byte;
    } cases[] = {
        {0, 0, 153}, {1, 0, 152}, {-1, -1, 17}, {2, 3, 12 + 64}, {4, 4, 6 + 96}, {5.5, -0.5, 3 + 144},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(DataByte(st, k.x, k.y), k.byte) << "(" << k.x << ", " << k.y << ")";
    }
    // Neighbouring half-steps differ in exactly one coil line of their nibble.
    for (int i = 0; i < 8; ++i) {
        const int a = st.PhaseTableX[i];
        const int b = st.PhaseTableX[(i + 1) % 8];
        EXPECT_EQ(std::popcount(static_cast<unsigned>(a ^ b)), 1) << "index " << i;
        EXPECT_EQ(st.PhaseTableY[i], a * 16);
    }
}

// The walked points, read back from the dots (scale 1, travel mode).
TEST(MoveToTarget, WalksTheWorkedLines) {
    const struct {
        Point from, to;
        std::vector<Point> points;
    } cases[] = {
        {{0, 0}, {3, 1}, {{0, 0}, {1, 0}, {2, 1}, {3, 1}}},
        {{0, 0}, {-2, 5}, {{0, 0}, {0, 1}, {-1, 2}, {-1, 3}, {-2, 4}, {-2, 5}}},
        {{5, 5}, {2, 3}, {{5, 5}, {4, 4}, {3, 4}, {2, 3}}},
        {{0, 0}, {4, 4}, {{0, 0}, {1, 1}, {2, 2}, {3, 3}, {4, 4}}},
        {{0, 0}, {0, 0}, {{0, 0}}},
        {{0, 0}, {2.5, 0}, {{0, 0}, {1, 0}, {2, 0}}},
        {{0, 0}, {2, 1}, {{0, 0}, {1, 1}, {2, 1}}},  // a decision of 0 steps diagonally
        {{0, 0}, {1, -2}, {{0, 0}, {1, -1}, {1, -2}}},
        {{0, 0}, {6, 0}, {{0, 0}, {1, 0}, {2, 0}, {3, 0}, {4, 0}, {5, 0}, {6, 0}}},
        {{0, 0}, {0, -3}, {{0, 0}, {0, -1}, {0, -2}, {0, -3}}},
        {{1.5, 0}, {4.5, 0}, {{1.5, 0}, {2.5, 0}, {3.5, 0}, {4.5, 0}}},
    };
    for (const auto& k : cases) {
        Rig r;
        r.run.motorsOn = true;
        r.run.previewScale = 1;
        r.st.MoveMode = "M";
        std::vector<Point> seen;
        r.events.onDot = [&](float x, float y, std::uint32_t) { seen.emplace_back(x, 5700 - y); };
        r.st.CurrentX = k.from.first;
        r.st.CurrentY = k.from.second;
        r.moveTo(k.to.first, k.to.second);

        SCOPED_TRACE(testing::Message() << "to (" << k.to.first << ", " << k.to.second << ")");
        EXPECT_EQ(seen, k.points);
        std::vector<int> bytes;
        for (const auto& p : k.points) bytes.push_back(DataByte(r.st, p.first, p.second));
        EXPECT_EQ(r.trace.writes(kDataReg), bytes);
        EXPECT_EQ(r.pump.count, static_cast<long long>(k.points.size()));
        EXPECT_EQ(r.st.CurrentX, k.to.first);
        EXPECT_EQ(r.st.CurrentY, k.to.second);
        EXPECT_EQ(r.st.TargetX, k.to.first);
    }
}

TEST(MoveToTarget, PlacesTheDotByScaleAndColoursItByMode) {
    const struct {
        int slider1;
        const char* mode;
        bool drawn;
        float x, y;
        std::uint32_t colour;
        bool raised = true;  // the tool was lifted for the move
    } cases[] = {
        {0, "M", true, 100, 5660, kGreen},  {1, "M", true, 100, 5660, kGreen},
        {2, "D", true, 50, 5680, kBlue},    {-2, "D", true, -50, 5720, kBlue},
        {3, "M", true, 100.0F / 3, 5700 - 40.0F / 3, kGreen},
        {1, "", false, 0, 0, 0},            {1, "PA", false, 0, 0, 0},
        // Travel with the motors on and the tool not lifted cuts: blue.
        {1, "M", true, 100, 5660, kBlue, false},
    };
    for (const auto& k : cases) {
        Rig r;
        r.run.motorsOn = true;
        r.run.previewScale = k.slider1;
        r.st.MoveMode = k.mode;
        r.st.ToolRaised = k.raised;
        r.st.CurrentX = r.st.TargetX = 100;
        r.st.CurrentY = r.st.TargetY = 40;
        std::vector<std::tuple<float, float, std::uint32_t>> dots;
        r.events.onDot = [&](float x, float y, std::uint32_t col) { dots.emplace_back(x, y, col); };
        MoveToTarget(r.c);

        SCOPED_TRACE(testing::Message() << "Slider1 " << k.slider1 << " mode '" << k.mode << "'");
        // A move to where it stands is one whole pass: dot, write, pump, delay.
        EXPECT_EQ(r.trace.writes(kDataReg).size(), 1U);
        EXPECT_EQ(r.pump.count, 1);
        EXPECT_EQ(r.clock.nowNs(), 20 * 1000 * 100);
        if (!k.drawn) {
            EXPECT_TRUE(dots.empty());
            continue;
        }
        ASSERT_EQ(dots.size(), 1U);
        EXPECT_FLOAT_EQ(std::get<0>(dots[0]), k.x);
        EXPECT_FLOAT_EQ(std::get<1>(dots[0]), k.y);
        EXPECT_EQ(std::get<2>(dots[0]), k.colour);
    }
}

TEST(MoveToTarget, WithMotorsOffDrawsAndWaitsButWritesNothing) {
    Rig r;
    r.st.MoveMode = "D";
    r.moveTo(7, -3);
    EXPECT_TRUE(r.trace.accesses().empty());
    EXPECT_EQ(r.events.dotCount, 8);
    EXPECT_EQ(r.clock.nowNs(), 8 * 2'000'000);
    EXPECT_EQ(r.st.CurrentX, 7);
    EXPECT_EQ(r.sim.x(), 2000);
}

// Cancelar pressed during the pump of pass `at` (0: before the call).
TEST(MoveToTarget, CancelStopsTheWalkAndKeepsTheStartPosition) {
    const struct {
        int at;
        int passes;     // passes that wrote
        bool finishes;  // the position becomes the target
    } cases[] = {
        {0, 0, false}, {1, 1, false}, {4, 4, false}, {10, 10, false},
        {11, 11, true},  // the pump of the last pass: the move completes
    };
    for (const auto& k : cases) {
        Rig r;
        r.run.motorsOn = true;
        r.st.MoveMode = "M";
        r.st.CurrentX = 3;
        r.st.CurrentY = 1;
        if (k.at == 0) r.st.CancelRequested = true;
        r.pump.onPump = [&] {
            if (r.pump.count == k.at) r.st.CancelRequested = true;
        };
        r.moveTo(13, 6);  // eleven passes

        SCOPED_TRACE(testing::Message() << "cancel at pass " << k.at);
        const auto bytes = r.trace.writes(kDataReg);
        EXPECT_EQ(static_cast<int>(bytes.size()), k.passes);
        EXPECT_EQ(r.events.dotCount, k.passes);
        EXPECT_EQ(r.st.CurrentX, k.finishes ? 13 : 3);
        EXPECT_EQ(r.st.CurrentY, k.finishes ? 6 : 1);
        // The cancel stops before the delay of the next pass, and the last
        // coil pattern stays on the port.
        EXPECT_EQ(r.clock.nowNs(), k.passes * 2'000'000LL);
        if (!bytes.empty()) {
            EXPECT_EQ(r.sim.dataRegister(), bytes.back());
        }
        // The flag is left for the job to clear.
        EXPECT_TRUE(r.st.CancelRequested);
    }
}

TEST(MoveToTarget, ControlsChangedInThePumpTakeEffectAtOnce) {
    Rig r;
    r.run.motorsOn = true;
    r.run.previewScale = 1;
    r.st.MoveMode = "M";
    std::vector<float> xs;
    r.events.onDot = [&](float x, float, std::uint32_t) { xs.push_back(x); };
    r.pump.onPump = [&] {
        if (r.pump.count == 2) {
            r.run.motorsOn = false;  // motors off from the third pass
            r.run.previewScale = 2;     // the third dot at half scale
            r.run.speed = 5;     // this pass's delay already shorter
        }
    };
    r.moveTo(4, 0);
    EXPECT_EQ(r.trace.writes(kDataReg).size(), 2U);
    EXPECT_EQ(xs, (std::vector<float>{0, 1, 1, 1.5F, 2}));
    EXPECT_EQ(r.clock.nowNs(), 2'000'000 + 4 * 500'000);
}

// After a run of moves the router stands where the program believes it is.
TEST(MoveToTarget, RunOfMovesLeavesTheMachineWhereTheProgramBelievesIt) {
    const struct {
        const char* name;
        std::vector<Point> targets;
        bool whole;  // whole-number targets: exact agreement, no rough step
    } cases[] = {
        {"whole", {{40, 10}, {-25, 33}, {-25, -60}, {7, 7}, {7, 7}, {0, 0}, {123, -45}, {-3, 200}}, true},
        {"fractional",
         {{12.25, 3.75}, {-7.75, 20.5}, {30.4, -11.6}, {2.5, 2.5}, {-0.2, 9.9}, {55.55, 0.45}},
         false},
    };
    for (const auto& k : cases) {
        Rig r;
        r.run.motorsOn = true;
        r.run.speed = 0;
        r.st.MoveMode = "D";
        for (const auto& t : k.targets) {
            r.moveTo(t.first, t.second);
            SCOPED_TRACE(testing::Message() << k.name << " to (" << t.first << ", " << t.second << ")");
            const double sx = static_cast<double>(r.sim.x() - 2000);
            const double sy = static_cast<double>(r.sim.y() - 1500);
            if (k.whole) {
                EXPECT_EQ(sx, r.st.CurrentX);
                EXPECT_EQ(sy, r.st.CurrentY);
            } else {
                // A real target can leave the last step a fraction short.
                EXPECT_LT(std::fabs(sx - r.st.CurrentX), 1.0);
                EXPECT_LT(std::fabs(sy - r.st.CurrentY), 1.0);
            }
        }
        EXPECT_EQ(r.sim.missedSteps(), 0);
        if (k.whole) {
            EXPECT_EQ(r.sim.roughSteps(SimulatedMachine::Axis::X), 0);
            EXPECT_EQ(r.sim.roughSteps(SimulatedMachine::Axis::Y), 0);
        }
    }
}

}  // namespace
}  // namespace pm::test
