// portmill-cli convert and estimate, run as a user runs them.
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/CliRun.h"

namespace {

using Result = pm::test::CliResult;
using pm::test::Slurp;

std::string TempPath(const std::string& name) {
    return pm::test::TempFilePath("pm_importer_cli", name);
}

std::string Write(const std::string& name, const std::string& text) {
    return pm::test::WriteFile(TempPath(name), text);
}

Result Cli(const std::vector<std::string>& words) {
    return pm::test::RunCli(PM_CLI, words, TempPath("stderr.txt"));
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

// --optimize: the same sample in the shortest tool-up order, and the
// summary says what it saved.
TEST(CliConvert, OptimizeShortensTheToolUpPath) {
    const std::string out = TempPath("desenho-otimizado.red");
    const Result r = Cli({"convert", kSample, out, "--optimize"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Percurso otimizado: deslocamento com a ferramenta levantada de 25 mm para 9.8 mm; "
                         "levantamentos de 5 para 5."),
              std::string::npos)
        << r.out;
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
        Failure{"convert_option", {"convert", kSample, TempPath("x.red"), "--speed", "3"}, 2,
                "não conhece a opção --speed"},
        Failure{"convert_bad_pen", {"convert", kSample, TempPath("x.red"), "--pen", "laser"}, 2, "--pen espera"},
        Failure{"convert_bad_frame", {"convert", kSample, TempPath("x.red"), "--frame", "1,2,3"}, 2,
                "--frame espera"},
        Failure{"convert_malformed_svg", {"convert", Write("m.svg", "<svg><g></svg>"), TempPath("x.red")}, 1,
                "não é XML bem-formado"},
        Failure{"convert_bad_gcode", {"convert", Write("t.nc", "(nothing but a comment)\nG1 X2 #3\n"), TempPath("x.red")}, 1,
                "não é G-code: caractere \"#\" na linha 2"},
        Failure{"convert_gcode_nothing_to_mill", {"convert", Write("b.ngc", "G0 Z1\nG0 X1\nG1 Z0.5\nG1 X2\n"),
                TempPath("x.red")}, 1, "nada a fresar pela regra z"},
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

// convert reads the content first, the name where the content does not
// tell, and passes the options to the converter they belong to.
TEST(CliConvert, PicksTheConverterByContentAndName) {
    const std::string gcode = "G0 Z1\nG0 X1\nG1 Z-1\nG1 X2\nG0 Z1\n";
    const std::string svg =
        "<svg xmlns='http://www.w3.org/2000/svg' width='10mm' height='10mm' viewBox='0 0 10 10'>"
        "<line x1='0' y1='10' x2='1' y2='10' stroke='#000'/></svg>";
    const struct {
        const char* name;
        std::string file;
        std::vector<std::string> options;
        const char* red;
        const char* says;
    } cases[] = {
        {"gcode_by_name", Write("a.nc", gcode), {}, "PU40,0;PD80,0;PU;", "Regra da ferramenta: z"},
        {"gcode_by_content", Write("a.txt", gcode), {}, "PU40,0;PD80,0;PU;", "Regra da ferramenta: z"},
        {"gcode_threshold", Write("b.ngc", "G0 Z1\nG0 X1\nG1 Z0.5\nG1 X2\n"), {"--z-threshold", "1"},
         "PU40,0;PD80,0;", "abaixo de 1 mm"},
        {"gcode_spindle", Write("c.gcode", "M3 S100\nG1 X1\n"), {"--pen", "spindle"}, "PD40,0;",
         "Regra da ferramenta: spindle, fresa em G1/G2/G3"},
        {"svg_by_name", Write("d.svg", svg), {}, "PU0,0;PD40,0;PU;", "Página de 10 x 10 mm"},
        {"svg_by_content", Write("d.xml", svg), {}, "PU0,0;PD40,0;PU;", "Página de 10 x 10 mm"},
        {"hpgl_frame", Write("e.plt", "SC0,1,0,1;PU1,1;"), {"--frame", "0,0,4000,2000"}, "PU4000,2000;",
         "quadro P1 0,0 P2 4000,2000"},
    };
    for (const auto& c : cases) {
        const std::string out = TempPath(std::string(c.name) + ".red");
        std::vector<std::string> words{"convert", c.file, out};
        words.insert(words.end(), c.options.begin(), c.options.end());
        const Result r = Cli(words);
        ASSERT_EQ(r.status, 0) << c.name << ": " << r.err;
        EXPECT_EQ(Slurp(out), c.red) << c.name;
        EXPECT_NE(r.out.find(c.says), std::string::npos) << c.name << ": " << r.out;
    }
}

// A drawing given to estimate or run is read as plot statements, which it is
// not: both say to convert it first.
TEST(CliConvert, EstimateAndRunSayToConvertADrawingFirst) {
    const std::string nc = Write("peca.nc", "G0 X1\nG1 X2\n");
    const std::string svg = Write("placa.svg", "<svg/>");
    for (const char* command : {"estimate", "run"}) {
        for (const std::string& file : {nc, svg}) {
            const Result r = Cli({command, file});
            EXPECT_NE(r.err.find("converta-o antes com portmill-cli convert"), std::string::npos)
                << command << ' ' << file << ": " << r.err;
        }
    }
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
                                               "--sim-ztop", "40"},
                      std::vector<std::string>{"--motors", "on", "--speed", "4", "--accel", "25000",
                                               "--start-rate", "300", "--travel-speed", "1"}));

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
