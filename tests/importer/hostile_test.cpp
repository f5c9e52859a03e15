// What portmill-cli convert does with drawings made to hurt it: each
// converter's hostile inputs, generated here, run under a memory limit and a
// time-out that only a hang reaches, judged by status, message and output.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "tests/support/CliRun.h"

namespace {

using pm::test::Slurp;

std::string TempPath(const std::string& name) { return pm::test::TempFilePath("pm_hostile", name); }

std::string Repeat(const std::string& text, int times) {
    std::string out;
    out.reserve(text.size() * static_cast<std::size_t>(times));
    for (int k = 0; k < times; ++k) out += text;
    return out;
}

struct Hostile {
    const char* name;
    const char* file;                  // the drawing's name: its kind where the content does not tell
    std::string content;
    std::vector<std::string> options;  // after convert IN OUT
    int status;
    const char* says;             // on standard error, or in the summary when converted
    const char* never = nullptr;  // what the summary must not say
    const char* writes = nullptr; // OUT when converted: its start
};

void PrintTo(const Hostile& h, std::ostream* os) { *os << h.name; }

class HostileDrawing : public ::testing::TestWithParam<Hostile> {};

// convert under a limit on its address space (a conversion that held its
// output in memory could not reach its end) and a time-out that only a
// conversion waiting for ever reaches (status 124).
TEST_P(HostileDrawing, IsRefusedOrConvertedWithinBounds) {
    const Hostile& h = GetParam();
    // "FIFO" in a drawing names a FIFO that nobody writes: opening it to
    // read would wait for ever.
    const std::string fifo = TempPath("fifo");
    std::filesystem::remove(fifo);
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::string content = h.content;
    for (std::size_t at = content.find("FIFO"); at != std::string::npos; at = content.find("FIFO", at + fifo.size()))
        content.replace(at, 4, fifo);
    const std::string in = pm::test::WriteFile(TempPath(h.file), content);
    const std::string out = TempPath("out.red");
    std::filesystem::remove(out);
#if PM_SANITIZED
    const std::string limit = "true";  // the sanitizers reserve more address space than any limit
#else
    const std::string limit = "ulimit -v 1500000";
#endif
    std::vector<std::string> words{"-c", limit + " && exec timeout 120 \"$0\" \"$@\"", PM_CLI, "convert", in, out};
    words.insert(words.end(), h.options.begin(), h.options.end());
    const pm::test::CliResult r = pm::test::RunCli("sh", words, TempPath("stderr.txt"));
    std::filesystem::remove(fifo);
    std::filesystem::remove(in);
    if (r.err.find("sem o conversor de SVG") != std::string::npos) GTEST_SKIP() << "built without SVG";
    ASSERT_EQ(r.status, h.status) << r.err << r.out;
    if (h.status != 0) {
        EXPECT_NE(r.err.find(h.says), std::string::npos) << r.err;
        EXPECT_FALSE(std::filesystem::exists(out));
        return;
    }
    EXPECT_NE(r.out.find(h.says), std::string::npos) << r.out;
    if (h.never != nullptr) {
        EXPECT_EQ(r.out.find(h.never), std::string::npos) << r.out;
    }
    EXPECT_EQ(Slurp(out).substr(0, std::string(h.writes).size()), h.writes);
}

const char* const kPastTheBound = "mais que o limite de 50000000: a conversão parou e nada foi gravado.";

INSTANTIATE_TEST_SUITE_P(
    Hpgl, HostileDrawing,
    ::testing::Values(
        // 2 MB of circles of 720 chords each: counted, not written.
        Hostile{"circles_past_the_bound", "c.plt", Repeat("CI900,0.5;", 200000), {}, 1,
                "O desenho daria cerca de 144400000 declarações, mais que o limite de 50000000"},
        Hostile{"bound_holds_the_count", "b.plt", "IN;PU0,0;PD100,0;CI50;AA0,0,90;PU;", {"--max-statements", "95"},
                0, "Declarações escritas: 95", nullptr, "PU0,0;PD100,0;PU150,0;"},
        Hostile{"bound_one_short", "b.plt", "IN;PU0,0;PD100,0;CI50;AA0,0,90;PU;", {"--max-statements", "94"}, 1,
                "daria cerca de 95 declarações, mais que o limite de 94"},
        Hostile{"scale_of_nothing", "s.plt", "IN;SC0,0,0,0;PD10,10;", {}, 0,
                "1 escala(s) (SC) ignorada(s), a primeira no comando da posição 4", "Escala (SC) no quadro",
                "PD10,10;"},
        Hostile{"frame_of_nothing", "f.plt", "IN;IP5,5,5,5;SC0,10,0,10;PD10,10;", {}, 0,
                "(o quadro P1 5,5 P2 5,5 não tem largura ou altura); as coordenadas seguintes ficaram em "
                "unidades do plotter",
                "Escala (SC) no quadro", "PD10,10;"}),
    [](const auto& info) { return std::string(info.param.name); });

INSTANTIATE_TEST_SUITE_P(
    Gcode, HostileDrawing,
    ::testing::Values(
        Hostile{"arc_without_centre", "a.nc", "G21\nG0 X0 Y0\nG1 Z-1\nG2 X10 Y0\n", {}, 1,
                "Arco (G2/G3) sem o centro (I, J) nem o raio (R) na linha 4."},
        Hostile{"arc_in_xz_without_centre", "a.nc", "G21\nG18\nG1 Z-1\nG3 X10 Z-1 J5\n", {}, 1,
                "Arco (G2/G3) sem o centro (I, K) nem o raio (R) na linha 4."},
        // 38 KB of circles 10 km wide, 70,000 chords each.
        Hostile{"arcs_past_the_bound", "b.nc", "G21\nG0 X0 Y0\nG1 Z-1\n" + Repeat("G2 X0 Y0 I10000000 J0\n", 1700),
                {}, 1, kPastTheBound},
        Hostile{"bound_holds_the_count", "h.nc", "G21\nG0 X0 Y0 Z1\nG1 Z-1\nG2 X10 Y0 I5\nG3 X0 Y0 Z1 I-5\n",
                {"--max-statements", "51"}, 0, "Declarações escritas: 51", nullptr, "PD1.57706,25.066647;"},
        Hostile{"bound_one_short", "h.nc", "G21\nG0 X0 Y0 Z1\nG1 Z-1\nG2 X10 Y0 I5\nG3 X0 Y0 Z1 I-5\n",
                {"--max-statements", "50"}, 1, "daria cerca de 51 declarações, mais que o limite de 50"}),
    [](const auto& info) { return std::string(info.param.name); });

const std::string kSvg = "<svg xmlns='http://www.w3.org/2000/svg' xmlns:xlink='http://www.w3.org/1999/xlink' "
                         "width='100mm' height='100mm' viewBox='0 0 100 100'>\n";
const std::string kLine = "<line x1='0' y1='0' x2='10' y2='0' stroke='#000'/>";

std::string Transformed(const std::string& transform) {
    return kSvg + "<g transform='" + transform + "'>" + kLine + "</g></svg>";
}

std::string Page(const std::string& attributes) {
    return "<svg xmlns='http://www.w3.org/2000/svg' " + attributes + ">\n" + kLine + "</svg>";
}

INSTANTIATE_TEST_SUITE_P(
    Svg, HostileDrawing,
    ::testing::Values(
        Hostile{"path_past_the_reader",
                "p.svg",
                kSvg + "<path stroke='#000' fill='none' d='M0 0" + Repeat(" L1 1 L2 0", 50000) + "'/></svg>",
                {},
                1,
                "passa de 32767 elementos, o máximo que o leitor de SVG lê de um caminho: o resto dele se "
                "perderia (o caminho mais longo está na linha 2)"},
        Hostile{"scale_beyond_any_number", "t.svg", Transformed("scale(1e308)"), {}, 1,
                "Transformação impossível (aumenta o desenho além de qualquer número): transform=\"scale(1e308)\", "
                "no elemento <g> da linha 2."},
        Hostile{"matrix_of_zeros", "t.svg", Transformed("matrix(0 0 0 0 0 0)"), {}, 1,
                "Transformação impossível (achata o desenho numa linha ou num ponto): transform=\"matrix(0 0 0 0 0 "
                "0)\", no elemento <g> da linha 2."},
        Hostile{"scale_nan", "t.svg", Transformed("scale(nan)"), {}, 1,
                "Transformação impossível (número infinito ou que não é um número): transform=\"scale(nan)\""},
        Hostile{"translate_inf", "t.svg", Transformed("rotate(5) translate(inf,0)"), {}, 1,
                "transform=\"rotate(5) translate(inf,0)\", no elemento <g> da linha 2."},
        Hostile{"transform_in_style", "t.svg",
                kSvg + "<g style='stroke:#000;transform:scale(0)'>" + kLine + "</g></svg>", {}, 1,
                "(achata o desenho numa linha ou num ponto): style=\"stroke:#000;transform:scale(0)\", no elemento <g> "
                "da linha 2."},
        // Each fine alone, impossible together; and one from a style sheet.
        Hostile{"transforms_together", "t.svg", kSvg + "<g transform='scale(1e-160)'><g transform='scale(1e-160)'>" + kLine + "</g></g></svg>",
                {}, 1, "Transformação impossível: uma folha de estilo (<style>), ou transformações que uma dentro da outra"},
        Hostile{"transform_in_a_style_sheet", "t.svg",
                kSvg + "<style>.a{transform:matrix(0 0 0 0 0 0)}</style><g class='a'>" + kLine + "</g></svg>", {}, 1,
                "achatam o desenho numa linha ou num ponto ou o aumentam além de qualquer número."},
        // Numbers run together as SVG allows: a transform that is fine.
        Hostile{"minified_transform_kept", "t.svg", Transformed("translate(10-5)"), {}, 0, "Declarações escritas: 3",
                nullptr, "PU400,4200;PD800,4200;PU;"},
        Hostile{"page_of_nothing", "w.svg", Page("width='1e-300mm' height='10mm' viewBox='0 0 10 10'"), {}, 1,
                "A página do SVG não tem tamanho (width=\"1e-300mm\" é nula, negativa ou menor que 0,001 mm), no "
                "elemento <svg> da linha 1."},
        Hostile{"page_infinite", "w.svg", Page("width='10mm' height='1e999mm'"), {}, 1,
                "(height=\"1e999mm\" não é um número finito)"},
        Hostile{"viewbox_of_nothing", "v.svg", Page("width='10mm' height='10mm' viewBox='0 0 0 0'"), {}, 1,
                "viewBox impossível (largura ou altura nula ou negativa): viewBox=\"0 0 0 0\", no elemento <svg> da "
                "linha 1."},
        // Images and style sheets naming a FIFO, and an element of another
        // file: none is opened.
        Hostile{"images_never_opened",
                "i.svg",
                "<?xml-stylesheet type=\"text/css\" href=\"FIFO\"?>\n" + kSvg +
                    "<defs><image xlink:href='FIFO' width='9' height='9'/></defs><image href='FIFO' width='9' "
                    "height='9'/><use xlink:href='FIFO#a'/>" +
                    kLine + "</svg>",
                {},
                0,
                "2 imagem(ns) não desenhada(s).\n1 elemento(s) que aponta(m) para fora do desenho (href), não "
                "lido(s).",
                nullptr,
                "PU0,4000;PD400,4000;PU;"},
        // 3000 circles 2000 km wide, 835,000 chords each: counted, not made.
        Hostile{"circles_past_the_bound", "c.svg",
                kSvg + Repeat("<circle cx='1' cy='50' r='1e9' stroke='#000' fill='none'/>"
                              "<circle cx='2' cy='50' r='1e9' stroke='#000' fill='none'/>",
                              1500) +
                    "</svg>",
                {}, 1, kPastTheBound},
        // 3000 curves whose control points are 10 km away.
        Hostile{"curves_past_the_bound", "c.svg",
                kSvg + Repeat("<path d='M1 0 C 1e7 1e7 -1e7 1e7 10 0' stroke='#000' fill='none'/>"
                              "<path d='M2 0 C 1e7 1e7 -1e7 1e7 10 0' stroke='#000' fill='none'/>",
                              1500) +
                    "</svg>",
                {}, 1, kPastTheBound},
        // A circle and a curve, both filled and stroked: each followed once.
        Hostile{"bound_holds_the_count", "b.svg",
                kSvg + "<circle cx='50' cy='50' r='10' stroke='#000' fill='red'/>"
                       "<path d='M0 0 C 10 10 20 10 30 0' stroke='#000' fill='red'/></svg>",
                {"--max-statements", "119"}, 0, "Declarações escritas: 119", nullptr, "PU2400,2000;"},
        Hostile{"bound_one_short", "b.svg",
                kSvg + "<circle cx='50' cy='50' r='10' stroke='#000' fill='red'/>"
                       "<path d='M0 0 C 10 10 20 10 30 0' stroke='#000' fill='red'/></svg>",
                {"--max-statements", "118"}, 1, "daria cerca de 119 declarações, mais que o limite de 118"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
