#include "motion/Clock.h"

#include <algorithm>
#include <array>
#include <thread>

namespace pm {

void Clock::SpinDelay(std::int64_t counts) {
    if (counts <= 0) return;
    waitUntilNs(nowNs() + counts * countNs_);
}

void Clock::PaceStep(std::int64_t stepNs, std::int64_t counts) {
    PaceStepNs(stepNs, counts > 0 ? counts * countNs_ : 0);
}

void Clock::PaceStepNs(std::int64_t stepNs, std::int64_t periodNs) {
    const std::int64_t period = periodNs > 0 ? periodNs : 0;
    // A step may come this much early so that the rhythm holds: the set
    // tolerance, but never more than a hundredth of the period, which a
    // motor does not feel even at the highest speed.
    const std::int64_t tolerance = std::min(tolerance_, period / 100);
    std::int64_t next = stepNs + period;  // a fresh deadline
    if (paceValid_ && stepNs - deadline_ <= tolerance) {
        // The step came on time: keep the absolute rhythm. The next step then
        // comes no sooner than one period less the tolerance after this one.
        next = deadline_ + period;
    }
    waitUntilNs(next);
    deadline_ = std::max(next, nowNs());
    paceValid_ = true;
    due_ = true;
    dueNs_ = next;
    duePeriodNs_ = period;
}

void Clock::takeTick() {
    const std::int64_t now = nowNs();
    nextTickNs_ = (now / kTickNs + 1) * kTickNs;
}

RealClock::RealClock() : start_(std::chrono::steady_clock::now()) {
    // The real clock lets a step come this much early rather than stretch
    // the rhythm by the time a pass spends before its write.
    setStepTolerance(20'000);
}

std::int64_t RealClock::nowNs() const {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now() - start_)
        .count();
}

void RealClock::waitUntilNs(std::int64_t t) {
    if (sleepMarginNs_ > 0) {
        const std::int64_t left = t - nowNs();
        std::int64_t margin = sleepMarginNs_;
        if (left < margin + kMinSleepNs && left >= kShortWaitNs && t - wokeNs_ >= kMaxAwakeNs) {
            margin = left - kMinSleepNs;
        }
        if (left >= margin + kMinSleepNs) {
            const std::int64_t wake = t - margin;
            std::this_thread::sleep_until(start_ + std::chrono::nanoseconds(wake));
            wokeNs_ = nowNs();
            const std::int64_t late = wokeNs_ - wake;
            if (2 * late > sleepMarginNs_) {
                sleepMarginNs_ = std::min(2 * late, std::max(kMaxMarginNs, calibratedMarginNs_));
            } else if (sleepMarginNs_ > calibratedMarginNs_) {
                sleepMarginNs_ -= std::max<std::int64_t>(1, (sleepMarginNs_ - calibratedMarginNs_) / 1000);
            }
        }
    }
    while (nowNs() < t) {
        // the last stretch spins: the step's moment must not depend on the scheduler
    }
}

void RealClock::calibrateSleep() {
    // Sleeps of 200 us, as a slow step's wait has them: the margin is twice
    // the worst lateness seen, and at least 50 us, at most 2 ms.
    constexpr int kRounds = 40;
    constexpr std::int64_t kSleepNs = 200'000;
    std::array<std::int64_t, kRounds> late{};
    for (std::int64_t& l : late) {
        const std::int64_t due = nowNs() + kSleepNs;
        std::this_thread::sleep_until(start_ + std::chrono::nanoseconds(due));
        l = nowNs() - due;
    }
    std::sort(late.begin(), late.end());
    const std::int64_t worst = late[kRounds - 2];  // one outlier is forgiven
    sleepMarginNs_ = std::clamp<std::int64_t>(2 * worst, 50'000, 2'000'000);
    calibratedMarginNs_ = sleepMarginNs_;
}

}  // namespace pm
