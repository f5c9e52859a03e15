#include "port/SimOptions.h"

#include <charconv>

#include "port/SimulatedMachine.h"

namespace pm {

namespace {

bool ParseWhole(const std::string& text, long long& out) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, out);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

}  // namespace

bool ParseSimStart(const std::string& text, SimOptions& options, std::string& error) {
    std::array<long long, 3> xyz{};
    std::size_t begin = 0;
    for (std::size_t i = 0; i < xyz.size(); ++i) {
        const std::size_t comma = i < 2 ? text.find(',', begin) : text.size();
        if (comma == std::string::npos || !ParseWhole(text.substr(begin, comma - begin), xyz[i])) {
            error = "--sim-start espera X,Y,Z em números inteiros, não \"" + text + "\"";
            return false;
        }
        begin = comma + 1;
    }
    options.start = xyz;
    return true;
}

bool ParseSimZTop(const std::string& text, SimOptions& options, std::string& error) {
    long long top = 0;
    if (!ParseWhole(text, top)) {
        error = "--sim-ztop espera um número inteiro, não \"" + text + "\"";
        return false;
    }
    options.zTop = top;
    return true;
}

bool SetUpSimulatedMachine(Port& port, const SimOptions& options, std::string& error) {
    if (!options.start && !options.zTop) return true;
    auto* sim = dynamic_cast<SimulatedMachine*>(&port);
    if (sim == nullptr) {
        error = "--sim-start e --sim-ztop valem só para a máquina simulada (--port sim)";
        return false;
    }
    if (options.start) {
        sim->setPosition(SimulatedMachine::Axis::X, (*options.start)[0]);
        sim->setPosition(SimulatedMachine::Axis::Y, (*options.start)[1]);
        sim->setPosition(SimulatedMachine::Axis::Z, (*options.start)[2]);
    }
    if (options.zTop) sim->setZTop(*options.zTop);
    return true;
}

}  // namespace pm
