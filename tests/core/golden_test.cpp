#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "Rig.h"

namespace pm::test {
namespace {

const char* const kGolden = PM_CORE_DATA "/core_moves_and_lift.trace";

const char* const kHeader =
    "# Port accesses of a short run on the simulated machine, speed 20, motors on:\n"
    "# a travel move to (45, 10), a lift that reads the top switch after every\n"
    "# cycle and stops one cycle past the reading that sees it, a lower, two\n"
    "# milling moves to (41, 16) and (39, 13), and the end\n"
    "# of the job. One line an access: <time ns> <W|R> <address> <value>.\n"
    "# Rewrite with PM_UPDATE_GOLDEN=1 after a deliberate change, and read the diff.\n";

std::string withoutComments(const std::string& text) {
    std::istringstream in(text);
    std::string line, out;
    while (std::getline(in, line)) {
        if (!line.empty() && line[0] != '#') out += line + '\n';
    }
    return out;
}

TEST(GoldenTrace, MovesLiftAndLowerWriteExactlyTheRecordedPatterns) {
    Rig r({.z = 156});
    r.run.motorsOn = true;
    r.st.MoveMode = "M";
    r.moveTo(45, 10);
    RaiseTool(r.c);
    r.st.MoveMode = "D";
    LowerTool(r.c);
    r.moveTo(41, 16);
    r.moveTo(39, 13);
    FinishJob(r.c);

    // Where the machine stands is part of what the trace says.
    EXPECT_EQ(r.st.ZStepCount, 3);
    EXPECT_EQ(r.sim.x(), 2039);
    EXPECT_EQ(r.sim.y(), 1513);
    EXPECT_EQ(r.sim.z(), 156);
    EXPECT_EQ(r.sim.missedSteps(), 0);

    const std::string actual = r.trace.text();
    if (const char* u = std::getenv("PM_UPDATE_GOLDEN"); u != nullptr && std::string(u) == "1") {
        std::ofstream(kGolden) << kHeader << actual;
        GTEST_SKIP() << "rewrote " << kGolden;
    }
    std::ifstream in(kGolden);
    ASSERT_TRUE(in) << "missing " << kGolden;
    std::stringstream expected;
    expected << in.rdbuf();
    EXPECT_EQ(actual, withoutComments(expected.str()));
}

}  // namespace
}  // namespace pm::test
