#pragma once
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "motion/MachineSettings.h"
#include "motion/RunSettings.h"
#include "port/SimulatedMachine.h"

namespace pm {

// The smallest box around the points a job visits; empty until the first.
struct Extent {
    bool empty = true;
    double minX = 0;
    double minY = 0;
    double maxX = 0;
    double maxY = 0;

    void add(double x, double y);
};

// The window's settings a job's duration depends on.
struct EstimateSettings {
    std::string divisor = RunSettings::kDefaultDivisor;
    int speed = RunSettings::kDefaultSpeed;
    int scale = RunSettings::kDefaultScale;
    bool motors = false;  // "Ativar Motores"
    // Where the simulated machine stands: with the motors on, each lift runs
    // until the Z top switch closes, so its length depends on the machine.
    SimulatedMachine::Setup machine{};
    // The ramps and the travel speed: the moves take the times they take.
    MachineSettings machineSettings{};
    // The statement the job starts from (counted from 1).
    std::uint64_t fromStatement = 1;
};

struct JobEstimate {
    bool ok = false;          // the job ran to the end of its file
    bool cancelled = false;   // the cancel flag stopped it
    std::int64_t durationNs = 0;  // the job's duration at these settings
    unsigned long long statements = 0;
    // When each statement of the file was listed (statement k at k - 1),
    // from the job's start: the time the job still needs after statement k
    // is durationNs - listedNs[k - 1].
    std::vector<std::int64_t> listedNs;
    // The points the job visits, in half-steps (its origin and its targets), and the same
    // in plot units (the half-steps times the divisor the job used).
    Extent extentSteps;
    Extent extentUnits;
    std::string error;        // the message box the job showed, if any
};

// A dry run of "Fresar" on plotFile: the same job on a virtual clock, a
// simulated machine and headless events and pump, with a machine state of its own,
// so it may run on any thread. When cancel is given and becomes true, the job
// is cancelled at its next event pump and the result says so.
// onDot, when given, sees each dot the job draws as it would on the canvas.
// progress, when given, hears how much of the file the run has read, in whole
// percent, each time that number changes (on the thread the estimate runs on).
JobEstimate EstimateJob(const std::string& plotFile, const EstimateSettings& settings,
                        const std::atomic<bool>* cancel = nullptr,
                        const std::function<void(float, float, std::uint32_t)>& onDot = {},
                        const std::function<void(int percent)>& progress = {});

// "1 h 02 min 03 s", "4 min 05 s", "12.3 s": a duration for the operator.
std::string FormatDuration(std::int64_t ns);

}  // namespace pm
