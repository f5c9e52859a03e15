#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "port/Port.h"

namespace pm {

// A virtual router that answers the coil patterns the way the real machine
// does: X and Y half-step motors on the data register, the Z full-step motor
// on the control register, and the switch inputs on the status register.
// It keeps the true positions, so tests can compare where the machine really
// stands with where the program believes it is.
//
// Optionally its X and Y motors stall and its carriages lag, as a real
// machine's do (all off until set):
// - a start rate and an acceleration: a half-step asked of a motor faster
//   than it can follow is missed (its rotor stays, the field has moved on)
//   and counted with the missed steps. A step a start period or more after
//   the last one is always followed, and the motor goes on from it as if it
//   had been stepping at the start rate, its speed lowered by what the
//   acceleration takes off over the wait. After that each
//   step's rate, taken over the last kRateWindow half-steps (so that the
//   uneven steps of a slanted line's minor axis count at their mean), may be
//   at most the motor's speed plus the start rate (with kJumpSlack) plus
//   what the acceleration adds in the step's time; the motor's speed follows those
//   rates at once up to the start rate, and above it by at most the
//   acceleration. A reversal within a start period
//   is missed; slowing down is always followed. A miss stalls the motor: it
//   is at rest where it stands.
// - a backlash: on a reversal the carriage (the tool, and the switch it
//   closes) stays put until the motor has turned through the play.
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

    // True positions: where the tool is (X and Y: the carriages, behind
    // their motors by the play taken up).
    long long x() const { return tool_[0]; }
    long long y() const { return tool_[1]; }
    long long z() const { return pos_[2]; }
    // Where a motor's rotor stands (Z: as z()).
    long long motor(Axis a) const { return pos_[static_cast<int>(a)]; }
    // Places the axis (its motor and its carriage, with the play taken up
    // towards home).
    void setPosition(Axis a, long long p) {
        pos_[static_cast<int>(a)] = p;
        if (a != Axis::Z) tool_[static_cast<int>(a)] = p;
    }

    // The X and Y motors' limits: the rate in half-steps per second at which
    // they start from rest, their acceleration in half-steps per second
    // squared. A start rate of 0 (the default) judges nothing. The time of
    // each write comes from `now` (ns); without it nothing is judged either.
    void setMotorLimits(double startRate, double accel) {
        startRate_ = startRate;
        accel_ = accel;
    }
    void setTimeSource(std::function<std::int64_t()> now) { now_ = std::move(now); }
    // The play between an axis' motor and its carriage, in half-steps (X, Y).
    void setBacklash(Axis a, long long halfSteps) {
        if (a != Axis::Z) backlash_[static_cast<int>(a)] = halfSteps > 0 ? halfSteps : 0;
    }
    // The half-steps over which a step's rate is taken.
    static constexpr int kRateWindow = 32;
    // How much more than the start rate a moving motor's rate may jump.
    static constexpr double kJumpSlack = 1.15;

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
    // How an X or Y rotor has been stepping lately.
    struct Rotor {
        std::array<std::int64_t, kRateWindow + 1> times{};  // its last steps, a ring
        int count = 0;           // steps in the ring
        int head = 0;            // where the next goes
        std::int64_t lastNs = 0;
        bool moving = false;
        int dir = 0;
        double speed = 0;        // half-steps per second
    };
    void driveHalfStep(int axis, int nibble);
    void driveZ(int value);
    // Whether the rotor follows a step in direction dir now.
    bool follows(int axis, int dir);
    void startFromRest(Rotor& r, std::int64_t t, int dir, double speed) const;
    void moveMotor(int axis, int delta);

    std::array<long long, 3> pos_{};
    std::array<long long, 2> tool_{};
    std::array<long long, 2> backlash_{};
    std::array<Rotor, 2> rotor_{};
    double startRate_ = 0;
    double accel_ = 0;
    std::function<std::int64_t()> now_;
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
