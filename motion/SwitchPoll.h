#pragma once
#include <array>
#include <cstdint>

#include "motion/Context.h"

namespace pm {

// LimitBits(3..7) of one status-register reading: 1 for an active input
// (its line held low). Each input is read from its own bit: bits 3 to 6 are
// active at 0, bit 7 (Busy, inverted by the port) at 1.
std::array<std::int16_t, 8> DecodeStatus(int reading);

// The 100 ms switch poll: one status read into the switch state and
// LimitBits(3..7), told as SwitchesRead.
void PollSwitches(Context& c);

// One status read into the switch state alone (not the lamps).
void ReadSwitches(Context& c);
// Whether the Z top switch is closed: from the switch state, read afresh
// first when no reading was made since the Z motor last moved.
bool ZTopClosed(Context& c);

}  // namespace pm
