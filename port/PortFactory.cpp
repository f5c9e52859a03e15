#include "port/PortFactory.h"

#include "port/SimulatedMachine.h"

namespace pm {

std::unique_ptr<Port> OpenPort(const std::string& name, std::string* error) {
    if (name == "sim") return std::make_unique<SimulatedMachine>();
    if (error) *error = "porta desconhecida: " + name;
    return nullptr;
}

}  // namespace pm
