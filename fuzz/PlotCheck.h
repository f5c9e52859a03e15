#pragma once
// What every drawing converter promises of its result, checked on any input:
// a refusal gives a reason and no text; plot text is statements "PU" or "PD"
// with at most one pair of finite numbers each, as many as the summary
// counts, whose points span the summary's extent.
#include <algorithm>
#include <cmath>
#include <iterator>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "fuzz/FuzzCheck.h"
#include "importer/Plot.h"
#include "job/LeadingNumber.h"
#include "job/Statement.h"

namespace pm::fuzz {

inline void CheckDrawingResult(const DrawingResult& r) {
    if (!r.ok) {
        PM_FUZZ_CHECK(r.text.empty() && !r.error.empty(), "a refusal without a reason");
        return;
    }
    PM_FUZZ_CHECK(r.text.empty() || r.text.back() == ';', "text after the last statement");
    long long statements = 0;
    DrawingExtent extent;
    std::size_t begin = 0;
    while (begin < r.text.size()) {
        const std::size_t end = r.text.find(';', begin);
        const std::string_view st = std::string_view(r.text).substr(begin, end - begin + 1);
        const Statement cut = CutStatement(st);
        PM_FUZZ_CHECK(cut.penUp || cut.penDown, "a statement that is neither PU nor PD");
        if (cut.hasPair) {
            const double x = LeadingNumber(cut.xText);
            const double y = LeadingNumber(cut.yText);
            PM_FUZZ_CHECK(std::isfinite(x) && std::isfinite(y), "a point that is not a number");
            PM_FUZZ_CHECK(std::fabs(x) <= kMaxPlotCoordinate && std::fabs(y) <= kMaxPlotCoordinate,
                          "a point beyond the plot form's reach");
            extent.add(x, y);
        } else {
            PM_FUZZ_CHECK(st.size() == 3, "a statement with text but no pair");
        }
        ++statements;
        begin = end + 1;
    }
    PM_FUZZ_CHECK(statements == r.summary.statements, "statements written and counted differ");
    PM_FUZZ_CHECK(extent.empty == r.summary.extent.empty, "an extent for no point");
    if (!extent.empty) {
        PM_FUZZ_CHECK(extent.minX == r.summary.extent.minX && extent.maxX == r.summary.extent.maxX &&
                          extent.minY == r.summary.extent.minY && extent.maxY == r.summary.extent.maxY,
                      "the extent is not that of the points written");
    }
}

// The tool-down segments of plot text as the converters write it, each from
// its smaller end, sorted (a plunge is a segment of no length); and the
// travel with the tool up from the origin.
struct Milled {
    std::vector<std::tuple<double, double, double, double>> segments;
    double travel = 0;
};

inline Milled ReadMilled(std::string_view text) {
    Milled m;
    double x = 0, y = 0;
    bool plunge = false;
    const auto add = [&](double ax, double ay, double bx, double by) {
        if (std::tie(bx, by) < std::tie(ax, ay)) m.segments.emplace_back(bx, by, ax, ay);
        else m.segments.emplace_back(ax, ay, bx, by);
    };
    std::size_t begin = 0;
    while (begin < text.size()) {
        const std::size_t end = text.find(';', begin);
        const Statement cut = CutStatement(text.substr(begin, end - begin + 1));
        begin = end + 1;
        const double px = cut.hasPair ? LeadingNumber(cut.xText) : x;
        const double py = cut.hasPair ? LeadingNumber(cut.yText) : y;
        if (cut.penDown && !cut.hasPair) plunge = true;
        if (cut.penDown && cut.hasPair) {
            add(x, y, px, py);
            plunge = false;
        }
        if (cut.penUp) {
            if (plunge) add(x, y, x, y);
            plunge = false;
            m.travel += std::hypot(px - x, py - y);
        }
        x = px;
        y = py;
    }
    if (plunge) add(x, y, x, y);
    std::sort(m.segments.begin(), m.segments.end());
    return m;
}

// The shortest tool-up path mills every segment it was given and adds only
// joins no longer than join; it never travels more.
inline void CheckShortened(const DrawingResult& given, const DrawingResult& shortened, double join) {
    CheckDrawingResult(shortened);
    const Milled a = ReadMilled(given.text), b = ReadMilled(shortened.text);
    PM_FUZZ_CHECK(std::includes(b.segments.begin(), b.segments.end(), a.segments.begin(), a.segments.end()),
                  "a segment milled before is not milled after ordering");
    std::vector<std::tuple<double, double, double, double>> added;
    std::set_difference(b.segments.begin(), b.segments.end(), a.segments.begin(), a.segments.end(),
                        std::back_inserter(added));
    for (const auto& [ax, ay, bx, by] : added)
        PM_FUZZ_CHECK(std::hypot(bx - ax, by - ay) <= join * (1 + 1e-9), "ordering mills more than the joins");
    PM_FUZZ_CHECK(b.travel <= a.travel * (1 + 1e-9) + 1e-6, "ordering travels more");
}

}  // namespace pm::fuzz
