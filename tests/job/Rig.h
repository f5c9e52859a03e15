#pragma once
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "motion/HeadlessMachine.h"
#include "motion/Motion.h"
#include "port/SimulatedMachine.h"
#include "port/TracePort.h"

namespace pm::test {

// One machine on the bench: state, simulated router behind a trace, the
// virtual clock, the run settings, and the headless events and pump with the
// 100 ms poll wired in.
struct Rig {
    SimulatedMachine sim;
    VirtualClock clock;
    TracePort port{sim, [this] { return clock.nowNs(); }};
    HeadlessMachine machine{port, clock};
    MachineState& st = machine.state();
    RunSettings& run = machine.run();
    HeadlessEvents& events = machine.events();
    HeadlessPump& pump = machine.pump();
    Context& c = machine.context();
    std::vector<std::string> dots;  // "x y colour"

    Rig() {
        port.setRecordReads(false);
        events.onDot = [this](float x, float y, std::uint32_t colour) {
            char buf[80];
            std::snprintf(buf, sizeof buf, "%.9g %.9g %u", static_cast<double>(x),
                          static_cast<double>(y), colour);
            dots.emplace_back(buf);
        };
    }

    std::vector<std::string> listEntries() const {
        std::vector<std::string> out;
        for (std::size_t i = 0; i < events.list.size(); ++i) out.emplace_back(events.list.at(i));
        return out;
    }
};

// A plot file with the given bytes in a fresh folder of its own.
inline std::string WritePlotFile(const std::string& bytes, const std::string& name = "plot.red") {
    const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string dir = ::testing::TempDir() + "portmill_job_" + info->test_suite_name() + "_" +
                      info->name();
    for (char& ch : dir) {
        if (ch == '/' && &ch != dir.data()) continue;
        if (!std::isalnum(static_cast<unsigned char>(ch)) && ch != '_' && ch != '/' && ch != '.') ch = '_';
    }
    std::filesystem::create_directories(dir);
    const std::string path = dir + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

}  // namespace pm::test
