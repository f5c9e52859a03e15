#include "motion/HeadlessMachine.h"

#include "motion/SwitchPoll.h"

namespace pm {

HeadlessMachine::HeadlessMachine(const SimulatedMachine::Setup& setup)
    : ownSim_(std::make_unique<SimulatedMachine>(setup)),
      ownClock_(std::make_unique<VirtualClock>()),
      clock_(*ownClock_),
      pump_(clock_),
      c_{st_, *ownSim_, clock_, run_, events_, pump_} {
    LoadMachineState(st_);
    pump_.onTick = [this] { PollSwitches(c_); };
}

HeadlessMachine::HeadlessMachine(Port& port, Clock& clock)
    : clock_(clock), pump_(clock_), c_{st_, port, clock_, run_, events_, pump_} {
    LoadMachineState(st_);
    pump_.onTick = [this] { PollSwitches(c_); };
}

HeadlessMachine::~HeadlessMachine() = default;

}  // namespace pm
