#pragma once
#include <QString>
#include <cstdint>
#include <optional>

#include "job/Estimate.h"
#include "motion/MachineSettings.h"

namespace pm {

// The running job as the status bar tells it: the statement it works on of
// the file's statements ("Lido: N de M"), where the tool stands from the
// job's origin in millimetres, and the time left. The time left is the
// estimate's time after the present statement, counted down while that
// statement runs (at most its own estimated time), held while the job is
// paused, and taken anew from each estimate that arrives for the job's file
// at the settings now in force (after a change of speed, say). Times are on
// the machine's clock.
class JobProgress {
public:
    // A job starts, with the estimate of its file at the present settings
    // when there is one.
    void start(std::int64_t nowNs, const JobEstimate* estimate);
    // An estimate for the running job's file at the settings now in force.
    void estimated(const JobEstimate& estimate);
    // The job works on statement n (counted from the file's first; one past
    // the last at the end) with the tool at (x, y) half-steps from its origin.
    void statement(std::uint64_t n, double x, double y, std::int64_t nowNs);
    void paused(bool on, std::int64_t nowNs);
    void end(std::int64_t nowNs);

    bool started() const { return started_; }
    std::uint64_t statementNumber() const { return n_; }
    // The time the job still needs at now, or none when no estimate tells.
    std::optional<std::int64_t> left(std::int64_t nowNs) const;
    // The status bar's text, and the detail its tooltip adds.
    QString text(std::int64_t nowNs, const MachineSettings& m) const;
    QString detail(std::int64_t nowNs) const;

private:
    bool started_ = false;
    bool running_ = false;
    bool paused_ = false;
    std::int64_t startNs_ = 0;
    std::int64_t endNs_ = 0;
    std::int64_t statementNs_ = 0;  // when the present statement came, pauses left out
    std::int64_t pausedNs_ = 0;     // when the pause began
    std::uint64_t n_ = 0;
    double x_ = 0;
    double y_ = 0;
    std::optional<JobEstimate> estimate_;
};

}  // namespace pm
