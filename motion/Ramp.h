#pragma once
#include <cstdint>

#include "motion/MachineSettings.h"

namespace pm {

// The pass periods of one XY move with ramps on. From rest the rate starts
// at the start rate, rises towards the set rate by the acceleration and falls
// back to the start rate by the move's last step: a trapezoid, or a triangle
// when the move is too short to reach the set rate. The rate after a step is
// sqrt(v^2 + 2a) of the rate v before it (one half-step at constant
// acceleration), and each interval takes the rate at its start, so a motor
// is never asked for more than the acceleration. A set rate changed during
// the move is reached the same way, up or down.
class PassRamp {
public:
    // passes: how many passes the move makes, the first at its start point.
    PassRamp(const MachineSettings& settings, double passes);

    // The time in ns from the step of the next pass (the first, then the
    // second, ...) to the step of the one after it, given the set period in
    // ns as it stands now. Never shorter than the set period while the rate
    // keeps to it or rises; the last pass of the move, which no step of the
    // move follows, takes the set period.
    std::int64_t nextPeriodNs(std::int64_t setPeriodNs);

    // A move whose end is known only as it goes (a held jog): the fewest
    // steps in which the rate can come down to the start rate from where it
    // is, and the move's end put `steps` steps after the last one made.
    double stepsToStop() const;
    void endAfter(double steps) { stepsAfter_ = steps - 1; }

private:
    double twoAccel_;    // 2a, half-steps^2/s^2 per half-step
    double startRate2_;  // the start rate, squared
    double rate2_ = 0;   // the rate of the last interval, squared; 0 at rest
    double stepsAfter_;  // steps of the move after the one that ends the next interval
};

}  // namespace pm
