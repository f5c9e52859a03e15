// The HPGL importer's throughput and the price of a duration estimate.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "bench/BenchCommon.h"
#include "importer/Hpgl.h"
#include "job/Estimate.h"

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
