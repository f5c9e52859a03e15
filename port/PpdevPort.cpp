#include "port/PpdevPort.h"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <linux/parport.h>
#include <linux/ppdev.h>

#include <cerrno>
#include <utility>

namespace pm {
namespace {

constexpr std::int16_t kIdle = 0x7F;
constexpr std::int16_t kNoRegister = 0xFF;

std::string OpenFailure(const std::string& dev, int err) {
    switch (-err) {
        case EACCES:
        case EPERM:
            return "Sem permissão para abrir " + dev +
                   ": acrescente o usuário ao grupo lp (sudo usermod -aG lp $USER) ou instale a "
                   "regra udev do portmill.";
        case ENOENT:
            return "A porta " + dev +
                   " não existe: carregue o módulo ppdev (sudo modprobe ppdev) ou escolha outra "
                   "porta.";
        case ENODEV:
        case ENXIO:
            return "Não há porta paralela em " + dev +
                   ": carregue o módulo parport_pc (sudo modprobe parport_pc) ou escolha outra "
                   "porta.";
        case ENOTTY:
            return "O caminho " + dev +
                   " não é um dispositivo de caractere (uma porta paralela ppdev): nada foi "
                   "aberto; escolha outra porta.";
        case EBUSY:
            return "A porta " + dev + " está ocupada por outro programa: feche-o e tente de novo.";
        default:
            return "Não foi possível abrir " + dev + ": " + SysErrorText(err) + ".";
    }
}

}  // namespace

PpdevPort::PpdevPort(std::string device, SysCalls& sys) : device_(std::move(device)), sys_(sys) {}

PpdevPort::~PpdevPort() {
    if (fd_ < 0) return;
    if (claimed_) sys_.ioctl(fd_, PPRELEASE, nullptr);
    sys_.close(fd_);
}

std::string PpdevPort::describe() const {
    if (state_ == State::Failed) return "Porta paralela ausente: " + device_;
    return "Porta paralela " + device_;
}

void PpdevPort::fail(std::string message) {
    // The first reason stays: the operator sees one stable message.
    if (state_ != State::Failed) fault_ = std::move(message);
    state_ = State::Failed;
}

bool PpdevPort::open() {
    if (state_ != State::Unopened) return state_ == State::Open;
    const int fd = sys_.open(device_, O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        absent_ = fd == -ENOENT || fd == -ENODEV || fd == -ENXIO;
        fail(OpenFailure(device_, fd));
        return false;
    }
    fd_ = fd;
    const int claim = sys_.ioctl(fd_, PPCLAIM, nullptr);
    if (claim < 0) {
        sys_.close(fd_);
        fd_ = -1;
        fail("Não foi possível tomar a porta " + device_ + ": " + SysErrorText(claim) + ".");
        return false;
    }
    claimed_ = true;
    // A port left reading by an earlier user would not drive the coils. Not
    // every driver knows the call, and a port in its default mode is already
    // forward, so a refusal is no fault.
    int forward = 0;
    sys_.ioctl(fd_, PPDATADIR, &forward);
    state_ = State::Open;
    return true;
}

bool PpdevPort::registerIoctl(unsigned long request, unsigned char* byte, const char* what) {
    const int r = sys_.ioctl(fd_, request, byte);
    if (r < 0) {
        fail(std::string("Falha ao ") + what + " " + device_ + ": " + SysErrorText(r) + ".");
        return false;
    }
    return true;
}

void PpdevPort::vbOut(std::int16_t address, std::int16_t value) {
    if (!open()) return;
    auto byte = static_cast<unsigned char>(value & 0xFF);
    switch (address) {
        case kDataReg: registerIoctl(PPWDATA, &byte, "escrever em"); break;
        case kControlReg: registerIoctl(PPWCONTROL, &byte, "escrever em"); break;
        default: break;  // no register of ours there
    }
}

std::int16_t PpdevPort::vbInp(std::int16_t address) {
    if (!open()) return kIdle;
    unsigned long request = 0;
    switch (address) {
        case kDataReg: request = PPRDATA; break;
        case kStatusReg: request = PPRSTATUS; break;
        case kControlReg: request = PPRCONTROL; break;
        default: return kNoRegister;
    }
    unsigned char byte = 0;
    if (!registerIoctl(request, &byte, "ler")) return kIdle;
    return byte;
}

}  // namespace pm
