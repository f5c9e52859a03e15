// Where the machine stands: the count kept from the coil patterns, checked
// against the simulated router through jobs, homings, jogs, cancels and dry
// runs; the way back to the job's origin; the Home XY allowance.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "homing/Homing.h"
#include "job/Limits.h"
#include "job/Job.h"
#include "job/ReturnToOrigin.h"
#include "jog/Jog.h"
#include "motion/MachinePosition.h"
#include "port/Wiring.h"
#include "tests/job/Rig.h"

namespace pm::test {
namespace {

using Axis = SimulatedMachine::Axis;

// A drawing that ends far from where it starts, with fractional half-steps
// at the divisor 3.55.
constexpr const char* kDrawing =
    "PU;PA355,180;PD;PA1200,180;PA1200,400;PA300,400;PA300,180;PU;PA2000,900;";

struct Bench : Rig {
    explicit Bench(long long x = 3001, long long y = 2003) {
        sim.setPosition(Axis::X, x);
        sim.setPosition(Axis::Y, y);
        run.motorsOn = true;
        run.plotFile = WritePlotFile(kDrawing);
    }
    // Position.X - sim.x() and the same for Y and Z: constant while the
    // count follows the machine.
    long long dx() const { return st.Position.X - sim.x(); }
    long long dy() const { return st.Position.Y - sim.y(); }
    long long dz() const { return st.Position.Z - sim.z(); }
    // Where the last job's origin is on the simulated machine.
    long long originX = 0;
    long long originY = 0;
};

struct Step {
    const char* name;
    std::function<void(Bench&)> run;
};

const std::vector<Step>& Steps() {
    static const std::vector<Step> steps{
        {"job", [](Bench& b) { RunJob(b.c); }},
        {"dry run", [](Bench& b) {
             b.run.motorsOn = false;
             RunJob(b.c);
             b.run.motorsOn = true;
         }},
        {"cancelled job", [](Bench& b) {
             long long pumps = 0;
             b.pump.onPump = [&] {
                 if (++pumps == 700) CancelRun(b.c);
             };
             RunJob(b.c);
             b.pump.onPump = nullptr;
         }},
        {"home xy", [](Bench& b) { HomeXY(b.c); }},
        {"home z", [](Bench& b) { HomeZ(b.c); }},
        {"jog", [](Bench& b) {
             for (int i = 0; i < 5; ++i) JogZDownAndRelease(b.c);
             JogZUp(b.c);
         }},
        {"goto limit", [](Bench& b) {
             b.run.limitX = "700";
             b.run.limitY = "350";
             GoToLimit(b.c);
         }},
        {"return", [](Bench& b) { (void)ReturnToJobOrigin(b.c); }},
    };
    return steps;
}

// Every order of two steps after a first homing, and each step first: the
// count moves exactly as the router does.
TEST(MachinePosition, FollowsTheMachineThroughEveryOperation) {
    for (const Step& first : Steps()) {
        for (const Step& second : Steps()) {
            SCOPED_TRACE(std::string(first.name) + " then " + second.name);
            Bench b;
            HomeXY(b.c);
            HomeZ(b.c);
            ASSERT_TRUE(b.st.Position.HomedXY);
            ASSERT_TRUE(b.st.Position.HomedZ);
            EXPECT_EQ(b.st.Position.X, 0);
            EXPECT_EQ(b.sim.x(), 0);
            long long dz = b.dz();
            for (const Step* s : {&first, &second}) {
                const long long simX = b.sim.x();
                const long long posX = b.st.Position.X;
                s->run(b);
                EXPECT_EQ(b.dx(), 0) << s->name;
                EXPECT_EQ(b.dy(), 0) << s->name;
                // Home Z takes the place where it stops as Z 0.
                if (std::string(s->name) == "home z") dz = b.dz();
                EXPECT_EQ(b.dz(), dz) << s->name;
                if (std::string(s->name) == "dry run") {
                    EXPECT_EQ(b.sim.x(), simX);
                    EXPECT_EQ(b.st.Position.X, posX);
                }
            }
        }
    }
}

TEST(MachinePosition, UnknownUntilHomedAndAgainWhenHomingGivesUp) {
    Bench b;
    MachineSettings m;
    EXPECT_EQ(MachinePositionText(b.st.Position, m), "Máquina: posição desconhecida");
    RunJob(b.c);
    const long long offset = b.dx();
    EXPECT_EQ(offset, -3001);  // counted from where the program started
    HomeXY(b.c);
    EXPECT_EQ(b.dx(), 0);
    m.StepsPerMmX = 10;
    m.StepsPerMmY = 4;
    b.st.Position.X = 125;
    b.st.Position.Y = -13;
    EXPECT_EQ(MachinePositionText(b.st.Position, m), "Máquina: X 12,5 mm Y -3,2 mm");
    b.st.Position.Y = 0;
    m.ZCyclesPerMm = 2;
    b.st.Position.Z = -12;  // three cycles down
    b.st.Position.HomedZ = true;
    EXPECT_EQ(MachinePositionText(b.st.Position, m), "Máquina: X 12,5 mm Y 0,0 mm Z -1,5 mm");

    b.sim.setSwitchBroken(Axis::X, true);
    b.st.Settings.TravelX = 10;
    b.st.Settings.TravelY = 10;
    HomeXY(b.c);
    EXPECT_FALSE(b.st.Position.HomedXY);
    EXPECT_EQ(MachinePositionText(b.st.Position, m), "Máquina: posição desconhecida");
}

// The way back ends where the job started, on the machine, with no step lost,
// whatever happened since.
TEST(ReturnToJobOrigin, EndsWhereTheJobStarted) {
    const std::vector<Step> between{
        {"nothing", [](Bench&) {}},
        {"home xy", [](Bench& b) { HomeXY(b.c); }},
        {"home xy with travel", [](Bench& b) {
             b.st.Settings.TravelX = 400;  // an allowance that is no multiple of 8
             b.st.Settings.TravelY = 300;
             b.st.Settings.StepsPerMmX = 11.27;
             b.st.Settings.StepsPerMmY = 11.27;
             HomeXY(b.c);
         }},
        {"goto limit", [](Bench& b) {
             b.run.limitX = "3";
             b.run.limitY = "-7";
             b.run.divisor = "1";
             GoToLimit(b.c);
         }},
        {"cancelled job", [](Bench& b) {
             // A job that moved the motors: its origin is where its first
             // pass put the motors (the pump after its first dot follows
             // that write).
             long long pumps = 0;
             const long long dots = b.events.dotCount;
             b.pump.onPump = [&] {
                 ++pumps;
                 if (b.events.dotCount == dots + 1) {
                     b.originX = b.sim.x();
                     b.originY = b.sim.y();
                 }
                 if (pumps == 333) CancelRun(b.c);
             };
             RunJob(b.c);
             b.pump.onPump = nullptr;
         }},
    };
    for (const Step& s : between) {
        SCOPED_TRACE(s.name);
        Bench b;
        RunJob(b.c);
        const long long z = b.sim.z();
        EXPECT_NE(b.sim.x(), 3001);
        b.originX = 3001;
        b.originY = 2003;
        s.run(b);
        const long long originX = b.originX;
        const long long originY = b.originY;
        const long long missed = b.sim.missedSteps();
        const long long rough = b.sim.roughSteps(Axis::X) + b.sim.roughSteps(Axis::Y);
        EXPECT_EQ(ReturnToJobOrigin(b.c), ReturnEnd::Arrived);
        EXPECT_EQ(b.sim.x(), originX);
        EXPECT_EQ(b.sim.y(), originY);
        EXPECT_EQ(b.sim.z(), z);  // lifted for the travel, lowered again
        EXPECT_EQ(b.sim.missedSteps(), missed);
        EXPECT_EQ(b.sim.roughSteps(Axis::X) + b.sim.roughSteps(Axis::Y), rough);
        EXPECT_EQ(b.st.CurrentX, 0);
        EXPECT_EQ(b.st.CurrentY, 0);
        EXPECT_EQ(b.events.running, Operation::None);
        EXPECT_TRUE(b.events.plotStartAllowed);
        // A second job from here has its origin where the first one had.
        RunJob(b.c);
        EXPECT_EQ(b.st.Position.JobOriginX - b.dx(), originX);
        EXPECT_EQ(b.st.Position.JobOriginY - b.dy(), originY);
    }
}

// The largest jump, in half-steps the short way, between two patterns that
// one motor is given in a row (a release, 0, keeps the last pattern; the
// first pattern after start-up is free).
int LargestJump(const std::vector<int>& data) {
    int largest = 0;
    std::array<int, 2> last{-1, -1};
    for (const int v : data) {
        for (int m = 0; m < 2; ++m) {
            const int nibble = (v >> (4 * m)) & 15;
            if (nibble == 0) continue;
            int phase = -1;
            for (int i = 0; i < 8; ++i) {
                if (wiring::kHalfStepNibbles[static_cast<std::size_t>(i)] == nibble) phase = i;
            }
            if (phase < 0) return 99;
            if (last[m] >= 0) {
                const int d = (phase - last[m] + 8) % 8;
                largest = std::max(largest, std::min(d, 8 - d));
            }
            last[m] = phase;
        }
    }
    return largest;
}

// Home XY, a job, Home XY, a job, and the goto and the return between:
// every walk starts from the pattern its motor holds, so no write jumps an
// axis, and the machine ends where the program believes it is.
TEST(MachinePosition, HomingsAndJobsKeepEveryMotorOnItsPattern) {
    const std::vector<std::vector<Step>> sequences{
        {Steps()[3], Steps()[0], Steps()[3], Steps()[0]},
        {Steps()[0], Steps()[3], Steps()[2], Steps()[3], Steps()[6], Steps()[0], Steps()[7],
         Steps()[3]},
    };
    for (const auto& seq : sequences) {
        Bench b;
        std::string names;
        for (const Step& s : seq) {
            names += std::string(s.name) + ", ";
            SCOPED_TRACE(names);
            s.run(b);
            EXPECT_LE(LargestJump(b.port.writes(kDataReg)), 1);
            EXPECT_EQ(b.sim.roughSteps(Axis::X) + b.sim.roughSteps(Axis::Y), 0);
            EXPECT_EQ(b.sim.missedSteps(), 0);
            if (b.st.Position.HomedXY) {
                // The home switches close at 0: the count is the machine's place.
                EXPECT_EQ(b.st.Position.X, b.sim.x());
                EXPECT_EQ(b.st.Position.Y, b.sim.y());
            }
        }
        // The last job ended at its last target from its origin, short of
        // it by less than the half-step its walk could not reach.
        if (std::string(seq.back().name) == "job") {
            const double x = static_cast<double>(b.sim.x() - (b.st.Position.JobOriginX - b.dx()));
            const double y = static_cast<double>(b.sim.y() - (b.st.Position.JobOriginY - b.dy()));
            EXPECT_LT(std::fabs(x - b.st.CurrentX), 1.0);
            EXPECT_LT(std::fabs(y - b.st.CurrentY), 1.0);
        }
    }
}

TEST(ReturnToJobOrigin, RefusesWithoutAnOriginOrWithTheMotorsOff) {
    Bench b;
    EXPECT_EQ(ReturnToJobOrigin(b.c), ReturnEnd::NoOrigin);
    b.run.motorsOn = false;
    RunJob(b.c);  // a dry run leaves no origin on the machine
    EXPECT_EQ(ReturnToJobOrigin(b.c), ReturnEnd::NoOrigin);
    b.run.motorsOn = true;
    RunJob(b.c);
    b.run.motorsOn = false;
    EXPECT_EQ(ReturnToJobOrigin(b.c), ReturnEnd::MotorsOff);
    EXPECT_EQ(b.events.messages,
              (std::vector<std::string>{kNoJobOriginMessage, kNoJobOriginMessage,
                                        kReturnNeedsMotorsMessage}));
}

TEST(HomeAllowance, FromTheTravel) {
    struct Row {
        double travelX, travelY, allowX, perMm;
        std::int32_t stepsX, stepsY;
    };
    const Row rows[] = {
        {0, 0, 0, 11.27, 400000, 400000},       // nothing known: as always
        {200, 150, 0, 11.27, 2480, 1860},       // travel plus 10 %
        {200, 0, 0, 10, 2200, 400000},          // only X known
        {200, 150, 250, 10, 2500, 1650},        // an allowance of its own
        {100, 100, 0, 40 / 3.55, 1240, 1240},   // 1239.4 up to the next half-step
    };
    for (const Row& r : rows) {
        MachineSettings m;
        m.TravelX = r.travelX;
        m.TravelY = r.travelY;
        m.HomeAllowanceX = r.allowX;
        m.StepsPerMmX = m.StepsPerMmY = r.perMm;
        EXPECT_EQ(HomeAllowanceSteps(m, AxisXY::X), r.stepsX) << r.travelX;
        EXPECT_EQ(HomeAllowanceSteps(m, AxisXY::Y), r.stepsY) << r.travelY;
    }

    // A broken X switch: Home XY gives up after the allowance, and says so.
    Bench b(100000, 50);
    b.sim.setSwitchBroken(Axis::X, true);
    b.st.Settings.TravelX = 200;
    b.st.Settings.TravelY = 150;
    b.st.Settings.StepsPerMmX = b.st.Settings.StepsPerMmY = 11.27;
    HomeXY(b.c);
    EXPECT_EQ(b.sim.x(), 100000 - 2480 + 1);
    EXPECT_EQ(b.sim.y(), 0);
    ASSERT_EQ(b.events.messages.size(), 1U);
    EXPECT_NE(b.events.messages[0].find("andou 2480 meios-passos"), std::string::npos);
}

TEST(MachineSettings, Validation) {
    struct Row {
        const char* name;
        std::function<void(MachineSettings&)> change;
        bool ok;
    };
    const Row rows[] = {
        {"defaults", [](MachineSettings&) {}, true},
        {"travel", [](MachineSettings& m) { m.TravelX = 200; m.TravelY = 150; }, true},
        {"zero steps", [](MachineSettings& m) { m.StepsPerMmX = 0; }, false},
        {"negative travel", [](MachineSettings& m) { m.TravelY = -1; }, false},
        {"not a number", [](MachineSettings& m) { m.StepsPerMmY = std::nan(""); }, false},
        {"allowance below travel", [](MachineSettings& m) { m.TravelX = 200; m.HomeAllowanceX = 150; }, false},
        {"beyond 400000", [](MachineSettings& m) { m.TravelX = 5000; m.StepsPerMmX = 100; }, false},
        {"z cycles", [](MachineSettings& m) { m.ZCyclesPerMm = 2.5; }, true},
        {"negative z", [](MachineSettings& m) { m.ZCyclesPerMm = -2; }, false},
    };
    for (const Row& r : rows) {
        MachineSettings m;
        r.change(m);
        EXPECT_EQ(ValidateMachineSettings(m).empty(), r.ok) << r.name;
    }
}

TEST(ExtentWarning, OnlyWhenTheDrawingLeavesTheWorkArea) {
    MachineSettings m;
    m.StepsPerMmX = m.StepsPerMmY = 10;
    m.TravelX = 200;  // 2000 half-steps
    m.TravelY = 100;  // 1000
    MachinePosition p;
    EXPECT_EQ(ExtentWarning(p, m, 0, 0, 5000, 5000), "");  // place unknown
    HomedXYHere(p);
    p.X = 500;
    p.Y = 200;
    struct Row {
        double minX, minY, maxX, maxY;
        bool warns;
    };
    const Row rows[] = {
        {0, 0, 1500, 800, false},    // to the last half-step
        {-500, -200, 0, 0, false},   // back to the home corner
        {0, 0, 1501, 0, true},       // one past X
        {0, 0, 0, 801, true},        // one past Y
        {-501, 0, 0, 0, true},       // behind the X switch
        {0, -201, 0, 0, true},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(!ExtentWarning(p, m, r.minX, r.minY, r.maxX, r.maxY).empty(), r.warns)
            << r.minX << " " << r.minY << " " << r.maxX << " " << r.maxY;
    }
    EXPECT_EQ(ExtentWarning(p, m, 0, 0, 1600, 0),
              "O desenho sai da área de trabalho da máquina: vai de X 50,0 a 210,0 mm e Y 20,0 a "
              "20,0 mm, e a máquina anda de X 0,0 a 200,0 mm e Y 0,0 a 100,0 mm.");
    m.TravelY = 0;  // travel not known
    EXPECT_EQ(ExtentWarning(p, m, 0, 0, 1e9, 1e9), "");
}

TEST(FitScale, LargestScaleThatHoldsTheDrawing) {
    // The canvas: 9795 x 5715 twips, base line at 5700.
    struct Row {
        double minX, minY, maxX, maxY;
        std::optional<int> scale;
    };
    const Row rows[] = {
        {0, 0, 400, 400, 1},
        {0, 0, 9794, 5700, 1},
        {0, 0, 9795, 0, 2},          // one twip too wide at 1
        {0, 0, 1500, 5701, 2},
        {0, -14, 100, 0, 1},         // 14 twips under the base line still show
        {0, -16, 100, 0, 2},
        {0, 0, 40000, 20000, 5},     // the sample house's size at the start-up scale
        {0, 0, 97949, 0, 10},
        {0, 0, 97950, 0, std::nullopt},
        {-4000, -3000, 0, 0, -1},    // drawn left of and below its origin: mirrored
        {-20000, 0, 0, 0, -3},
        {-100, 0, 100, 0, std::nullopt},  // both sides of the origin
    };
    for (const Row& r : rows) {
        EXPECT_EQ(FitScale(r.minX, r.minY, r.maxX, r.maxY, 9795, 5715, 5700), r.scale)
            << r.minX << " " << r.minY << " " << r.maxX << " " << r.maxY;
    }
}

}  // namespace
}  // namespace pm::test
