#pragma once
#include "motion/Context.h"

namespace pm {

// The Z jog. Each cycle is an operation of its own: it refuses while
// another one runs, and turns no pump, so it is over before anything else
// runs.
void JogZUp(Context& c);              // one Z cycle up (a click or a key press)
void JogZDown(Context& c);            // one Z cycle down (a key press)
void JogZDownAndRelease(Context& c);  // one Z cycle down, then every coil off (a click)
// Z coils off (the key let go), unless another operation holds the machine.
void ReleaseZ(Context& c);

}  // namespace pm
