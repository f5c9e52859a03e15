#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "job/Job.h"
#include "job/Limits.h"
#include "tests/job/Rig.h"

namespace pm {
namespace {

using test::Rig;
using test::WritePlotFile;

struct ScanCase {
    std::string name;
    std::string file;
    std::string text1, text2;
    double targetX, targetY;  // in file units
    std::string mode;
};

// Names the case in the test log.
void PrintTo(const ScanCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class Scan : public ::testing::TestWithParam<ScanCase> {};

TEST_P(Scan, WritesTheExtentInFileUnitsAndLeavesTheLastPair) {
    const auto& p = GetParam();
    Rig r;
    r.st.TargetX = -7;  // what an earlier operation left
    r.st.TargetY = -8;
    r.st.CurrentX = 33;
    r.st.CurrentY = 44;
    r.run.divisor = "1";  // the divisor plays no part in the scan
    r.run.plotFile = WritePlotFile(p.file);
    const PlotRun run = ScanLimits(r.c);
    EXPECT_EQ(run.end, PlotEnd::EndOfFile);
    EXPECT_EQ(r.run.limitX, p.text1);
    EXPECT_EQ(r.run.limitY, p.text2);
    EXPECT_DOUBLE_EQ(r.st.TargetX, p.targetX);
    EXPECT_DOUBLE_EQ(r.st.TargetY, p.targetY);
    EXPECT_EQ(r.st.MoveMode, p.mode);
    EXPECT_EQ(r.st.CurrentX, 0);
    EXPECT_EQ(r.st.CurrentY, 0);
    EXPECT_FALSE(r.st.CancelRequested);
    EXPECT_EQ(r.run.divisor, "1");
    // Nothing listed, drawn or driven.
    EXPECT_EQ(r.events.list.size(), 0U);
    EXPECT_EQ(r.events.dotCount, 0);
    EXPECT_EQ(r.events.clearCount, 0);
    EXPECT_TRUE(r.port.accesses().empty());
    EXPECT_TRUE(r.events.plotStartAllowed);
    EXPECT_TRUE(r.events.jogAllowed);
    EXPECT_EQ(r.events.running, Operation::None);
    EXPECT_EQ(r.pump.count, 2 * static_cast<long long>(p.file.size()));
}

INSTANTIATE_TEST_SUITE_P(
    Files, Scan,
    ::testing::Values(
        ScanCase{"Drawing", "PU0,0;PD1000,710;PD500,1420;PU;", "1000", "1420", 500, 1420, "M"},
        ScanCase{"AllNegative", "PD-5,-7;PA-1,-2;", "0", "0", -1, -2, "D"},
        ScanCase{"NoCoordinates", "PU;IN;", "0", "0", -7, -8, "M"},
        ScanCase{"RoundedDown", "PA12.9,7.1;", "12", "7", 12.9, 7.1, ""},
        ScanCase{"FirstPairOnly", "PD10,20,30,40;", "10", "20", 10, 20, "D"},
        ScanCase{"NoCommaModeOnly", "PA5,6;PD100;", "5", "6", 5, 6, "D"},
        ScanCase{"InfiniteIgnored", "PD1e999,5;PD3,4;", "3", "4", 3, 4, "D"},
        ScanCase{"InfiniteLastKeepsTarget", "PD3,4;PU1,-1e999;", "3", "4", 3, 4, "M"},
        ScanCase{"TrailingTextDropped", "PD3,4;PD9,9", "3", "4", 3, 4, "D"}),
    [](const auto& info) { return info.param.name; });

TEST(ScanRun, EmptyCaptionChangesNothing) {
    Rig r;
    r.run.limitX = "5";
    r.st.CurrentX = 9;
    ScanLimits(r.c);
    EXPECT_EQ(r.events.messages, std::vector<std::string>{"Falta Abrir Arquivo"});
    EXPECT_EQ(r.run.limitX, "5");
    EXPECT_EQ(r.st.CurrentX, 9);
}

TEST(ScanRun, CancelKeepsTheOldLimits) {
    Rig r;
    r.run.limitX = "old1";
    r.run.limitY = "old2";
    r.run.plotFile = WritePlotFile("PD1000,710;PD5,5;");
    r.pump.onPump = [&] {
        if (r.pump.count == 24) CancelRun(r.c);  // after the first statement
    };
    const PlotRun run = ScanLimits(r.c);
    EXPECT_EQ(run.end, PlotEnd::Cancelled);
    EXPECT_EQ(run.statements, 1U);
    EXPECT_EQ(r.run.limitX, "old1");
    EXPECT_EQ(r.run.limitY, "old2");
    EXPECT_EQ(r.st.TargetX, 0);
    EXPECT_TRUE(r.st.CancelRequested);
    EXPECT_TRUE(r.events.plotStartAllowed);
    EXPECT_TRUE(r.events.jogAllowed);
}

TEST(ScanRun, CancelInTheLastPumpStillWritesTheLimits) {
    Rig r;
    const std::string file = "PD1000,710;";
    r.run.plotFile = WritePlotFile(file);
    r.pump.onPump = [&] {
        if (r.pump.count == 2 * static_cast<long long>(file.size())) CancelRun(r.c);
    };
    EXPECT_EQ(ScanLimits(r.c).end, PlotEnd::EndOfFile);
    EXPECT_EQ(r.run.limitX, "1000");
    EXPECT_TRUE(r.st.CancelRequested);
}

TEST(ScanRun, MissingFileIsReported) {
    Rig r;
    r.run.plotFile = WritePlotFile("") + ".gone";
    EXPECT_EQ(ScanLimits(r.c).end, PlotEnd::OpenFailed);
    ASSERT_EQ(r.events.messages.size(), 1U);
    EXPECT_NE(r.events.messages[0].find(r.run.plotFile), std::string::npos);
    EXPECT_TRUE(r.events.plotStartAllowed);
    EXPECT_TRUE(r.events.jogAllowed);
    EXPECT_EQ(r.events.running, Operation::None);
}

struct GotoCase {
    std::string name;
    std::string text1, text2, text3;
    double targetX, targetY;
    bool refused;
};

// Names the case in the test log.
void PrintTo(const GotoCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class GoToLimit : public ::testing::TestWithParam<GotoCase> {};

TEST_P(GoToLimit, DividesOnceAndRoundsDown) {
    const auto& p = GetParam();
    Rig r;
    r.run.motorsOn = true;
    r.st.TargetX = 3;  // left by an earlier operation
    r.st.TargetY = 4;
    r.run.limitX = p.text1;
    r.run.limitY = p.text2;
    r.run.divisor = p.text3;
    pm::GoToLimit(r.c);
    EXPECT_EQ(r.events.messages.size(), p.refused ? 1U : 0U);
    EXPECT_DOUBLE_EQ(r.st.TargetX, p.targetX);
    EXPECT_DOUBLE_EQ(r.st.TargetY, p.targetY);
    EXPECT_EQ(r.st.CurrentX, p.refused ? 0 : p.targetX);
    EXPECT_EQ(r.st.CurrentY, p.refused ? 0 : p.targetY);
    EXPECT_EQ(r.sim.x(), 2000 + static_cast<long long>(r.st.CurrentX));
    EXPECT_EQ(r.sim.y(), 1500 + static_cast<long long>(r.st.CurrentY));
    EXPECT_EQ(r.events.running, Operation::None);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, GoToLimit,
    ::testing::Values(GotoCase{"ScanResult", "1000", "1420", "3.55", 281, 400, false},
                      GotoCase{"TypedLimits", "281", "400", "3.55", 79, 112, false},
                      GotoCase{"NegativeRoundsDown", "-10", "0", "3.55", -3, 0, false},
                      GotoCase{"EmptyBoxes", "", "", "3.55", 0, 0, false},
                      GotoCase{"ZeroDivisor", "10", "10", "0", 3, 4, true},
                      GotoCase{"TextDivisor", "10", "10", "abc", 3, 4, true},
                      GotoCase{"InfiniteLimit", "1e999", "0", "1", 3, 4, true},
                      GotoCase{"TooFar", "5e9", "0", "1", 3, 4, true}),
    [](const auto& info) { return info.param.name; });

TEST(GoToLimitRun, ZeroDivisorMessageIsPortuguese) {
    Rig r;
    r.run.divisor = "0";
    pm::GoToLimit(r.c);
    ASSERT_EQ(r.events.messages.size(), 1U);
    EXPECT_EQ(r.events.messages[0], kZeroDivisorMessage);
    EXPECT_TRUE(r.port.accesses().empty());
}

TEST(GoToLimitRun, PendingCancelSetsTheTargetButDoesNotMove) {
    Rig r;
    r.run.motorsOn = true;
    r.st.MoveMode = "M";
    r.st.CancelRequested = true;
    r.run.limitX = "281";
    r.run.limitY = "400";
    r.run.divisor = "3.55";
    pm::GoToLimit(r.c);
    EXPECT_EQ(r.st.TargetX, 79);
    EXPECT_EQ(r.st.TargetY, 112);
    EXPECT_EQ(r.st.CurrentX, 0);
    EXPECT_EQ(r.events.dotCount, 0);
    EXPECT_TRUE(r.port.accesses().empty());
}

TEST(GoToLimitRun, AfterAScanReachesTheDrawingsCorner) {
    Rig r;
    r.run.motorsOn = true;
    r.run.plotFile = WritePlotFile("PU0,0;PD1000,710;PD500,1420;PU;");
    ScanLimits(r.c);
    pm::GoToLimit(r.c);
    EXPECT_EQ(r.st.CurrentX, 281);
    EXPECT_EQ(r.st.CurrentY, 400);
    EXPECT_EQ(r.sim.x(), 2281);
    EXPECT_EQ(r.sim.y(), 1900);
    EXPECT_EQ(r.sim.missedSteps(), 0);
    // A second press walks a single point.
    const auto dots = r.events.dotCount;
    pm::GoToLimit(r.c);
    EXPECT_EQ(r.events.dotCount, dots + 1);
}

}  // namespace
}  // namespace pm
