// The G-code converter on any input, under each rule for the tool: a refusal
// with a reason, or well-formed plot text that agrees with its summary; and
// the shortest tool-up path of that text, with the same cuts.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fuzz/PlotCheck.h"
#include "importer/Gcode.h"
#include "importer/ToolPath.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) return 0;
    // The first byte picks the rule and its threshold; the rest is the file.
    const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
    // An arc of the largest radius is a million chords: more than a few of
    // them measure the machine's memory, not the converter.
    int arcLines = 0;
    bool arcWord = false;
    for (const char c : input) {
        if (c == '\n') {
            arcLines += arcWord ? 1 : 0;
            arcWord = false;
        }
        arcWord = arcWord || c == 'I' || c == 'J' || c == 'K' || c == 'R' || c == 'i' || c == 'j' || c == 'k' ||
                  c == 'r';
    }
    if (arcLines + (arcWord ? 1 : 0) > 4) return -1;

    pm::GcodeOptions o;
    o.pen = static_cast<pm::PenRule>(data[0] % 4);
    o.zThresholdMm = static_cast<double>(static_cast<int>(data[0] / 4) - 32) / 8;
    o.servoBelow = data[0];
    const pm::DrawingResult r = pm::ConvertGcode(input, o);
    pm::fuzz::CheckDrawingResult(r);
    // The shortest tool-up path on whatever the converter wrote.
    pm::DrawingResult shortened = r;
    pm::ShortenToolPath(shortened);
    pm::fuzz::CheckShortened(r, shortened, pm::kJoinMm / pm::kPlotUnitMm);
    return 0;
}
