#pragma once

namespace pm {

// The one call by which a long operation lets queued input in: a cancel, a
// pause, a change of the run settings, the switch poll's tick, a click. It
// returns once that input has been applied, so the operation goes on with
// whatever it changed. The window's machine thread applies its queue there;
// the headless pump delivers the tick the clock says is due and whatever
// the owner scripted.
class Pump {
public:
    Pump() = default;
    Pump(const Pump&) = delete;
    Pump& operator=(const Pump&) = delete;
    virtual ~Pump() = default;

    // One turn of the pump.
    virtual void turn() = 0;

    // True once the program is being ended (told to stop, or unable to keep
    // its records): the operations that never turn the pump (Home XY, the
    // tool's lower) stop at their next pass, and the owner switches every
    // coil off. The others stop through a cancel applied at the pump.
    virtual bool quitting() { return false; }
};

}  // namespace pm
