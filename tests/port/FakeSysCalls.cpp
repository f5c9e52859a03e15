#include "FakeSysCalls.h"

#include <sys/ioctl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>

namespace pm {

int FakeSysCalls::ioctl(int fd, unsigned long request, void* arg) {
    Call c{"ioctl", "", fd, request, -1};
    if (auto it = ioctlError.find(request); it != ioctlError.end()) {
        calls.push_back(c);
        return -it->second;
    }
    auto* byte = static_cast<unsigned char*>(arg);
    if (request == PPWDATA) {
        data = *byte;
        c.value = *byte;
    } else if (request == PPWCONTROL) {
        control = *byte;
        c.value = *byte;
    } else if (request == PPRSTATUS) {
        *byte = status;
        c.value = status;
    } else if (request == PPRDATA) {
        *byte = data;
        c.value = data;
    } else if (request == PPRCONTROL) {
        *byte = control;
        c.value = control;
    } else if (request == PPDATADIR) {
        c.value = *static_cast<int*>(arg);
    }
    calls.push_back(c);
    return 0;
}

}  // namespace pm
