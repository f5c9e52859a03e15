#pragma once
#include <cstdint>
#include <string>

#include "motion/Context.h"

namespace pm {

// Half-steps an axis may take in one Home XY: its counter starts here and
// the drive tables have no pattern below 0.
inline constexpr std::int32_t kHomeSteps = 400000;
// Counts of the pause after each Home XY pass.
inline constexpr long kHomePause = 5000;

// "Home XY": X and Y together towards their home switches, reading the
// status register itself; no event pump; every coil released at the end.
// An axis whose switch is still open after its allowance (kHomeSteps, or
// what the machine's travel gives) stops the homing: every coil off, then a message naming the axis.
// When the program is quitting (Pump::quitting()) the homing stops at its
// next pass, every coil off.
void HomeXY(Context& c);
// "Home Z": the Z lift until the top switch closes, one pump per cycle. "Cancelar"
// stops it, and so does the count of a lift running full.
void HomeZ(Context& c);

// The message of a Home XY that gave up on the named axes.
std::string HomeSwitchNotFound(bool x, bool y);
// The same after an allowance of stepsX and stepsY half-steps.
std::string HomeSwitchNotFound(bool x, bool y, std::int32_t stepsX, std::int32_t stepsY);

}  // namespace pm
