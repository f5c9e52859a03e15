#include "port/SimulatedMachine.h"

#include <algorithm>
#include <cmath>

#include "port/Wiring.h"

namespace pm {

namespace {

using wiring::kHalfStepNibbles;
using wiring::kZPhases;

std::optional<int> indexOf(const int* table, int n, int value) {
    for (int i = 0; i < n; ++i) {
        if (table[i] == value) return i;
    }
    return std::nullopt;
}

}  // namespace

SimulatedMachine::SimulatedMachine() : SimulatedMachine(Setup{}) {}

SimulatedMachine::SimulatedMachine(const Setup& s)
    : pos_{s.x, s.y, s.z}, tool_{s.x, s.y}, zTop_(s.zTop), xHome_(s.xHome), yHome_(s.yHome) {}

void SimulatedMachine::setHome(Axis a, long long at) {
    if (a == Axis::X) xHome_ = at;
    if (a == Axis::Y) yHome_ = at;
    if (a == Axis::Z) zTop_ = at;
}

bool SimulatedMachine::xHomeClosed() const { return !broken_[0] && tool_[0] <= xHome_; }
bool SimulatedMachine::yHomeClosed() const { return !broken_[1] && tool_[1] <= yHome_; }

void SimulatedMachine::startFromRest(Rotor& r, std::int64_t t, int dir, double speed) const {
    // As if it had been stepping at the start rate until now.
    r.times[0] = t - std::llround(1e9 / startRate_);
    r.times[1] = t;
    r.count = 2;
    r.head = 2;
    r.lastNs = t;
    r.moving = true;
    r.dir = dir;
    r.speed = speed;
}

bool SimulatedMachine::follows(int axis, int dir) {
    if (!(startRate_ > 0) || !now_) return true;
    Rotor& r = rotor_[axis];
    const std::int64_t t = now_();
    const double gapNs = static_cast<double>(t - r.lastNs);
    // A nanosecond's rounding of the pacing still counts as a start period.
    if (!r.moving || gapNs >= 1e9 / startRate_ - 1) {
        // At most the start rate: followed. The motor has slowed down over
        // the wait by at most the acceleration (the uneven steps of a minor
        // axis wait so without stopping).
        const double left = r.moving && dir == r.dir ? std::max(r.speed - accel_ * gapNs / 1e9, 1e9 / gapNs) : 0;
        startFromRest(r, t, dir, left);
        return true;
    }
    if (dir != r.dir) {  // a reversal at more than the start rate
        startFromRest(r, t, dir, 0);
        return false;
    }
    constexpr int kRing = kRateWindow + 1;
    r.times[static_cast<std::size_t>(r.head)] = t;
    r.head = (r.head + 1) % kRing;
    if (r.count < kRing) ++r.count;
    const std::int64_t oldest =
        r.times[static_cast<std::size_t>((r.head - r.count + kRing) % kRing)];
    const double rate = (r.count - 1) * 1e9 / static_cast<double>(t - oldest);
    const double gain = accel_ * gapNs / 1e9;
    // The start rate's jump, with the slack a rotor has (it may lag the
    // field by part of a step): the first steps of a slanted line's minor
    // axis come up to a seventh faster than their mean.
    if (rate > r.speed + kJumpSlack * startRate_ + gain) {
        startFromRest(r, t, dir, 0);  // stalled: at rest where it stands
        return false;
    }
    // Up to the start rate the rotor takes any speed at once; above it the
    // speed follows the rates by at most the acceleration.
    r.speed = std::max(std::clamp(rate, r.speed - gain, r.speed + gain), std::min(rate, startRate_));
    r.lastNs = t;
    return true;
}

void SimulatedMachine::moveMotor(int axis, int delta) {
    pos_[axis] += delta;
    // The carriage lies within the play behind the motor: pushed along by
    // it going up, pulled back with it going down.
    tool_[axis] = std::clamp(tool_[axis], pos_[axis] - backlash_[axis], pos_[axis]);
}
bool SimulatedMachine::zTopClosed() const { return !broken_[2] && pos_[2] >= zTop_; }

void SimulatedMachine::driveHalfStep(int axis, int nibble) {
    if (nibble == 0) {  // released: keeps its place and its last phase
        energised_[axis] = false;
        return;
    }
    const auto idx = indexOf(kHalfStepNibbles.data(), 8, nibble);
    energised_[axis] = true;
    if (!idx) {
        // Not a phase: the rotor does not move, and a rotor that has never
        // been driven still has no phase of its own.
        ++missed_[axis];
        return;
    }
    if (!everEnergised_[axis]) {  // takes the first phase it is given
        everEnergised_[axis] = true;
        phase_[axis] = *idx;
        return;
    }
    const int d = ((*idx - phase_[axis]) % 8 + 8) % 8;
    if (d == 4) {  // the opposite phase: the rotor cannot tell which way
        ++missed_[axis];
        return;
    }
    const int delta = d < 4 ? d : d - 8;
    phase_[axis] = *idx;
    if (delta == 0) return;
    if (!follows(axis, delta > 0 ? 1 : -1)) {  // the field moved on without the rotor
        ++missed_[axis];
        return;
    }
    if (delta > 1 || delta < -1) ++rough_[axis];
    moveMotor(axis, delta);
}

void SimulatedMachine::driveZ(int value) {
    const auto idx = indexOf(kZPhases.data(), 4, value);
    if (!idx) {  // 11 drives no line, other values two opposite lines
        energised_[2] = false;
        return;
    }
    if (!everEnergised_[2]) {
        everEnergised_[2] = true;
        energised_[2] = true;
        phase_[2] = *idx;
        return;
    }
    energised_[2] = true;
    const int d = ((*idx - phase_[2]) % 4 + 4) % 4;
    if (d == 2) {
        ++missed_[2];
        return;
    }
    pos_[2] += d == 1 ? 1 : d == 3 ? -1 : 0;
    phase_[2] = *idx;
}

void SimulatedMachine::vbOut(std::int16_t address, std::int16_t value) {
    const int v = value & 0xFF;
    if (address == kDataReg) {
        data_ = v;
        driveHalfStep(0, v & 0x0F);
        driveHalfStep(1, (v >> 4) & 0x0F);
    } else if (address == kControlReg) {
        control_ = v;
        driveZ(v & 0x0F);
    }
}

std::int16_t SimulatedMachine::vbInp(std::int16_t address) {
    if (address == kStatusReg) {
        int s = lowBitsZero_ ? 0 : 0x07;
        if (!yHomeClosed()) s |= wiring::kYHomeStatusBit;
        if (!xHomeClosed()) s |= wiring::kXHomeStatusBit;
        if (!zTopClosed()) s |= wiring::kZTopStatusBit;
        if (!pin10Active_) s |= wiring::kPin10StatusBit;
        if (pin11Active_) s |= wiring::kPin11StatusBit;
        return static_cast<std::int16_t>(s);
    }
    if (address == kDataReg) return static_cast<std::int16_t>(data_);
    if (address == kControlReg) return static_cast<std::int16_t>(control_);
    return 0xFF;
}

}  // namespace pm
