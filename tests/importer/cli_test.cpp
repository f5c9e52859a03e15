// portmill-cli convert and estimate, run as a user runs them.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/CliRun.h"

namespace {

using Result = pm::testing::CliResult;
using pm::testing::Slurp;

std::string TempPath(const std::string& name) {
    return pm::testing::TempFilePath("pm_importer_cli", name);
}

std::string Write(const std::string& name, const std::string& text) {
    return pm::testing::WriteFile(TempPath(name), text);
}

Result Cli(const std::vector<std::string>& words) {
    return pm::testing::RunCli(PM_CLI, words, TempPath("stderr.txt"));
}

// The number of the word "key=<n>" in a text.
long long Field(const std::string& text, const std::string& key) {
    std::istringstream words(text);
    std::string w;
    while (words >> w)
        if (w.rfind(key + "=", 0) == 0) return std::stoll(w.substr(key.size() + 1));
    return -1;
}

const std::string kSample = std::string(PM_SAMPLES) + "/desenho.plt";

TEST(CliConvert, SampleDrawingWithItsSummary) {
    const std::string out = TempPath("desenho.red");
    std::filesystem::remove(out);
    const Result r = Cli({"convert", kSample, out});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "Declarações escritas: 43\nComandos descartados: SP 2\nExtensão: X 0 a 400, Y 0 a 400\n");
    const std::string red = Slurp(out);
    EXPECT_EQ(red.substr(0, 38), "PU0,0;PD400,0;PD400,400;PD0,400;PD0,0;");
    EXPECT_EQ(red.find_first_of("\r\n "), std::string::npos);
}

struct Failure {
    const char* name;
    std::vector<std::string> words;
    int status;
    const char* says;
};

void PrintTo(const Failure& f, std::ostream* os) { *os << f.name; }

class CliFails : public ::testing::TestWithParam<Failure> {};

TEST_P(CliFails, WithItsStatusAndReason) {
    const Failure& f = GetParam();
    const Result r = Cli(f.words);
    EXPECT_EQ(r.status, f.status);
    EXPECT_NE(r.err.find(f.says), std::string::npos) << r.err;
    EXPECT_EQ(r.out, "");
}

INSTANTIATE_TEST_SUITE_P(
    Lines, CliFails,
    ::testing::Values(
        Failure{"convert_printer_job", {"convert", Write("pjl.plt", "@PJL ENTER LANGUAGE=HPGL2\nIN;"), TempPath("x.red")}, 1, "@PJL"},
        Failure{"convert_missing_input", {"convert", "/nonexistent/a.plt", TempPath("x.red")}, 1, "Não foi possível abrir"},
        Failure{"convert_unwritable_output", {"convert", kSample, "/nonexistent/dir/a.red"}, 1, "Não foi possível gravar"},
        Failure{"convert_one_word", {"convert", kSample}, 2, "convert espera"},
        Failure{"convert_option", {"convert", kSample, "--speed"}, 2, "não aceita opções"},
        Failure{"estimate_missing_file", {"estimate", "/nonexistent/a.red"}, 1, "/nonexistent/a.red"},
        Failure{"estimate_real_clock", {"estimate", kSample, "--clock", "real"}, 2, "relógio virtual"},
        Failure{"estimate_bad_speed", {"estimate", kSample, "--speed", "99"}, 2, "--speed"},
        Failure{"estimate_no_file", {"estimate"}, 2, "estimate espera"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CliConvert, RefusedFileWritesNothing) {
    const std::string out = TempPath("refused.red");
    std::filesystem::remove(out);
    const Result r = Cli({"convert", Write("pe.plt", "IN;PU0,0;PE<=5?;"), out});
    EXPECT_EQ(r.status, 1);
    EXPECT_FALSE(std::filesystem::exists(out));
}

class CliEstimate : public ::testing::TestWithParam<std::vector<std::string>> {};

// The estimate is the duration the run command reports for the same job.
TEST_P(CliEstimate, EqualsTheRunsElapsedTime) {
    const std::string red = TempPath("estimate.red");
    ASSERT_EQ(Cli({"convert", kSample, red}).status, 0);
    std::vector<std::string> estimate{"estimate", red};
    std::vector<std::string> run{"run", red};
    for (const auto& w : GetParam()) {
        estimate.push_back(w);
        run.push_back(w);
    }
    const Result e = Cli(estimate);
    const Result r = Cli(run);
    ASSERT_EQ(e.status, 0) << e.err;
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Field(e.out, "duration_ns"), Field(r.out, "elapsed_ns")) << e.out << r.out;
    EXPECT_GT(Field(e.out, "duration_ns"), 0);
    EXPECT_EQ(Field(e.out, "statements"), Field(r.out, "statements"));
    EXPECT_NE(e.out.find("Extensão: X 0 a 400, Y 0 a 400 (unidades do arquivo)"), std::string::npos)
        << e.out;
}

INSTANTIATE_TEST_SUITE_P(
    Options, CliEstimate,
    ::testing::Values(std::vector<std::string>{},
                      std::vector<std::string>{"--speed", "3", "--divisor", "1"},
                      std::vector<std::string>{"--motors", "on", "--speed", "1"},
                      std::vector<std::string>{"--motors", "on", "--speed", "0", "--sim-start", "0,0,5",
                                               "--sim-ztop", "40"}));

// The extent counts the job's origin, where the tool starts; with the
// travel given, a drawing that leaves the work area (from X 0 Y 0) is
// warned about, and the estimate still runs.
TEST(CliEstimateExtent, CountsTheOriginAndWarnsBeyondTheTravel) {
    struct Row {
        const char* drawing;
        std::vector<std::string> options;
        const char* last;  // the end of the last line
        bool warns;
    };
    const Row rows[] = {
        {"PD;PA400,0;", {"--divisor", "1"}, "units=0,0,400,0 steps=0,0,400,0\n", false},
        {"PU;PA-40,80;", {"--divisor", "2"}, "units=-40,0,0,80 steps=-20,0,0,40\n", false},
        {"PD;PA400,0;", {"--divisor", "1", "--travel", "40,10", "--steps-per-mm", "10,10"},
         "units=0,0,400,0 steps=0,0,400,0\n", false},
        {"PD;PA401,0;", {"--divisor", "1", "--travel", "40,10", "--steps-per-mm", "10,10"},
         "units=0,0,401,0 steps=0,0,401,0\n", true},
        {"PU;PA-40,80;", {"--divisor", "2", "--travel", "100,100"}, "steps=-20,0,0,40\n", true},
    };
    for (const Row& row : rows) {
        std::vector<std::string> words{"estimate", Write("extent.red", row.drawing)};
        words.insert(words.end(), row.options.begin(), row.options.end());
        const Result r = Cli(words);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.out.ends_with(row.last)) << row.drawing << "\n" << r.out;
        EXPECT_EQ(r.err.find("sai da área de trabalho") != std::string::npos, row.warns)
            << row.drawing << "\n" << r.err;
    }
    EXPECT_EQ(Cli({"estimate", Write("e.red", "PD;"), "--travel", "40"}).status, 2);
    EXPECT_EQ(Cli({"estimate", Write("e.red", "PD;"), "--steps-per-mm", "0,3"}).status, 2);
}

}  // namespace
