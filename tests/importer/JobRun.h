#pragma once
// The job on the simulated router over a converted drawing, for the
// importers' round-trip tests.
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "job/Estimate.h"
#include "job/Job.h"
#include "job/Statement.h"
#include "motion/HeadlessMachine.h"

namespace pm::test {

struct Visit {
    bool down;
    double x;
    double y;
    bool operator==(const Visit&) const = default;
};

inline std::ostream& operator<<(std::ostream& os, const Visit& v) {
    return os << (v.down ? "PD" : "PU") << v.x << ',' << v.y;
}

inline std::string WriteTemp(const std::string& name, const std::string& text) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("pm_importer_" + std::to_string(::getpid()) + "_" + name);
    std::ofstream(path, std::ios::binary) << text;
    return path.string();
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The job on the simulated router with the motors on and divisor 1, so its
// targets are the file's coordinates: the point and the tool mode of every
// statement that carries a pair, in order.
struct JobRun {
    std::vector<Visit> visits;
    SimulatedMachine::Setup setup;
    long long machineX = 0;
    long long machineY = 0;
    long long missed = 0;
    std::int64_t ns = 0;
};

inline JobRun RunTheJob(const std::string& path, const EstimateSettings& set = {"1", 0, 5, true, {}}) {
    JobRun r;
    r.setup = set.machine;
    HeadlessMachine m(r.setup);
    MachineState& st = m.state();
    RunSettings& run = m.run();
    HeadlessEvents& events = m.events();
    HeadlessPump& pump = m.pump();
    const SimulatedMachine& machine = *m.sim();
    st.Settings = set.machineSettings;
    run.motorsOn = set.motors;
    run.previewScale = set.scale;
    run.speed = set.speed;
    run.divisor = set.divisor;
    run.plotFile = path;
    std::size_t seen = 0;
    const auto sample = [&] {
        if (events.list.size() == seen) return;
        seen = events.list.size();
        if (CutStatement(events.list.at(seen - 1)).hasPair)
            r.visits.push_back({st.MoveMode == "D", st.TargetX, st.TargetY});
    };
    pump.onPump = sample;
    RunJob(m.context());
    sample();
    r.machineX = machine.x() - r.setup.x;
    r.machineY = machine.y() - r.setup.y;
    r.missed = machine.missedSteps();
    r.ns = m.clock().nowNs();
    return r;
}

// The points of a drawing written with absolute PU/PD pairs only, read the
// way a plotter reads them.
inline std::vector<Visit> PlotterPoints(const std::string& hpgl) {
    std::vector<Visit> v;
    bool down = false;
    std::istringstream in(hpgl);
    std::string cmd;
    while (std::getline(in, cmd, ';')) {
        const std::string head = cmd.substr(0, 2);
        if (head != "PU" && head != "PD") continue;
        down = head == "PD";
        std::istringstream nums(cmd.substr(2));
        double x = 0;
        double y = 0;
        char comma = 0;
        while (nums >> x >> comma >> y) {
            v.push_back({down, x, y});
            nums >> comma;
        }
    }
    return v;
}

}  // namespace pm::test
