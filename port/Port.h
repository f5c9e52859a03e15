#pragma once
#include <cstdint>
#include <string>

namespace pm {

// Register addresses of the first parallel port as the program names them.
inline constexpr std::int16_t kDataReg = 888;
inline constexpr std::int16_t kStatusReg = 889;
inline constexpr std::int16_t kControlReg = 890;

// The one way to the machine: byte writes and reads of the port's registers.
// A write takes effect when the call returns; a register keeps its pattern
// until it is written again.
class Port {
public:
    Port() = default;
    Port(const Port&) = delete;
    Port& operator=(const Port&) = delete;
    virtual ~Port() = default;

    // Writes the low byte of value to the register at address.
    virtual void vbOut(std::int16_t address, std::int16_t value) = 0;
    // Reads the register at address; always a byte, 0..255.
    virtual std::int16_t vbInp(std::int16_t address) = 0;

    // Why the port cannot be driven, in words for the operator; empty while
    // it can. A port that has failed writes nothing and reads the idle 0x7F.
    virtual std::string fault() const { return {}; }
    // What this port drives, for the status bar.
    virtual std::string describe() const = 0;
};

}  // namespace pm
