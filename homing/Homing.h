#pragma once
#include "motion/Context.h"

namespace pm {

// "Home XY": X and Y together towards their home switches, reading the
// status register itself; no event pump; every coil released at the end.
void Command4_Click(Context& c);
// "Home Z": the Z lift until LE(5) shows, one pump per cycle.
void Command3_Click(Context& c);

}  // namespace pm
