#pragma once
#include "motion/Clock.h"
#include "motion/Controls.h"
#include "motion/MachineState.h"
#include "port/Port.h"

namespace pm {

// What every operation and handler works on: the one machine state, the
// port, the window's controls with the event pump, and the clock.
struct Context {
    MachineState& st;
    Port& port;
    Controls& ui;
    Clock& clock;
};

}  // namespace pm
