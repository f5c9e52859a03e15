#pragma once

namespace pm {

// What the machine's motors and mechanics allow, as its owner has set it:
// plain data that a front end fills (the window from its machine settings,
// portmill-cli from its options) and the motion code reads.
struct MachineSettings {
    // Acceleration of the XY ramps in half-steps per second squared. 0 turns
    // the ramps off: every pass of a move then lasts the set period.
    double accel = 0;
    // The pass rate in half-steps per second at which a motor may start and
    // stop without a ramp.
    double startRate = 200;
    // The speed of tool-up (travel) moves on Slider2's scale; below 0 they
    // follow Slider2 like the milling moves.
    int travelSpeed = -1;

    bool rampsOn() const { return accel > 0; }
};

}  // namespace pm
