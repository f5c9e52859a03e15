#include "motion/Ramp.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pm {

PassRamp::PassRamp(const MachineSettings& settings, double passes)
    : twoAccel_(2 * settings.accel),
      // A start rate below one half-step a second is no rate at all.
      startRate2_(settings.startRate >= 1 ? settings.startRate * settings.startRate : 1),
      stepsAfter_(std::floor(passes) - 2) {}

double PassRamp::stepsToStop() const {
    if (rate2_ <= startRate2_ || !(twoAccel_ > 0)) return 0;
    return std::ceil((rate2_ - startRate2_) / twoAccel_);
}

std::int64_t PassRamp::nextPeriodNs(std::int64_t setPeriodNs) {
    const double after = stepsAfter_;
    stepsAfter_ -= 1;
    if (setPeriodNs < 0) setPeriodNs = 0;
    if (!(after >= 0)) return setPeriodNs;  // the move's last pass: no step of it follows

    const double setRate = setPeriodNs > 0 ? 1e9 / static_cast<double>(setPeriodNs)
                                           : std::numeric_limits<double>::infinity();
    const double set2 = setRate * setRate;
    double v2 = 0;
    if (rate2_ == 0) {
        v2 = std::min(startRate2_, set2);  // from rest
    } else if (set2 >= rate2_) {
        v2 = std::min(set2, rate2_ + twoAccel_);
    } else {
        // Slower than now: down by the acceleration, but a rate at or below
        // the start rate may drop at once.
        v2 = std::max(set2, rate2_ > startRate2_ ? std::max(rate2_ - twoAccel_, startRate2_) : 0.0);
    }
    // Leave room to come down to the start rate by the last step.
    v2 = std::min(v2, after > 0 ? startRate2_ + twoAccel_ * after : startRate2_);
    rate2_ = v2;

    const auto period = static_cast<std::int64_t>(std::llround(1e9 / std::sqrt(v2)));
    // At the set rate the rounding must not make a pass shorter than it.
    return v2 <= set2 ? std::max(period, setPeriodNs) : period;
}

}  // namespace pm
