// Runs portmill-cli home-xy, home-z and jog-xy as a user would.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/CliRun.h"

namespace {

using Result = pm::test::CliResult;
using pm::test::Slurp;

std::string TempPath(const std::string& name) {
    return pm::test::TempFilePath("portmill_home", name);
}

Result Cli(const std::vector<std::string>& words) {
    return pm::test::RunCli(PM_CLI, words, TempPath("stderr.txt"));
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

struct CliCase {
    const char* name;
    std::vector<std::string> words;
    int status;
    std::vector<std::string> lastLine;  // parts of the last line
    std::string err;                    // part of standard error
};

void PrintTo(const CliCase& row, std::ostream* os) { *os << row.name; }

class HomingCli : public ::testing::TestWithParam<CliCase> {};

TEST_P(HomingCli, EndsWithTheMachineWhereTheSwitchesAre) {
    const CliCase& k = GetParam();
    const Result r = Cli(k.words);
    EXPECT_EQ(r.status, k.status) << r.err;
    for (const auto& part : k.lastLine) EXPECT_TRUE(Has(r.out, part)) << r.out;
    EXPECT_TRUE(Has(r.err, k.err)) << r.err;
    if (k.status == 0) {
        EXPECT_TRUE(r.err.empty()) << r.err;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, HomingCli,
    ::testing::Values(
        // 2001 passes of 5000 counts: the first only energises the motors.
        CliCase{"HomeXYFromTheStart", {"home-xy"}, 0,
                {"elapsed_ns=1000500000 sim=0,0,0 missed=0\n", "CurrentX=0 CurrentY=0 "}, ""},
        CliCase{"HomeXYFromElsewhere", {"home-xy", "--sim-start", "7,3,5"}, 0,
                {"elapsed_ns=4000000 sim=0,0,5 missed=0\n"}, ""},
        // The switch, read after every cycle, closes at cycle 41 (z 163);
        // one more cycle follows: 42 cycles of 3.2 ms.
        CliCase{"HomeZ", {"home-z"}, 0, {"elapsed_ns=134400000 sim=2000,1500,167 missed=0\n"}, ""},
        CliCase{"HomeZLowTop", {"home-z", "--sim-ztop", "3"}, 0, {"sim=2000,1500,7 "}, ""},
        CliCase{"HomeXYLostX", {"home-xy", "--sim-broken", "x"}, 1,
                {"sim=-397999,0,0 missed=0\n"}, "eixo X não foi encontrada"},
        // With the travel known, the allowance is the travel plus 10 %:
        // 200 mm x 11.27 x 1.1 = 2479.4, so 2480 passes of 0.5 ms.
        CliCase{"HomeXYLostXWithTravel",
                {"home-xy", "--sim-broken", "x", "--steps-per-mm", "11.27,11.27", "--travel", "200,150"},
                1,
                {"elapsed_ns=1240000000 sim=-479,0,0 missed=0\n"},
                "andou 2480 meios-passos"},
        CliCase{"TravelNotAPair", {"home-xy", "--travel", "200"}, 2, {}, "--travel espera X,Y"},
        CliCase{"HomeZLostZ", {"home-z", "--sim-broken", "z"}, 1,
                {"sim=2000,1500,131067 "}, "A chave do topo do eixo Z"},
        CliCase{"ArgumentRefused", {"home-xy", "extra"}, 2, {}, "não leva argumentos"},
        // A jog: 101 passes of 2 ms, the first only energises the motors.
        CliCase{"JogXY", {"jog-xy", "-100,0"}, 0, {"elapsed_ns=202000000 sim=1900,1500,0 missed=0\n"}, ""},
        CliCase{"JogXYNotAPair", {"jog-xy", "1.5,0"}, 2, {}, "jog-xy espera DX,DY"},
        CliCase{"BrokenAxisUnknown", {"home-z", "--sim-broken", "w"}, 2, {}, "--sim-broken"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HomingCliTrace, HomeXYWritesTheControlRegisterFirstAndReleasesLast) {
    const std::string trace = TempPath("trace.txt");
    const Result r = Cli({"home-xy", "--sim-start", "1,1,0", "--trace", trace});
    ASSERT_EQ(r.status, 0) << r.err;
    // Two passes, four status reads each; 0x7F while open, 0x67 when both
    // switches are closed.
    EXPECT_EQ(Slurp(trace),
              "0 W 890 1\n"
              "0 R 889 127\n0 R 889 127\n0 W 888 17\n500000 R 889 127\n500000 R 889 127\n"
              "500000 R 889 127\n500000 R 889 127\n500000 W 888 51\n"
              "1000000 R 889 103\n1000000 R 889 103\n"
              "1000000 W 888 0\n1000000 W 890 11\n");
}

}  // namespace
