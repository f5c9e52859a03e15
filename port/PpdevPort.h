#pragma once
#include <cstdint>
#include <string>

#include "port/Port.h"
#include "port/SysCalls.h"

namespace pm {

// A parallel port reached through the kernel's user-space port driver
// (/dev/parportN). Works for a port at any base address, motherboard or card,
// without root: the user needs read and write access to the device node.
//
// The device is opened and claimed at the first register access, not when the
// port is made, and released and closed when it is destroyed, without writing
// anything. Data (888) and control (890) are written as the register holds the
// value; the port's own inverters on control bits 0, 1 and 3 do the rest.
//
// When the device cannot be opened or claimed, or an access fails, fault()
// keeps one message naming the device and the reason; from then on writes do
// nothing and every read returns the idle 0x7F.
class PpdevPort final : public Port {
public:
    explicit PpdevPort(std::string device, SysCalls& sys = RealSysCalls());
    ~PpdevPort() override;

    void vbOut(std::int16_t address, std::int16_t value) override;
    std::int16_t vbInp(std::int16_t address) override;
    std::string fault() const override { return fault_; }
    std::string describe() const override;

    // Opens and claims the device if that has not been tried yet. True while
    // the port can be driven.
    bool open();
    // True when the open failed because there is no such device at all (no
    // node, or no port behind it), as opposed to one that refused us.
    bool absent() const { return absent_; }
    const std::string& device() const { return device_; }

private:
    enum class State { Unopened, Open, Failed };

    void fail(std::string message);
    // One register ioctl; a failure faults the port.
    bool registerIoctl(unsigned long request, unsigned char* byte, const char* what);

    std::string device_;
    SysCalls& sys_;
    State state_ = State::Unopened;
    int fd_ = -1;
    bool claimed_ = false;
    bool absent_ = false;
    std::string fault_;
};

}  // namespace pm
