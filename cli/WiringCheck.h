#pragma once
#include <cstdint>
#include <functional>
#include <ostream>

#include "motion/Clock.h"
#include "port/Port.h"

namespace pm {

struct SelfTestOptions {
    // How long each coil line stays on by itself.
    std::int64_t holdNs = 1'000'000'000;
    // How long the switches are watched at the end, for closing each by hand.
    std::int64_t watchNs = 10'000'000'000;
    // Polled between waits; true ends the test early (coils released).
    std::function<bool()> stop;
};

// The wiring check: energises each of the twelve coil lines by itself, in
// connector order, X and Y on the data register, then Z on the control
// register, each for holdNs, printing the switch inputs at every line; then
// releases every coil and prints each change of the switches for watchNs.
// Each motor turns a few steps while its four lines take turns. Returns the
// exit status: 0, or 1 when the port has a fault (printed on err).
int RunSelfTest(Port& port, Clock& clock, std::ostream& out, std::ostream& err,
                const SelfTestOptions& options);

namespace cli {
// portmill-cli selftest [--port NAME] [--hold MS] [--watch S] [--clock real|virtual]:
// the wiring check above on the real clock; SIGINT, SIGTERM or SIGHUP ends it
// with the coils released.
int SelfTestCommand(int argc, char** argv);
}  // namespace cli

}  // namespace pm
