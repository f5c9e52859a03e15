#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <ostream>
#include <string>

#include "importer/Drawing.h"
#include "importer/Gcode.h"
#include "tests/importer/PlotText.h"

namespace pm {
namespace {

using test::ReadPlot;

constexpr double kPerMm = 40;  // plot units

struct Case {
    const char* name;
    std::string in;
    std::string out;
    GcodeOptions options = {};
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class GcodeConverts : public ::testing::TestWithParam<Case> {};

TEST_P(GcodeConverts, ToThePlotForm) {
    const Case& c = GetParam();
    const DrawingResult r = ConvertGcode(c.in, c.options);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.text, c.out);
}

GcodeOptions Rule(PenRule p, double z = 0, double servo = 40) { return {p, z, servo}; }

INSTANTIATE_TEST_SUITE_P(
    Words, GcodeConverts,
    ::testing::Values(
        Case{"cam_style", "%\nO1000\nN10 G21 G90 G17\nN20 G0 Z5.\nN30 G0 X10 Y10\nN40 G1 Z-1 F100\n"
                          "N50 G1 X20\nN60 G0 Z5\nM30\n%\n",
             "PU400,400;PD800,400;PU;"},
        Case{"packed_and_spaced_words", "G0X1Y2Z1\nG1 X 24.9 Z-1\n", "PU40,80;PU518,80;PD996,80;"},
        Case{"modal_motion_without_g", "G0 Z1\nG1 Z-1\nX10\nY10\nG0 Z1\nX0\n",
             "PD400,0;PD400,400;PU0,400;"},
        Case{"comments_checksums_grbl", "$H\n?\nG0 Z1 (lift)\n;a comment G1 X99\nG1 Z-1*33\nX5 ; go\n",
             "PD200,0;"},
        Case{"incremental", "G91\nG0 Z1\nG0 X10 Y10\nG1 Z-2\nG1 X5\nX5 Y-5\n",
             "PU400,400;PD600,400;PD800,200;"},
        Case{"inches", "G20 G0 Z0.1\nG0 X1 Y1\nG1 Z-0.01\nX2\n", "PU1016,1016;PD2032,1016;"},
        Case{"g28_travels_home_lifted", "G0 Z1\nG1 Z-1\nG1 X10\nG28\nG1 X20\n", "PD400,0;PU0,0;PU800,0;"},
        Case{"g0_never_mills", "G0 Z-5\nG0 X10\nG1 X20\n", "PU400,0;PD800,0;"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    PenRules, GcodeConverts,
    ::testing::Values(
        // A ramp from Z 1 to Z -1 mills its second half only.
        Case{"z_split_at_crossing", "G0 Z1\nG1 X10 Z-1\nG1 X20 Z1\n", "PU200,0;PD400,0;PD600,0;PU800,0;"},
        Case{"z_threshold_option", "G0 Z1\nG1 X10 Z-1\nG1 X20 Z1\n", "PU300,0;PD400,0;PD500,0;PU800,0;",
             Rule(PenRule::Z, -0.5)},
        Case{"z_before_first_z_is_up", "G1 X10\nG1 Z-1\nG1 X20\n", "PU400,0;PD800,0;"},
        Case{"z_plunge_in_place", "G0 X1 Z1\nG1 Z-1\nG0 Z1\nX2\n", "PU40,0;PD;PU80,0;"},
        Case{"spindle_auto", "G0 X1\nM3 S1000\nG1 X2\nS0\nG1 X3\nS500\nG1 X4\nM5\nG1 X5\n",
             "PU40,0;PD80,0;PU120,0;PD160,0;PU200,0;"},
        Case{"spindle_g0_travels", "M4\nG1 X1\nG0 X2\nG1 X3\n", "PD40,0;PU80,0;PD120,0;"},
        Case{"servo_m300", "M300 S50\nG1 X1\nM300 S30\nG1 X2\nM300 S50\nG1 X3\n", "PU40,0;PD80,0;PU120,0;"},
        Case{"servo_m280_with_z_words", "M280 P0 S90\nG1 X1 Z5\nM280 P0 S10\nG1 X2 Z5\n", "PU40,0;PD80,0;"},
        Case{"servo_below_option", "M300 S50\nG1 X1\n", "PD40,0;", Rule(PenRule::Servo, 0, 60)},
        Case{"forced_spindle_ignores_z", "M3\nG0 Z5\nG1 X1\n", "PD40,0;", Rule(PenRule::Spindle)}),
    [](const auto& info) { return std::string(info.param.name); });

// Every chord end lies on the arc, no chord strays more than 0.01 mm from
// it, the turn goes the way asked, and the sweep is the one asked.
struct ArcCase {
    const char* name;
    std::string in;
    double cx, cy, r;  // mm
    double sweepDeg;   // signed: positive counterclockwise
};

void PrintTo(const ArcCase& c, std::ostream* os) { *os << c.name; }

class GcodeArcs : public ::testing::TestWithParam<ArcCase> {};

TEST_P(GcodeArcs, ChordsWithinTolerance) {
    const ArcCase& c = GetParam();
    const DrawingResult r = ConvertGcode("G0 Z1\n" + c.in);
    ASSERT_TRUE(r.ok) << r.error;
    const auto st = ReadPlot(r.text);
    ASSERT_GE(st.size(), 3u) << r.text;
    const double cx = c.cx * kPerMm, cy = c.cy * kPerMm, rad = c.r * kPerMm;
    double swept = 0;
    for (std::size_t k = 1; k < st.size(); ++k) {
        if (!st[k].down) continue;
        const auto& a = st[k - 1];
        const auto& b = st[k];
        EXPECT_NEAR(std::hypot(b.x - cx, b.y - cy), rad, 1e-5);
        const double mx = (a.x + b.x) / 2, my = (a.y + b.y) / 2;
        EXPECT_LE(rad - std::hypot(mx - cx, my - cy), 0.01 * kPerMm + 1e-6);
        double d = std::atan2(b.y - cy, b.x - cx) - std::atan2(a.y - cy, a.x - cx);
        if (d > std::numbers::pi) d -= 2 * std::numbers::pi;
        if (d < -std::numbers::pi) d += 2 * std::numbers::pi;
        EXPECT_EQ(d > 0, c.sweepDeg > 0);
        swept += d;
    }
    EXPECT_NEAR(swept * 180 / std::numbers::pi, c.sweepDeg, 1e-6);
}

INSTANTIATE_TEST_SUITE_P(
    Arcs, GcodeArcs,
    ::testing::Values(
        ArcCase{"g2_ij", "G0 X10 Y0\nG1 Z-1\nG2 X20 Y0 I5 J0\n", 15, 0, 5, -180},
        ArcCase{"g3_ij_quarter", "G0 X10 Y0\nG1 Z-1\nG3 X0 Y10 I-10 J0\n", 0, 0, 10, 90},
        ArcCase{"g2_full_circle", "G0 X30 Y0\nG1 Z-1\nG2 I-30 J0\n", 0, 0, 30, -360},
        ArcCase{"g3_full_circle_absolute_centre", "G90.1\nG0 X30 Y5\nG1 Z-1\nG3 X30 Y5 I20 J5\n", 20, 5, 10, 360},
        ArcCase{"g2_r_short", "G0 X5 Y0\nG1 Z-1\nG2 X15 Y10 R10\n", 15, 0, 10, -90},
        ArcCase{"g2_r_negative_long", "G0 X5 Y0\nG1 Z-1\nG2 X15 Y10 R-10\n", 5, 10, 10, -270},
        ArcCase{"g3_r_a_hair_short_half_circle", "G0 X5 Y0\nG1 Z-1\nG3 X15 Y0 R4.9995\n", 10, 0, 5, 180},
        ArcCase{"g3_incremental_inches", "G20 G91\nG0 X1\nG1 Z-1\nG3 X-1 Y1 I-1 J0\n", 0, 0, 25.4, 90}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ConvertGcode, SummaryCountsWordsAndListsUnknownOnes) {
    const DrawingResult r = ConvertGcode(
        "G21\nT1 M6\nS12000 M3\nG0 Z5 F600\nG4 P1\nG64 M8\nG1 Z-1 F100\nG1 X10 Q3\nG38.2 X1\nE5\nQ4\n");
    ASSERT_TRUE(r.ok) << r.error;
    const std::map<std::string, long long> dropped{{"F", 2}, {"G4", 1}, {"G64", 1}, {"M3", 1},
                                                   {"M6", 1}, {"M8", 1}, {"S", 1},  {"T", 1}};
    EXPECT_EQ(r.summary.dropped, dropped);
    const std::string text = DescribeSummary(r.summary);
    EXPECT_NE(text.find("Regra da ferramenta: z, fresa com Z em ou abaixo de 0 mm (escolhida pelo conteúdo)"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("Palavras desconhecidas, ignoradas: E5 na linha 10; G38.2 na linha 9; Q3 na linha 8; "
                        "Q4 na linha 11."),
              std::string::npos)
        << text;
}

TEST(ConvertGcode, OtherPlanesMoveStraightInXY) {
    const DrawingResult r = ConvertGcode("G0 Z1\nG18\nG1 Z-1\nG2 X10 Z-1 I5 K0\nG19 G3 Y5 Z-1 J2.5 K0\n");
    ASSERT_TRUE(r.ok) << r.error;
    for (const auto& s : ReadPlot(r.text)) {
        if (s.x < 400) {
            EXPECT_EQ(s.y, 0) << r.text;
        }
        if (s.y > 0) {
            EXPECT_EQ(s.x, 400) << r.text;
        }
    }
    EXPECT_NE(DescribeSummary(r.summary).find("2 arco(s) no plano XZ ou YZ"), std::string::npos);
}

TEST(ConvertGcode, RefusesWhatCannotBeGcodeOrDrawsNothing) {
    const struct {
        std::string in;
        const char* says;
    } cases[] = {
        {"IN;PU0,0;PD10,10;", "\"I\" sem número na linha 1"},
        {"G0 X1\nG1 X2, Y3\n", "nada a fresar pela regra spindle (nenhum movimento com a ferramenta abaixada). "
                              "Linha deixada de fora: linha 2: \"G1 X2, Y3\" não é G-code."},
        {"1\n#5=2\n", "caractere \"1\" na linha 1"},
        {"G0 X1 Y1\nG0 Z-5\n", "nada a fresar pela regra z"},
        {"(only a comment)\n%\n", "nada a fresar"},
        {"G0 Z1\nG1 Z-1\nG2 X10 Y0 R4\n", "R menor que metade da distância entre os pontos na linha 3"},
        {"G1 X--1\n", "\"X\" sem número"},
        {"G1 X99999999999\n", "Número fora do alcance na linha 1"},
    };
    for (const auto& c : cases) {
        const DrawingResult r = ConvertGcode(c.in);
        EXPECT_FALSE(r.ok) << c.in;
        EXPECT_TRUE(r.text.empty());
        EXPECT_NE(r.error.find(c.says), std::string::npos) << c.in << " -> " << r.error;
    }
}

// A line that is not G-code is left out and listed by its number; the rest
// is converted as if it were not there.
TEST(ConvertGcode, LeavesOutAndListsLinesThatAreNotGcode) {
    const struct {
        const char* name;
        std::string in;
        const char* listed;
    } cases[] = {
        {"a_lone_number_first", "1\nG0 X1 Y1\nG1 Z-1\nG1 X2\n", "Linha deixada de fora: linha 1: \"1\" não é G-code."},
        {"words_without_numbers_and_a_comma",
         "G0 X1 Y1\n  Hello world \nG1 Z-1\nG1 X2, Y3\nG1 X2\n",
         "Linhas deixadas de fora: linha 2: \"Hello world\" não é G-code; linha 4: \"G1 X2, Y3\" não é G-code."},
        {"nine_listed_as_eight_and_more",
         "=\n=\n=\n=\n=\nG0 X1 Y1\n=\n=\n=\n=\nG1 Z-1\nG1 X2\n",
         "linha 9: \"=\" não é G-code e mais 1."},
    };
    for (const auto& c : cases) {
        const DrawingResult r = ConvertGcode(c.in);
        ASSERT_TRUE(r.ok) << c.name << ": " << r.error;
        EXPECT_EQ(r.text, "PU40,40;PD80,40;") << c.name;
        const std::string text = DescribeSummary(r.summary);
        EXPECT_NE(text.find(c.listed), std::string::npos) << c.name << ":\n" << text;
    }
}

TEST(GcodeFiles, NamesAndContent) {
    EXPECT_TRUE(IsGcodeFileName("a/b.NGC"));
    EXPECT_TRUE(IsGcodeFileName("x.gcode"));
    EXPECT_TRUE(IsGcodeFileName("x.tap"));
    EXPECT_FALSE(IsGcodeFileName("x.plt"));
    EXPECT_TRUE(LooksLikeGcode("\xEF\xBB\xBF\n  G0 X1"));
    EXPECT_TRUE(LooksLikeGcode("%\nG0"));
    EXPECT_TRUE(LooksLikeGcode("(header)\nG0"));
    EXPECT_TRUE(LooksLikeGcode("N 10 G0"));
    EXPECT_FALSE(LooksLikeGcode("IN;PU0,0;"));
    EXPECT_FALSE(LooksLikeGcode("PA10,10;"));
    EXPECT_FALSE(LooksLikeGcode("<svg/>"));
}

// Content first, the name where the content does not tell.
TEST(DrawingKinds, ByContentAndName) {
    const struct {
        const char* name;
        const char* content;
        DrawingKind kind;
    } cases[] = {
        {"a.svg", "<svg/>", DrawingKind::Svg},
        {"a.txt", "\xEF\xBB\xBF\n<?xml version='1.0'?><svg/>", DrawingKind::Svg},
        {"a.plt", "G0 X1", DrawingKind::Gcode},
        {"a", "%\n(x)\nG1 X1", DrawingKind::Gcode},
        {"a.nc", "IN;PU0,0;", DrawingKind::Hpgl},
        {"a.red", "PU0,0;PD1,1;", DrawingKind::Plot},
        {"a.plt", "%PDF-1.4\n\x80", DrawingKind::Hpgl},
        {"a.gcode", "#1=5", DrawingKind::Gcode},
        {"a.svg", "", DrawingKind::Svg},
        {"a.dat", "\x01\x02", DrawingKind::Hpgl},
    };
    for (const auto& c : cases) EXPECT_EQ(DetectDrawing(c.name, c.content), c.kind) << c.name << ' ' << c.content;
    EXPECT_TRUE(IsDrawingFileName("x.SVG"));
    EXPECT_TRUE(IsDrawingFileName("x.tap"));
    EXPECT_TRUE(IsDrawingFileName("x.hpgl"));
    EXPECT_FALSE(IsDrawingFileName("x.red"));
    EXPECT_FALSE(IsDrawingFileName("svg/x"));
}

}  // namespace
}  // namespace pm
