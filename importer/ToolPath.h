#pragma once
#include <string_view>
#include <vector>

#include "importer/Plot.h"

// The shortest tool-up path: a converted drawing's strokes joined where they
// meet and put in an order that lifts the tool and travels less, without
// changing what is milled.
namespace pm {

// Strokes whose ends lie this close are milled as one: the tool follows the
// gap instead of lifting over it.
constexpr double kJoinMm = 0.05;

struct PlotPoint {
    double x = 0;
    double y = 0;
    bool operator==(const PlotPoint&) const = default;
};

// What the tool mills between going down and going up: the point where it
// goes down, then every point it mills to. A single point is a plunge.
using Stroke = std::vector<PlotPoint>;

struct ToolPathTotals {
    double travel = 0;  // with the tool up, from the origin, plot units
    long long lifts = 0;
};

// Reads plot text as the converters write it (absolute "PU"/"PD" points and
// lone "PU;"/"PD;") into strokes, from the origin where the job starts;
// false for any other statement. totals gets the tool-up travel and lifts.
bool ReadStrokes(std::string_view text, std::vector<Stroke>& strokes, ToolPathTotals& totals);

// The tool-up travel and lifts of strokes milled in this order from the
// origin.
ToolPathTotals MeasureStrokes(const std::vector<Stroke>& strokes);

// Joins strokes whose ends lie within join (plot units), each possibly
// reversed; then orders them nearest end first from the origin, reversing
// a stroke or starting a closed one at another of its points where that
// is nearer, and improves the order while that shortens the travel. Every
// segment milled stays milled, possibly the other way; the only ones added
// are the joins, none longer than join. Never travels more than the order
// given.
std::vector<Stroke> OrderStrokes(std::vector<Stroke> strokes, double join);

// Writes strokes as plot text.
void WriteStrokes(const std::vector<Stroke>& strokes, PlotWriter& out);

// Rewrites a successful conversion's plot text in the shortest order found
// and says in its summary the tool-up travel and the lifts before and
// after; a result it cannot read is left as it is.
void ShortenToolPath(DrawingResult& r);

}  // namespace pm
