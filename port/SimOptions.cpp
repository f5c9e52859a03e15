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

bool ParseSimLimit(const std::string& name, const std::string& text, SimOptions& options,
                   std::string& error) {
    constexpr long long kMost = 10'000'000;
    if (name == "--sim-backlash") {
        const std::size_t comma = text.find(',');
        long long x = 0;
        long long y = 0;
        if (comma == std::string::npos || !ParseWhole(text.substr(0, comma), x) ||
            !ParseWhole(text.substr(comma + 1), y) || x < 0 || y < 0 || x > kMost || y > kMost) {
            error = name + " espera X,Y em meios-passos (inteiros de 0 a 10000000), não \"" + text +
                    "\"";
            return false;
        }
        options.backlash = std::array<long long, 2>{x, y};
        return true;
    }
    long long v = 0;
    const long long least = name == "--sim-accel" ? 0 : 1;
    if (!ParseWhole(text, v) || v < least || v > kMost) {
        error = name + " espera um número inteiro de " + std::to_string(least) +
                " a 10000000, não \"" + text + "\"";
        return false;
    }
    (name == "--sim-accel" ? options.accel : options.startRate) = v;
    return true;
}

bool SetUpSimulatedMachine(Port& port, const SimOptions& options, std::string& error,
                           const std::function<std::int64_t()>& now) {
    const bool limits = options.startRate || options.accel || options.backlash;
    if (!options.start && !options.zTop && !limits) return true;
    auto* sim = dynamic_cast<SimulatedMachine*>(&port);
    if (sim == nullptr) {
        error = "--sim-start e --sim-ztop, --sim-start-rate, --sim-accel e --sim-backlash valem só "
                "para a máquina simulada (--port sim)";
        return false;
    }
    if (options.accel && !options.startRate) {
        error = "--sim-accel precisa de --sim-start-rate";
        return false;
    }
    if (options.startRate) {
        sim->setMotorLimits(static_cast<double>(*options.startRate),
                            static_cast<double>(options.accel.value_or(0)));
        sim->setTimeSource(now);
    }
    if (options.backlash) {
        sim->setBacklash(SimulatedMachine::Axis::X, (*options.backlash)[0]);
        sim->setBacklash(SimulatedMachine::Axis::Y, (*options.backlash)[1]);
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
