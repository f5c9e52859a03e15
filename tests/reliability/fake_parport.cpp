// A stand-in for the kernel's parallel-port driver, loaded into portmill-cli
// with LD_PRELOAD: open() of the path in PM_FAKE_PARPORT gives a descriptor
// of /dev/null, and the ppdev ioctls on it act as an idle port (switches
// open, status 0x7F) while every register write is appended to the file
// PM_FAKE_PARPORT_LOG as "W 888 <value>" or "W 890 <value>". Every other
// call goes to the C library.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/ppdev.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int gFakeFd = -1;

using OpenFn = int (*)(const char*, int, ...);
using IoctlFn = int (*)(int, unsigned long, ...);

OpenFn RealOpen() { return reinterpret_cast<OpenFn>(::dlsym(RTLD_NEXT, "open")); }
IoctlFn RealIoctl() { return reinterpret_cast<IoctlFn>(::dlsym(RTLD_NEXT, "ioctl")); }

void Log(int reg, unsigned char value) {
    const char* path = std::getenv("PM_FAKE_PARPORT_LOG");
    if (path == nullptr) return;
    const int fd = RealOpen()(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    char line[32];
    const int n = std::snprintf(line, sizeof line, "W %d %u\n", reg, value);
    if (n > 0) (void)!::write(fd, line, static_cast<std::size_t>(n));
    ::close(fd);
}

}  // namespace

extern "C" int open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if ((flags & O_CREAT) != 0) {
        va_list args;
        va_start(args, flags);
        mode = static_cast<mode_t>(va_arg(args, int));
        va_end(args);
    }
    const char* fake = std::getenv("PM_FAKE_PARPORT");
    if (fake != nullptr && std::strcmp(path, fake) == 0) {
        gFakeFd = RealOpen()("/dev/null", O_RDWR | O_CLOEXEC);
        return gFakeFd;
    }
    return RealOpen()(path, flags, mode);
}

extern "C" int ioctl(int fd, unsigned long request, ...) {
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (fd != gFakeFd || gFakeFd < 0) return RealIoctl()(fd, request, arg);
    auto* byte = static_cast<unsigned char*>(arg);
    switch (request) {
        case PPWDATA: Log(888, *byte); break;
        case PPWCONTROL: Log(890, *byte); break;
        case PPRSTATUS: *byte = 0x7F; break;
        case PPRDATA:
        case PPRCONTROL: *byte = 0; break;
        default: break;  // claim, release, direction: granted
    }
    return 0;
}
