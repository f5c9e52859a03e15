// The importer's output as the job reads it: a converted drawing is milled
// point by point as drawn, and the estimate is the job's own duration.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "job/Estimate.h"
#include "importer/Gcode.h"
#include "importer/Hpgl.h"
#include "tests/importer/JobRun.h"

namespace pm {
namespace {

using namespace std::string_literals;
using test::PlotterPoints;
using test::ReadFile;
using test::RunTheJob;
using test::Visit;
using test::WriteTemp;

std::string SamplePath() {
    return std::string(PM_SAMPLES_DIR) + "/desenho.plt";
}

TEST(RoundTrip, SampleDrawingIsMilledAsDrawn) {
    const std::string hpgl = ReadFile(SamplePath());
    ASSERT_FALSE(hpgl.empty());
    const HpglResult conv = ConvertHpgl(hpgl);
    ASSERT_TRUE(conv.ok) << conv.error;
    const test::JobRun run = RunTheJob(WriteTemp("desenho.red", conv.text));
    const std::vector<Visit> expected = PlotterPoints(hpgl);
    ASSERT_GT(expected.size(), 40u);
    EXPECT_EQ(run.visits, expected);
    // The router itself went there, without losing a step.
    EXPECT_EQ(run.missed, 0);
    EXPECT_EQ(run.machineX, expected.back().x);
    EXPECT_EQ(run.machineY, expected.back().y);
}

TEST(RoundTrip, RelativeMovesCirclesAndOddEndings) {
    // Relative moves, a circle cut in four chords, a label, statements
    // without ";", line breaks and padding at the end.
    const std::string hpgl =
        "IN;SP1;PU100,100;PR;PD50,0 0,50\r\n-50,0;PA;PU200,200;CI20,90;LBtext\x03"
        "PU0,0PD0,30\r\n\0\0"s;
    const std::vector<Visit> expected = {
        {false, 100, 100}, {true, 150, 100},  {true, 150, 150},  {true, 100, 150},
        {false, 200, 200}, {false, 220, 200}, {true, 200, 220},  {true, 180, 200},
        {true, 200, 180},  {true, 220, 200},  {false, 200, 200}, {false, 0, 0},
        {true, 0, 30}};
    const HpglResult conv = ConvertHpgl(hpgl);
    ASSERT_TRUE(conv.ok) << conv.error;
    const test::JobRun run = RunTheJob(WriteTemp("odd.red", conv.text));
    EXPECT_EQ(run.visits, expected);
    EXPECT_EQ(run.missed, 0);
    EXPECT_EQ(run.machineX, 0);
    EXPECT_EQ(run.machineY, 30);
}

// A G-code program milled on the simulated router: every point of the plot
// text in order, the program's own corners among them, no step lost.
TEST(RoundTrip, GcodeIsMilledAsProgrammed) {
    const std::string gcode =
        "G21 G90\nG0 Z2\nG0 X1 Y1\nG1 Z-0.5 F200\nG1 X6 Y1\nG3 X6 Y6 R2.5\nG1 X1 Y6\nG2 X1 Y1 I0 J-2.5\n"
        "G0 Z2\nG91 G0 X10\nG90 G1 Z-0.5\nG1 Y10\nG0 Z2\n";
    const DrawingResult conv = ConvertGcode(gcode);
    ASSERT_TRUE(conv.ok) << conv.error;
    const test::JobRun run = RunTheJob(WriteTemp("gcode.red", conv.text));
    const std::vector<Visit> points = PlotterPoints(conv.text);
    EXPECT_EQ(run.visits, points);
    const std::vector<Visit> corners = {{false, 40, 40},  {true, 240, 40},  {true, 240, 240}, {true, 40, 240},
                                        {true, 40, 40},   {false, 440, 40}, {true, 440, 400}};
    std::size_t next = 0;
    for (const Visit& v : run.visits)
        if (next < corners.size() && v == corners[next]) ++next;
    EXPECT_EQ(next, corners.size()) << "the program's corners, in order";
    EXPECT_GT(run.visits.size(), 40u);  // the arcs as chords
    EXPECT_EQ(run.missed, 0);
    EXPECT_EQ(run.machineX, 440);
    EXPECT_EQ(run.machineY, 400);
}

struct Timing {
    const char* name;
    std::string file;
    EstimateSettings settings;
};

void PrintTo(const Timing& t, std::ostream* os) { *os << t.name; }

class EstimateMatchesJob : public ::testing::TestWithParam<Timing> {};

TEST_P(EstimateMatchesJob, SameDurationAsTheJob) {
    const Timing& t = GetParam();
    const std::string path = WriteTemp(std::string(t.name) + ".red", t.file);
    const JobEstimate est = EstimateJob(path, t.settings);
    ASSERT_TRUE(est.ok) << est.error;
    const test::JobRun run = RunTheJob(path, t.settings);
    EXPECT_EQ(est.durationNs, run.ns);
    EXPECT_EQ(est.statements, 6u);
}

const std::string kSquare = "PU0,0;PD400,0;PD400,400;PD0,400;PD0,0;PU;";

INSTANTIATE_TEST_SUITE_P(
    Settings, EstimateMatchesJob,
    ::testing::Values(Timing{"dry_default", kSquare, {}},
                      Timing{"dry_fast", kSquare, {"1", 0, 5, false, {}}},
                      Timing{"motors_on_lifts", kSquare, {"3.55", 3, 5, true, {}}},
                      Timing{"motors_on_high_top", kSquare, {"2", 1, 5, true, {2000, 1500, 0, 900, 0, 0}}},
                      Timing{"zero_divisor", kSquare, {"0", 2, 5, false, {}}},
                      Timing{"ramps_dry", kSquare, {"1", 2, 5, false, {}, {30000, 400, -1}}},
                      Timing{"ramps_travel_lifts", kSquare, {"1", 5, 5, true, {}, {8000, 150, 1}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Estimate, CountsStepPeriodsOfEveryPass) {
    // 13 characters; every pass waits one step period, the pass of the
    // second ";" walks 11 points: 6 + 6 + 11 periods of 1000 counts of 100 ns.
    const std::string path = WriteTemp("count.red", "PU0,0;PD10,0;");
    const JobEstimate est = EstimateJob(path, {"1", 1, 5, false, {}});
    ASSERT_TRUE(est.ok) << est.error;
    EXPECT_EQ(est.durationNs, 23 * 1000 * 100);
    EXPECT_EQ(est.statements, 2u);
    // Each is listed as the pass of its ";" starts: after 5 and 12 periods.
    EXPECT_EQ(est.listedNs, (std::vector<std::int64_t>{5 * 1000 * 100, 12 * 1000 * 100}));
}

TEST(Estimate, ExtentOfTheVisitedPoints) {
    const std::string path = WriteTemp("extent.red", "IN;SP1;PU10,20;PD-71,0;PD142,-35.5;PU;");
    const JobEstimate est = EstimateJob(path, {"3.55", 0, 5, false, {}});
    ASSERT_TRUE(est.ok) << est.error;
    // The statements before the first pair do not count the origin in.
    EXPECT_DOUBLE_EQ(est.extentUnits.minX, -71);
    EXPECT_DOUBLE_EQ(est.extentUnits.maxX, 142);
    EXPECT_DOUBLE_EQ(est.extentUnits.minY, -35.5);
    EXPECT_DOUBLE_EQ(est.extentUnits.maxY, 20);
    EXPECT_DOUBLE_EQ(est.extentSteps.minX, -20);
    EXPECT_DOUBLE_EQ(est.extentSteps.maxX, 40);
}

TEST(Estimate, UnreadableFileIsReported) {
    const JobEstimate est = EstimateJob("/nonexistent/dir/none.red", {});
    EXPECT_FALSE(est.ok);
    EXPECT_FALSE(est.error.empty());
}

TEST(Estimate, TellsHowFarItHasRead) {
    // 100 statements of 10 characters: the percent climbs by whole numbers
    // to 100, each heard once, and the result is the same as without.
    std::string text;
    for (int i = 0; i < 100; ++i) text += "PA10,10;\r\n";
    const std::string path = WriteTemp("progress.red", text);
    std::vector<int> heard;
    const JobEstimate est = EstimateJob(path, {}, nullptr, {}, [&](int p) { heard.push_back(p); });
    ASSERT_TRUE(est.ok) << est.error;
    ASSERT_FALSE(heard.empty());
    EXPECT_EQ(heard.front(), 0);
    EXPECT_EQ(heard.back(), 100);
    EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()));
    EXPECT_EQ(std::adjacent_find(heard.begin(), heard.end()), heard.end()) << "a percent heard twice";
    EXPECT_GT(heard.size(), 50u);
    EXPECT_EQ(est.durationNs, EstimateJob(path, {}).durationNs);
}

TEST(Estimate, CancelFlagStopsIt) {
    const std::string path = WriteTemp("cancel.red", kSquare);
    std::atomic<bool> stale{true};
    const JobEstimate est = EstimateJob(path, {}, &stale);
    EXPECT_TRUE(est.cancelled);
    EXPECT_FALSE(est.ok);
    const JobEstimate full = EstimateJob(path, {});
    EXPECT_LT(est.durationNs, full.durationNs);
}

TEST(Estimate, RunsOnWorkerThreadsSideBySide) {
    const std::string path = SamplePath();
    const JobEstimate alone = EstimateJob(path, {"3.55", 2, 5, true, {}});
    ASSERT_TRUE(alone.ok) << alone.error;
    JobEstimate a;
    JobEstimate b;
    std::thread ta([&] { a = EstimateJob(path, {"3.55", 2, 5, true, {}}); });
    std::thread tb([&] { b = EstimateJob(path, {"3.55", 2, 5, true, {}}); });
    ta.join();
    tb.join();
    EXPECT_EQ(a.durationNs, alone.durationNs);
    EXPECT_EQ(b.durationNs, alone.durationNs);
}

TEST(Estimate, DurationForTheOperator) {
    EXPECT_EQ(FormatDuration(12'345'000'000), "12.3 s");
    EXPECT_EQ(FormatDuration(245'000'000'000), "4 min 05 s");
    EXPECT_EQ(FormatDuration(3'723'000'000'000), "1 h 02 min 03 s");
}

}  // namespace
}  // namespace pm
