#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "importer/Gcode.h"
#include "importer/Hpgl.h"
#include "importer/Plot.h"

namespace pm {

// The kinds of file the program reads or converts.
enum class DrawingKind { Plot, Hpgl, Gcode, Svg };

// The options of every converter.
struct DrawingOptions {
    HpglOptions hpgl;
    GcodeOptions gcode;
    // The bound on the output of every converter (0 none): it replaces
    // each converter's own.
    long long maxStatements = kDefaultMaxStatements;
    // The strokes joined and reordered for the shortest tool-up travel
    // (ToolPath.h); off, the file's order is kept.
    bool shortenPath = false;
};

// The SVG converter lives apart, with the toolkit it needs; front ends that
// link it pass it in.
using SvgConverter = std::function<DrawingResult(std::string_view input, const SvgOptions& options)>;

// Which converter a file needs, by its content first and its name where the
// content does not tell: XML is SVG, a letter and a number is G-code, two
// letters are HPGL; a name ending ".red" is the program's own plot form.
DrawingKind DetectDrawing(std::string_view name, std::string_view content);

// Whether a file name is one the converters take (.plt .hpgl .hpg .nc .ngc
// .gcode .gc .tap .svg): such a file is converted before it runs.
bool IsDrawingFileName(std::string_view path);

// The kind's name for the operator ("HPGL", "G-code", "SVG").
const char* DrawingKindName(DrawingKind kind);

// Converts a drawing of any kind the name and content tell (a plot file as
// HPGL, whose subset it is); SVG is refused without svg.
DrawingResult ConvertDrawing(std::string_view name, std::string_view content, const DrawingOptions& options,
                             const SvgConverter& svg);

// Reads inPath, converts it and writes the plot text to outPath (only when
// the conversion succeeds).
DrawingResult ConvertDrawingFile(const std::string& inPath, const std::string& outPath,
                                 const DrawingOptions& options, const SvgConverter& svg);

}  // namespace pm
