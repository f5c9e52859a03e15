// portmill-cli run --from and --pause-after, run as a user runs them.
#include <gtest/gtest.h>

#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/job/Rig.h"
#include "tests/support/CliRun.h"

namespace {

using Result = pm::test::CliResult;
using pm::test::Slurp;

Result Cli(const std::vector<std::string>& words) {
    return pm::test::RunCli(PM_CLI, words, pm::test::WritePlotFile("", "stderr.txt"));
}

std::string Sample(const std::string& name) { return std::string(PM_SAMPLES) + "/" + name; }

// The value of a word "name=value" of the output: "6" for "statements".
std::string Field(const std::string& out, const std::string& name) {
    for (std::size_t at = out.find(name + "="); at != std::string::npos;
         at = out.find(name + "=", at + 1)) {
        if (at != 0 && out[at - 1] != ' ' && out[at - 1] != '\n') continue;
        const std::size_t begin = at + name.size() + 1;
        return out.substr(begin, out.find_first_of(" \n", begin) - begin);
    }
    return "?";
}

// The values written to the data register, in order, from a trace record.
std::vector<std::string> DataWrites(const std::string& trace) {
    std::vector<std::string> out;
    std::istringstream in(trace);
    std::string t, kind, address, value;
    while (in >> t >> kind >> address >> value)
        if (kind == "W" && address == "888") out.push_back(value);
    return out;
}

struct Row {
    std::string name;
    std::vector<std::string> words;  // after "run quadrado.red"
    int status;
    std::string statements;  // in the last line, "" when none is printed
    std::string err;         // a part of standard error
};

std::ostream& operator<<(std::ostream& os, const Row& r) { return os << r.name; }

class CliFrom : public ::testing::TestWithParam<Row> {};

TEST_P(CliFrom, ExitsWithItsStatusAndCountsEveryStatement) {
    const Row& row = GetParam();
    const std::string trace = pm::test::WritePlotFile("", "trace.txt");
    std::vector<std::string> words{"run", Sample("quadrado.red"), "--motors", "on", "--trace", trace};
    words.insert(words.end(), row.words.begin(), row.words.end());
    const Result r = Cli(words);
    EXPECT_EQ(r.status, row.status) << r.err;
    EXPECT_NE(r.err.find(row.err), std::string::npos) << r.err;
    if (row.statements.empty()) {
        EXPECT_EQ(r.out, "");
    } else {
        EXPECT_EQ(Field(r.out, "statements"), row.statements) << r.out;
        EXPECT_EQ(Field(r.out, "missed"), "0") << r.out;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Run, CliFrom,
    ::testing::Values(
        Row{"FromTheThirdSide", {"--from", "3"}, 0, "6", ""},
        Row{"FromTheLastStatement", {"--from=6"}, 0, "6", ""},
        Row{"PastTheEnd", {"--from", "7"}, 2, "0", "não há declaração 7"},
        Row{"FromZero", {"--from", "0"}, 2, "", "--from espera"},
        Row{"FromNotANumber", {"--from", "3x"}, 2, "", "--from espera"},
        Row{"PauseWithoutStatement", {"--pause-ms", "100"}, 2, "", "--pause-after"},
        Row{"PausedAtTheSecondSide", {"--pause-after", "3", "--pause-ms", "1000"}, 0, "6", ""}),
    [](const ::testing::TestParamInfo<Row>& info) { return info.param.name; });

// Held for a second and a half, the house is drawn and stepped as when run
// through, the time held added; --from 1 is the plain run, byte for byte.
TEST(CliPause, HoldsAndGoesOnAsTheRunThrough) {
    std::vector<Result> runs;
    std::vector<std::string> dots;
    std::vector<std::string> traces;
    const std::vector<std::vector<std::string>> extra{
        {}, {"--pause-after", "7", "--pause-ms", "1500"}, {"--from", "1"}};
    for (std::size_t i = 0; i < extra.size(); ++i) {
        dots.push_back(pm::test::WritePlotFile("", "dots" + std::to_string(i) + ".txt"));
        traces.push_back(pm::test::WritePlotFile("", "trace" + std::to_string(i) + ".txt"));
        std::vector<std::string> words{"run",  Sample("casa.red"), "--motors", "on",
                                       "--dots", dots[i], "--trace", traces[i]};
        words.insert(words.end(), extra[i].begin(), extra[i].end());
        runs.push_back(Cli(words));
        ASSERT_EQ(runs[i].status, 0) << runs[i].err;
    }
    EXPECT_EQ(Slurp(dots[1]), Slurp(dots[0]));
    EXPECT_EQ(DataWrites(Slurp(traces[1])), DataWrites(Slurp(traces[0])));
    EXPECT_GE(std::stoll(Field(runs[1].out, "elapsed_ns")),
              std::stoll(Field(runs[0].out, "elapsed_ns")) + 1'500'000'000);
    for (const char* f : {"CurrentX", "CurrentY", "statements", "sim", "missed"})
        EXPECT_EQ(Field(runs[1].out, f), Field(runs[0].out, f)) << f;

    EXPECT_EQ(runs[2].out, runs[0].out);
    EXPECT_EQ(Slurp(dots[2]), Slurp(dots[0]));
    EXPECT_EQ(Slurp(traces[2]), Slurp(traces[0]));
}

}  // namespace

namespace {

// The estimate from a statement counts the travel and the rest of the job.
TEST(CliEstimate, FromAStatementCountsTheRestOfTheJob) {
    const Result whole = Cli({"estimate", Sample("casa.red")});
    const Result rest = Cli({"estimate", Sample("casa.red"), "--from", "9"});
    const Result past = Cli({"estimate", Sample("casa.red"), "--from", "14"});
    ASSERT_EQ(whole.status, 0) << whole.err;
    ASSERT_EQ(rest.status, 0) << rest.err;
    EXPECT_LT(std::stoll(Field(rest.out, "duration_ns")),
              std::stoll(Field(whole.out, "duration_ns")));
    EXPECT_EQ(Field(rest.out, "statements"), "13");
    EXPECT_EQ(past.status, 1);
    EXPECT_NE(past.err.find("não há declaração 14"), std::string::npos) << past.err;
}

}  // namespace
