#pragma once
#include <algorithm>
#include <cerrno>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "port/SysCalls.h"

namespace pm {

// Kernel calls that touch nothing: a set of device nodes, a status byte and an
// I/O space, with every call recorded.
class FakeSysCalls final : public SysCalls {
public:
    struct Call {
        std::string fn;  // "open", "close", "ioctl", "ioperm", "outb", "inb"
        std::string path;
        int fd = -1;
        unsigned long request = 0;  // ioctl request, or the port for port I/O
        int value = -1;             // byte written or read, ioperm's "on"
    };

    // Devices that open; any other path fails with ENOENT unless openError
    // names it.
    std::set<std::string> devices;
    std::map<std::string, int> openError;  // path -> errno
    std::map<unsigned long, int> ioctlError;  // request -> errno
    unsigned char status = 0x7F;
    unsigned char data = 0;
    unsigned char control = 0;
    bool portIo = true;
    int iopermError = 0;
    std::map<unsigned short, unsigned char> io;

    std::vector<Call> calls;

    int open(const std::string& path, int /*flags*/) override {
        if (auto it = openError.find(path); it != openError.end()) {
            calls.push_back({"open", path, -it->second, 0, -1});
            return -it->second;
        }
        if (devices.count(path) == 0) {
            calls.push_back({"open", path, -ENOENT, 0, -1});
            return -ENOENT;
        }
        const int fd = nextFd_++;
        calls.push_back({"open", path, fd, 0, -1});
        return fd;
    }

    int close(int fd) override {
        calls.push_back({"close", "", fd, 0, -1});
        return 0;
    }

    int ioctl(int fd, unsigned long request, void* arg) override;

    bool hasPortIo() const override { return portIo; }

    int ioperm(unsigned long from, unsigned long num, int on) override {
        calls.push_back({"ioperm", "", static_cast<int>(num), from, on});
        return iopermError != 0 ? -iopermError : 0;
    }

    void outb(unsigned char value, unsigned short port) override {
        calls.push_back({"outb", "", -1, port, value});
        io[port] = value;
    }

    unsigned char inb(unsigned short port) override {
        const auto it = io.find(port);
        const unsigned char v = it == io.end() ? 0xFF : it->second;
        calls.push_back({"inb", "", -1, port, v});
        return v;
    }

    int count(const std::string& fn) const {
        return static_cast<int>(
            std::count_if(calls.begin(), calls.end(), [&](const Call& c) { return c.fn == fn; }));
    }

private:
    int nextFd_ = 5;
};

}  // namespace pm
