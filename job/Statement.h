#pragma once
#include <string_view>

#include "motion/MachineSettings.h"

namespace pm {

// One plot statement, its ";" included, cut into its parts. Views into the
// statement text; nothing is copied.
struct Statement {
    std::string_view head;  // the first two characters, compared exactly
    bool penUp = false;     // head "PU": MoveMode becomes "M"
    bool penDown = false;   // head "PD": MoveMode becomes "D"
    // A coordinate pair: head "PA", "PU" or "PD", longer than 3 characters,
    // with a ",". The X text is everything between the head and the first
    // ","; the Y text everything between that "," and the final ";" (so only
    // the first pair counts: "20,30,40" reads as 20). A statement without
    // a "," has its mode effect and no pair.
    bool hasPair = false;
    std::string_view xText;
    std::string_view yText;
};

Statement CutStatement(std::string_view text);

// The longest move a statement may ask for, in half-steps on either axis.
// A target farther than this from the present position is ignored: no
// drawing is that large, and walking it would hold the machine for days.
inline constexpr double kMaxMoveHalfSteps = 1'000'000'000.0;

// Whether (x, y) may become the target of a move that starts at (fromX,
// fromY): both finite, and neither axis farther than kMaxMoveHalfSteps.
bool TargetAcceptable(double x, double y, double fromX, double fromY);

// The longest move the machine can make on an axis, in half-steps: its
// travel plus 10 % where it is known, else kMaxMoveHalfSteps.
double MaxMoveHalfSteps(const MachineSettings& m, AxisXY axis);

// The same for this machine: no axis farther than MaxMoveHalfSteps. A move
// longer than the travel cannot be made; walking it would only fill the
// records and hold the machine against its stops.
bool TargetAcceptable(double x, double y, double fromX, double fromY, const MachineSettings& m);

}  // namespace pm
