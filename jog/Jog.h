#pragma once
#include "motion/Context.h"

namespace pm {

// The Z buttons of the jog pad. Command10 to Command13 do nothing.
void Command8_Click(Context& c);     // one Z cycle up
void Command8_KeyPress(Context& c);  // the same
void Command8_KeyUp(Context& c);     // Z coils off
void Command9_Click(Context& c);     // one Z cycle down, then every coil off
void Command9_KeyPress(Context& c);  // one Z cycle down
void Command9_KeyUp(Context& c);     // Z coils off

}  // namespace pm
