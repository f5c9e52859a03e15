#include "motion/SwitchPoll.h"

#include "port/Wiring.h"

namespace pm {

std::array<std::int16_t, 8> DecodeStatus(int reading) {
    std::array<std::int16_t, 8> bits{};
    for (const wiring::Line& line : wiring::kStatusLines)
        bits[static_cast<std::size_t>(line.bit)] = wiring::InputActive(line, reading) ? 1 : 0;
    return bits;
}

namespace {

// Decodes one reading into the switch state, stamped with the clock's time.
const SwitchState& TakeReading(Context& c) {
    const auto decoded = DecodeStatus(c.port.vbInp(kStatusReg) & 0xFF);
    SwitchState& sw = c.st.Switches;
    for (std::size_t k = 3; k <= 7; ++k) sw.active[k] = decoded[k] != 0;
    sw.read = true;
    sw.atNs = c.clock.nowNs();
    return sw;
}

}  // namespace

void PollSwitches(Context& c) {
    const SwitchState& sw = TakeReading(c);
    for (std::size_t k = 3; k <= 7; ++k) c.st.LimitBits[k] = sw.active[k] ? 1 : 0;
    c.events.SwitchesRead(c.st.LimitBits);
}

void ReadSwitches(Context& c) { (void)TakeReading(c); }

bool ZTopClosed(Context& c) {
    const SwitchState& sw = c.st.Switches;
    // A reading made at the very instant of the move counts as before it.
    if (!sw.read || sw.atNs <= c.st.LastZMoveNs) ReadSwitches(c);
    return sw.ZTop();
}

}  // namespace pm
