#pragma once
#include "motion/Context.h"

namespace pm {

// The Z buttons of the jog pad. Command10 to Command13 do nothing.
// Each cycle is an operation of its own: it refuses while another one runs,
// and pumps nothing, so it is over before anything else runs.
void Command8_Click(Context& c);     // one Z cycle up
void Command8_KeyPress(Context& c);  // the same
void Command8_KeyUp(Context& c);     // Z coils off
void Command9_Click(Context& c);     // one Z cycle down, then every coil off
void Command9_KeyPress(Context& c);  // one Z cycle down
void Command9_KeyUp(Context& c);     // Z coils off

}  // namespace pm
