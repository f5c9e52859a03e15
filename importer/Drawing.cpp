#include "importer/Drawing.h"

#include "importer/ToolPath.h"

namespace pm {

namespace {

bool IsSvgFileName(std::string_view path) {
    const std::string ext = UpperExtension(path);
    return ext == "SVG";
}

// Where the content starts: past a byte-order mark and blank space.
std::string_view Body(std::string_view c) {
    if (c.substr(0, 3) == "\xEF\xBB\xBF") c.remove_prefix(3);
    while (!c.empty() && (c.front() == ' ' || c.front() == '\t' || c.front() == '\r' || c.front() == '\n'))
        c.remove_prefix(1);
    return c;
}

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

}  // namespace

DrawingKind DetectDrawing(std::string_view name, std::string_view content) {
    const std::string_view body = Body(content);
    if (!body.empty() && body.front() == '<') return DrawingKind::Svg;
    // The program's own plot form reads as HPGL too: the name keeps it.
    if (UpperExtension(name) == "RED") return DrawingKind::Plot;
    if (LooksLikeGcode(body)) return DrawingKind::Gcode;
    if (body.size() >= 2 && isLetter(body[0]) && isLetter(body[1])) return DrawingKind::Hpgl;
    // Content of no known kind: the name says which converter explains why
    // it cannot read it.
    if (IsSvgFileName(name)) return DrawingKind::Svg;
    if (IsGcodeFileName(name)) return DrawingKind::Gcode;
    return DrawingKind::Hpgl;
}

bool IsDrawingFileName(std::string_view path) {
    return IsHpglFileName(path) || IsGcodeFileName(path) || IsSvgFileName(path);
}

const char* DrawingKindName(DrawingKind kind) {
    switch (kind) {
        case DrawingKind::Hpgl: return "HPGL";
        case DrawingKind::Gcode: return "G-code";
        case DrawingKind::Svg: return "SVG";
        case DrawingKind::Plot: break;
    }
    return "plot";
}

namespace {

// The drawing's strokes in the file's order.
DrawingResult ConvertInFileOrder(std::string_view name, std::string_view content, const DrawingOptions& options,
                                 const SvgConverter& svg) {
    HpglOptions hpgl = options.hpgl;
    GcodeOptions gcode = options.gcode;
    SvgOptions svgOptions;
    hpgl.maxStatements = gcode.maxStatements = svgOptions.maxStatements = options.maxStatements;
    switch (DetectDrawing(name, content)) {
        case DrawingKind::Gcode: return ConvertGcode(content, gcode);
        case DrawingKind::Svg: {
            if (svg) return svg(content, svgOptions);
            DrawingResult r;
            r.error = "Este programa foi construído sem o conversor de SVG.";
            return r;
        }
        // The plot form is HPGL's own subset: converting it writes it anew.
        case DrawingKind::Plot:
        case DrawingKind::Hpgl: break;
    }
    return ConvertHpgl(content, hpgl);
}

}  // namespace

DrawingResult ConvertDrawing(std::string_view name, std::string_view content, const DrawingOptions& options,
                             const SvgConverter& svg) {
    DrawingResult r = ConvertInFileOrder(name, content, options, svg);
    if (options.shortenPath) ShortenToolPath(r);
    return r;
}

DrawingResult ConvertDrawingFile(const std::string& inPath, const std::string& outPath,
                                 const DrawingOptions& options, const SvgConverter& svg) {
    return ConvertFile(inPath, outPath, [&](const std::string& text) {
        return ConvertDrawing(inPath, text, options, svg);
    });
}

}  // namespace pm
