#pragma once
#include <string>

namespace pm {

// The few kernel calls the real ports make, behind one small interface so the
// ports can be exercised without a parallel port. Every call that can fail
// returns a negative errno on failure (never -1 with errno set); open returns
// the descriptor and the others 0 on success.
class SysCalls {
public:
    SysCalls() = default;
    SysCalls(const SysCalls&) = delete;
    SysCalls& operator=(const SysCalls&) = delete;
    virtual ~SysCalls() = default;

    virtual int open(const std::string& path, int flags) = 0;
    virtual int close(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void* arg) = 0;

    // Port I/O (x86 only). hasPortIo() says whether this build can do it.
    virtual bool hasPortIo() const = 0;
    virtual int ioperm(unsigned long from, unsigned long num, int on) = 0;
    virtual void outb(unsigned char value, unsigned short port) = 0;
    virtual unsigned char inb(unsigned short port) = 0;
};

// The process-wide real kernel calls.
SysCalls& RealSysCalls();

// The reason behind a failed call (a negative or positive errno), in words for
// the operator.
std::string SysErrorText(int err);

}  // namespace pm
