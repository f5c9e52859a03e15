#include "cli/WiringCheck.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "motion/Motion.h"
#include "motion/SwitchPoll.h"
#include "port/PortFactory.h"
#include "port/Wiring.h"

namespace pm {
namespace {

// The twelve coil lines in connector order, X and Y on the data register,
// then Z on the control register.
constexpr auto kCoilLines = [] {
    std::array<wiring::Line, 12> lines{};
    std::size_t n = 0;
    for (const wiring::Line& l : wiring::kDataLines) lines[n++] = l;
    for (const wiring::Line& l : wiring::kControlLines) lines[n++] = l;
    return lines;
}();

// The value that drives one coil line alone: its bit on the data register;
// on the control register, whose bits 0, 1 and 3 the port inverts, the Z
// phase of that coil.
std::int16_t DrivesAlone(const wiring::Line& l) {
    if (l.address == kControlReg) return static_cast<std::int16_t>(ZPhasesUp[l.coil - 1]);
    return static_cast<std::int16_t>(1 << l.bit);
}

// The switch inputs as the check lists them: the axes first, X Y Z.
constexpr std::array<int, 5> kInputBits{4, 3, 5, 6, 7};

const wiring::Line& StatusLine(int bit) {
    for (const wiring::Line& l : wiring::kStatusLines) {
        if (l.bit == bit) return l;
    }
    return wiring::kStatusLines.front();
}

std::string Hex(int v) {
    std::array<char, 8> buf{};
    std::snprintf(buf.data(), buf.size(), "0x%02X", v & 0xFF);
    return buf.data();
}

std::string Switches(int reading) {
    const auto active = DecodeStatus(reading);
    std::string s = "status " + Hex(reading) + ":";
    for (const int bit : kInputBits) {
        const wiring::Line& in = StatusLine(bit);
        s += ' ';
        s += in.name;
        s += " (pino " + std::to_string(in.pin) + ") ";
        if (bit <= 5) {
            s += active[bit] != 0 ? "fechada" : "aberta";
        } else {
            s += active[bit] != 0 ? "ativa" : "inativa";
        }
        s += bit == kInputBits.back() ? "." : ",";
    }
    return s;
}

void ReleaseAll(Port& port) {
    port.vbOut(kDataReg, 0);
    port.vbOut(kControlReg, kZRelease);
}

// Waits for ns in steps of one poll, watching for a stop. True if stopped.
bool Hold(Clock& clock, std::int64_t ns, const SelfTestOptions& o,
          const std::function<void()>& eachPoll = {}) {
    const std::int64_t end = clock.nowNs() + ns;
    for (;;) {
        if (o.stop && o.stop()) return true;
        const std::int64_t now = clock.nowNs();
        if (now >= end) return false;
        clock.waitUntilNs(std::min(end, now + Clock::kTickNs));
        if (eachPoll) eachPoll();
    }
}

}  // namespace

int RunSelfTest(Port& port, Clock& clock, std::ostream& out, std::ostream& err,
                const SelfTestOptions& options) {
    if (const std::string fault = CheckPort(port); !fault.empty()) {
        err << fault << '\n';
        return 1;
    }
    out << "Teste de ligação: " << port.describe() << '\n';
    ReleaseAll(port);
    out << "Bobinas desligadas; " << Switches(port.vbInp(kStatusReg) & 0xFF) << '\n';

    bool stopped = false;
    char axis = kCoilLines.front().axis;
    for (const wiring::Line& line : kCoilLines) {
        if (axis != line.axis) {
            ReleaseAll(port);
            axis = line.axis;
        }
        const std::int16_t value = DrivesAlone(line);
        port.vbOut(line.address, value);
        out << "Motor " << line.axis << " bobina " << line.coil << ": pino " << line.pin << " ("
            << line.signal << ", registro " << line.address << " = " << value << ")" << std::flush;
        stopped = Hold(clock, options.holdNs, options);
        out << "; " << Switches(port.vbInp(kStatusReg) & 0xFF) << '\n';
        if (stopped || !port.fault().empty()) break;
    }
    ReleaseAll(port);
    out << "Bobinas desligadas." << '\n';

    if (!stopped && port.fault().empty() && options.watchNs > 0) {
        out << "Feche cada chave com a mão: as mudanças aparecem abaixo." << '\n';
        int last = port.vbInp(kStatusReg) & 0xFF;
        const std::int64_t start = clock.nowNs();
        Hold(clock, options.watchNs, options, [&] {
            const int now = port.vbInp(kStatusReg) & 0xFF;
            if (now == last) return;
            last = now;
            out << (clock.nowNs() - start) / 1'000'000 << " ms: " << Switches(now) << '\n';
        });
    }
    if (!stopped) out << "Fim do teste." << '\n';

    if (const std::string fault = port.fault(); !fault.empty()) {
        err << fault << '\n';
        return 1;
    }
    return 0;
}

}  // namespace pm
