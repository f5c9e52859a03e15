#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <string>
#include <vector>

#include "Rig.h"
#include "homing/Homing.h"

namespace pm::test {
namespace {

using Axis = SimulatedMachine::Axis;

struct HomeXYCase {
    const char* name;
    long long x0, y0;        // where the machine stands at the click
    long long xHome, yHome;  // where its switches close
    std::vector<int> firstWrites;  // data-register writes the homing must begin with
};
void PrintTo(const HomeXYCase& row, std::ostream* os) { *os << row.name; }


class HomeXY : public ::testing::TestWithParam<HomeXYCase> {};

// What the homing's own bookkeeping records at each data write, while it runs.
struct DuringWrite {
    int control;
    bool waitCursor;
    Operation running;
};

TEST_P(HomeXY, DrivesBothAxesOntoTheirSwitchesAndReleases) {
    const HomeXYCase& k = GetParam();
    Rig r({.x = k.x0, .y = k.y0, .xHome = k.xHome, .yHome = k.yHome});
    r.markPositions();
    std::vector<DuringWrite> during;
    r.probe.onWrite = [&](std::int16_t address, std::int16_t) {
        if (address == kDataReg) {
            during.push_back({r.sim.controlRegister(), r.events.blocking, r.events.running});
        }
    };

    pm::HomeXY(r.c);

    const long long dx = std::max(0LL, k.x0 - k.xHome);
    const long long dy = std::max(0LL, k.y0 - k.yHome);
    // An axis' first pattern only energises it; each later one is a half-step.
    const long long passes = std::max(dx, dy) + 1;

    EXPECT_EQ(r.sim.x(), dx > 0 ? k.xHome : k.x0);
    EXPECT_EQ(r.sim.y(), dy > 0 ? k.yHome : k.y0);
    EXPECT_EQ(r.sim.missedSteps(), 0);
    EXPECT_EQ(r.sim.roughSteps(Axis::X) + r.sim.roughSteps(Axis::Y), 0);

    const std::vector<int> data = r.dataWrites();
    ASSERT_EQ(static_cast<long long>(data.size()), passes + 1);
    EXPECT_EQ(data.back(), 0);
    ASSERT_LE(k.firstWrites.size(), data.size());
    EXPECT_TRUE(std::equal(k.firstWrites.begin(), k.firstWrites.end(), data.begin()));
    // Each axis walks the tables backwards while its switch is open, then
    // holds its last pattern.
    for (long long p = 1; p <= passes; ++p) {
        const auto index = [p](long long d) {
            return d > 0 ? static_cast<int>((8 - std::min(p, d + 1) % 8) % 8) : 0;
        };
        const int want = r.st.PhaseTableX[index(dx)] + r.st.PhaseTableY[index(dy)];
        ASSERT_EQ(data[p - 1], want) << "pass " << p;
    }

    EXPECT_EQ(r.controlWrites(), (std::vector<int>{1, 11}));
    EXPECT_EQ(r.trace.accesses().back().address, kControlReg);  // 0, then 11
    EXPECT_EQ(r.probe.statusReads, 4 * passes);
    for (const std::int64_t gap : r.gaps(kDataReg)) {
        EXPECT_EQ(gap, kHomePause * r.clock.countNs());
    }

    ASSERT_EQ(static_cast<long long>(during.size()), passes + 1);
    for (long long p = 0; p < passes; ++p) {
        EXPECT_EQ(during[p].control, 1);
        EXPECT_TRUE(during[p].waitCursor);
        EXPECT_EQ(during[p].running, Operation::HomeXY);
    }
    EXPECT_EQ(r.sim.controlRegister(), 11);
    EXPECT_FALSE(r.sim.energised(Axis::X));
    EXPECT_FALSE(r.sim.energised(Axis::Y));
    EXPECT_FALSE(r.events.blocking);
    EXPECT_EQ(r.events.running, Operation::None);
    EXPECT_EQ(r.st.Running, Operation::None);

    // No pump: no poll, the lamps keep what they showed at the click.
    EXPECT_EQ(r.pump.count, 0);
    EXPECT_EQ(r.events.lamp, (std::array<bool, 8>{}));
    EXPECT_TRUE(r.events.messages.empty());
    EXPECT_TRUE(r.positionsKept());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HomeXY,
    ::testing::Values(
        HomeXYCase{"FromTheSimulatedStart", 2000, 1500, 0, 0,
                   {17, 51, 34, 102, 68, 204, 136, 153, 17, 51}},
        HomeXYCase{"SwitchesAwayFromZero", 100, 60, 37, -5, {17, 51, 34}},
        HomeXYCase{"XHomeFirst", 3, 9, 0, 0, {17, 51, 34, 102, 70, 198, 134, 150, 22, 54}},
        HomeXYCase{"BothClosedAtTheClick", 0, 0, 0, 0, {153, 0}},
        HomeXYCase{"BothBeyondTheirSwitches", -40, -3, 0, 0, {153, 0}},
        // Y held on its index 0 (144): only the low nibble changes.
        HomeXYCase{"OnlyYClosed", 10, 0, 0, 0, {145, 147, 146, 150, 148, 156, 152, 153, 145}},
        // X held on its index 0 (9): only the high nibble changes.
        HomeXYCase{"OnlyXClosed", 0, 10, 0, 0, {25, 57, 41, 105, 73, 201, 137, 153, 25}}),
    RowName());

struct LostSwitchCase {
    const char* name;
    bool xBroken, yBroken;
};
void PrintTo(const LostSwitchCase& row, std::ostream* os) { *os << row.name; }


class HomeXYLostSwitch : public ::testing::TestWithParam<LostSwitchCase> {};

TEST_P(HomeXYLostSwitch, StopsAfterTheLastTablePatternWithAMessage) {
    const LostSwitchCase& k = GetParam();
    Rig r;  // X at 2000, Y at 1500, switches at 0
    r.trace.setRecordReads(false);
    r.sim.setSwitchBroken(Axis::X, k.xBroken);
    r.sim.setSwitchBroken(Axis::Y, k.yBroken);
    r.markPositions();

    pm::HomeXY(r.c);

    // The lost axis took every one of its half-steps: its first pattern only
    // energised it.
    EXPECT_EQ(r.sim.x(), k.xBroken ? 2000 - (kHomeSteps - 1) : 0);
    EXPECT_EQ(r.sim.y(), k.yBroken ? 1500 - (kHomeSteps - 1) : 0);

    const std::vector<int> data = r.dataWrites();
    ASSERT_EQ(data.size(), static_cast<std::size_t>(kHomeSteps) + 1);
    EXPECT_EQ(data.back(), 0);
    // Every pattern came from the tables, and the lost axis ended on index 0.
    EXPECT_EQ(r.sim.missedSteps(), 0);
    const int last = data[data.size() - 2];
    if (k.xBroken) {
        EXPECT_EQ(last & 0x0F, r.st.PhaseTableX[0]);
    }
    if (k.yBroken) {
        EXPECT_EQ(last & 0xF0, r.st.PhaseTableY[0]);
    }
    // The pass that found the allowance spent read its switches and stopped.
    EXPECT_EQ(r.probe.statusReads, 4LL * kHomeSteps + 2);

    EXPECT_EQ(r.controlWrites(), (std::vector<int>{1, 11}));
    ASSERT_EQ(r.events.messages.size(), 1u);
    EXPECT_EQ(r.events.messages[0], HomeSwitchNotFound(k.xBroken, k.yBroken));
    EXPECT_FALSE(r.events.blocking);
    EXPECT_EQ(r.st.Running, Operation::None);
    EXPECT_EQ(r.pump.count, 0);
    EXPECT_TRUE(r.positionsKept());
}

INSTANTIATE_TEST_SUITE_P(Cases, HomeXYLostSwitch,
                         ::testing::Values(LostSwitchCase{"X", true, false},
                                           LostSwitchCase{"Y", false, true},
                                           LostSwitchCase{"Both", true, true}),
                         RowName());

TEST(HomeXYMessage, NamesTheAxesWhoseSwitchWasNotFound) {
    const std::string x = HomeSwitchNotFound(true, false);
    const std::string y = HomeSwitchNotFound(false, true);
    const std::string both = HomeSwitchNotFound(true, true);
    EXPECT_NE(x.find("eixo X"), std::string::npos);
    EXPECT_EQ(x.find('Y'), std::string::npos);
    EXPECT_NE(y.find("eixo Y"), std::string::npos);
    EXPECT_EQ(y.find('X'), std::string::npos);
    EXPECT_NE(both.find("eixos X e Y"), std::string::npos);
}

TEST(HomeXYMotorSwitch, DrivesWithAtivarMotoresUnticked) {
    Rig r({.x = 5, .y = 5});
    r.run.motorsOn = false;
    pm::HomeXY(r.c);
    EXPECT_EQ(r.sim.x(), 0);
    EXPECT_EQ(r.sim.y(), 0);
}

}  // namespace
}  // namespace pm::test
