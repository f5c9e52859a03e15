#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>
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

// The port writes as runs: "x5 z160 x8" is five data-register writes, then
// 160 control-register writes, then eight data-register writes.
std::string WriteRuns(const TracePort& port) {
    std::string out;
    char last = 0;
    int count = 0;
    auto flush = [&] {
        if (count == 0) return;
        if (!out.empty()) out += ' ';
        out += last;
        out += std::to_string(count);
    };
    for (const auto& a : port.accesses()) {
        if (a.kind != 'W') continue;
        const char k = a.address == kDataReg ? 'x' : 'z';
        if (k != last) {
            flush();
            last = k;
            count = 0;
        }
        ++count;
    }
    flush();
    return out;
}

TEST(Job, EmptyCaptionAsksForAFileAndChangesNothing) {
    Rig r;
    r.st.TargetX = 7;
    RunJob(r.c);
    ASSERT_EQ(r.events.messages, std::vector<std::string>{"Falta Abrir Arquivo"});
    EXPECT_EQ(r.events.clearCount, 0);
    EXPECT_TRUE(r.events.plotStartAllowed);
    EXPECT_TRUE(r.events.jogAllowed);
    EXPECT_EQ(r.st.TargetX, 7);
    EXPECT_TRUE(r.port.accesses().empty());
}

TEST(Job, EmptyFileFinishesAtOnce) {
    Rig r;
    r.run.plotFile = WritePlotFile("");
    const PlotRun run = RunJob(r.c);
    EXPECT_EQ(run.end, PlotEnd::EndOfFile);
    EXPECT_EQ(r.events.list.size(), 0U);
    EXPECT_EQ(r.port.writes(kDataReg), std::vector<int>{0});
    EXPECT_EQ(r.port.writes(kControlReg), std::vector<int>{11});
    EXPECT_TRUE(r.events.plotStartAllowed);
    EXPECT_TRUE(r.events.jogAllowed);
    EXPECT_EQ(r.events.running, Operation::None);
    EXPECT_EQ(r.pump.count, 0);
}

// The tool moves in the pass that reads a statement's ";", before that
// pass's move; every other pass writes the present coils once.
TEST(Job, ToolTransitionsComeBeforeTheMoveOfTheirPass) {
    Rig r;
    r.run.motorsOn = true;
    r.run.divisor = "1";
    r.run.plotFile = WritePlotFile("PU0,0;PD100,0;");
    RunJob(r.c);
    const int zWrites = 4 * r.st.ZStepCount;
    ASSERT_GT(r.st.ZStepCount, 40);  // the switch closes at 40 cycles
    // 5 single points; the lift; ";" pass point + 7 points; the lower; the
    // 101 points of the move, FinishJob's 0; FinishJob's 11.
    const std::string z = "z" + std::to_string(zWrites);
    EXPECT_EQ(WriteRuns(r.port), "x5 " + z + " x8 " + z + " x102 z1");
    EXPECT_EQ(r.sim.x(), 2100);
    EXPECT_EQ(r.sim.y(), 1500);
    EXPECT_EQ(r.sim.z(), 0);
    EXPECT_EQ(r.sim.missedSteps(), 0);
    EXPECT_EQ(r.listEntries(), (std::vector<std::string>{"PU0,0;", "PD100,0;"}));
    EXPECT_EQ(r.events.selected, 1);
    // Two pumps per character and one per pass of every move.
    EXPECT_EQ(r.pump.count, 2 * 14 + 13 + 101 + r.st.ZStepCount);
}

TEST(Job, ModeLeftFromBeforeLiftsInTheFirstPass) {
    Rig r;
    r.run.motorsOn = true;
    r.st.MoveMode = "M";
    r.run.plotFile = WritePlotFile("IN;");
    RunJob(r.c);
    const auto& a = r.port.accesses();
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a.front().address, kControlReg);  // lift before the first point
    EXPECT_EQ(a.front().value, 10);
}

TEST(Job, MotorsOffIsADryRun) {
    Rig r;
    r.run.divisor = "1";
    r.run.plotFile = WritePlotFile("PU0,0;PD20,10;PU;");
    RunJob(r.c);
    EXPECT_EQ(WriteRuns(r.port), "x1 z1");  // FinishJob alone
    EXPECT_EQ(r.events.dotCount, 12 - 1 + 21);  // none before the first pen statement
    EXPECT_EQ(r.st.CurrentX, 20);
}

