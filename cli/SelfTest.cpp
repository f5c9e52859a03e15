#include "cli/SelfTest.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <string>

#include "motion/Motion.h"
#include "motion/SwitchPoll.h"
#include "port/PortFactory.h"

namespace pm {
namespace {

struct CoilLine {
    const char* axis;
    int coil;  // 1..4
    std::int16_t reg;
    std::int16_t value;  // drives this line alone
    int pin;
    const char* signal;
};

// The control values drive one line alone through the port's inverters on
// bits 0, 1 and 3: they are the four Z phases of a lift.
constexpr std::array<CoilLine, 12> kLines{{
    {"X", 1, kDataReg, 0x01, 2, "D0"},
    {"X", 2, kDataReg, 0x02, 3, "D1"},
    {"X", 3, kDataReg, 0x04, 4, "D2"},
    {"X", 4, kDataReg, 0x08, 5, "D3"},
    {"Y", 1, kDataReg, 0x10, 6, "D4"},
    {"Y", 2, kDataReg, 0x20, 7, "D5"},
    {"Y", 3, kDataReg, 0x40, 8, "D6"},
    {"Y", 4, kDataReg, 0x80, 9, "D7"},
    {"Z", 1, kControlReg, ZPhasesUp[0], 1, "Strobe"},
    {"Z", 2, kControlReg, ZPhasesUp[1], 14, "AutoFeed"},
    {"Z", 3, kControlReg, ZPhasesUp[2], 16, "Init"},
    {"Z", 4, kControlReg, ZPhasesUp[3], 17, "SelectIn"},
}};

struct SwitchInput {
    int bit;
    const char* name;
    int pin;
};

constexpr std::array<SwitchInput, 5> kInputs{{
    {4, "X casa", 13},
    {3, "Y casa", 15},
    {5, "Z topo", 12},
    {6, "entrada livre", 10},
    {7, "entrada livre", 11},
}};

std::string Hex(int v) {
    std::array<char, 8> buf{};
    std::snprintf(buf.data(), buf.size(), "0x%02X", v & 0xFF);
    return buf.data();
}

std::string Switches(int reading) {
    const auto active = DecodeStatus(reading);
    std::string s = "status " + Hex(reading) + ":";
    for (const SwitchInput& in : kInputs) {
        s += ' ';
        s += in.name;
        s += " (pino " + std::to_string(in.pin) + ") ";
        if (in.bit <= 5) {
            s += active[in.bit] != 0 ? "fechada" : "aberta";
        } else {
            s += active[in.bit] != 0 ? "ativa" : "inativa";
        }
        s += in.bit == 7 ? "." : ",";
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
    std::string axis = kLines.front().axis;
    for (const CoilLine& line : kLines) {
        if (axis != line.axis) {
            ReleaseAll(port);
            axis = line.axis;
        }
        port.vbOut(line.reg, line.value);
        out << "Motor " << line.axis << " bobina " << line.coil << ": pino " << line.pin << " ("
            << line.signal << ", registro " << line.reg << " = " << line.value << ")" << std::flush;
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
