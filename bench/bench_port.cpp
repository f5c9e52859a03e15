// What a register access costs on the way to the port: the port object's own
// share over kernel calls that do nothing, and one real system call round
// trip (an ioctl the kernel refuses at once), which every ppdev access pays
// on top of the port's own bus cycle.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "bench/BenchCommon.h"
#include "port/DirectIoPort.h"
#include "port/PpdevPort.h"
#include "port/SimulatedMachine.h"

namespace {

using namespace pm;

// Four significant digits: a few ns a call.
void row(const std::string& name, double value, const char* unit, const std::string& note) {
    bench::Row(name, value, unit, note, 4);
}

class NullCalls final : public SysCalls {
public:
    int open(const std::string&, int) override { return 7; }
    int close(int) override { return 0; }
    int ioctl(int, unsigned long, void* arg) override {
        sink_ = sink_ + (arg != nullptr ? 1 : 0);
        return 0;
    }
    bool hasPortIo() const override { return true; }
    int ioperm(unsigned long, unsigned long, int) override { return 0; }
    void outb(unsigned char v, unsigned short) override { sink_ = sink_ + v; }
    unsigned char inb(unsigned short) override { return 0x7F; }

private:
    volatile unsigned sink_ = 0;
};

}  // namespace

int main() {
    constexpr long kN = 2'000'000;
    NullCalls calls;
    PpdevPort ppdev("/dev/parport0", calls);
    DirectIoPort io(0x378, calls);
    SimulatedMachine sim;

    row("port: ppdev write, object share", bench::NsPerCall(kN, [&](long i) {
            ppdev.vbOut(kDataReg, static_cast<std::int16_t>(i & 0xFF));
        }), "ns", "PpdevPort::vbOut over kernel calls that do nothing");
    row("port: ppdev status read, object share", bench::NsPerCall(kN, [&](long) {
            ppdev.vbInp(kStatusReg);
        }), "ns", "PpdevPort::vbInp over kernel calls that do nothing");
    row("port: direct I/O write, object share", bench::NsPerCall(kN, [&](long i) {
            io.vbOut(kDataReg, static_cast<std::int16_t>(i & 0xFF));
        }), "ns", "DirectIoPort::vbOut over kernel calls that do nothing");
    row("port: simulated machine write", bench::NsPerCall(kN, [&](long i) {
            sim.vbOut(kDataReg, static_cast<std::int16_t>((i & 1) != 0 ? 9 : 8));
        }), "ns", "half-step back and forth on X");

    const int fd = ::open("/dev/null", O_RDWR | O_CLOEXEC);  // NOLINT
    if (fd >= 0) {
        constexpr long kSys = 200'000;
        row("port: system call round trip", bench::NsPerCall(kSys, [&](long) {
                unsigned char b = 0;
                ::ioctl(fd, 0x4B00u, &b);  // NOLINT: refused by /dev/null at once
            }), "ns", "an ioctl the kernel refuses; a ppdev access adds the bus cycle (~1 us on LPC)");
        ::close(fd);
    }
    return 0;
}
