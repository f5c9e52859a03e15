#pragma once
#include <string>
#include <string_view>

#include "importer/Plot.h"

namespace pm {

// How a G-code file says the tool is down.
enum class PenRule {
    Auto,     // servo with M300 or M280, else z with any Z word, else spindle
    Z,        // down while Z is at or below the threshold
    Spindle,  // down while M3/M4 runs with S not 0, on G1/G2/G3
    Servo,    // down while M300 S<v> / M280 P<n> S<v> has v below the limit
};

struct GcodeOptions {
    PenRule pen = PenRule::Auto;
    double zThresholdMm = 0;
    double servoBelow = 40;
    long long maxStatements = kDefaultMaxStatements;  // the bound on the output; 0 none
};

// Turns a G-code program (CAM programs, laser and pen-plotter senders) into
// the plot form at 0.025 mm a plot unit: G0 travels, G1 mills by the pen
// rule, G2/G3 arcs become chords within 0.01 mm. A line that cannot be
// G-code is left out and listed. A file with nothing to draw, or where no
// line reads as G-code, an arc without its centre (I, J, K) or radius (R),
// or a drawing that would give more statements than the options' bound, is
// refused.
DrawingResult ConvertGcode(std::string_view input, const GcodeOptions& options = {});

// Whether a file name carries one of the G-code extensions (.nc, .ngc,
// .gcode, .gc, .tap, in any case).
bool IsGcodeFileName(std::string_view path);

// Whether a text reads as G-code rather than HPGL: past "%" lines, comments
// and grbl settings, its first word is a letter and a number.
bool LooksLikeGcode(std::string_view input);

}  // namespace pm
