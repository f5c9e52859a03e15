#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <ostream>
#include <random>
#include <regex>
#include <string>
#include <string_view>

#include "importer/Hpgl.h"

namespace pm {
namespace {

using namespace std::string_literals;

struct Case {
    const char* name;
    std::string in;
    std::string out;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Converts : public ::testing::TestWithParam<Case> {};

TEST_P(Converts, ToOneStatementPerPair) {
    const Case& c = GetParam();
    const HpglResult r = ConvertHpgl(c.in);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.text, c.out);
}

// The heads and pairs every plot file is made of.
INSTANTIATE_TEST_SUITE_P(
    Pairs, Converts,
    ::testing::Values(
        Case{"many_pairs_per_pd", "IN;SP1;PU0,0;PD400,0,400,400,0,400,0,0;PU;SP0;",
             "PU0,0;PD400,0;PD400,400;PD0,400;PD0,0;PU;"},
        Case{"instrument_style", "PU;PA100,200;PD;PA300,200;PU;", "PU100,200;PD300,200;PU;"},
        Case{"blank_separated", "PA 10 20;PD10 20 , 30\t40;", "PU10,20;PD10,20;PD30,40;"},
        Case{"pu_pairs_travel", "PU10,10,20,20;", "PU10,10;PU20,20;"},
        Case{"pa_keeps_pen", "PD;PA5,5;PU;PA6,6;", "PD5,5;PU6,6;"},
        Case{"relative", "PU10,10;PR;PD5,0,0,5;PA;PU0,0;", "PU10,10;PD15,10;PD15,15;PU0,0;"},
        Case{"relative_decimals_do_not_drift", "PR;PD0.1,0,0.1,0,0.1,0;", "PD0.1,0;PD0.2,0;PD0.3,0;"},
        Case{"decimals_shortest", "PU12.50,-3.;PD.25,+7;", "PU12.5,-3;PD0.25,7;"},
        Case{"minus_zero", "PU-0,-0.0;", "PU0,0;"},
        Case{"sign_separates", "PA10-20;", "PU10,-20;"},
        Case{"lower_case", "in;pu0,0;pd5,5;", "PU0,0;PD5,5;"},
        Case{"unpaired_number_dropped", "PU1,2,3;", "PU1,2;"},
        Case{"in_resets_mode_and_pen", "PR;PD;PA1,1;IN;PU5,5;", "PD1,1;PU5,5;"},
        Case{"plunge_at_end_kept", "PU10,10;PD;PU;", "PU10,10;PD;PU;"},
        Case{"plunge_in_place_kept", "PU10,10;PD;PU;PU20,20;", "PU10,10;PD;PU20,20;"},
        Case{"pen_down_first", "PD;PU;", "PD;PU;"},
        Case{"redundant_pen_commands", "PU;PU;PU1,1;PD;PD;PD2,2;", "PU1,1;PD2,2;"},
        Case{"own_form_unchanged", "PU0,0;PD100,0;PD100,50;PU;", "PU0,0;PD100,0;PD100,50;PU;"}),
    [](const auto& info) { return std::string(info.param.name); });

// Where statements end and what stands between them.
INSTANTIATE_TEST_SUITE_P(
    Endings, Converts,
    ::testing::Values(
        Case{"missing_semicolon", "INPU10,10PD20,20", "PU10,10;PD20,20;"},
        Case{"line_breaks_tabs", "PU0,0;\r\n\tPD5,5;\r\n", "PU0,0;PD5,5;"},
        Case{"nul_padding", "PU0,0;PD5,5;\0\0\0"s, "PU0,0;PD5,5;"},
        Case{"nul_between", "PU0,0;\0PD5,5;"s, "PU0,0;PD5,5;"},
        Case{"ctrl_z_at_end", "PU0,0;PD5,5;\x1a", "PU0,0;PD5,5;"},
        Case{"high_bytes_at_end", "PU0,0;PD5,5;\xff\xfe\x01", "PU0,0;PD5,5;"},
        Case{"pen_up_without_semicolon_at_end", "PU0,0;PD5,5;PU", "PU0,0;PD5,5;PU;"},
        Case{"number_cut_by_end", "PU0,0;PD5,5", "PU0,0;PD5,5;"},
        Case{"empty_statements", ";;PU1,1;;;", "PU1,1;"},
        Case{"only_reset", "IN;", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// Commands without effect on the path and text that must not be read as commands.
INSTANTIATE_TEST_SUITE_P(
    Skipped, Converts,
    ::testing::Values(
        Case{"pen_and_line_settings", "IN;SP2;LT;LT2,4;VS10;PU1,1;", "PU1,1;"},
        Case{"label_to_etx", "PU10,10;LBPD9,9;PU;\x03PD20,20;", "PU10,10;PD20,20;"},
        Case{"label_etx_then_semicolon", "LBtext\x03;PU1,1;", "PU1,1;"},
        Case{"label_terminator_set", "DT*;LBPD1,1;*PU1,1;", "PU1,1;"},
        Case{"label_terminator_letter_with_mode", "DTZ,1;LBPD9,9Z;PU2,2;", "PU2,2;"},
        Case{"label_terminator_reset", "DT*;DT;LB**\x03PU3,3;", "PU3,3;"},
        Case{"label_without_terminator", "PU1,1;LBno end", "PU1,1;"},
        Case{"quoted_string", "CO\"PD1,1;\";PU1,1;", "PU1,1;"},
        Case{"symbol_mode_letter", "SMA;PU1,1;SM;PU2,2;", "PU1,1;PU2,2;"}),
    [](const auto& info) { return std::string(info.param.name); });

// Circles and arcs become chords; scaling maps user units to plot units.
INSTANTIATE_TEST_SUITE_P(
    Geometry, Converts,
    ::testing::Values(
        Case{"circle_chord_90", "PU100,100;CI50,90;",
             "PU100,100;PU150,100;PD100,150;PD50,100;PD100,50;PD150,100;PU100,100;"},
        Case{"circle_negative_radius_starts_at_180", "PU0,0;CI-10,180;",
             "PU0,0;PU-10,0;PD10,0;PD-10,0;PU0,0;"},
        Case{"circle_with_pen_down_returns_down", "PU0,0;PD;CI10,180;PD5,0;",
             "PU0,0;PD;PU10,0;PD-10,0;PD10,0;PU0,0;PD5,0;"},
        Case{"arc_absolute", "PU100,0;PD;AA0,0,90,45;",
             "PU100,0;PD70.710678,70.710678;PD0,100;"},
        Case{"arc_relative_clockwise", "PU100,0;PD;AR-100,0,-90,90;", "PU100,0;PD0,-100;"},
        Case{"arc_pen_up_travels", "PU100,0;AA0,0,180,90;", "PU100,0;PU0,100;PU-100,0;"},
        Case{"arc_without_sweep_ignored", "PU1,1;AA0,0;PD2,2;", "PU1,1;PD2,2;"},
        Case{"scaled", "IP0,0,4000,4000;SC0,100,0,100;PU50,50;PD100,0;", "PU2000,2000;PD4000,0;"},
        Case{"scaled_relative", "IP0,0,1000,1000;SC0,10,0,10;PU1,1;PR;PD1,0;", "PU100,100;PD200,100;"},
        Case{"scaled_point_factor", "IP100,100,200,200;SC0,2,0,3,2;PU10,10;", "PU120,130;"},
        Case{"scaled_isotropic", "IP0,0,2000,1000;SC0,10,0,10,1;PU0,0;PU10,10;",
             "PU500,0;PU1500,1000;"},
        Case{"scaling_off", "IP0,0,10,10;SC0,1,0,1;PU1,1;SC;PU1,1;", "PU10,10;PU1,1;"},
        // Without IP the frame is the default one, P1 250,596 P2 10250,7796.
        Case{"scale_without_ip_default_frame", "SC0,10,0,10;PU0,0;PU5,5;PU10,10;",
             "PU250,596;PU5250,4196;PU10250,7796;"},
        Case{"two_scales_without_ip_share_the_frame", "SC0,100,0,100;PU100,100;SC0,200,0,200;PU100,100;",
             "PU10250,7796;PU5250,4196;"},
        // IP with P1 alone moves the default P2 along, 10000 by 7200 away.
        Case{"ip_p1_only_then_scale", "IP2400,400;SC0,1800000,0,1300000;PU0,0;PU1800000,1300000;",
             "PU2400,400;PU12400,7600;"},
        Case{"ip_without_parameters_back_to_default", "IP0,0,10,10;IP;SC0,10,0,10;PU10,10;", "PU10250,7796;"},
        Case{"pen_zero_travels", "SP1;PU0,0;PD10,0;SP0;PD20,0;SP1;PD30,0;SP;PD40,0;",
             "PU0,0;PD10,0;PU20,0;PD30,0;PU40,0;"},
        Case{"in_ends_scaling", "IP0,0,10,10;SC0,1,0,1;IN;PU1,1;", "PU1,1;"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertHpgl, DefaultChordIsFiveDegrees) {
    const HpglResult r = ConvertHpgl("PU0,0;CI10;");
    ASSERT_TRUE(r.ok);
    // the first move, to the circle, 72 chords, back to the centre
    EXPECT_EQ(r.summary.statements, 1 + 1 + 72 + 1);
}

TEST(ConvertHpgl, SummaryCountsDroppedAndExtent) {
    const HpglResult r =
        ConvertHpgl("IN;SP1;PU-5,10;PD400,0,400,400;LT;LBab\x03SP0;ER5,5;EA10,10;PU;");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.summary.statements, 4);  // three pairs and the final pen-up
    const std::map<std::string, long long> dropped{{"SP", 2}, {"LT", 1}, {"LB", 1}, {"ER", 1}, {"EA", 1}};
    EXPECT_EQ(r.summary.dropped, dropped);
    EXPECT_EQ(r.summary.droppedDrawing, 3);  // the label and the two rectangles
    EXPECT_FALSE(r.summary.extent.empty);
    EXPECT_EQ(r.summary.extent.minX, -5);
    EXPECT_EQ(r.summary.extent.maxX, 400);
    EXPECT_EQ(r.summary.extent.minY, 0);
    EXPECT_EQ(r.summary.extent.maxY, 400);
    const std::string text = DescribeSummary(r.summary);
    EXPECT_NE(text.find("Declarações escritas: 4"), std::string::npos) << text;
    EXPECT_NE(text.find("EA 1, ER 1, LB 1, LT 1, SP 2"), std::string::npos) << text;
    EXPECT_NE(text.find("X -5 a 400, Y 0 a 400"), std::string::npos) << text;
}

TEST(ConvertHpgl, NotesWhatItLeftOut) {
    const HpglResult r = ConvertHpgl("SC0,1,0,1;PU1,2,3;PD4\x1a\x1a");
    ASSERT_TRUE(r.ok) << r.error;
    ASSERT_EQ(r.summary.notes.size(), 3u);
    EXPECT_NE(r.summary.notes[0].find("quadro P1 250,596 P2 10250,7796, o quadro padrão"), std::string::npos)
        << r.summary.notes[0];
    EXPECT_NE(r.summary.notes[1].find("2 byte(s) ignorado(s)"), std::string::npos);
    EXPECT_NE(r.summary.notes[2].find("2 coordenada(s) sem par"), std::string::npos);
}

// The frame assumed for SC, in the summary, and the options' own frame.
TEST(ConvertHpgl, ScaleNamesTheFrameItUsed) {
    const struct {
        std::string in;
        HpglOptions options;
        const char* note;
        const char* text;
    } cases[] = {
        {"SC0,10,0,10;PU10,10;", {}, "P1 250,596 P2 10250,7796, o quadro padrão", "PU10250,7796;"},
        {"SC0,10,0,10;PU10,10;", {{0, 0, 16000, 11000}}, "P1 0,0 P2 16000,11000, o quadro padrão",
         "PU16000,11000;"},
        {"IP100,100;SC0,10,0,10;PU0,0;", {}, "P1 100,100 P2 10100,7300 (IP só com P1", "PU100,100;"},
        {"IP0,0,400.5,300;SC0,1,0,1;PU1,1;", {}, "P1 0,0 P2 400.5,300, dado por IP", "PU400.5,300;"},
    };
    for (const auto& c : cases) {
        const HpglResult r = ConvertHpgl(c.in, c.options);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(r.text, c.text) << c.in;
        ASSERT_EQ(r.summary.notes.size(), 1u) << c.in;
        EXPECT_NE(r.summary.notes[0].find(c.note), std::string::npos) << r.summary.notes[0];
    }
}

// What draws nothing is no loss; a label without end and a pen-less drawing are.
TEST(ConvertHpgl, SummarySaysWhatDrewNothing) {
    const HpglResult r = ConvertHpgl("IN;SP1;PS4;PU0,0;PD5,5;SP0;PD9,9,10,10;\nPU;\nLBno end\nPU3,3;");
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.text, "PU0,0;PD5,5;PU9,9;PU10,10;");
    EXPECT_EQ(r.summary.droppedDrawing, 1);  // the label, not PS
    const std::string text = DescribeSummary(r.summary);
    EXPECT_NE(text.find("2 segmento(s) com a caneta 0"), std::string::npos) << text;
    EXPECT_NE(text.find("o texto de LB na linha 3 vai até o fim do arquivo"), std::string::npos) << text;
}

struct Refusal {
    const char* name;
    std::string in;
    const char* says;
};

void PrintTo(const Refusal& c, std::ostream* os) { *os << c.name; }

class Refuses : public ::testing::TestWithParam<Refusal> {};

TEST_P(Refuses, WholeFileWithAReason) {
    const Refusal& c = GetParam();
    const HpglResult r = ConvertHpgl(c.in);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.text.empty());
    EXPECT_NE(r.error.find(c.says), std::string::npos) << r.error;
}

INSTANTIATE_TEST_SUITE_P(
    NotHpgl, Refuses,
    ::testing::Values(
        Refusal{"printer_job", "\x1b%-12345X@PJL JOB\r\n@PJL ENTER LANGUAGE=HPGL2\r\nIN;PU0,0;", "@PJL"},
        Refusal{"pcl_escape", "\x1b%0BIN;PU0,0;PD1,1;", "ESC) na posição 1"},
        Refusal{"escape_late", "IN;PU0,0;\x1b.(PD1,1;", "posição 10"},
        Refusal{"encoded_polyline", "IN;PU0,0;PE<=5?;PD1,1;", "PE, posição 10"},
        Refusal{"pdf", "%PDF-1.4\n1 0 obj", "caractere inesperado 0x25 na posição 1"},
        Refusal{"exponent", "PU1e999,0;", "caractere inesperado"},
        Refusal{"binary_in_middle", "PU0,0;\x01PD1,1;", "0x01 na posição 7"},
        Refusal{"plain_text", "hello", "caractere inesperado"},
        Refusal{"empty", "", "não contém comandos HPGL"},
        Refusal{"no_path_commands", "SP1;LT;", "não contém comandos HPGL"},
        Refusal{"number_too_long", "PU" + std::string(400, '9') + ",0;", "Número fora do alcance"},
        Refusal{"out_of_range", "PU2000000000,0;", "Coordenada fora do alcance"},
        Refusal{"scaled_out_of_range", "IP0,0,1000000000,1000;SC0,1,0,1;PU5,0;",
                "Coordenada fora do alcance"}),
    [](const auto& info) { return std::string(info.param.name); });

// Whatever bytes come in, the converter either refuses the file or writes
// nothing but well-formed statements.
TEST(ConvertHpgl, AnyBytesGiveWellFormedStatementsOrARefusal) {
    // One statement at a time: std::regex recurses once a character, and a
    // whole drawing's text would overflow the stack.
    const std::regex statement(R"(P[UD](-?[0-9]+(\.[0-9]+)?,-?[0-9]+(\.[0-9]+)?)?;)");
    const std::vector<std::string> tokens = {
        "PU", "PD", "PA", "PR", "pd", "CI", "AA", "AR", "LB", "DT", "IN", "SP", "SC", "IP", "DF",
        "0", "12", "-7", "3.5", "+.25", "99999", ",", ",", " ", ";", ";", "\r\n", "\t", "\x03",
        "\"", "*", "\0"s, "\x1a", "-", "."};
    std::mt19937 rng(20240611);
    std::uniform_int_distribution<std::size_t> pick(0, tokens.size() - 1);
    int converted = 0;
    for (int n = 0; n < 3000; ++n) {
        std::string in;
        const auto len = std::uniform_int_distribution<int>(0, 40)(rng);
        for (int k = 0; k < len; ++k) in += tokens[pick(rng)];
        const HpglResult r = ConvertHpgl(in);
        if (!r.ok) {
            EXPECT_FALSE(r.error.empty());
            continue;
        }
        ++converted;
        EXPECT_TRUE(r.text.empty() || r.text.back() == ';') << r.text;
        for (std::size_t b = 0, e = 0; b < r.text.size(); b = e + 1) {
            e = std::min(r.text.find(';', b), r.text.size() - 1);
            EXPECT_TRUE(std::regex_match(r.text.substr(b, e - b + 1), statement)) << r.text;
        }
    }
    EXPECT_GT(converted, 300);  // the rest are refused: odd bytes mid-file, nothing to draw
}

TEST(PlotNumbers, ShortestDecimalWithoutExponent) {
    EXPECT_EQ(FormatPlotNumber(400), "400");
    EXPECT_EQ(FormatPlotNumber(-0.0), "0");
    EXPECT_EQ(FormatPlotNumber(0.000001), "0.000001");
    EXPECT_EQ(FormatPlotNumber(1073741824), "1073741824");
    EXPECT_EQ(FormatPlotNumber(-70.710678), "-70.710678");
}

TEST(PlotNumbers, RoundedForAPerson) {
    EXPECT_EQ(FormatHumanNumber(8000.000000000001), "8000");
    EXPECT_EQ(FormatHumanNumber(1000.0000000000001), "1000");
    EXPECT_EQ(FormatHumanNumber(-0.0004), "0");
    EXPECT_EQ(FormatHumanNumber(70.710678), "70.711");
    EXPECT_EQ(FormatHumanNumber(-2.5), "-2.5");
    EXPECT_EQ(FormatHumanNumber(1073741824), "1073741824");
}

TEST(FileNames, HpglExtensionsAndPlotFileBeside) {
    EXPECT_TRUE(IsHpglFileName("/home/a/desenho.plt"));
    EXPECT_TRUE(IsHpglFileName("C:\\x\\D.HPGL"));
    EXPECT_TRUE(IsHpglFileName("a.Hpg"));
    EXPECT_FALSE(IsHpglFileName("a.red"));
    EXPECT_FALSE(IsHpglFileName("dir.plt/file"));
    EXPECT_EQ(PlotFileNameFor("/home/a/desenho.plt"), "/home/a/desenho.red");
    EXPECT_EQ(PlotFileNameFor("/home/a.b/desenho"), "/home/a.b/desenho.red");
}

}  // namespace
}  // namespace pm
