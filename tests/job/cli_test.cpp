// Runs the built portmill-cli as a user would and checks what it prints,
// the records it writes and its exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "motion/Motion.h"
#include "tests/job/Rig.h"
#include "tests/support/CliRun.h"

namespace {

using Result = pm::test::CliResult;
using pm::test::Slurp;

Result Cli(const std::vector<std::string>& words) {
    return pm::test::RunCli(PM_CLI, words, pm::test::WritePlotFile("", "stderr.txt"));
}

std::string Sample(const std::string& name) { return std::string(PM_SAMPLES) + "/" + name; }

TEST(Cli, RunOfTheSquarePrintsItsLastLine) {
    const std::string dots = pm::test::WritePlotFile("", "dots.txt");
    const std::string list = pm::test::WritePlotFile("", "list.txt");
    const Result r = Cli({"run", Sample("quadrado.red"), "--dots", dots, "--list", list});
    EXPECT_EQ(r.status, 0) << r.err;
    // 45 characters; the four sides of 1000 / 3.55 walk 282 passes each in
    // the pass of their ";", the other 41 passes a single point: 1169
    // passes of 2 ms at speed 20. No dot before the first pen statement.
    EXPECT_EQ(r.out,
              "CurrentX=0 CurrentY=0 TargetX=0 TargetY=0 MoveMode=M ZStepCount=0 Text1= Text2= "
              "Text3=3.55 statements=6 elapsed_ns=2338000000 sim=2000,1500,0 missed=0\n");
    EXPECT_EQ(Slurp(list), "PU0,0;\nPD1000,0;\nPD1000,1000;\nPD0,1000;\nPD0,0;\nPU;\n");
    const std::string d = Slurp(dots);
    EXPECT_EQ(std::count(d.begin(), d.end(), '\n'), 1164);
    EXPECT_EQ(d.substr(0, 13), "0 5700 65280\n");
    // The last walked point of the first side, 281 / 5 in single precision,
    // then the passes that follow stand on the exact target 1000 / 3.55 / 5.
    EXPECT_NE(d.find("\n56.2000008 5700 16711680\n56.338028 5700 16711680\n"), std::string::npos);
}

TEST(Cli, RunWithMotorsLiftsOnTheSimulatedMachine) {
    const std::string trace = pm::test::WritePlotFile("", "trace.txt");
    const Result r = Cli({"run", Sample("quadrado.red"), "--motors", "on", "--speed=0",
                          "--sim-start", "10,20,5", "--sim-ztop", "13", "--trace", trace});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find(" sim=10,20,5 missed=0\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find(" elapsed_ns="), std::string::npos);
    const std::string t = Slurp(trace);
    EXPECT_EQ(t.substr(0, 11), "0 W 888 153");
    EXPECT_NE(t.find(" R 889 "), std::string::npos);  // the poll reads the switches
    EXPECT_NE(t.find(" W 890 10\n"), std::string::npos);
}

// The value of "key=" in the last line.
std::string Field(const std::string& out, const std::string& key) {
    const auto at = out.find(" " + key + "=");
    if (at == std::string::npos) return {};
    const auto begin = at + key.size() + 2;
    return out.substr(begin, out.find_first_of(" \n", begin) - begin);
}

TEST(Cli, RampsAndTravelSpeedChangeOnlyTheTimes) {
    std::vector<std::string> records[2];
    std::string out[2];
    const std::vector<std::string> ramps{"--accel", "20000", "--start-rate", "300", "--travel-speed", "2"};
    for (int on = 0; on < 2; ++on) {
        const std::string dots = pm::test::WritePlotFile("", "dots" + std::to_string(on));
        const std::string list = pm::test::WritePlotFile("", "list" + std::to_string(on));
        std::vector<std::string> words{"run", Sample("casa.red"), "--motors", "on", "--divisor", "1",
                                       "--speed", "5", "--dots", dots, "--list", list};
        if (on == 1) words.insert(words.end(), ramps.begin(), ramps.end());
        const Result r = Cli(words);
        ASSERT_EQ(r.status, 0) << r.err;
        records[on] = {Slurp(dots), Slurp(list)};
        out[on] = r.out;
        EXPECT_EQ(Field(r.out, "missed"), "0") << r.out;
    }
    EXPECT_EQ(records[1], records[0]);
    EXPECT_EQ(Field(out[1], "sim"), Field(out[0], "sim"));
    EXPECT_EQ(Field(out[1], "CurrentX"), Field(out[0], "CurrentX"));
    EXPECT_NE(Field(out[1], "elapsed_ns"), Field(out[0], "elapsed_ns"));
}

// "--divisor 0,5" is 0.5: the same records and the same last line but for
// the divisor's own text.
TEST(Cli, DivisorTakesADecimalComma) {
    std::vector<std::string> records[2];
    std::string out[2];
    const std::string divisors[2] = {"0.5", "0,5"};
    for (int k = 0; k < 2; ++k) {
        const std::string trace = pm::test::WritePlotFile("", "trace" + std::to_string(k));
        const std::string dots = pm::test::WritePlotFile("", "dots" + std::to_string(k));
        const Result r = Cli({"run", Sample("casa.red"), "--motors", "on", "--divisor", divisors[k],
                              "--trace", trace, "--dots", dots});
        ASSERT_EQ(r.status, 0) << r.err;
        records[k] = {Slurp(trace), Slurp(dots)};
        out[k] = r.out;
    }
    EXPECT_EQ(records[1], records[0]);
    EXPECT_EQ(Field(out[1], "Text3"), "0,5");
    out[1].replace(out[1].find("Text3=0,5"), 9, "Text3=0.5");
    EXPECT_EQ(out[1], out[0]);
}

// On the real clock the last line goes on with the steps' lateness; on the
// virtual clock it stays as it was.
TEST(Cli, RealClockTellsHowLateTheStepsCame) {
    const std::string file = pm::test::WritePlotFile("PU0,0;PD30,0;");
    const Result real = Cli({"run", file, "--divisor", "1", "--speed", "5", "--clock", "real"});
    ASSERT_EQ(real.status, 0) << real.err;
    EXPECT_EQ(Field(real.out, "missed"), "0");
    EXPECT_NE(Field(real.out, "late_max_ns"), "");
    EXPECT_EQ(Field(real.out, "steps"), "42");  // every pass after the first, before FinishJob
    const Result virt = Cli({"run", file, "--divisor", "1", "--speed", "5"});
    EXPECT_EQ(virt.out.find("late_"), std::string::npos) << virt.out;
}

TEST(Cli, ScanThenGotoReachTheCorner) {
    const Result scan = Cli({"scan", Sample("casa.red")});
    EXPECT_EQ(scan.status, 0) << scan.err;
    EXPECT_NE(scan.out.find(" Text1=1200 Text2=1500 Text3=3.55 statements=13 elapsed_ns=0 "),
              std::string::npos)
        << scan.out;
    const Result go = Cli({"goto", "1200", "1500", "--motors", "on"});
    EXPECT_EQ(go.status, 0) << go.err;
    EXPECT_EQ(go.out.substr(0, 51), "CurrentX=338 CurrentY=422 TargetX=338 TargetY=422 M");
    EXPECT_NE(go.out.find(" sim=2338,1922,0 missed=0\n"), std::string::npos) << go.out;
}

// Where the tool is while the XY motors move, read from a trace: the Z
// height follows the control-register phases from the simulated start z;
// each data write that changes the pattern is a half-step, made with the
// tool at the top (z >= top) or below it.
struct ToolHeights {
    long long atTop = 0;
    long long below = 0;
    long long zEnd = 0;
    std::size_t firstData = 0;  // line of the first pattern change
    std::size_t firstZ = 0;     // line of the first Z phase
};

ToolHeights ReadToolHeights(const std::string& trace, long long z, long long top) {
    ToolHeights h;
    std::istringstream in(trace);
    long long t = 0;
    char rw = 0;
    int address = 0;
    int value = 0;
    int zPhase = -1;
    int data = -1;
    std::size_t line = 0;
    while (in >> t >> rw >> address >> value) {
        ++line;
        if (rw != 'W') continue;
        if (address == 890) {
            const auto at = std::find(pm::ZPhasesUp.begin(), pm::ZPhasesUp.end(), value);
            if (at == pm::ZPhasesUp.end()) continue;
            const int p = static_cast<int>(at - pm::ZPhasesUp.begin());
            if (zPhase >= 0) z += (p - zPhase + 4) % 4 == 1 ? 1 : (p - zPhase + 4) % 4 == 3 ? -1 : 0;
            zPhase = p;
            if (h.firstZ == 0) h.firstZ = line;
        } else if (address == 888) {
            if (data > 0 && value > 0 && value != data) {
                (z >= top ? h.atTop : h.below) += 1;
                if (h.firstData == 0) h.firstData = line;
            }
            data = value;
        }
    }
    h.zEnd = z;
    return h;
}

// Very short cuts, each followed by a long travel: the tool goes up before
// every travel, however soon after its lower, at the fastest speeds.
TEST(Cli, ShortCutsLiftBeforeEveryTravel) {
    const std::string plot = pm::test::WritePlotFile(
        "PU;PA0,0;PD;PA1,0;PU;PA2000,2000;PD;PA2001,2000;PU;PA0,4000;", "short.red");
    for (const char* speed : {"0", "1"}) {
        for (const char* z : {"0", "150"}) {
            SCOPED_TRACE(std::string("speed ") + speed + " z " + z);
            const std::string trace = pm::test::WritePlotFile("", "trace.txt");
            const Result r = Cli({"run", plot, "--motors", "on", "--divisor", "1", "--speed",
                                  speed, "--sim-start", std::string("0,0,") + z, "--trace", trace});
            EXPECT_EQ(r.status, 0) << r.err;
            const ToolHeights h = ReadToolHeights(Slurp(trace), std::stoll(z), 160);
            EXPECT_EQ(h.below, 2);      // the two cuts of one half-step
            EXPECT_EQ(h.atTop, 4001);   // 2000 + 2000 travel half-steps, 1 back
            EXPECT_EQ(h.zEnd, std::stoll(z));
        }
    }
}

// "Ir para o Limite" with the tool down lifts it before the first step and
// brings it back to its height at the end.
TEST(Cli, GotoLiftsTheToolFirst) {
    const std::string trace = pm::test::WritePlotFile("", "trace.txt");
    const Result r = Cli({"goto", "300", "200", "--motors", "on", "--divisor", "1",
                          "--sim-start", "0,0,100", "--trace", trace});
    EXPECT_EQ(r.status, 0) << r.err;
    const ToolHeights h = ReadToolHeights(Slurp(trace), 100, 160);
    EXPECT_GT(h.firstData, h.firstZ);
    EXPECT_EQ(h.below, 0);
    EXPECT_EQ(h.atTop, 300);
    EXPECT_EQ(h.zEnd, 100);
    EXPECT_NE(r.out.find(" sim=300,200,100 missed=0\n"), std::string::npos) << r.out;
}

TEST(Cli, NegativeLimitsAreArgumentsNotOptions) {
    const Result r = Cli({"goto", "-10", "-20", "--divisor", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.substr(0, 53), "CurrentX=-10 CurrentY=-20 TargetX=-10 TargetY=-20 Mov");
}

TEST(Cli, ListRecordShowsLineBreaksEscaped) {
    const std::string file = pm::test::WritePlotFile("PU0,0;\r\nPD5,5;");
    const std::string list = pm::test::WritePlotFile("", "list.txt");
    const Result r = Cli({"run", file, "--list", list, "--divisor", "1"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Slurp(list), "PU0,0;\n\\r\\nPD5,5;\n");
    EXPECT_NE(r.out.find("MoveMode=M "), std::string::npos);
}

struct StatusCase {
    std::string name;
    std::vector<std::string> words;
    int status;
    std::string message;  // part of what standard error says
};

// Names the case in the test log.
void PrintTo(const StatusCase& c, std::ostream* os) { *os << '"' << c.name << '"'; }

class CliStatus : public ::testing::TestWithParam<StatusCase> {};

TEST_P(CliStatus, ExitsWithItsStatusAndSaysWhy) {
    const auto& p = GetParam();
    const Result r = Cli(p.words);
    EXPECT_EQ(r.status, p.status) << r.err;
    EXPECT_NE(r.err.find(p.message), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CliStatus,
    ::testing::Values(
        StatusCase{"MissingFile", {"run", "/nonexistent/plot.red"}, 1, "não existe"},
        StatusCase{"ScanMissingFile", {"scan", "/nonexistent/plot.red"}, 1, "plot.red"},
        StatusCase{"FolderAsFile", {"run", "/"}, 1, "pasta"},
        StatusCase{"UnwritableRecord", {"run", Sample("quadrado.red"), "--dots", "/nonexistent/d"}, 1, "/nonexistent/d"},
        StatusCase{"NoCommand", {}, 2, "usage"},
        StatusCase{"UnknownCommand", {"mill"}, 2, "mill"},
        StatusCase{"NoFile", {"run"}, 2, "FILE"},
        StatusCase{"TwoFiles", {"scan", "a", "b"}, 2, "FILE"},
        StatusCase{"GotoOneNumber", {"goto", "1"}, 2, "X e Y"},
        StatusCase{"UnknownOption", {"run", "f", "--fast"}, 2, "--fast"},
        StatusCase{"MissingValue", {"run", "f", "--speed"}, 2, "--speed"},
        StatusCase{"SpeedOutOfRange", {"run", "f", "--speed", "41"}, 2, "0 a 40"},
        StatusCase{"ScaleNotANumber", {"run", "f", "--scale", "x"}, 2, "-3 a 10"},
        StatusCase{"MotorsYes", {"run", "f", "--motors", "yes"}, 2, "on ou off"},
        StatusCase{"AccelNegative", {"run", "f", "--accel", "-1"}, 2, "--accel"},
        StatusCase{"LookaheadTooLarge", {"run", "f", "--lookahead", "10001"}, 2, "--lookahead"},
        StatusCase{"LatencyNoSeconds", {"latency", "--seconds", "0"}, 2, "--seconds"},
        StatusCase{"LatencyTakesNoFile", {"latency", "f"}, 2, "não leva arquivo"},
        StatusCase{"StartRateZero", {"run", "f", "--start-rate", "0"}, 2, "1 a 1000000"},
        StatusCase{"TravelSpeedOutOfRange", {"run", "f", "--travel-speed", "41"}, 2, "--travel-speed"},
        StatusCase{"ClockBad", {"run", "f", "--clock", "fast"}, 2, "virtual ou real"},
        StatusCase{"SimStartBad", {"run", "f", "--sim-start", "1,2"}, 2, "X,Y,Z"},
        StatusCase{"UnknownPort", {"run", "f", "--port", "lpt9"}, 2, "lpt9"},
        StatusCase{"EmptyFileName", {"run", ""}, 2, "Falta Abrir Arquivo"},
        StatusCase{"TopSwitchNeverCloses",
                   {"run", Sample("quadrado.red"), "--motors", "on", "--sim-ztop", "1000000"},
                   1, "chave do topo"},
        StatusCase{"GotoZeroDivisor", {"goto", "1", "1", "--divisor", "0"}, 2, "Dividir"}),
    [](const auto& info) { return info.param.name; });

TEST(Cli, HelpGoesToStandardOutput) {
    const Result r = Cli({"--help"});
    EXPECT_EQ(r.status, 0);
    EXPECT_NE(r.out.find("portmill-cli run FILE"), std::string::npos);
}

}  // namespace
