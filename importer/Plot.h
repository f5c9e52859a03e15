#pragma once
#include <atomic>
#include <exception>
#include <map>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// What every drawing converter shares: the plot text it writes, the summary
// it gives the operator, and the numbers and names they use.
namespace pm {

// One plot unit is this many millimetres, for every converted drawing, so a
// single divisor serves every file.
constexpr double kPlotUnitMm = 0.025;

// The smallest box around a set of points; empty until the first point.
struct DrawingExtent {
    bool empty = true;
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;

    void add(double x, double y);
};

// What a conversion did.
struct DrawingSummary {
    long long statements = 0;                  // statements written
    std::map<std::string, long long> dropped;  // commands or words left out, by name
    // Of the dropped ones, those that would have drawn on a pen plotter
    // (rectangles, wedges, polygons, labels...): the drawing lacks them.
    long long droppedDrawing = 0;
    DrawingExtent extent;                             // of the points written, plot units
    std::vector<std::string> notes;            // what else the operator should know
};

// The outcome of a conversion: the plot text and its summary, or, for a file
// that is refused, the reason (ok false, text empty).
struct DrawingResult {
    bool ok = false;
    std::string text;
    DrawingSummary summary;
    std::string error;
    // For a drawing refused because its output would pass the bound: about
    // how many statements it would have written; 0 otherwise.
    long long wouldWrite = 0;
};

// The most statements a conversion writes unless told otherwise: a plot
// file of about a gigabyte, hours of milling.
constexpr long long kDefaultMaxStatements = 50'000'000;

// The options of the SVG converter.
struct SvgOptions {
    long long maxStatements = kDefaultMaxStatements;  // the bound on the output; 0 none
};

// A conversion followed from another thread: how many statements it has
// written so far, and whether it is to stop. Set for the conversions of one
// thread by a WatchConversion; the PlotWriter of each converter reports to
// it every few thousand statements and, once stop is asked, ends the
// conversion with a ConversionStopped (which ConvertFile turns into its
// error).
struct ConversionWatch {
    std::atomic<long long> statements{0};
    std::atomic<bool> stop{false};
};

class WatchConversion {
public:
    explicit WatchConversion(ConversionWatch& watch);
    ~WatchConversion();
    WatchConversion(const WatchConversion&) = delete;
    WatchConversion& operator=(const WatchConversion&) = delete;

private:
    ConversionWatch* before_;
};

class ConversionStopped final : public std::exception {
public:
    const char* what() const noexcept override { return "a conversão foi cancelada"; }
};

// Writes the plot form: one statement per point, headed "PU" (travel) or
// "PD" (mill), absolute coordinates in plot units, statements back to back.
// A pen that goes down and up again without moving is kept as a lone "PD;"
// and "PU;" (a plunge).
class PlotWriter {
public:
    // The tool goes up or down from the next point on.
    void pen(bool down);
    // Moves to a point with the tool as it stands. Coordinates are kept to a
    // millionth of a plot unit; false, and nothing written, for a point
    // beyond 1073741824 units or not finite.
    bool point(double x, double y);
    // Writes a pen change that no point has carried yet.
    void finish();

    bool down() const { return down_; }
    double x() const { return x_; }
    double y() const { return y_; }
    bool milled() const { return milled_; }

    std::string text;
    long long statements = 0;
    DrawingExtent extent;
    // Counting only: statements are counted as they would be written, and
    // no text is kept.
    bool counting = false;
    // Counts n points with the tool as it stands without writing them or
    // moving (points counted, not made).
    void skip(long long n);

private:
    void lone(bool down);

    bool down_ = false;
    bool pending_ = false;
    int lastHead_ = -1;  // head of the last statement: -1 none, 0 PU, 1 PD
    bool milled_ = false;
    double x_ = 0;
    double y_ = 0;
};

// The largest coordinate the plot form carries, in plot units.
constexpr double kMaxPlotCoordinate = 1073741824.0;

// A number as the plot form writes it: the shortest decimal that reads back
// as the same value, without exponent, "0" for minus zero.
std::string FormatPlotNumber(double v);

// A number for a person: at most three decimals, trailing zeros dropped,
// "0" for minus zero ("8000", not "8000.000000000001").
std::string FormatHumanNumber(double v);

// The plot file that goes beside a drawing: the same name ending ".red".
std::string PlotFileNameFor(const std::string& drawingPath);

// The extension of a file name in upper case, empty when there is none.
std::string UpperExtension(std::string_view path);

// Converts under a bound on the output (none when maxStatements is 0):
// convert(true) first only counts, keeping no text, and the drawing is
// refused, with about how much it would have written, when its count passes
// the bound; then convert(false) writes it. A drawing refused for another
// reason while counting is refused so at once.
DrawingResult BoundedConversion(long long maxStatements, const std::function<DrawingResult(bool counting)>& convert);

// The refusal of a drawing whose output would pass the bound.
DrawingResult TooManyStatements(long long would, long long maxStatements);

// A short report of a summary, in the operator's language, one fact a line.
std::string DescribeSummary(const DrawingSummary& s);

// Reads a whole file; false with the reason in error.
bool ReadWholeFile(const std::string& path, std::string& text, std::string& error);
// Writes the plot text of a successful result to path; on failure the
// result becomes a refusal with the reason.
void WritePlotFile(DrawingResult& r, const std::string& path);
// Reads IN, converts its text and puts the plot text in OUT, whole, only
// when complete; OUT naming IN is refused first. Never throws: a failure is
// the result's error.
DrawingResult ConvertFile(const std::string& inPath, const std::string& outPath,
                          const std::function<DrawingResult(const std::string&)>& convert);

}  // namespace pm
