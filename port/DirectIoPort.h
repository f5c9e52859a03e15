#pragma once
#include <cstdint>
#include <string>

#include "port/Port.h"
#include "port/SysCalls.h"

namespace pm {

// A legacy parallel port driven by direct port I/O (ioperm, outb, inb) at a
// fixed base address: 888, 889 and 890 go to base, base + 1 and base + 2. It
// needs root (or CAP_SYS_RAWIO) and an x86 processor; elsewhere it is a port
// whose fault() says it is not available.
//
// Access is asked for at the first register access; a refusal faults the port
// the same way as the user-space driver's: writes do nothing and reads return
// the idle 0x7F.
class DirectIoPort final : public Port {
public:
    static constexpr unsigned kDefaultBase = 0x378;
    // The highest base whose three registers still fit in the I/O space.
    static constexpr unsigned kMaxBase = 0xFFFD;

    explicit DirectIoPort(unsigned base = kDefaultBase, SysCalls& sys = RealSysCalls());
    ~DirectIoPort() override;

    void vbOut(std::int16_t address, std::int16_t value) override;
    std::int16_t vbInp(std::int16_t address) override;
    std::string fault() const override { return fault_; }
    std::string describe() const override;

    // Asks for the three registers if that has not been tried yet. True while
    // the port can be driven.
    bool open();
    unsigned base() const { return base_; }
    // "0x378"
    std::string baseText() const;

private:
    enum class State { Unopened, Open, Failed };

    unsigned base_;
    SysCalls& sys_;
    State state_ = State::Unopened;
    std::string fault_;
};

}  // namespace pm
