// The shortest tool-up path: how much of the travel it leaves, on a
// generated drawing and on each sample, and what ordering a large drawing
// costs.
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "bench/BenchCommon.h"
#include "importer/Drawing.h"
#include "importer/ToolPath.h"
#if PM_WITH_SVG
#include "importer_svg/Svg.h"
#endif

namespace {

using namespace pm;

using bench::Row;
using bench::SecondsSince;

// Short strokes (up to 5 mm, two to four points) scattered over a 400 x 300
// mm sheet, in random order.
std::string scattered(int strokes, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_real_distribution<double> x(0, 16000), y(0, 12000), step(-100, 100);
    PlotWriter out;
    for (int k = 0; k < strokes; ++k) {
        out.pen(false);
        double px = x(rng), py = y(rng);
        out.point(px, py);
        out.pen(true);
        for (int n = 1 + static_cast<int>(rng() % 3); n > 0; --n) {
            px += step(rng);
            py += step(rng);
            out.point(px, py);
        }
    }
    out.pen(false);
    out.finish();
    return out.text;
}

struct Shortened {
    ToolPathTotals before, after;
    double seconds = 0;  // CPU time of the ordering: the program's own work, however busy the machine
    double wall = 0;
    bool ok = false;
};

Shortened shorten(DrawingResult r) {
    Shortened s;
    std::vector<Stroke> strokes;
    if (!r.ok || !ReadStrokes(r.text, strokes, s.before)) return s;
    const auto t0 = std::chrono::steady_clock::now();
    const double c0 = bench::CpuSeconds();
    ShortenToolPath(r);
    s.seconds = bench::CpuSeconds() - c0;
    s.wall = SecondsSince(t0);
    s.ok = ReadStrokes(r.text, strokes, s.after);
    return s;
}

std::string mm(double units) { return FormatHumanNumber(units * kPlotUnitMm); }

void ratioRow(const std::string& what, const Shortened& s, const char* target) {
    const double ratio = s.before.travel > 0 ? s.after.travel / s.before.travel : 1.0;
    Row("tool-up travel after / before optimising, " + what, ratio, "x",
        std::string(target) + "; " + mm(s.before.travel) + " -> " + mm(s.after.travel) + " mm, lifts " +
            std::to_string(s.before.lifts) + " -> " + std::to_string(s.after.lifts),
        3);
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = bench::QuickRun(argc, argv);
    DrawingResult generated;
    generated.ok = true;
    generated.text = scattered(10000, 11);
    ratioRow("10,000 short strokes in random order", shorten(generated), "target <= 0.35");

    std::vector<std::filesystem::path> samples;
    for (const auto& e : std::filesystem::directory_iterator(PM_SAMPLES_DIR)) samples.push_back(e.path());
    std::sort(samples.begin(), samples.end());
    SvgConverter svg;
#if PM_WITH_SVG
    svg = [](std::string_view in, const SvgOptions& o) { return ConvertSvg(in, o); };
#endif
    for (const auto& path : samples) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        const DrawingResult r = ConvertDrawing(path.string(), text.str(), {}, svg);
        if (!r.ok) continue;
        ratioRow("samples/" + path.filename().string(), shorten(r), "target <= 1.0");
    }

    const int large = quick ? 20000 : 100000;
    DrawingResult big;
    big.ok = true;
    big.text = scattered(large, 13);
    const Shortened s = shorten(big);
    Row("optimising cost, " + std::to_string(large) + " strokes", s.seconds, "s",
        "CPU time, target <= 2 s at 100,000 strokes (wall " + FormatHumanNumber(s.wall) + " s); reading, ordering, writing",
        3);
    return 0;
}
