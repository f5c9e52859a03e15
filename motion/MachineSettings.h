#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace pm {

// What the owner knows about the machine: how far a half-step goes, how far
// each axis can travel, and what its motors allow (the ramps and the travel
// speed): plain data that a front end fills (the window from its machine
// settings, portmill-cli from its options) and the motion code reads. A size
// of 0 means "not known"; the program then does what it did without it (the
// fixed Home XY allowance, no work-area check).
struct MachineSettings {
    // Half-steps per millimetre of X and Y. The default is what the divisor
    // 3.55 assumes: 40 plot units a millimetre, 3.55 units a half-step.
    double StepsPerMmX = 40 / 3.55;
    double StepsPerMmY = 40 / 3.55;
    // Travel of X and Y in millimetres from the home switches.
    double TravelX = 0;
    double TravelY = 0;
    // How far Home XY may drive an axis before it gives up, in millimetres;
    // 0 takes the travel plus 10 %.
    double HomeAllowanceX = 0;
    double HomeAllowanceY = 0;
    // Z cycles per millimetre of tool height.
    double ZCyclesPerMm = 0;

    // Acceleration of the XY ramps in half-steps per second squared. 0 turns
    // the ramps off: every pass of a move then lasts the set period.
    double accel = 0;
    // The pass rate in half-steps per second at which a motor may start and
    // stop without a ramp.
    double startRate = 200;
    // The speed of tool-up (travel) moves on the run speed's scale; below 0
    // they follow the run speed like the milling moves.
    int travelSpeed = -1;
    // With the ramps on, how many moves a job plans ahead (motion/Planner.h):
    // 0 stops at the start rate at every corner.
    int lookahead = 64;
    // The play of the X and Y drives in half-steps: when an axis reverses,
    // the walk first turns its motor this much further without moving the
    // position (TakeUpPlay in motion/Motion.h). 0 takes up nothing.
    int BacklashX = 0;
    int BacklashY = 0;

    bool rampsOn() const { return accel > 0; }
    bool operator==(const MachineSettings&) const = default;
};

// The most moves a job may plan ahead.
inline constexpr int kMaxLookahead = 10000;
// The most play an axis may take up, in half-steps.
inline constexpr int kMaxBacklash = 10000;

enum class AxisXY { X, Y };

// Half-steps Home XY may take on an axis before it gives up: the allowance
// when set, else the travel plus 10 %, else the fixed 400 000.
std::int32_t HomeAllowanceSteps(const MachineSettings& m, AxisXY axis);

// Why the settings cannot be used, for the operator (empty when they can).
std::string ValidateMachineSettings(const MachineSettings& m);

// The machine's work area in half-steps, when the travel of both axes is
// known: [0, TravelX x StepsPerMmX] by [0, TravelY x StepsPerMmY].
bool WorkAreaKnown(const MachineSettings& m);

// Parses "A,B" into two finite numbers (a decimal point or comma inside each
// number is not allowed; the comma separates). False on anything else.
bool ParsePair(const std::string& text, double& a, double& b);

// The largest preview scale (the value dividing the half-steps, -3 to
// 10; 0 draws as 1) at which every dot of a drawing whose visited points span
// [minX, maxX] x [minY, maxY] half-steps lands on the canvas, which is
// widthTwips x heightTwips with its base line at baseY twips. Smaller scale
// values magnify more; at the same magnitude a positive value wins. None
// when no scale fits.
std::optional<int> FitScale(double minX, double minY, double maxX, double maxY, double widthTwips,
                            double heightTwips, double baseY);

}  // namespace pm
