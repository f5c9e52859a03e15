#pragma once
#include <array>
#include <cstdint>
#include <optional>

#include "port/Port.h"

namespace pm {

// A virtual router that answers the coil patterns the way the real machine
// does: X and Y half-step motors on the data register, the Z full-step motor
// on the control register, and the switch inputs on the status register.
// It keeps the true positions, so tests can compare where the machine really
// stands with where the program believes it is.
class SimulatedMachine final : public Port {
public:
    struct Setup {
        long long x = 2000;  // half-steps
        long long y = 1500;  // half-steps
        long long z = 0;     // full steps
        long long zTop = 160;   // the Z top switch closes at or above this
        long long xHome = 0;    // the X home switch closes at or below this
        long long yHome = 0;    // the Y home switch closes at or below this
    };

    enum class Axis { X = 0, Y = 1, Z = 2 };

    SimulatedMachine();
    explicit SimulatedMachine(const Setup& setup);

    void vbOut(std::int16_t address, std::int16_t value) override;
    std::int16_t vbInp(std::int16_t address) override;
    std::string describe() const override { return "Máquina simulada"; }

    // True positions.
    long long x() const { return pos_[0]; }
    long long y() const { return pos_[1]; }
    long long z() const { return pos_[2]; }
    void setPosition(Axis a, long long p) { pos_[static_cast<int>(a)] = p; }

    // Switch set-up.
    void setZTop(long long top) { zTop_ = top; }
    // Where the axis' switch closes: X and Y at or below it, Z at or above.
    void setHome(Axis a, long long at);
    // A switch that never closes (broken wire, stalled motor).
    void setSwitchBroken(Axis a, bool broken) { broken_[static_cast<int>(a)] = broken; }
    // Some cards read bits 0-2 of the status register as 0.
    void setLowBitsZero(bool zero) { lowBitsZero_ = zero; }
    // The two inputs that carry no switch of this machine: pin 10 (bit 6) and
    // pin 11 (Busy, bit 7, inverted by the port). Active means held low.
    void setSpareInputs(bool pin10Active, bool pin11Active) {
        pin10Active_ = pin10Active;
        pin11Active_ = pin11Active;
    }

    bool xHomeClosed() const;
    bool yHomeClosed() const;
    bool zTopClosed() const;

    // Whether the axis' coils are energised now.
    bool energised(Axis a) const { return energised_[static_cast<int>(a)]; }
    // Half-steps (X, Y) or full steps (Z) of two or three phases at once that
    // the rotor followed.
    long long roughSteps(Axis a) const { return rough_[static_cast<int>(a)]; }
    // Patterns the rotor could not follow (opposite phase, or not a phase).
    long long missedSteps(Axis a) const { return missed_[static_cast<int>(a)]; }
    long long missedSteps() const { return missed_[0] + missed_[1] + missed_[2]; }

    // Last values written to the two output registers (0 and 11 before any write).
    int dataRegister() const { return data_; }
    int controlRegister() const { return control_; }

private:
    void driveHalfStep(int axis, int nibble);
    void driveZ(int value);

    std::array<long long, 3> pos_{};
    std::array<int, 3> phase_{};           // last phase taken by each rotor
    std::array<bool, 3> everEnergised_{};
    std::array<bool, 3> energised_{};
    std::array<long long, 3> rough_{};
    std::array<long long, 3> missed_{};
    std::array<bool, 3> broken_{};
    long long zTop_ = 160;
    long long xHome_ = 0;
    long long yHome_ = 0;
    bool lowBitsZero_ = false;
    bool pin10Active_ = false;
    bool pin11Active_ = false;
    int data_ = 0;
    int control_ = 11;
};

}  // namespace pm
