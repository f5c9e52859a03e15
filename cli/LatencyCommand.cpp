// portmill-cli latency: how late this computer makes the passes of an XY
// walk at each speed, on the real clock, and which speeds it can keep.
#include <charconv>
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/LatencyCommand.h"
#include "cli/Runner.h"
#include "cli/Signals.h"
#include "motion/Clock.h"
#include "motion/Motion.h"
#include "motion/RealTime.h"
#include "motion/StepTiming.h"

namespace pm {
namespace cli {
namespace {

// The speeds measured, on Slider2's scale (10000 / s half-steps a second).
constexpr int kSpeeds[] = {1, 2, 3, 4, 5, 10, 20};

// A speed is kept when at most this share of its passes come later than a
// tenth of their period.
constexpr double kLateShare = 0.001;

}  // namespace

int LatencyCommand(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error, {"--seconds"})) return UsageError(error);
    if (!line.args.empty()) return UsageError("latency não leva arquivo");
    long long seconds = 10;
    if (const auto it = line.extra.find("--seconds"); it != line.extra.end()) {
        const std::string& t = it->second;
        const char* end = t.data() + t.size();
        const auto r = std::from_chars(t.data(), end, seconds);
        if (t.empty() || r.ec != std::errc() || r.ptr != end || seconds < 1 || seconds > 3600) {
            return UsageError("--seconds espera um número inteiro de 1 a 3600, não \"" + t + "\"");
        }
    }

    // As a job on the real clock runs: real-time priority where allowed,
    // sleeps before long waits as far as the measured wake-up allows.
    CatchStopSignals();
    EnterRealTime();
    RealClock clock;
    clock.calibrateSleep();
    const std::int64_t share = seconds * 1'000'000'000 / static_cast<std::int64_t>(std::size(kSpeeds));

    std::string kept;
    for (const int speed : kSpeeds) {
        StepLateness late;
        clock.setStepTiming(&late);
        clock.resetPace();
        const std::int64_t end = clock.nowNs() + share;
        std::int64_t stepNs = clock.nowNs();
        while (stepNs < end && CaughtSignal() == 0) {
            // One pass: its wait on the absolute rhythm, then its "write".
            clock.PaceStep(stepNs, static_cast<std::int64_t>(speed) * kSpeedCounts);
            stepNs = clock.nowNs();
            clock.noteStep(stepNs);
        }
        clock.setStepTiming(nullptr);
        if (CaughtSignal() != 0) return kExitOk;  // the status tells the signal
        const std::int64_t periodNs = speed * kSpeedCounts * clock.countNs();
        const bool keeps = late.count() > 0 &&
                           static_cast<double>(late.lateCount()) <= kLateShare * static_cast<double>(late.count());
        std::printf("velocidade %d (%lld meios-passos/s, período %lld µs): %s; %s\n", speed,
                    static_cast<long long>(1'000'000'000 / periodNs), static_cast<long long>(periodNs / 1000),
                    late.summary().c_str(), keeps ? "mantém" : "não mantém");
        if (keeps) kept += (kept.empty() ? "" : " ") + std::to_string(speed);
    }
    std::printf("velocidades que esta máquina mantém: %s\n", kept.empty() ? "nenhuma" : kept.c_str());
    FlushStandardOutput();
    return kExitOk;
}

}  // namespace cli
}  // namespace pm
