#pragma once
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace pm {

// The smallest box around a set of points; empty until the first point.
struct HpglExtent {
    bool empty = true;
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;

    void add(double x, double y);
};

// What a conversion did.
struct HpglSummary {
    long long statements = 0;                  // statements written
    std::map<std::string, long long> dropped;  // commands left out, by mnemonic
    // Of the dropped ones, those that would have drawn on a pen plotter
    // (rectangles, wedges, polygons, labels...): the drawing lacks them.
    long long droppedDrawing = 0;
    HpglExtent extent;                         // of the points written, plot units
    std::vector<std::string> notes;            // what else the operator should know
};

// The outcome of a conversion: the plot text and its summary, or, for a file
// that is refused, the reason (ok false, text empty).
struct HpglResult {
    bool ok = false;
    std::string text;
    HpglSummary summary;
    std::string error;
};

// Turns an HPGL plot file, as drawing programs and instruments write it,
// into the program's own plot form: one statement per coordinate pair, each
// headed "PU" (travel) or "PD" (mill), absolute coordinates in plot units,
// statements back to back. A pen that goes down and up again without moving
// is kept as a lone 'PD;' and 'PU;' (a plunge). A file that is not plain
// HPGL is refused as a whole.
HpglResult ConvertHpgl(std::string_view input);

// Reads inPath, converts it and writes the plot text to outPath (only when
// the conversion succeeds). Errors reading or writing come back in error.
HpglResult ConvertHpglFile(const std::string& inPath, const std::string& outPath);

// Whether a file name carries one of the HPGL extensions (.plt, .hpgl,
// .hpg, in any case).
bool IsHpglFileName(std::string_view path);

// The plot file that goes beside an HPGL file: the same name ending ".red".
std::string PlotFileNameFor(const std::string& hpglPath);

// A short report of a summary, in the operator's language, one fact a line.
std::string DescribeSummary(const HpglSummary& s);

// A number as the plot form writes it: the shortest decimal that reads back
// as the same value, without exponent, "0" for minus zero.
std::string FormatPlotNumber(double v);

}  // namespace pm
