// The drawing converters' throughput (HPGL, G-code, SVG) and the price of a
// duration estimate.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench/BenchCommon.h"
#include "job/Estimate.h"
#include "importer/Gcode.h"
#include "importer/Hpgl.h"
#if PM_WITH_SVG
#include "importer_svg/Svg.h"
#endif

namespace {

using namespace pm;

using bench::Row;
using bench::SecondsSince;

// A drawing as a drawing program writes it: one line, polylines of many
// pairs per PD, a circle now and then.
std::string drawing(std::size_t bytes) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(0, 20000);
    std::string s = "IN;SP1;";
    while (s.size() < bytes) {
        s += "PU" + std::to_string(coord(rng)) + "," + std::to_string(coord(rng)) + ";PD";
        for (int k = 0; k < 40; ++k) {
            if (k > 0) s += ',';
            s += std::to_string(coord(rng)) + "," + std::to_string(coord(rng));
        }
        s += ";CI250;";
    }
    return s + "PU0,0;SP0;";
}

// A program as a CAM program writes it: pockets of short G1 moves at a
// depth, arcs now and then, feeds and line numbers.
std::string program(std::size_t bytes) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(0, 200000);
    const auto mm = [&] { return std::to_string(coord(rng) / 1000) + "." + std::to_string(coord(rng) % 1000); };
    std::string s = "%\n(bench)\nG21 G90 G17\nM3 S12000\n";
    long n = 10;
    while (s.size() < bytes) {
        s += "N" + std::to_string(n++) + " G0 Z2.\nG0 X" + mm() + " Y" + mm() + "\nG1 Z-0.5 F200\n";
        for (int k = 0; k < 40; ++k) s += "G1 X" + mm() + " Y" + mm() + " F800\n";
        s += "G2 X" + mm() + " Y" + mm() + " R150.\n";
    }
    return s + "G0 Z2.\nM5\nM30\n%\n";
}

#if PM_WITH_SVG
// A drawing as a drawing program saves it: many paths of lines and curves
// in groups with transforms, on an A4 page.
std::string svgDrawing(std::size_t bytes) {
    std::mt19937 rng(7);
    std::uniform_int_distribution<int> coord(0, 200);
    const auto pt = [&] { return std::to_string(coord(rng)) + "." + std::to_string(coord(rng) % 10); };
    std::string s = "<?xml version=\"1.0\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"210mm\" "
                    "height=\"297mm\" viewBox=\"0 0 210 297\">\n<g transform=\"translate(2,3) scale(0.98)\">\n";
    while (s.size() < bytes) {
        s += "<path style=\"fill:none;stroke:#000;stroke-width:0.2\" d=\"M" + pt() + "," + pt();
        for (int k = 0; k < 30; ++k) s += " L" + pt() + "," + pt();
        s += " C" + pt() + "," + pt() + " " + pt() + "," + pt() + " " + pt() + "," + pt() + " Z\"/>\n";
    }
    return s + "</g>\n</svg>\n";
}
#endif

// One converter's row: MB/s over the text.
bool throughputRow(const std::string& what, std::size_t mb, const std::string& text,
                   DrawingResult (*convert)(const std::string&)) {
    const auto t0 = std::chrono::steady_clock::now();
    const DrawingResult r = convert(text);
    const double s = SecondsSince(t0);
    if (!r.ok) {
        std::fprintf(stderr, "bench_importer: %s: %s\n", what.c_str(), r.error.c_str());
        return false;
    }
    Row(what + " conversion, " + std::to_string(mb) + " MB drawing", static_cast<double>(text.size()) / 1e6 / s,
        "MB/s", std::to_string(r.summary.statements) + " statements written");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::QuickRun(argc, argv);
    const std::size_t mb = quick ? 1 : 10;
    const std::string hpgl = drawing(mb << 20);

    auto t0 = std::chrono::steady_clock::now();
    const HpglResult r = ConvertHpgl(hpgl);
    const double conv = SecondsSince(t0);
    if (!r.ok) {
        std::fprintf(stderr, "bench_importer: %s\n", r.error.c_str());
        return 1;
    }
    Row("HPGL conversion, " + std::to_string(mb) + " MB drawing", static_cast<double>(hpgl.size()) / 1e6 / conv,
        "MB/s", std::to_string(r.summary.statements) + " statements written");
    if (!throughputRow("G-code", mb, program(mb << 20), [](const std::string& t) { return ConvertGcode(t); }))
        return 1;
#if PM_WITH_SVG
    if (!throughputRow("SVG", mb, svgDrawing(mb << 20), [](const std::string& t) { return ConvertSvg(t); }))
        return 1;
#endif

    // The estimate of a plot file of short moves, the way the window runs it
    // when a file is chosen or a setting changes.
    std::mt19937 rng(11);
    std::uniform_int_distribution<int> step(-30, 30);
    const long statements = quick ? 10'000 : 100'000;
    std::string red;
    int x = 0;
    int y = 0;
    for (long i = 0; i < statements; ++i) {
        x += step(rng);
        y += step(rng);
        red += (i % 10 == 0 ? "PU" : "PD") + std::to_string(x) + "," + std::to_string(y) + ";";
    }
    const auto path = std::filesystem::temp_directory_path() /
                      ("pm_bench_estimate_" + std::to_string(::getpid()) + ".red");
    std::ofstream(path, std::ios::binary) << red;
    t0 = std::chrono::steady_clock::now();
    const JobEstimate est = EstimateJob(path.string(), {"3.55", 20, 5, true, {}});
    const double wall = SecondsSince(t0);
    std::filesystem::remove(path);
    if (!est.ok) {
        std::fprintf(stderr, "bench_importer: %s\n", est.error.c_str());
        return 1;
    }
    const std::string note = std::to_string(statements) + " statements, " +
                             std::to_string(red.size() / 1000) + " kB, speed 20, motors on: job " +
                             FormatDuration(est.durationNs);
    Row("duration estimate, wall time", wall * 1000, "ms", note);
    Row("duration estimate, job time per wall time", static_cast<double>(est.durationNs) / 1e9 / wall, "x",
        note);
    return 0;
}
