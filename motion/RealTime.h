#pragma once
#include <string>

namespace pm {

struct RealTimeResult {
    bool realTime = false;  // the calling thread runs under SCHED_FIFO
    bool locked = false;    // the process's memory is locked
    int priority = 0;       // the SCHED_FIFO priority taken
    std::string note;       // for the operator: what was taken, or why not
};

// The priority the thread that steps the motors asks for: above every
// ordinary process, below the kernel's own interrupt threads (50).
inline constexpr int kMotorPriority = 10;

// Moves the calling thread to SCHED_FIFO at kMotorPriority (or the highest
// RLIMIT_RTPRIO allows, if lower) where the system allows it, and locks the
// process's memory where that cannot make later allocations fail (no limit
// on locked memory). Changes nothing where it is not allowed.
RealTimeResult EnterRealTime();

// Moves the calling thread, once in real time, back to the ordinary
// scheduling (on false) or to SCHED_FIFO at priority again (on true). A
// thread that spins without pacing a step (a job at speed 0) would hold its
// core from every ordinary thread woken there, the window and the display
// server among them.
bool SetRealTime(bool on, int priority);

}  // namespace pm
