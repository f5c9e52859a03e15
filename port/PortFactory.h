#pragma once
#include <memory>
#include <string>

#include "port/Port.h"
#include "port/SysCalls.h"

namespace pm {

// Opens a port from its name:
//   "sim"                 the simulated machine
//   "ppdev:/dev/parportN" a parallel port through the kernel's user-space
//                         driver ("ppdev" alone is /dev/parport0)
//   "io:0xNNN"            direct port I/O at that base ("io" alone is 0x378)
//   "auto"                the first /dev/parport0..7 that opens and claims; a
//                         port that is there but refuses us is returned with
//                         its fault, so the operator learns why; with no port
//                         at all, the simulated machine
// Real ports open their device at the first access (except "auto", which has
// to open it to choose). Returns null and fills error on a name it does not
// know.
std::unique_ptr<Port> OpenPort(const std::string& name, std::string* error);
// The same over the given kernel calls.
std::unique_ptr<Port> OpenPort(const std::string& name, std::string* error, SysCalls& sys);

// Reads the status register once, which opens a real port that has not been
// touched yet, and returns its fault (empty when the port can be driven).
std::string CheckPort(Port& port);

// The names OpenPort knows, for help texts.
inline constexpr const char* kPortNames = "auto|sim|ppdev:/dev/parportN|io:0xNNN";

}  // namespace pm
