#pragma once
#include "motion/Clock.h"
#include "motion/MachineEvents.h"
#include "motion/MachineState.h"
#include "motion/Pump.h"
#include "motion/RunSettings.h"
#include "port/Port.h"

namespace pm {

// What every operation works on: the one machine state, the port, the
// clock, the run settings the operator set, where the machine tells what
// happens, and the pump that lets queued input in.
struct Context {
    MachineState& st;
    Port& port;
    Clock& clock;
    RunSettings& run;
    MachineEvents& events;
    Pump& pump;
};

}  // namespace pm
