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
// What the lost-step check found: how far the machine stood from where the
// program counted it, in half-steps (the machine's place less the
// program's; a motor that lost steps going up leaves a negative drift).
struct PositionCheck {
    bool done = false;  // both switches were found
    long long driftX = 0;
    long long driftY = 0;
};
// "Verificar posição": Home XY from where the machine stands, at the start
// rate at most, after taking up the play towards home (TakeUpPlay),
// counting the half-steps each axis takes to its switch and comparing them
// with the half-steps the program counted from the last homing (from where
// it started when it has not homed). Tells the result in a message
// (PositionCheckText), or that a switch was not found. The machine is homed
// afterwards, as after Home XY.
PositionCheck CheckPosition(Context& c);
// "Nenhum passo perdido", or "X perdeu 3 meios-passos, Y 0".
std::string PositionCheckText(const PositionCheck& check);

// "Home Z": the Z lift until the top switch closes, one pump per cycle. "Cancelar"
// stops it, and so does the count of a lift running full.
void HomeZ(Context& c);

// The message of a Home XY that gave up on the named axes.
std::string HomeSwitchNotFound(bool x, bool y);
// The same after an allowance of stepsX and stepsY half-steps.
std::string HomeSwitchNotFound(bool x, bool y, std::int32_t stepsX, std::int32_t stepsY);

}  // namespace pm
