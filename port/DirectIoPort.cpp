#include "port/DirectIoPort.h"

#include <array>
#include <cctype>
#include <cerrno>
#include <charconv>

namespace pm {
namespace {

constexpr std::int16_t kIdle = 0x7F;
constexpr std::int16_t kNoRegister = 0xFF;
constexpr unsigned long kRegisters = 3;

}  // namespace

DirectIoPort::DirectIoPort(unsigned base, SysCalls& sys) : base_(base), sys_(sys) {
    if (!sys_.hasPortIo()) {
        state_ = State::Failed;
        fault_ = "E/S direta não disponível neste computador (somente x86): use "
                 "ppdev:/dev/parport0.";
    } else if (base_ == 0 || base_ > kMaxBase) {
        state_ = State::Failed;
        fault_ = "Endereço de E/S direta inválido: " + baseText() + ".";
    }
}

DirectIoPort::~DirectIoPort() {
    // Give the access back; the registers keep what they hold.
    if (state_ == State::Open) sys_.ioperm(base_, kRegisters, 0);
}

std::string DirectIoPort::baseText() const {
    std::array<char, 8> digits{};
    const auto end = std::to_chars(digits.data(), digits.data() + digits.size(), base_, 16).ptr;
    std::string text(digits.data(), end);
    for (char& ch : text) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    return "0x" + text;
}

std::string DirectIoPort::describe() const {
    if (state_ == State::Failed) return "E/S direta ausente: " + baseText();
    return "E/S direta " + baseText();
}

bool DirectIoPort::open() {
    if (state_ != State::Unopened) return state_ == State::Open;
    const int r = sys_.ioperm(base_, kRegisters, 1);
    if (r < 0) {
        state_ = State::Failed;
        if (r == -EPERM || r == -EACCES) {
            fault_ = "Sem permissão para E/S direta em " + baseText() +
                     ": é preciso ser root; prefira ppdev:/dev/parport0, que não precisa.";
        } else {
            fault_ = "Não foi possível obter a E/S direta em " + baseText() + ": " +
                     SysErrorText(r) + ".";
        }
        return false;
    }
    state_ = State::Open;
    return true;
}

void DirectIoPort::vbOut(std::int16_t address, std::int16_t value) {
    if (!open()) return;
    // The status register is read-only.
    if (address != kDataReg && address != kControlReg) return;
    sys_.outb(static_cast<unsigned char>(value & 0xFF),
              static_cast<unsigned short>(base_ + static_cast<unsigned>(address - kDataReg)));
}

std::int16_t DirectIoPort::vbInp(std::int16_t address) {
    if (!open()) return kIdle;
    if (address < kDataReg || address > kControlReg) return kNoRegister;
    return sys_.inb(static_cast<unsigned short>(base_ + static_cast<unsigned>(address - kDataReg)));
}

}  // namespace pm
