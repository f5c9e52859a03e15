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

#include "homing/SwitchPoll.h"
#include "importer/Estimate.h"
#include "importer/Hpgl.h"
#include "job/Job.h"
#include "job/Statement.h"
#include "motion/HeadlessControls.h"

namespace pm {
namespace {

using namespace std::string_literals;

struct Visit {
    bool down;
    double x;
    double y;
    bool operator==(const Visit&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Visit& v) {
    return os << (v.down ? "PD" : "PU") << v.x << ',' << v.y;
}

std::string WriteTemp(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("pm_importer_" + std::to_string(::getpid()) + "_" + name);
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The job on the simulated router with the motors on and divisor 1, so its
// targets are the file's coordinates: the point and the tool mode of every
// statement that carries a pair, in order.
struct JobRun {
    std::vector<Visit> visits;
    SimulatedMachine::Setup setup;
    long long machineX = 0;
    long long machineY = 0;
    long long missed = 0;
    std::int64_t ns = 0;
};

JobRun RunTheJob(const std::string& path, const EstimateSettings& set = {"1", 0, 5, true, {}}) {
    JobRun r;
    r.setup = set.machine;
    MachineState st;
    LoadMachineState(st);
    SimulatedMachine machine(r.setup);
    VirtualClock clock;
    HeadlessControls ui(clock);
    ui.check1 = set.motors;
    ui.slider1 = set.scale;
    ui.slider2 = set.speed;
    ui.text[3] = set.divisor;
    ui.caption = path;
    Context c{st, machine, ui, clock};
    std::size_t seen = 0;
    const auto sample = [&] {
        if (ui.list.size() == seen) return;
        seen = ui.list.size();
        if (CutStatement(ui.list.at(seen - 1)).hasPair)
            r.visits.push_back({st.MoveMode == "D", st.TargetX, st.TargetY});
    };
    ui.onTick = [&] { Timer1_Timer(c); };
    ui.onPump = sample;
    Command1_Click(c);
    sample();
    r.machineX = machine.x() - r.setup.x;
    r.machineY = machine.y() - r.setup.y;
    r.missed = machine.missedSteps();
    r.ns = clock.nowNs();
    return r;
}

// The points of a drawing written with absolute PU/PD pairs only, read the
// way a plotter reads them.
std::vector<Visit> PlotterPoints(const std::string& hpgl) {
    std::vector<Visit> v;
    bool down = false;
    std::istringstream in(hpgl);
    std::string cmd;
    while (std::getline(in, cmd, ';')) {
        const std::string head = cmd.substr(0, 2);
        if (head != "PU" && head != "PD") continue;
        down = head == "PD";
        std::istringstream nums(cmd.substr(2));
        double x = 0;
        double y = 0;
        char comma = 0;
        while (nums >> x >> comma >> y) {
            v.push_back({down, x, y});
            nums >> comma;
        }
    }
    return v;
}

std::string SamplePath() {
    return std::string(PM_SAMPLES_DIR) + "/desenho.plt";
}

TEST(RoundTrip, SampleDrawingIsMilledAsDrawn) {
    const std::string hpgl = ReadFile(SamplePath());
    ASSERT_FALSE(hpgl.empty());
    const HpglResult conv = ConvertHpgl(hpgl);
    ASSERT_TRUE(conv.ok) << conv.error;
    const JobRun run = RunTheJob(WriteTemp("desenho.red", conv.text));
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
    const JobRun run = RunTheJob(WriteTemp("odd.red", conv.text));
    EXPECT_EQ(run.visits, expected);
    EXPECT_EQ(run.missed, 0);
    EXPECT_EQ(run.machineX, 0);
    EXPECT_EQ(run.machineY, 30);
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
    const JobRun run = RunTheJob(path, t.settings);
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
                      Timing{"zero_divisor", kSquare, {"0", 2, 5, false, {}}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Estimate, CountsStepPeriodsOfEveryPass) {
    // 13 characters; every pass waits one step period, the pass of the
    // second ";" walks 11 points: 6 + 6 + 11 periods of 1000 counts of 100 ns.
    const std::string path = WriteTemp("count.red", "PU0,0;PD10,0;");
    const JobEstimate est = EstimateJob(path, {"1", 1, 5, false, {}});
    ASSERT_TRUE(est.ok) << est.error;
    EXPECT_EQ(est.durationNs, 23 * 1000 * 100);
    EXPECT_EQ(est.statements, 2u);
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
    const JobEstimate est = EstimateJob(path, {}, nullptr, [&](int p) { heard.push_back(p); });
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
