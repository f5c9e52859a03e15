#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "port/Port.h"

namespace pm {

// The simulated machine's set-up as the command lines give it:
// --sim-start X,Y,Z (its axes' places in steps), --sim-ztop N (where the
// Z top switch closes), and the limits of a real machine: --sim-start-rate N
// and --sim-accel N (what its X and Y motors follow, half-steps/s and
// half-steps/s^2) and --sim-backlash X,Y (the play of its carriages, in
// half-steps). All off unless given.
struct SimOptions {
    std::optional<std::array<long long, 3>> start;
    std::optional<long long> zTop;
    std::optional<long long> startRate;
    std::optional<long long> accel;
    std::optional<std::array<long long, 2>> backlash;
};

// Reads "X,Y,Z" into options.start; false with the reason in error.
bool ParseSimStart(const std::string& text, SimOptions& options, std::string& error);
// Reads a whole number into options.zTop; false with the reason in error.
bool ParseSimZTop(const std::string& text, SimOptions& options, std::string& error);
// Reads one of the limits (--sim-start-rate, --sim-accel, --sim-backlash,
// named by `name`) into options; false with the reason in error.
bool ParseSimLimit(const std::string& name, const std::string& text, SimOptions& options,
                   std::string& error);
// Sets the simulated machine behind port up; `now` is the time its motors
// are judged by (the clock the machine runs on). False with the reason when
// a set-up is asked of a port that is not the simulated machine.
bool SetUpSimulatedMachine(Port& port, const SimOptions& options, std::string& error,
                           const std::function<std::int64_t()>& now = {});

}  // namespace pm
