// SVG drawings as the converter reads them through QtSvg, and one milled on
// the simulated router.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <numbers>
#include <ostream>
#include <string>
#include <vector>

#include "importer_svg/Svg.h"
#include "tests/importer/JobRun.h"
#include "tests/importer/PlotText.h"

namespace pm {
namespace {

using test::ReadPlot;

constexpr double kPerMm = 40;

struct Pt {
    double x, y;
};
constexpr double kTolMm = 0.01;

// A drawing on a page of W x H mm whose user unit is a millimetre.
std::string Page(const std::string& body, int w = 100, int h = 100) {
    const std::string ws = std::to_string(w), hs = std::to_string(h);
    return "<?xml version='1.0'?>\n<svg xmlns='http://www.w3.org/2000/svg' "
           "xmlns:xlink='http://www.w3.org/1999/xlink' width='" +
           ws + "mm' height='" + hs + "mm' viewBox='0 0 " + ws + " " + hs + "'>" + body + "</svg>";
}

struct Case {
    const char* name;
    std::string svg;
    std::string out;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class SvgConverts : public ::testing::TestWithParam<Case> {};

TEST_P(SvgConverts, ToThePlotForm) {
    const Case& c = GetParam();
    const DrawingResult r = ConvertSvg(c.svg);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.text, c.out);
}

// A line 10 user units long from the top left corner, on pages sized every
// way an SVG can size them: the lower left corner is the origin, Y up.
INSTANTIATE_TEST_SUITE_P(
    Units, SvgConverts,
    ::testing::Values(
        Case{"mm_with_viewbox", Page("<line x1='0' y1='0' x2='10' y2='0' stroke='#000'/>", 100, 50),
             "PU0,2000;PD400,2000;PU;"},
        Case{"viewbox_scales_and_shifts",
             "<svg xmlns='http://www.w3.org/2000/svg' width='20mm' height='10mm' viewBox='5 5 10 5'>"
             "<line x1='5' y1='10' x2='15' y2='5' stroke='#000'/></svg>",
             "PU0,0;PD800,400;PU;"},
        Case{"cm", "<svg xmlns='http://www.w3.org/2000/svg' width='2cm' height='1cm' viewBox='0 0 20 10'>"
                   "<line x1='0' y1='10' x2='10' y2='10' stroke='#000'/></svg>",
             "PU0,0;PD400,0;PU;"},
        Case{"inches", "<svg xmlns='http://www.w3.org/2000/svg' width='1in' height='1in' viewBox='0 0 10 10'>"
                       "<line x1='0' y1='10' x2='10' y2='10' stroke='#000'/></svg>",
             "PU0,0;PD1016,0;PU;"},
        Case{"points", "<svg xmlns='http://www.w3.org/2000/svg' width='72pt' height='72pt' viewBox='0 0 10 10'>"
                       "<line x1='0' y1='10' x2='10' y2='10' stroke='#000'/></svg>",
             "PU0,0;PD1016,0;PU;"},
        // Without a viewBox user units are px, 96 an inch, whatever the page's unit.
        Case{"px_without_viewbox", "<svg xmlns='http://www.w3.org/2000/svg' width='192' height='96'>"
                                   "<line x1='0' y1='96' x2='96' y2='96' stroke='#000'/></svg>",
             "PU0,0;PD1016,0;PU;"},
        Case{"mm_page_px_units", "<svg xmlns='http://www.w3.org/2000/svg' width='25.4mm' height='25.4mm'>"
                                 "<line x1='0' y1='96' x2='48' y2='96' stroke='#000'/></svg>",
             "PU0,0;PD508,0;PU;"},
        // A viewBox of another shape than the page is centred on it, whole,
        // unless preserveAspectRatio says otherwise.
        Case{"viewbox_centred_on_a_wider_page",
             "<svg xmlns='http://www.w3.org/2000/svg' width='40mm' height='10mm' viewBox='0 0 10 10'>"
             "<line x1='0' y1='10' x2='10' y2='0' stroke='#000'/></svg>",
             "PU600,0;PD1000,400;PU;"},
        Case{"viewbox_aligned_left", "<svg xmlns='http://www.w3.org/2000/svg' width='40mm' height='10mm' "
                                     "viewBox='0 0 10 10' preserveAspectRatio='xMinYMax meet'>"
                                     "<line x1='0' y1='10' x2='10' y2='0' stroke='#000'/></svg>",
             "PU0,0;PD400,400;PU;"},
        Case{"viewbox_stretched", "<svg xmlns='http://www.w3.org/2000/svg' width='40mm' height='10mm' "
                                  "viewBox='0 0 10 10' preserveAspectRatio='none'>"
                                  "<line x1='0' y1='10' x2='10' y2='0' stroke='#000'/></svg>",
             "PU0,0;PD1600,400;PU;"},
        Case{"viewbox_only_is_px", "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 96 96'>"
                                   "<line x1='0' y1='96' x2='96' y2='96' stroke='#000'/></svg>",
             "PU0,0;PD1016,0;PU;"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Structure, SvgConverts,
    ::testing::Values(
        Case{"nested_transforms",
             Page("<g transform='translate(10,90)'><g transform='scale(2) rotate(-90)'>"
                  "<line x1='0' y1='0' x2='5' y2='0' stroke='#000'/></g></g>"),
             "PU400,400;PD400,800;PU;"},
        Case{"use_css_class_and_style",
             Page("<style>.cut{stroke:black;fill:none}</style><defs><path id='p' d='M0,0 H10'/></defs>"
                  "<use xlink:href='#p' class='cut' x='10' y='90'/><path d='M0,100 V90' style='stroke:red'/>"),
             "PU400,400;PD800,400;PU0,0;PD0,400;PU;"},
        Case{"filled_not_stroked_followed_on_outline", Page("<rect x='0' y='90' width='10' height='10' fill='red'/>"),
             "PU0,400;PD400,400;PD400,0;PD0,0;PD0,400;PU;"},
        Case{"polyline_open_polygon_closed",
             Page("<polyline points='0,100 10,100 10,90' stroke='#000' fill='none'/>"
                  "<polygon points='20,100 30,100 30,90' stroke='#000' fill='none'/>"),
             "PU0,0;PD400,0;PD400,400;PU800,0;PD1200,0;PD1200,400;PD800,0;PU;"},
        Case{"hidden_and_unpainted_are_not_drawn",
             Page("<line x1='0' y1='0' x2='9' y2='9' stroke='#000' style='display:none'/>"
                  "<g display='none'><line x1='0' y1='0' x2='8' y2='8' stroke='#000'/></g>"
                  "<line x1='0' y1='0' x2='7' y2='7' stroke='#000' visibility='hidden'/>"
                  "<line x1='0' y1='0' x2='6' y2='6' stroke='none'/>"
                  "<clipPath id='c'><rect width='1' height='1'/></clipPath>"
                  "<text x='0' y='50'>texto</text>"
                  "<line x1='0' y1='100' x2='1' y2='100' stroke='#000' clip-path='url(#c)'/>"),
             "PU0,0;PD40,0;PU;"}),
    [](const auto& info) { return std::string(info.param.name); });

// Distance from a point to the nearest chord of a plot's milled lines.
double DistanceToPath(const std::vector<test::Statement>& st, double x, double y) {
    double best = 1e300;
    for (std::size_t k = 1; k < st.size(); ++k) {
        if (!st[k].down) continue;
        const double ax = st[k - 1].x, ay = st[k - 1].y, bx = st[k].x, by = st[k].y;
        const double dx = bx - ax, dy = by - ay;
        const double len2 = dx * dx + dy * dy;
        const double t = len2 == 0 ? 0 : std::clamp(((x - ax) * dx + (y - ay) * dy) / len2, 0.0, 1.0);
        best = std::min(best, std::hypot(ax + t * dx - x, ay + t * dy - y));
    }
    return best;
}

// Every point of the true curve lies within 0.01 mm of the chords, and every
// chord end on the curve. QtSvg hands arcs over as quarter-circle Bezier
// pieces, themselves off the arc by up to 0.027 % of the radius.
TEST(ConvertSvg, CurvesWithinATolerance) {
    const struct {
        const char* name;
        std::string body;
        std::function<Pt(double)> curve;  // t in 0..1, page mm, Y down
        double slackMm;
    } cases[] = {
        {"cubic", "<path d='M10,50 C10,0 90,0 90,50' stroke='#000' fill='none'/>",
         [](double t) {
             const double u = 1 - t;
             return Pt(u * u * u * 10 + 3 * u * u * t * 10 + 3 * u * t * t * 90 + t * t * t * 90,
                            u * u * u * 50 + 3 * u * u * t * 0 + 3 * u * t * t * 0 + t * t * t * 50);
         },
         0},
        {"quadratic", "<path d='M0,80 Q50,0 100,80' stroke='#000' fill='none'/>",
         [](double t) {
             const double u = 1 - t;
             return Pt(2 * u * t * 50 + t * t * 100, u * u * 80 + 2 * u * t * 0 + t * t * 80);
         },
         0},
        {"circle_big", "<circle cx='50' cy='50' r='45' stroke='#000' fill='none'/>",
         [](double t) {
             return Pt(50 + 45 * std::cos(2 * std::numbers::pi * t), 50 + 45 * std::sin(2 * std::numbers::pi * t));
         },
         0},
        {"ellipse_rotated", "<ellipse transform='rotate(30,50,50)' cx='50' cy='50' rx='40' ry='10' stroke='#000'/>",
         [](double t) {
             const double a = 2 * std::numbers::pi * t, c = std::cos(std::numbers::pi / 6), s = std::sin(std::numbers::pi / 6);
             const double x = 40 * std::cos(a), y = 10 * std::sin(a);
             return Pt(50 + c * x - s * y, 50 + s * x + c * y);
         },
         0},
        {"elliptical_arc_both_ways",
         "<path d='M30,50 A20,20 0 0 1 70,50 A20,20 0 0 1 30,50' stroke='#000' fill='none'/>",
         [](double t) {
             return Pt(50 - 20 * std::cos(2 * std::numbers::pi * t), 50 - 20 * std::sin(2 * std::numbers::pi * t));
         },
         20 * 2.7e-4},
    };
    for (const auto& c : cases) {
        const DrawingResult r = ConvertSvg(Page(c.body));
        ASSERT_TRUE(r.ok) << c.name << ": " << r.error;
        const auto st = ReadPlot(r.text);
        ASSERT_GT(st.size(), 20u) << c.name;
        double worst = 0;
        for (int k = 0; k <= 4000; ++k) {
            const Pt p = c.curve(k / 4000.0);
            worst = std::max(worst, DistanceToPath(st, p.x * kPerMm, (100 - p.y) * kPerMm));
        }
        EXPECT_LE(worst, (kTolMm + c.slackMm) * kPerMm + 1e-6) << c.name;
        EXPECT_GT(worst, 0.001 * kPerMm) << c.name << ": no more chords than needed";
    }
}

TEST(ConvertSvg, SummaryNamesThePageAndWhatWasNotDrawn) {
    const DrawingResult r = ConvertSvg(Page(
        "<text x='1' y='1'>a</text><g><text x='1' y='5'><tspan>b</tspan></text></g>"
        "<circle cx='50' cy='50' r='10' fill='black'/>", 210, 297));
    ASSERT_TRUE(r.ok) << r.error;
    const std::string text = DescribeSummary(r.summary);
    EXPECT_NE(text.find("Página de 210 x 297 mm, origem no canto inferior esquerdo; 1 contorno(s) seguido(s)."),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("2 texto(s) não desenhado(s)"), std::string::npos) << text;
}

// Hidden as a browser hides it, in the shapes drawing programs write their
// files: what is hidden is not milled and is counted; what is only
// transparent is milled and said so.
TEST(ConvertSvg, WhatTheDrawingProgramHidIsNotMilled) {
    const std::string ai =
        "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n"
        "<!-- Generator: Adobe Illustrator 27.0.0, SVG Export Plug-In . SVG Version: 6.00 Build 0)  -->\n"
        "<svg version=\"1.1\" id=\"Layer_1\" xmlns=\"http://www.w3.org/2000/svg\" "
        "xmlns:xlink=\"http://www.w3.org/1999/xlink\" x=\"0px\" y=\"0px\"\n\t viewBox=\"0 0 100 100\" "
        "style=\"enable-background:new 0 0 100 100;\" xml:space=\"preserve\">\n"
        "<style type=\"text/css\">\n\t.st0{fill:none;stroke:#000000;stroke-miterlimit:10;}\n"
        "\t.st1{display:none;}\n\t.st2{display:inline;fill:none;stroke:#000000;stroke-miterlimit:10;}\n"
        "</style>\n<g id=\"Corte\">\n\t<line class=\"st0\" x1=\"0\" y1=\"100\" x2=\"10\" y2=\"100\"/>\n</g>\n"
        "<g id=\"Guias\" class=\"st1\">\n\t<line class=\"st2\" x1=\"0\" y1=\"50\" x2=\"50\" y2=\"50\"/>\n"
        "\t<g class=\"st2\"><rect x=\"10\" y=\"10\" class=\"st2\" width=\"20\" height=\"20\"/></g>\n</g>\n</svg>\n";
    const std::string inkscape =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"no\"?>\n<svg width=\"100mm\" height=\"100mm\" "
        "viewBox=\"0 0 100 100\" version=\"1.1\" id=\"svg1\" "
        "xmlns:inkscape=\"http://www.inkscape.org/namespaces/inkscape\" "
        "xmlns:sodipodi=\"http://sodipodi.sourceforge.net/DTD/sodipodi-0.dtd\" "
        "xmlns=\"http://www.w3.org/2000/svg\" xmlns:svg=\"http://www.w3.org/2000/svg\">\n"
        "  <sodipodi:namedview id=\"namedview1\" pagecolor=\"#ffffff\" inkscape:document-units=\"mm\" />\n"
        "  <defs id=\"defs1\" />\n"
        "  <g inkscape:label=\"Camada 1\" inkscape:groupmode=\"layer\" id=\"layer1\">\n"
        "    <path style=\"fill:none;stroke:#000000;stroke-width:0.264583\" d=\"M 0,100 H 10\" id=\"path1\" />\n"
        "    <path style=\"display:none;fill:none;stroke:#000000;stroke-width:0.264583\" class=\"guia\" "
        "d=\"M 0,90 H 30\" id=\"path2\" />\n  </g>\n"
        "  <g inkscape:groupmode=\"layer\" id=\"layer2\" inkscape:label=\"Esboço\" style=\"display:none\">\n"
        "    <path style=\"display:inline;fill:none;stroke:#000000\" d=\"M 0,80 H 40\" id=\"path3\" />\n"
        "    <circle style=\"fill:#000000\" cx=\"50\" cy=\"50\" r=\"5\" id=\"path4\" />\n  </g>\n</svg>\n";
    const struct {
        const char* name;
        std::string svg;
        const char* out;
        long long hidden, invisible;
    } cases[] = {
        {"illustrator_hidden_layer_by_css_class", ai, "PU0,0;PD105.833333,0;PU;", 2, 0},
        {"inkscape_hidden_layer_and_hidden_path", inkscape, "PU0,0;PD400,0;PU;", 3, 0},
        {"hidden_path_inside_a_shown_group",
         Page("<g stroke='#000'><line x1='0' y1='100' x2='10' y2='100' visibility='hidden'/>"
              "<line x1='0' y1='90' x2='10' y2='90'/></g>"),
         "PU0,400;PD400,400;PU;", 1, 0},
        {"shown_path_inside_a_hidden_group",
         Page("<g style='visibility:hidden' stroke='#000'><line x1='0' y1='100' x2='10' y2='100'/>"
              "<g><line x1='0' y1='90' x2='10' y2='90' style='visibility:visible'/></g>"
              "<line x1='0' y1='80' x2='10' y2='80' visibility='collapse'/></g>"),
         "PU0,400;PD400,400;PU;", 2, 0},
        {"hidden_by_a_style_sheet_class_but_one_child",
         Page("<style>.oculto{visibility:hidden}</style><g class='oculto' stroke='#000'>"
              "<line x1='0' y1='90' x2='10' y2='90'/><line x1='0' y1='100' x2='10' y2='100' style='visibility:visible'/></g>"),
         "PU0,0;PD400,0;PU;", 1, 0},
        {"display_none_wins_over_a_visible_child",
         Page("<style>#off{display:none}</style><g id='off'><line x1='0' y1='90' x2='10' y2='90' "
              "stroke='#000' visibility='visible' display='inline'/></g>"
              "<line x1='0' y1='100' x2='10' y2='100' stroke='#000'/>"),
         "PU0,0;PD400,0;PU;", 1, 0},
        {"transparent_is_milled",
         Page("<line x1='0' y1='100' x2='10' y2='100' stroke='#000' opacity='0'/>"
              "<g style='opacity:0'><line x1='0' y1='90' x2='10' y2='90' stroke='#000'/></g>"),
         "PU0,0;PD400,0;PU0,400;PD400,400;PU;", 0, 2},
    };
    for (const auto& c : cases) {
        const DrawingResult r = ConvertSvg(c.svg);
        ASSERT_TRUE(r.ok) << c.name << ": " << r.error;
        EXPECT_EQ(r.text, c.out) << c.name;
        const std::string text = DescribeSummary(r.summary);
        const std::string hidden = std::to_string(c.hidden) + " elementos ocultos não foram convertidos.";
        const std::string invisible = std::to_string(c.invisible) + " elementos invisíveis (opacidade 0)";
        EXPECT_EQ(c.hidden > 1, text.find(hidden) != std::string::npos) << c.name << ":\n" << text;
        EXPECT_EQ(c.hidden == 1, text.find("1 elemento oculto não foi convertido.") != std::string::npos)
            << c.name << ":\n" << text;
        EXPECT_EQ(c.invisible > 1, text.find(invisible) != std::string::npos) << c.name << ":\n" << text;
    }
}

TEST(ConvertSvg, RefusesWhatIsNotAWellFormedDrawing) {
    const struct {
        std::string in;
        const char* says;
    } cases[] = {
        {"<svg xmlns='http://www.w3.org/2000/svg'><g></svg>", "não é XML bem-formado"},
        {"<svg xmlns='http://www.w3.org/2000/svg' width='10' height='10'><line x1='0' x2='1' stroke='#000'/>",
         "não é XML bem-formado"},
        {"<?xml version='1.0'?>", "não é XML bem-formado"},
        {"<html><body/></html>", "o elemento raiz é <html>"},
        {Page("<text x='1' y='1'>only words</text>"), "não tem nada a desenhar"},
        {Page("<rect width='10' height='10' fill='none' stroke='none'/>"), "não tem nada a desenhar"},
    };
    for (const auto& c : cases) {
        const DrawingResult r = ConvertSvg(c.in);
        EXPECT_FALSE(r.ok) << c.in;
        EXPECT_NE(r.error.find(c.says), std::string::npos) << c.in << " -> " << r.error;
    }
}

// A converted SVG milled on the simulated router visits its points in order
// and loses no step.
TEST(ConvertSvg, RoundTripOnTheSimulatedRouter) {
    const DrawingResult conv = ConvertSvg(Page(
        "<rect x='1' y='89' width='10' height='10' fill='none' stroke='#000'/>"
        "<circle cx='30' cy='90' r='5' fill='#000'/><path d='M40,99 L45,89 L50,99' stroke='#000' fill='none'/>"));
    ASSERT_TRUE(conv.ok) << conv.error;
    const test::JobRun run = test::RunTheJob(test::WriteTemp("svg.red", conv.text));
    const auto points = test::PlotterPoints(conv.text);
    EXPECT_EQ(run.visits, points);
    const std::vector<test::Visit> corners = {{false, 40, 440}, {true, 440, 440}, {true, 440, 40},
                                                 {true, 40, 40},   {true, 40, 440},  {false, 1600, 40},
                                                 {true, 1800, 440}, {true, 2000, 40}};
    std::size_t next = 0;
    for (const auto& v : run.visits)
        if (next < corners.size() && v == corners[next]) ++next;
    EXPECT_EQ(next, corners.size()) << conv.text;
    EXPECT_EQ(run.missed, 0);
    EXPECT_EQ(run.machineX, 2000);
    EXPECT_EQ(run.machineY, 40);
}

}  // namespace
}  // namespace pm
