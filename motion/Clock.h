#pragma once
#include <chrono>
#include <cstdint>

#include "motion/StepTiming.h"

namespace pm {

// Time for the motors and the switch poll. One count of SpinDelay lasts
// countNs() nanoseconds (100 by default).
class Clock {
public:
    static constexpr std::int64_t kTickNs = 100'000'000;  // the 100 ms poll

    Clock() = default;
    Clock(const Clock&) = delete;
    Clock& operator=(const Clock&) = delete;
    virtual ~Clock() = default;

    virtual std::int64_t nowNs() const = 0;
    // Returns once the clock has reached t (at once when it already has).
    virtual void waitUntilNs(std::int64_t t) = 0;

    // Measures how late a sleep wakes on the calling thread, so that later
    // waits may sleep for most of their length (RealClock; others ignore it).
    virtual void calibrateSleep() {}

    std::int64_t countNs() const { return countNs_; }
    void setCountNs(std::int64_t ns) { countNs_ = ns > 0 ? ns : 1; }

    // A pause of n counts; none for n <= 0. Never yields to the event pump.
    void SpinDelay(std::int64_t counts);

    // Ends one pass of an XY walk whose step was taken at stepNs: waits so
    // that the passes follow one another every `counts` counts on absolute
    // deadlines, whatever the pass spent drawing, pumping and writing. A pass
    // that overran starts a fresh deadline instead of catching up, so two
    // steps never come closer than one period less the tolerance: the
    // smaller of stepTolerance() and a hundredth of the period.
    void PaceStep(std::int64_t stepNs, std::int64_t counts);
    // The same with the period in ns (none for periodNs <= 0).
    void PaceStepNs(std::int64_t stepNs, std::int64_t periodNs);
    // Forget the last deadline (the next pass starts a fresh one).
    void resetPace() {
        paceValid_ = false;
        due_ = false;
    }
    // How much earlier than one period after its step a deadline may fall
    // (at most; see PaceStep).
    std::int64_t stepTolerance() const { return tolerance_; }
    void setStepTolerance(std::int64_t ns) { tolerance_ = ns; }

    // Where the lateness of the paced steps goes (none: not measured). A
    // step is the first write after a paced wait: its lateness is its time
    // less the wait's deadline.
    void setStepTiming(StepLateness* timing) { timing_ = timing; }
    // A write at `writeNs` that may be a paced step.
    void noteStep(std::int64_t writeNs) {
        if (timing_ == nullptr || !due_) return;
        due_ = false;
        timing_->add(writeNs - dueNs_, duePeriodNs_);
    }

    // The 100 ms switch poll, for front ends whose pump is not a toolkit's:
    // due when the time has reached the next tick's due time; taking it sets
    // the next due time to the first multiple of 100 ms after now.
    bool tickDue() const { return nowNs() >= nextTickNs_; }
    void takeTick();

private:
    std::int64_t countNs_ = 100;
    std::int64_t deadline_ = 0;
    bool paceValid_ = false;
    std::int64_t tolerance_ = 0;
    std::int64_t nextTickNs_ = kTickNs;
    StepLateness* timing_ = nullptr;
    bool due_ = false;
    std::int64_t dueNs_ = 0;
    std::int64_t duePeriodNs_ = 0;
};

// Waits on std::chrono::steady_clock. Time counts from the clock's creation.
// Until calibrateSleep() it busy-waits and never sleeps; after it, a wait
// sleeps until the measured wake-up margin before its deadline and spins
// the rest, so a slow step costs little processor. A wait too short for
// that (a step at speed 1) spins whole, but not for ever: once the thread
// has not slept for kMaxAwakeNs, the next wait of at least kShortWaitNs
// sleeps its first kMinSleepNs. A real-time thread that never leaves the
// processor is stopped by the kernel for 50 ms of every second; the
// wake-up of those short sleeps is its time off, and it risks only every
// fifth step at speed 1 instead of each. A sleep that ends later than
// planned widens the margin to twice that lateness (at most kMaxMarginNs),
// and the margin shrinks back a thousandth a sleep towards the calibrated
// one: an idle virtual machine wakes more slowly than a busy one.
class RealClock final : public Clock {
public:
    RealClock();
    std::int64_t nowNs() const override;
    void waitUntilNs(std::int64_t t) override;
    void calibrateSleep() override;
    // How long before a deadline a sleep ends; 0 when waits only spin.
    std::int64_t sleepMarginNs() const { return sleepMarginNs_; }
    void setSleepMarginNs(std::int64_t ns) { sleepMarginNs_ = ns; }
    static constexpr std::int64_t kMinSleepNs = 20'000;
    static constexpr std::int64_t kShortWaitNs = 60'000;
    static constexpr std::int64_t kMaxAwakeNs = 400'000;
    static constexpr std::int64_t kMaxMarginNs = 500'000;

private:
    std::chrono::steady_clock::time_point start_;
    std::int64_t sleepMarginNs_ = 0;
    std::int64_t calibratedMarginNs_ = 0;
    std::int64_t wokeNs_ = 0;  // when the last sleep ended
};

// Simulated time: starts at 0 and only waiting advances it, at once, so a
// whole job runs at CPU speed with exact, repeatable timestamps.
class VirtualClock final : public Clock {
public:
    std::int64_t nowNs() const override { return now_; }
    void waitUntilNs(std::int64_t t) override {
        if (t > now_) now_ = t;
    }

private:
    std::int64_t now_ = 0;
};

}  // namespace pm
