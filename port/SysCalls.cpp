#include "port/SysCalls.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "files/SafeFile.h"

#if (defined(__x86_64__) || defined(__i386__)) && __has_include(<sys/io.h>)
#include <sys/io.h>
#define PM_HAS_PORT_IO 1
#else
#define PM_HAS_PORT_IO 0
#endif

namespace pm {
namespace {

class KernelCalls final : public SysCalls {
public:
    int open(const std::string& path, int flags) override {
        if ((flags & O_ACCMODE) == O_RDWR) {
            // Opening a file or a FIFO for writing can act on it, or wait
            // for a reader: what is not a character device is refused first,
            // looked at through a descriptor that opens nothing.
            // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
            const int look = ::open(path.c_str(), O_PATH | O_CLOEXEC);
            if (look < 0) return -errno;
            struct stat info{};
            const bool device = ::fstat(look, &info) == 0 && S_ISCHR(info.st_mode);
            ::close(look);
            if (!device) return -ENOTTY;
        }
        const int fd = ::open(path.c_str(), flags);  // NOLINT(cppcoreguidelines-pro-type-vararg)
        return fd < 0 ? -errno : fd;
    }

    int close(int fd) override { return ::close(fd) < 0 ? -errno : 0; }

    int ioctl(int fd, unsigned long request, void* arg) override {
        // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
        return ::ioctl(fd, request, arg) < 0 ? -errno : 0;
    }

    bool hasPortIo() const override { return PM_HAS_PORT_IO != 0; }

#if PM_HAS_PORT_IO
    int ioperm(unsigned long from, unsigned long num, int on) override {
        return ::ioperm(from, num, on) < 0 ? -errno : 0;
    }
    void outb(unsigned char value, unsigned short port) override { ::outb(value, port); }
    unsigned char inb(unsigned short port) override { return ::inb(port); }
#else
    int ioperm(unsigned long, unsigned long, int) override { return -ENOSYS; }
    void outb(unsigned char, unsigned short) override {}
    unsigned char inb(unsigned short) override { return 0xFF; }
#endif
};

}  // namespace

std::string SysErrorText(int err) {
    err = std::abs(err);
    switch (err) {
        case EACCES:
        case EPERM: return "permissão negada";
        case ENOENT: return "o dispositivo não existe";
        case ENODEV:
        case ENXIO: return "nenhuma porta paralela responde neste dispositivo";
        case EBUSY: return "a porta está ocupada por outro programa";
        case EIO: return "erro de entrada e saída (cabo ou placa)";
        case EINVAL: return "pedido inválido para este dispositivo";
        case ENOSYS: return "não disponível neste sistema";
        case ENOTTY: return "o caminho não é um dispositivo de caractere (uma porta paralela)";
        default: return FileErrorText(err);
    }
}

SysCalls& RealSysCalls() {
    static KernelCalls calls;
    return calls;
}

}  // namespace pm
