#include "motion/SwitchPoll.h"

namespace pm {

std::array<std::int16_t, 8> DecodeStatus(int reading) {
    std::array<std::int16_t, 8> bits{};
    for (int k = 3; k <= 6; ++k) bits[k] = (reading >> k & 1) == 0 ? 1 : 0;
    bits[7] = static_cast<std::int16_t>(reading >> 7 & 1);
    return bits;
}

void PollSwitches(Context& c) {
    const auto decoded = DecodeStatus(c.port.vbInp(kStatusReg) & 0xFF);
    for (int k = 3; k <= 7; ++k) c.st.LimitBits[k] = decoded[k];
    c.events.SwitchesRead(c.st.LimitBits);
}

}  // namespace pm
