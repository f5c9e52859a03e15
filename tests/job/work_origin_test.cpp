#include <gtest/gtest.h>

#include "Rig.h"
#include "job/Job.h"
#include "job/Limits.h"
#include "jog/JogXY.h"

namespace pm::test {
namespace {

// "Zerar XY aqui" 20 half-steps right of the start, the tool jogged 5 on:
// the job travels back to that origin and draws from there; the scan and
// "Ir para o Limite" count from it too; Home XY keeps it on the machine.
TEST(WorkOrigin, TheJobTheScanAndTheLimitCountFromIt) {
    Rig r;
    r.run.motorsOn = true;
    r.run.divisor = "1";
    const long long x0 = r.sim.x();
    JogXY(r.c, 20, 0, false);
    ZeroXYHere(r.st);
    EXPECT_EQ(WorkPositionText(r.st.Position, r.st.Settings), "Trabalho: X 0,0 mm Y 0,0 mm");
    JogXY(r.c, 5, 0, false);
    r.dots.clear();

    r.run.plotFile = WritePlotFile("PU;PA0,0;PD;PA10,0;");
    RunJob(r.c);
    EXPECT_EQ(r.sim.x(), x0 + 30);
    EXPECT_EQ(r.dots.front(), "1 5700 65280");  // the travel starts at the tool, X 5 / scale 5
    EXPECT_EQ(r.dots[5], "0 5700 65280");      // and ends at the origin
    EXPECT_EQ(r.sim.missedSteps(), 0);

    ScanLimits(r.c);
    GoToLimit(r.c);
    EXPECT_EQ(r.sim.x(), x0 + 30);
    HomedXYHere(r.st.Position);
    EXPECT_EQ(r.st.Position.X - r.st.Position.WorkOriginX, 10);
}

TEST(WorkOrigin, TheExtentCheckCountsFromIt) {
    MachineSettings m;
    m.StepsPerMmX = m.StepsPerMmY = 10;
    m.TravelX = m.TravelY = 100;
    MachinePosition p;
    HomedXYHere(p);
    p.X = 900;  // the tool near the far end, the origin near home
    p.WorkOriginSet = true;
    p.WorkOriginX = 100;
    EXPECT_EQ(ExtentWarning(p, m, 0, 0, 800, 0), "");
    EXPECT_NE(ExtentWarning(p, m, 0, 0, 901, 0), "");
}

}  // namespace
}  // namespace pm::test
