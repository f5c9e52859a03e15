#include "motion/HeadlessMachine.h"

#include "motion/SwitchPoll.h"

namespace pm {

HeadlessMachine::HeadlessMachine(const SimulatedMachine::Setup& setup)
    : ownSim_(std::make_unique<SimulatedMachine>(setup)),
      ownClock_(std::make_unique<VirtualClock>()),
      clock_(*ownClock_),
      ui_(clock_),
      c_{st_, *ownSim_, ui_, clock_} {
    LoadMachineState(st_);
    ui_.onTick = [this] { Timer1_Timer(c_); };
}

HeadlessMachine::HeadlessMachine(Port& port, Clock& clock)
    : clock_(clock), ui_(clock_), c_{st_, port, ui_, clock_} {
    LoadMachineState(st_);
    ui_.onTick = [this] { Timer1_Timer(c_); };
}

HeadlessMachine::~HeadlessMachine() = default;

}  // namespace pm
