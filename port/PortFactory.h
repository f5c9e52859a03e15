#pragma once
#include <memory>
#include <string>

#include "port/Port.h"

namespace pm {

// Opens a port from its name: "sim" (the simulated machine), and the real
// ports added beside it. Returns null and fills error on a name it does not
// know.
std::unique_ptr<Port> OpenPort(const std::string& name, std::string* error);

}  // namespace pm