struct StatementCase {
    std::string name;
    std::string file;
    std::string divisor;
    std::string mode;  // MoveMode after the job
    double targetX, targetY;
    std::string divisorAfter;
    std::size_t entries;
    std::uint64_t ignored;
};

// Names the case in the test log.
void PrintTo(const StatementCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class JobStatements : public ::testing::TestWithParam<StatementCase> {};

TEST_P(JobStatements, SetModeAndTarget) {
    const auto& p = GetParam();
    Rig r;
    r.run.divisor = p.divisor;
    r.run.plotFile = WritePlotFile(p.file);
    const PlotRun run = RunJob(r.c);
    EXPECT_EQ(run.end, PlotEnd::EndOfFile);
    EXPECT_EQ(r.st.MoveMode, p.mode);
    EXPECT_DOUBLE_EQ(r.st.TargetX, p.targetX);
    EXPECT_DOUBLE_EQ(r.st.TargetY, p.targetY);
    EXPECT_EQ(r.st.CurrentX, r.st.TargetX);
    EXPECT_EQ(r.st.CurrentY, r.st.TargetY);
    EXPECT_EQ(r.run.divisor, p.divisorAfter);
    EXPECT_EQ(r.events.list.size(), p.entries);
    EXPECT_EQ(run.ignoredTargets, p.ignored);
}

INSTANTIATE_TEST_SUITE_P(
    Files, JobStatements,
    ::testing::Values(
        StatementCase{"PenUpAlone", "PU;", "3.55", "M", 0, 0, "3.55", 1, 0},
        StatementCase{"EmptyPair", "PD7,7;PU,;", "1", "M", 0, 0, "1", 2, 0},
        StatementCase{"RealDivisor", "PA12.5,-3;", "2.5", "", 5, -1.2, "2.5", 1, 0},
        StatementCase{"FirstPairOnly", "PD10,20,30,40;", "1", "D", 10, 20, "1", 1, 0},
        StatementCase{"DefaultDivisor", "PD1000,710;", "3.55", "D", 1000 / 3.55, 200, "3.55", 1, 0},
        StatementCase{"LowerCaseAndOthers", "pu10,10;IN;", "1", "", 0, 0, "1", 2, 0},
        StatementCase{"LineBreakStartsNext", "PU3,4;\r\nPD5,5;", "1", "M", 3, 4, "1", 2, 0},
        StatementCase{"TrailingTextDropped", "PD10,10;PU20,20", "1", "D", 10, 10, "1", 1, 0},
        StatementCase{"ZeroDivisor", "PD10,10;", "0", "D", 10, 10, "1", 1, 0},
        StatementCase{"TextDivisor", "PD10,10;", "abc", "D", 10, 10, "1", 1, 0},
        StatementCase{"NegativeZeroDivisor", "PD10,10;", "-0", "D", 10, 10, "1", 1, 0},
        StatementCase{"NegativeDivisorMirrors", "PD10,10;", "-2", "D", -5, -5, "-2", 1, 0},
        StatementCase{"NoCommaModeOnly", "PU4,4;PD100;", "1", "D", 4, 4, "1", 2, 0},
        StatementCase{"HexAndExponent", "PA&H10,1D1;", "1", "", 16, 10, "1", 1, 0},
        StatementCase{"InfiniteKeepsTarget", "PU4,4;PD1e999,0;", "1", "D", 4, 4, "1", 2, 1},
        StatementCase{"TooFarKeepsTarget", "PU4,4;PD2e9,0;", "1", "D", 4, 4, "1", 2, 1},
        StatementCase{"TinyDivisorKeepsTarget", "PU;PD1,1;", "1e-300", "D", 0, 0, "1e-300", 2, 1},
        StatementCase{"InfiniteDivisor", "PD1e999,5;", "1e999", "D", 0, 0, "1e999", 1, 1}),
    [](const auto& info) { return info.param.name; });

TEST(Job, ZeroDivisorIsMendedAtTheFirstPairOnly) {
    Rig r;
    r.run.divisor = "0";
    r.run.plotFile = WritePlotFile("PU;IN;");
    RunJob(r.c);
    EXPECT_EQ(r.run.divisor, "0");
}

TEST(Job, BinaryBytesAreListedAndIgnored) {
    Rig r;
    std::string bytes;
    for (int i = 0; i < 256; ++i) bytes += static_cast<char>(i);
    bytes += std::string("PD\0\xff,\x1b;PU5,5;", 13);
    r.run.divisor = "1";
    r.run.plotFile = WritePlotFile(bytes);
    const PlotRun run = RunJob(r.c);
    EXPECT_EQ(run.end, PlotEnd::EndOfFile);
    EXPECT_EQ(run.bytes, bytes.size());
    EXPECT_EQ(r.st.TargetX, 5);
    EXPECT_EQ(r.events.list.size(), 3U);
}

// Random statements with random bodies: the job and the scan end, and
// leave the window usable, whatever they read.
TEST(Job, RandomTextNeverBreaksTheJobOrTheScan) {
    const std::string body = "0123456789,,.-+&HhO \r\n\t\xff";
    const std::vector<std::string> heads{"PU", "PD", "PA", "PD", "PA", "pu", "IN", ""};
    std::uint32_t seed = 12345;
    auto next = [&seed](std::size_t n) {
        seed = seed * 1664525U + 1013904223U;  // a fixed sequence
        return (seed >> 8) % n;
    };
    std::string text;
    while (text.size() < 60000) {
        text += heads[next(heads.size())];
        const std::size_t length = next(10);
        for (std::size_t i = 0; i < length; ++i) text += body[next(body.size())];
        if (next(10) != 0) text += ';';
    }
    Rig r;
    r.run.motorsOn = true;
    r.run.speed = 0;
    r.run.divisor = "1e5";
    r.run.plotFile = WritePlotFile(text);
    // Should a move run away, it is cut short the way the operator would.
    r.pump.onPump = [&] {
        if (r.pump.count == 5'000'000) CancelRun(r.c);
    };
    const PlotRun job = RunJob(r.c);
    EXPECT_EQ(job.end, PlotEnd::EndOfFile);
    EXPECT_GT(job.statements, 5000U);
    EXPECT_TRUE(std::isfinite(r.st.CurrentX) && std::isfinite(r.st.CurrentY));
    EXPECT_EQ(r.sim.missedSteps(), 0);
    EXPECT_EQ(r.events.running, Operation::None);
    EXPECT_TRUE(r.events.plotStartAllowed);
    r.pump.onPump = nullptr;
    EXPECT_EQ(ScanLimits(r.c).end, PlotEnd::EndOfFile);
    EXPECT_EQ(r.events.running, Operation::None);
}

// A job start takes the present place as the origin and stays there: the
// first pass of a job never walks to what an earlier operation left.
TEST(Job, SecondJobStartsAtTheOrigin) {
    Rig r;
    r.run.motorsOn = true;
    r.run.divisor = "1";
    r.run.plotFile = WritePlotFile("PD40,40;");
    RunJob(r.c);
    ASSERT_EQ(r.sim.x(), 2040);
    r.dots.clear();
    r.run.plotFile = WritePlotFile("IN;", "second.red");
    RunJob(r.c);
    EXPECT_EQ(r.st.CurrentX, 0);
    EXPECT_EQ(r.st.TargetX, 0);
    EXPECT_EQ(r.sim.x(), 2040);
    EXPECT_EQ(r.sim.y(), 1540);
    for (const auto& d : r.dots) EXPECT_EQ(d, "0 5700 16711680");
    EXPECT_EQ(r.dots.size(), 3U);
}

TEST(Job, JobAfterAScanStartsAtTheOrigin) {
    Rig r;
    r.run.plotFile = WritePlotFile("PU0,0;PD1000,710;");
    ScanLimits(r.c);
    ASSERT_EQ(r.st.TargetX, 1000);
    r.run.plotFile = WritePlotFile("IN;", "second.red");
    RunJob(r.c);
    EXPECT_EQ(r.st.CurrentX, 0);
    EXPECT_EQ(r.st.CurrentY, 0);
}

TEST(Job, FileThatCannotBeOpenedIsReportedAndTheJobReturnsToIdle) {
    Rig r;
    const std::string missing = WritePlotFile("") + ".gone";
    const std::string folder = std::filesystem::path(WritePlotFile("")).parent_path().string();
    for (const auto& [path, reason] :
         std::vector<std::pair<std::string, std::string>>{{missing, "não existe"},
                                                          {folder, "pasta"}}) {
        r.events.messages.clear();
        r.run.plotFile = path;
        const PlotRun run = RunJob(r.c);
        EXPECT_EQ(run.end, PlotEnd::OpenFailed);
        ASSERT_EQ(r.events.messages.size(), 1U);
        EXPECT_NE(r.events.messages[0].find(path), std::string::npos) << r.events.messages[0];
        EXPECT_NE(r.events.messages[0].find(reason), std::string::npos) << r.events.messages[0];
        EXPECT_TRUE(r.events.plotStartAllowed);
        EXPECT_TRUE(r.events.jogAllowed);
        EXPECT_EQ(r.events.running, Operation::None);
        EXPECT_TRUE(r.port.accesses().empty());
    }
}

// Where the cancel lands decides what the job leaves behind.
struct CancelCase {
    std::string name;
    long long pumpAtCancel;     // the pump in which "Cancelar" is pressed
    double currentX, currentY;  // where the program believes it is after
    std::uint64_t bytes;        // characters read
};

// Names the case in the test log.
void PrintTo(const CancelCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class JobCancel : public ::testing::TestWithParam<CancelCase> {};

TEST_P(JobCancel, StopsAtTheNextPassAndLeavesTheCoils) {
    const auto& p = GetParam();
    Rig r;
    r.run.motorsOn = true;
    r.run.divisor = "1";
    r.sim.setPosition(SimulatedMachine::Axis::Z, 160);  // no lift: the tool is at the top
    r.pump.onTick = nullptr;
    r.run.plotFile = WritePlotFile("PU0,0;PD10,0;PD10,10;");
    r.pump.onPump = [&] {
        if (r.pump.count == p.pumpAtCancel) CancelRun(r.c);
    };
    const PlotRun run = RunJob(r.c);
    EXPECT_EQ(run.end, PlotEnd::Cancelled);
    EXPECT_EQ(run.bytes, p.bytes);
    EXPECT_DOUBLE_EQ(r.st.CurrentX, p.currentX);
    EXPECT_DOUBLE_EQ(r.st.CurrentY, p.currentY);
    EXPECT_EQ(r.st.TargetX, 0);
    EXPECT_EQ(r.st.TargetY, 0);
    EXPECT_TRUE(r.st.CancelRequested);
    EXPECT_EQ(r.events.list.size(), 0U);
    EXPECT_TRUE(r.events.plotStartAllowed);
    EXPECT_TRUE(r.events.jogAllowed);
    EXPECT_EQ(r.events.running, Operation::None);
    // No FinishJob: nothing switched the coils off.
    const auto data = r.port.writes(kDataReg);
    EXPECT_EQ(std::count(data.begin(), data.end(), 0), 0);
    EXPECT_TRUE(r.port.writes(kControlReg).empty());
    // The machine stands where the last completed pass put it.
    EXPECT_EQ(r.sim.missedSteps(), 0);
}

// Pumps: 3 per character until "PD10,0;" ends in character 13 (pumps 37,
// 38), whose move of 11 passes pumps 39..49; then 3 a character again.
INSTANTIATE_TEST_SUITE_P(
    Moments, JobCancel,
    ::testing::Values(
        CancelCase{"BeforeAnyCharacter", 1, 0, 0, 0},
        CancelCase{"BetweenCharacters", 5, 0, 0, 2},
        CancelCase{"BeforeTheMoveOfItsPass", 38, 0, 0, 13},
        CancelCase{"DuringAMove", 43, 0, 0, 13},
        // the last pass of a move completes it, to the target the cancel set
        CancelCase{"InTheLastPassOfAMove", 49, 0, 0, 13},
        CancelCase{"AfterAMove", 50, 10, 0, 13}),
    [](const auto& info) { return info.param.name; });

TEST(Job, CancelDuringALiftEndsItAndTheJob) {
    Rig r;
    r.run.motorsOn = true;
    r.run.plotFile = WritePlotFile("PU0,0;PD10,0;");
    r.pump.onPump = [&] {
        if (r.st.ZStepCount == 10 && !r.st.CancelRequested) CancelRun(r.c);
    };
    const PlotRun run = RunJob(r.c);
    EXPECT_EQ(run.end, PlotEnd::Cancelled);
    EXPECT_EQ(run.bytes, 6U);
    // The cycle whose pump saw the cancel is still written.
    EXPECT_EQ(r.st.ZStepCount, 11);
    EXPECT_EQ(r.sim.z(), 4 * 11 - 1);  // the first write only wakes the motor
    EXPECT_EQ(r.sim.controlRegister(), 3);  // the coil still holds the tool up
    EXPECT_TRUE(r.events.plotStartAllowed);
}

TEST(Job, CancelAtTheEndOfTheFileStillFinishes) {
    Rig r;
    r.run.plotFile = WritePlotFile("PU;");
    r.pump.onPump = [&] {
        if (r.pump.count == 8) CancelRun(r.c);  // step 7 of the last character
    };
    const PlotRun run = RunJob(r.c);
    EXPECT_EQ(run.end, PlotEnd::EndOfFile);
    EXPECT_TRUE(r.st.CancelRequested);
    EXPECT_EQ(r.sim.controlRegister(), 11);
}

TEST(Job, OtherOperationsRefuseWhileItRuns) {
    Rig r;
    r.run.plotFile = WritePlotFile("PU0,0;PD5,5;");
    r.run.limitX = "old";
    bool pressed = false;
    r.pump.onPump = [&] {
        if (pressed) return;
        pressed = true;
        EXPECT_EQ(r.events.running, Operation::Job);
        ScanLimits(r.c);
        GoToLimit(r.c);
        RunJob(r.c);
    };
    RunJob(r.c);
    EXPECT_TRUE(pressed);
    EXPECT_EQ(r.run.limitX, "old");
    EXPECT_EQ(r.events.clearCount, 1);
    EXPECT_EQ(r.events.list.size(), 2U);
    EXPECT_EQ(r.events.running, Operation::None);
    EXPECT_TRUE(r.events.messages.empty());
}

TEST(Job, ManyStatementsAreAllListed) {
    Rig r;
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "PA1,1;";
    r.run.plotFile = WritePlotFile(text);
    const PlotRun run = RunJob(r.c);
    EXPECT_EQ(run.statements, 20000U);
    EXPECT_EQ(run.bytes, text.size());
    EXPECT_EQ(r.events.list.size(), 20000U);
    EXPECT_EQ(r.events.list.at(19999), "PA1,1;");
}

TEST(Job, HugeStatementStopsTheJobWithItsLine) {
    Rig r;
    r.run.divisor = "1";
    const std::string big = "PD1" + std::string(3'000'000, ' ') + "2,7;";
    r.run.plotFile = WritePlotFile("PU1,1;\n" + big);
    const PlotRun run = RunJob(r.c);
    EXPECT_EQ(run.end, PlotEnd::ReadFailed);
    ASSERT_EQ(r.events.list.size(), 1U);
    EXPECT_EQ(r.events.list.at(0), "PU1,1;");
    EXPECT_EQ(r.st.TargetX, 1);
    EXPECT_LT(run.bytes, 100'000U);
    ASSERT_EQ(r.events.messages.size(), 1U);
    EXPECT_NE(r.events.messages[0].find("linha 2 passa de 65536"), std::string::npos) << r.events.messages[0];
}

// A short drawing, checked write by write and dot by dot against the files
// kept beside the tests. Set PM_UPDATE_GOLDEN=1 to write them afresh after a
// deliberate change.
TEST(Job, GoldenTraceOfASmallDrawing) {
    Rig r;
    r.port.setRecordReads(true);
    r.run.motorsOn = true;
    r.run.previewScale = 1;
    r.run.speed = 1;
    r.run.divisor = "1";
    r.sim.setZTop(8);
    r.run.plotFile = WritePlotFile("PU0,0;PD6,0;PD6,3;PA0,0;PU;");
    RunJob(r.c);
    std::string dots;
    for (const auto& d : r.dots) dots += d + "\n";
    const std::string dir = std::string(PM_JOB_DATA) + "/";
    const std::vector<std::pair<std::string, std::string>> files{
        {dir + "small_job.trace", r.port.text()}, {dir + "small_job.dots", dots}};
    for (const auto& [path, actual] : files) {
        if (std::getenv("PM_UPDATE_GOLDEN") != nullptr) std::ofstream(path) << actual;
        std::ifstream in(path);
        ASSERT_TRUE(in) << path;
        std::stringstream expected;
        expected << in.rdbuf();
        EXPECT_EQ(actual, expected.str()) << path;
    }
    EXPECT_EQ(r.sim.x(), 2000);
    EXPECT_EQ(r.sim.y(), 1500);
    EXPECT_EQ(r.sim.z(), 0);
}

}  // namespace
}  // namespace pm
