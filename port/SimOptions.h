#pragma once
#include <array>
#include <optional>
#include <string>

#include "port/Port.h"

namespace pm {

// The simulated machine's set-up as the command lines give it:
// --sim-start X,Y,Z (its axes' places in steps) and --sim-ztop N (where the
// Z top switch closes).
struct SimOptions {
    std::optional<std::array<long long, 3>> start;
    std::optional<long long> zTop;
};

// Reads "X,Y,Z" into options.start; false with the reason in error.
bool ParseSimStart(const std::string& text, SimOptions& options, std::string& error);
// Reads a whole number into options.zTop; false with the reason in error.
bool ParseSimZTop(const std::string& text, SimOptions& options, std::string& error);
// Sets the simulated machine behind port up. False with the reason when a
// set-up is asked of a port that is not the simulated machine.
bool SetUpSimulatedMachine(Port& port, const SimOptions& options, std::string& error);

}  // namespace pm
