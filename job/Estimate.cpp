#include "job/Estimate.h"

#include <algorithm>
#include <cstdio>

#include "job/Job.h"
#include "job/LeadingNumber.h"
#include "job/Statement.h"
#include "motion/HeadlessMachine.h"

namespace pm {

void Extent::add(double x, double y) {
    if (empty) {
        minX = maxX = x;
        minY = maxY = y;
        empty = false;
        return;
    }
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
}

JobEstimate EstimateJob(const std::string& plotFile, const EstimateSettings& settings,
                        const std::atomic<bool>* cancel,
                        const std::function<void(float, float, std::uint32_t)>& onDot,
                        const std::function<void(int percent)>& progress) {
    JobEstimate est;
    HeadlessMachine machine(settings.machine);
    MachineState& st = machine.state();
    RunSettings& live = machine.run();
    HeadlessEvents& events = machine.events();
    HeadlessPump& pump = machine.pump();
    st.Settings = settings.machineSettings;
    live.motorsOn = settings.motors;
    live.previewScale = settings.scale;
    live.speed = settings.speed;
    live.divisor = settings.divisor;
    live.plotFile = plotFile;
    events.onDot = onDot;

    // The points visited: the job's origin, where the tool starts, and the
    // target of every statement that carries a pair, seen at the first pump
    // after the statement was listed.
    std::size_t seen = 0;
    const auto sample = [&] {
        if (events.list.size() == seen) return;
        seen = events.list.size();
        // Statements before the start are read, not visited.
        if (seen < settings.fromStatement) return;
        if (!CutStatement(events.list.at(seen - 1)).hasPair) return;
        if (est.extentSteps.empty) est.extentSteps.add(0, 0);
        est.extentSteps.add(st.TargetX, st.TargetY);
    };
    pump.onPump = [&] {
        while (est.listedNs.size() < events.list.size()) est.listedNs.push_back(machine.clock().nowNs());
        sample();
        if (cancel != nullptr && cancel->load(std::memory_order_relaxed)) st.CancelRequested = true;
    };
    if (progress) {
        events.onProgress = [&progress, last = -1](unsigned long long read,
                                               unsigned long long size) mutable {
            const int percent = size == 0 ? 100 : static_cast<int>(read * 100 / size);
            if (percent == last) return;
            last = percent;
            progress(percent);
        };
    }
    events.onMessage = [&](const std::string& m) {
        if (est.error.empty()) est.error = m;
    };

    const PlotRun run = RunJob(machine.context(), settings.fromStatement);
    sample();

    est.durationNs = machine.clock().nowNs();
    est.listedNs.resize(events.list.size(), est.durationNs);
    est.statements = run.statements;
    est.cancelled = run.end == PlotEnd::Cancelled;
    est.ok = run.end == PlotEnd::EndOfFile && est.error.empty();
    if (!est.extentSteps.empty) {
        // The job has replaced a divisor that read as 0 by "1".
        const double d = DivisorValue(live.divisor);
        const Extent& s = est.extentSteps;
        est.extentUnits.add(s.minX * d, s.minY * d);
        est.extentUnits.add(s.maxX * d, s.maxY * d);
    }
    return est;
}

std::string FormatDuration(std::int64_t ns) {
    char buf[64];
    if (ns < 60'000'000'000LL) {
        std::snprintf(buf, sizeof buf, "%.1f s", static_cast<double>(ns) / 1e9);
        return buf;
    }
    const long long s = (ns + 500'000'000LL) / 1'000'000'000LL;
    if (s < 3600) {
        std::snprintf(buf, sizeof buf, "%lld min %02lld s", s / 60, s % 60);
    } else {
        std::snprintf(buf, sizeof buf, "%lld h %02lld min %02lld s", s / 3600, s / 60 % 60, s % 60);
    }
    return buf;
}

}  // namespace pm
