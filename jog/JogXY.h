#pragma once
#include <cstdint>
#include <string>

#include "motion/Context.h"

namespace pm {

// The step sizes the jog pad offers, smallest first: 0,1, 1 and 10 mm once
// the half-steps per millimetre are set (they differ from the divisor's
// default assumption), 1, 10 and 100 half-steps until then.
inline constexpr int kJogSizes = 3;
bool JogInMillimetres(const MachineSettings& m);
// The half-steps one step of size 0-2 makes along an axis (at least one).
long JogStepHalfSteps(const MachineSettings& m, AxisXY axis, int size);
// The size as the pad names it: "0,1 mm", or "10" (half-steps).
std::string JogSizeText(const MachineSettings& m, int size);

// How long a button must be held before the jog goes on past its step: a
// click makes one step, whatever the speed.
inline constexpr std::int64_t kJogHoldDelayNs = 300'000'000;

// The XY jog, an operation of its own. With the motors on the tool is lifted
// first (unless it is up), and lowered back to its height after the move.
// The walk goes dx and dy half-steps from where the tool stands, then on in
// the same direction while `held` holds past the hold delay (JogHeld, until
// ReleaseXY),
// at the jog speed (the travel speed when set, else the run speed): within
// the start rate, or ramped up and back down to it with the ramps on, so a
// release at speed takes the few steps the slowing down needs. Every write
// moves each motor by one half-step at most, continuing the patterns they
// hold, whether or not the motors are ticked on; each pass draws a travel
// dot and turns the pump. "Cancelar" stops it at once.
void JogXY(Context& c, long dx, long dy, bool held);
// The jog's button or key was let go.
void ReleaseXY(Context& c);

}  // namespace pm
