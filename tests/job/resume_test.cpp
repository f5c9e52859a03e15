// Pause and continue, and a job started from a statement: on the simulated
// machine and the virtual clock, each compared with the same job run through.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <ostream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "importer/Hpgl.h"
#include "job/Job.h"
#include "tests/job/Rig.h"

namespace pm {
namespace {

using test::Rig;
using test::WritePlotFile;

struct Drawing {
    std::string name;
    std::string text;
};

std::string ReadSample(const std::string& name) {
    std::ifstream in(std::string(PM_SAMPLES) + "/" + name, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A drawing of n statements: travels and cuts in all directions, lone pen
// changes and moves in the present mode among them.
std::string Generated(unsigned seed, int n) {
    std::mt19937 g(seed);
    std::uniform_int_distribution<int> coord(-400, 1400);
    std::uniform_int_distribution<int> kind(0, 9);
    std::string text;
    for (int i = 0; i < n; ++i) {
        const int k = kind(g);
        if (k == 0) {
            text += "PU;";
        } else if (k == 1) {
            text += "PD;";
        } else {
            text += k < 4 ? "PU" : k < 5 ? "PA" : "PD";
            text += std::to_string(coord(g)) + "," + std::to_string(coord(g)) + ";";
        }
    }
    return text;
}

std::vector<Drawing> Drawings() {
    return {
        {"quadrado", ReadSample("quadrado.red")},
        {"casa", ReadSample("casa.red")},
        {"desenho", ConvertHpgl(ReadSample("desenho.plt")).text},
        {"gerado1", Generated(1, 12)},
        {"gerado2", Generated(2, 20)},
    };
}

std::uint64_t CountStatements(const std::string& text) {
    return static_cast<std::uint64_t>(std::count(text.begin(), text.end(), ';'));
}

// What the operator does during the job.
struct Plan {
    bool motors = true;
    std::uint64_t from = 1;
    std::uint64_t pauseAfter = 0;   // "Pausar" as this statement is listed
    bool cancelWhileHeld = false;   // "Cancelar" instead of "Continuar"
    long long cancelAtPump = 0;     // "Cancelar" at this pump
};

struct Outcome {
    PlotRun run;
    std::vector<std::string> dots;  // "x y colour"
    std::vector<long long> dotZ;    // the machine's Z at each dot
    std::vector<std::uint64_t> dotStatement;  // the statement the job worked on
    std::vector<int> xy;            // data-register writes
    std::vector<int> z;             // control-register writes
    long long zInHold = 0;          // control-register writes while held
    std::vector<int> zHold;         // their values
    long long zAtHold = -1;         // the machine's Z as the hold began
    long long simX = 0, simY = 0, simZ = 0, missed = 0;
    long long pumps = 0;
    std::vector<std::uint64_t> pauses;
    std::vector<StopPoint> ends;
    std::vector<std::string> messages;
    std::size_t listed = 0;
    PlotEnd nestedJob = PlotEnd::EndOfFile;  // "Fresar" pressed while held
};

constexpr long long kZ0 = 0;  // the tool's working height on the simulated machine

Outcome RunPlan(const std::string& path, const Plan& plan) {
    Rig r;
    Outcome o;
    r.run.motorsOn = plan.motors;
    r.run.plotFile = path;
    r.events.onDot = [&](float x, float y, std::uint32_t colour) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "%.9g %.9g %u", static_cast<double>(x),
                      static_cast<double>(y), colour);
        o.dots.emplace_back(buf);
        o.dotZ.push_back(r.sim.z());
        o.dotStatement.push_back(r.st.JobPoint.statement);
    };
    bool asked = false;
    std::int64_t askedAt = 0;
    long long holdStart = -1;
    r.pump.onPump = [&] {
        if (plan.cancelAtPump != 0 && r.pump.count == plan.cancelAtPump) CancelRun(r.c);
        if (r.events.paused && holdStart < 0) {
            holdStart = static_cast<long long>(r.port.accesses().size());
            o.zAtHold = r.sim.z();
            o.nestedJob = RunJob(r.c).end;
        }
        if (plan.pauseAfter != 0 && !asked && r.events.list.size() >= plan.pauseAfter) {
            asked = true;
            askedAt = r.clock.nowNs();
            PauseJob(r.c);
        } else if (r.events.paused && r.clock.nowNs() - askedAt >= 2'000'000'000) {
            if (plan.cancelWhileHeld) {
                CancelRun(r.c);
            } else {
                ContinueJob(r.c);
            }
        }
        if (!r.events.paused && holdStart >= 0 && o.zInHold == 0 && o.pauses.empty()) {
            // first pump after the hold: count what it wrote to the Z coils
            const auto& a = r.port.accesses();
            for (auto i = static_cast<std::size_t>(holdStart); i < a.size(); ++i) {
                if (a[i].address != kControlReg || a[i].kind != 'W') continue;
                ++o.zInHold;
                o.zHold.push_back(a[i].value);
            }
            o.pauses = r.events.pauses;
        }
    };
    o.run = RunJob(r.c, plan.from);
    if (o.pauses.empty()) o.pauses = r.events.pauses;
    o.xy = r.port.writes(kDataReg);
    o.z = r.port.writes(kControlReg);
    o.simX = r.sim.x();
    o.simY = r.sim.y();
    o.simZ = r.sim.z();
    o.missed = r.sim.missedSteps();
    o.pumps = r.pump.count;
    o.ends = r.events.jobEnds;
    o.messages = r.events.messages;
    o.listed = r.events.list.size();
    EXPECT_EQ(r.st.Running, Operation::None);
    EXPECT_FALSE(r.st.PauseRequested);
    EXPECT_FALSE(r.events.paused);
    return o;
}

// A drawing and a statement number, as a table row.
struct Case {
    Drawing drawing;
    std::uint64_t statement = 0;
    bool motors = true;
};

std::ostream& operator<<(std::ostream& os, const Case& c) {
    return os << c.drawing.name << " at " << c.statement << (c.motors ? "" : " motors off");
}

// For every drawing: its first, middle and last statements.
std::vector<Case> Cases(std::uint64_t first) {
    std::vector<Case> out;
    for (const Drawing& d : Drawings()) {
        const std::uint64_t n = CountStatements(d.text);
        for (const std::uint64_t k : {first, (first + n) / 2, n}) {
            if (out.empty() || out.back().drawing.name != d.name || out.back().statement != k)
                out.push_back({d, k, true});
        }
    }
    out.push_back({out.front().drawing, 3, false});
    return out;
}

std::string RowName(const ::testing::TestParamInfo<Case>& info) {
    return info.param.drawing.name + "_" + std::to_string(info.param.statement) +
           (info.param.motors ? "" : "_dry");
}

// Paused and continued, the job draws and steps exactly as run through; the
// hold adds only a lift and the lower that undoes it, and only when the tool
// was down.
class PauseContinue : public ::testing::TestWithParam<Case> {};

TEST_P(PauseContinue, DrawsAndStepsAsTheJobRunThrough) {
    const Case& k = GetParam();
    const std::string path = WritePlotFile(k.drawing.text);
    const Outcome whole = RunPlan(path, {k.motors});
    const Outcome held = RunPlan(path, {k.motors, 1, k.statement});

    ASSERT_EQ(held.run.end, PlotEnd::EndOfFile);
    EXPECT_EQ(held.pauses, std::vector<std::uint64_t>{k.statement});
    EXPECT_EQ(held.nestedJob, PlotEnd::Refused);
    EXPECT_EQ(held.dots, whole.dots);
    EXPECT_EQ(held.xy, whole.xy);
    EXPECT_EQ(held.missed, 0);
    EXPECT_EQ(whole.missed, 0);
    EXPECT_EQ(std::vector<long long>({held.simX, held.simY, held.simZ}),
              std::vector<long long>({whole.simX, whole.simY, whole.simZ}));
    if (!k.motors || held.zAtHold > kZ0) {
        EXPECT_EQ(held.zInHold, 0) << "a tool already up is not lifted";
    } else {
        // Whole cycles up, then as many down. (The job's own lifts follow
        // the 100 ms poll, which the hold shifts: they may take a cycle more
        // or less, and their lowers replay what they took.)
        ASSERT_GT(held.zInHold, 0);
        ASSERT_EQ(held.zInHold % 8, 0);
        std::vector<int> expected;
        for (long long i = 0; i < held.zInHold / 8; ++i)
            expected.insert(expected.end(), ZPhasesUp.begin(), ZPhasesUp.end());
        for (long long i = 0; i < held.zInHold / 8; ++i)
            expected.insert(expected.end(), ZPhasesDown.begin(), ZPhasesDown.end());
        EXPECT_EQ(held.zHold, expected);
    }
    // Milling happens at the working height only.
    for (std::size_t i = 0; i < held.dots.size(); ++i) {
        if (held.dots[i].ends_with(" 16711680") && k.motors) {
            EXPECT_EQ(held.dotZ[i], kZ0) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Drawings, PauseContinue, ::testing::ValuesIn(Cases(1)), RowName);

TEST(Pause, CancelWhileHeldLeavesTheToolLiftedAndEndsTheJob) {
    const std::string path = WritePlotFile(ReadSample("quadrado.red"));
    Plan plan;
    plan.pauseAfter = 3;  // the tool is down, milling the second side
    plan.cancelWhileHeld = true;
    const Outcome o = RunPlan(path, plan);
    EXPECT_EQ(o.run.end, PlotEnd::Cancelled);
    EXPECT_EQ(o.pauses, std::vector<std::uint64_t>{3});
    EXPECT_EQ(o.nestedJob, PlotEnd::Refused);
    EXPECT_GT(o.simZ, kZ0);
    EXPECT_EQ(o.missed, 0);
    ASSERT_FALSE(o.z.empty());
    EXPECT_EQ(o.z.back(), ZPhasesUp.back()) << "no lower after the lift";
    ASSERT_EQ(o.ends.size(), 1U);
    EXPECT_EQ(o.ends[0].file, path);
    EXPECT_EQ(o.ends[0].statement, 3U);
    EXPECT_EQ(o.ends[0].divisor, "3.55");
}

TEST(Pause, AskedWithNoJobRunningHoldsNothing) {
    Rig r;
    PauseJob(r.c);
    EXPECT_FALSE(r.st.PauseRequested);
    r.run.plotFile = WritePlotFile("PU0,0;PD10,0;");
    EXPECT_EQ(RunJob(r.c).end, PlotEnd::EndOfFile);
    EXPECT_TRUE(r.events.pauses.empty());
}

// From statement N: the statements before are only read; one travel with
// the tool up from the origin to where N starts; from there the dots of the
// job run through, and the machine ends where that job ends.
class FromStatement : public ::testing::TestWithParam<Case> {};

TEST_P(FromStatement, MillsTheRestOfTheJobAfterOneTravel) {
    const Case& k = GetParam();
    const std::string path = WritePlotFile(k.drawing.text);
    const Outcome whole = RunPlan(path, {k.motors});
    const Outcome from = RunPlan(path, {k.motors, k.statement});

    ASSERT_EQ(from.run.end, PlotEnd::EndOfFile);
    EXPECT_EQ(from.run.statements, CountStatements(k.drawing.text));
    EXPECT_EQ(from.listed, whole.listed);
    EXPECT_EQ(from.missed, 0);
    EXPECT_EQ(std::vector<long long>({from.simX, from.simY, from.simZ}),
              std::vector<long long>({whole.simX, whole.simY, whole.simZ}));
    ASSERT_FALSE(from.dots.empty());
    EXPECT_EQ(from.dots.front(), "0 5700 65280") << "the travel starts at the origin";

    // The whole run from statement N on: the dots drawn once the job was
    // working on N (gathering its text, then its move).
    const auto tailStart = static_cast<std::size_t>(
        std::find_if(whole.dotStatement.begin(), whole.dotStatement.end(),
                     [&](std::uint64_t s) { return s >= k.statement; }) -
        whole.dotStatement.begin());
    const std::size_t tail = whole.dots.size() - tailStart;
    ASSERT_GT(from.dots.size(), tail);
    const std::size_t travel = from.dots.size() - tail;
    EXPECT_TRUE(std::equal(from.dots.begin() + static_cast<long>(travel), from.dots.end(),
                           whole.dots.begin() + static_cast<long>(tailStart)));
    for (std::size_t i = 0; i < travel; ++i) {
        EXPECT_TRUE(from.dots[i].ends_with(" 65280")) << i;
        if (k.motors) {
            EXPECT_GE(from.dotZ[i], 160) << "the travel runs with the tool up";
        }
    }
    for (std::size_t i = travel; i < from.dots.size() && k.motors; ++i) {
        if (from.dots[i].ends_with(" 16711680")) {
            EXPECT_EQ(from.dotZ[i], kZ0) << i;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Drawings, FromStatement, ::testing::ValuesIn(Cases(2)), RowName);

TEST(FromStatement, PastTheEndRunsNothingAndSaysSo) {
    Rig r;
    r.run.motorsOn = true;
    r.run.plotFile = WritePlotFile(ReadSample("quadrado.red"));
    const PlotRun run = RunJob(r.c, 7);
    EXPECT_EQ(run.end, PlotEnd::PastEnd);
    EXPECT_EQ(run.statements, 0U);
    EXPECT_EQ(r.events.messages, std::vector<std::string>{PastEndMessage(7, 6)});
    EXPECT_TRUE(r.port.accesses().empty());
    EXPECT_EQ(r.events.clearCount, 0);
    EXPECT_EQ(r.events.list.size(), 0U);
    EXPECT_TRUE(r.events.plotStartAllowed);
    EXPECT_EQ(r.st.Running, Operation::None);
}

// A cancel (a broken bit) leaves where the job stopped; the machine put back
// at the origin and the job started there, the two runs together mill every
// dot of the job run through.
class CancelAndResume : public ::testing::TestWithParam<Case> {};

TEST_P(CancelAndResume, TogetherMillTheWholeJob) {
    const Case& k = GetParam();
    const std::string path = WritePlotFile(k.drawing.text);
    const Outcome whole = RunPlan(path, {k.motors});
    Plan cut{k.motors};
    // Somewhere in the statement's share of the job (a cancel in the pass
    // that reads the file's last character lets the job finish instead).
    cut.cancelAtPump = std::min(whole.pumps * 9 / 10,
                                whole.pumps * (2 * static_cast<long long>(k.statement) - 1) /
                                    (2 * static_cast<long long>(CountStatements(k.drawing.text) + 1)));
    const Outcome broken = RunPlan(path, cut);
    ASSERT_EQ(broken.run.end, PlotEnd::Cancelled);
    ASSERT_EQ(broken.ends.size(), 1U);
    const StopPoint at = broken.ends[0];
    EXPECT_EQ(at.file, path);
    EXPECT_EQ(at.divisor, "3.55");
    ASSERT_GE(at.statement, 1U);
    ASSERT_LE(at.statement, CountStatements(k.drawing.text) + 1);

    const Outcome resumed = RunPlan(path, {k.motors, at.statement});
    std::set<std::string> milled;
    for (const Outcome* o : {&broken, &resumed})
        for (const std::string& d : o->dots)
            if (d.ends_with(" 16711680")) milled.insert(d);
    std::set<std::string> all;
    for (const std::string& d : whole.dots)
        if (d.ends_with(" 16711680")) all.insert(d);
    EXPECT_EQ(milled, all) << "stopped at " << at.statement;
    if (resumed.run.end == PlotEnd::EndOfFile) {
        EXPECT_EQ(resumed.simX, whole.simX);
        EXPECT_EQ(resumed.simY, whole.simY);
        ASSERT_EQ(resumed.ends.size(), 1U);
        EXPECT_EQ(resumed.ends[0].statement, 0U) << "a finished job leaves nothing to resume";
    }
}

INSTANTIATE_TEST_SUITE_P(Drawings, CancelAndResume, ::testing::ValuesIn(Cases(1)), RowName);

}  // namespace
}  // namespace pm
