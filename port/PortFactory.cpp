#include "port/PortFactory.h"

#include <charconv>
#include <optional>
#include <string_view>

#include "port/DirectIoPort.h"
#include "port/PpdevPort.h"
#include "port/SimulatedMachine.h"

namespace pm {
namespace {

constexpr std::string_view kPpdevPrefix = "ppdev:";
constexpr std::string_view kIoPrefix = "io:";
constexpr int kAutoPorts = 8;

// "0x378" (hexadecimal) or "888" (decimal).
std::optional<unsigned> ParseBase(std::string_view text) {
    int radix = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
        radix = 16;
    }
    unsigned value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, radix);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// Where a parallel port's three registers can be: the three legacy bases,
// or an add-in card's base from 0x400 up. Anything else is another device
// (the interrupt and keyboard controllers, the PCI configuration ports at
// 0xCF8-0xCFF), which a typo must never reach.
bool ParallelPortBase(unsigned base) {
    if (base == 0x278 || base == 0x378 || base == 0x3BC) return true;
    if (base < 0x400 || base > DirectIoPort::kMaxBase) return false;
    constexpr unsigned kPciConfigFirst = 0xCF8;
    constexpr unsigned kPciConfigLast = 0xCFF;
    return base + 2 < kPciConfigFirst || base > kPciConfigLast;
}

std::unique_ptr<Port> AutoPort(SysCalls& sys) {
    std::unique_ptr<PpdevPort> refused;
    for (int n = 0; n < kAutoPorts; ++n) {
        auto port = std::make_unique<PpdevPort>("/dev/parport" + std::to_string(n), sys);
        if (port->open()) return port;
        // Keep the first port that is there but would not open: if no other
        // one works, its message tells the operator what to fix.
        if (!port->absent() && !refused) refused = std::move(port);
    }
    if (refused) return refused;
    return std::make_unique<SimulatedMachine>();
}

}  // namespace

std::unique_ptr<Port> OpenPort(const std::string& name, std::string* error, SysCalls& sys) {
    const std::string_view n = name;
    if (n == "sim") return std::make_unique<SimulatedMachine>();
    if (n == "auto") return AutoPort(sys);
    if (n == "ppdev") return std::make_unique<PpdevPort>("/dev/parport0", sys);
    if (n.starts_with(kPpdevPrefix) && n.size() > kPpdevPrefix.size()) {
        return std::make_unique<PpdevPort>(std::string(n.substr(kPpdevPrefix.size())), sys);
    }
    if (n == "io") return std::make_unique<DirectIoPort>(DirectIoPort::kDefaultBase, sys);
    if (n.starts_with(kIoPrefix)) {
        const auto base = ParseBase(n.substr(kIoPrefix.size()));
        if (!base) {
            if (error) *error = "endereço de E/S inválido: " + name + " (use io:0xNNN)";
            return nullptr;
        }
        if (!ParallelPortBase(*base)) {
            if (error) {
                *error = "endereço de E/S recusado: " + name +
                         " não é o endereço de uma porta paralela (use 0x378, 0x278 ou 0x3BC, "
                         "ou o endereço de uma placa, de 0x400 em diante, fora de 0xCF8 a 0xCFF)";
            }
            return nullptr;
        }
        return std::make_unique<DirectIoPort>(*base, sys);
    }
    if (error) *error = "porta desconhecida: " + name + " (use " + kPortNames + ")";
    return nullptr;
}

std::unique_ptr<Port> OpenPort(const std::string& name, std::string* error) {
    return OpenPort(name, error, RealSysCalls());
}

std::string CheckPort(Port& port) {
    if (port.fault().empty()) port.vbInp(kStatusReg);
    return port.fault();
}

}  // namespace pm
