// portmill-cli's --port option and its wiring self-test, run as a user runs
// them. Only the simulated machine and device paths that cannot exist are
// used: no test here reaches a real port.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "tests/support/CliRun.h"

namespace {

using Result = pm::test::CliResult;

Result Cli(const std::vector<std::string>& words) {
    return pm::test::RunCli(PM_CLI, words, pm::test::TempFilePath("portmill_cli_port", "stderr.txt"));
}

int Count(const std::string& text, const std::string& what) {
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

const std::string kSquare = std::string(PM_SAMPLES) + "/quadrado.red";
const std::string kMissing = "ppdev:/nonexistent/parport9";
const std::string kMissingMessage =
    "portmill-cli: A porta /nonexistent/parport9 não existe: carregue o módulo ppdev "
    "(sudo modprobe ppdev) ou escolha outra porta.\n";

struct Case {
    const char* what;
    std::vector<std::string> words;
    int status;
    const char* out;  // a part of standard output ("" for none expected)
    const char* err;  // a part of standard error
};

// Names the case in test listings.
void PrintTo(const Case& c, std::ostream* os) { *os << c.what; }

class CliPort : public ::testing::TestWithParam<Case> {};

TEST_P(CliPort, StatusAndMessages) {
    const Case& c = GetParam();
    const Result r = Cli(c.words);
    EXPECT_EQ(r.status, c.status) << r.err;
    EXPECT_NE(r.out.find(c.out), std::string::npos) << r.out;
    EXPECT_NE(r.err.find(c.err), std::string::npos) << r.err;
}

INSTANTIATE_TEST_SUITE_P(
    Ports, CliPort,
    ::testing::Values(
        Case{"RunOnSim", {"run", kSquare, "--port", "sim"}, 0, "sim=", ""},
        Case{"UnknownPort", {"run", kSquare, "--port", "lpt1"}, 2, "", "porta desconhecida: lpt1"},
        Case{"BadIoBase", {"scan", kSquare, "--port", "io:0xZZ"}, 2, "", "endereço de E/S"},
        Case{"SelftestTakesNoFile", {"selftest", kSquare}, 2, "", "não leva arquivo"},
        Case{"SelftestHoldRange", {"selftest", "--hold", "0"}, 2, "", "--hold espera"},
        Case{"SelftestClockName", {"selftest", "--clock", "fast"}, 2, "", "--clock espera"},
        Case{"SelftestSimOnRealPort", {"selftest", "--port", kMissing, "--sim-ztop", "3"}, 2,
             "", "--sim-start e --sim-ztop"}),
    [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.what); });

// A port that cannot be driven stops every command before it starts: the one
// message on standard error, status 1, nothing on standard output.
TEST(CliPortFault, EveryCommandStopsWithTheMessage) {
    const std::vector<std::vector<std::string>> commands{
        {"run", kSquare, "--port", kMissing, "--motors", "on"},
        {"scan", kSquare, "--port", kMissing},
        {"goto", "10", "10", "--port", kMissing},
        {"selftest", "--port", kMissing},
    };
    for (const auto& words : commands) {
        const Result r = Cli(words);
        EXPECT_EQ(r.status, 1) << words[0];
        EXPECT_EQ(r.err, kMissingMessage) << words[0];
        EXPECT_EQ(r.out, "") << words[0];
    }
}

TEST(CliSelfTest, DryRunOnTheSimulatedMachine) {
    const Result r = Cli({"selftest", "--clock", "virtual", "--hold", "5", "--watch", "1",
                          "--sim-start", "0,100,0"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Teste de ligação: Máquina simulada"), std::string::npos) << r.out;
    EXPECT_EQ(Count(r.out, "Motor "), 12) << r.out;
    EXPECT_NE(r.out.find("X casa (pino 13) fechada"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Fim do teste."), std::string::npos) << r.out;
}

}  // namespace
