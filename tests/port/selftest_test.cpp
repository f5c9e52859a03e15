#include <gtest/gtest.h>

#include <cerrno>
#include <sstream>

#include "FakeSysCalls.h"
#include "cli/WiringCheck.h"
#include "port/PpdevPort.h"
#include "port/SimulatedMachine.h"
#include "port/TracePort.h"

namespace pm {
namespace {

constexpr std::int64_t kHold = 2'000'000'000;

struct SelfTestFixture : ::testing::Test {
    SimulatedMachine sim;
    VirtualClock clock;
    TracePort trace{sim, [this] { return clock.nowNs(); }};
    std::ostringstream out;
    std::ostringstream err;
    SelfTestOptions options;
    SelfTestFixture() {
        options.holdNs = kHold;
        options.watchNs = 0;
        trace.setRecordReads(false);
    }
    int run() { return RunSelfTest(trace, clock, out, err, options); }
    static int Count(const std::string& text, const std::string& what) {
        int n = 0;
        for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
        return n;
    }
};

TEST_F(SelfTestFixture, EachLineAloneInConnectorOrderThenAllOff) {
    ASSERT_EQ(run(), 0) << err.str();
    EXPECT_EQ(trace.writes(kDataReg),
              (std::vector<int>{0, 1, 2, 4, 8, 0, 16, 32, 64, 128, 0, 0}));
    EXPECT_EQ(trace.writes(kControlReg), (std::vector<int>{11, 11, 11, 10, 9, 15, 3, 11}));

    // Every line stays on by itself for the whole hold.
    std::vector<std::int64_t> on;
    for (const auto& a : trace.accesses()) {
        const bool lineOn = a.address == kDataReg ? a.value != 0 : a.value != 11;
        if (lineOn) on.push_back(a.tNs);
    }
    ASSERT_EQ(on.size(), 12u);
    for (std::size_t i = 1; i < on.size(); ++i) EXPECT_EQ(on[i] - on[i - 1], kHold) << i;

    EXPECT_EQ(Count(out.str(), "Motor "), 12);
    EXPECT_NE(out.str().find("Motor Z bobina 3: pino 16"), std::string::npos) << out.str();
    EXPECT_EQ(sim.missedSteps(), 0);
    EXPECT_FALSE(sim.energised(SimulatedMachine::Axis::X));
    EXPECT_FALSE(sim.energised(SimulatedMachine::Axis::Z));
    EXPECT_GT(sim.z(), 0) << "the Z lines in turn lift the tool";
    EXPECT_LT(sim.x(), 2000) << "X turns towards home";
    EXPECT_LT(sim.y(), 1500) << "Y turns towards home";
}

TEST_F(SelfTestFixture, ShowsEachSwitch) {
    sim.setPosition(SimulatedMachine::Axis::X, 0);
    sim.setPosition(SimulatedMachine::Axis::Z, 500);
    ASSERT_EQ(run(), 0);
    const std::string first = out.str().substr(0, out.str().find("Motor "));
    EXPECT_NE(first.find("X casa (pino 13) fechada"), std::string::npos) << first;
    EXPECT_NE(first.find("Y casa (pino 15) aberta"), std::string::npos) << first;
    EXPECT_NE(first.find("Z topo (pino 12) fechada"), std::string::npos) << first;
}

TEST_F(SelfTestFixture, WatchPrintsSwitchChanges) {
    options.watchNs = 3'000'000'000;
    std::int64_t watchFrom = -1;
    options.stop = [&] {
        // A hand closes the Y home switch a second into the watch.
        if (out.str().find("Feche cada chave") != std::string::npos && watchFrom < 0) {
            watchFrom = clock.nowNs();
        }
        if (watchFrom >= 0 && clock.nowNs() >= watchFrom + 1'000'000'000) {
            sim.setPosition(SimulatedMachine::Axis::Y, -5);
        }
        return false;
    };
    ASSERT_EQ(run(), 0);
    EXPECT_NE(out.str().find("1100 ms: status"), std::string::npos) << out.str();
    EXPECT_EQ(Count(out.str(), "Y casa (pino 15) fechada"), 1) << out.str();
    EXPECT_NE(out.str().find("Fim do teste."), std::string::npos);
}

TEST_F(SelfTestFixture, StopReleasesAtOnce) {
    int polls = 0;
    options.stop = [&] { return ++polls > 30; };
    ASSERT_EQ(run(), 0);
    EXPECT_LT(Count(out.str(), "Motor "), 12);
    EXPECT_EQ(trace.writes(kDataReg).back(), 0);
    EXPECT_EQ(trace.writes(kControlReg).back(), 11);
}

TEST(SelfTest, FaultedPortWritesNothingAndFails) {
    FakeSysCalls sys;
    sys.openError["/dev/parport0"] = EACCES;
    PpdevPort port("/dev/parport0", sys);
    VirtualClock clock;
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_EQ(RunSelfTest(port, clock, out, err, {}), 1);
    EXPECT_EQ(err.str(), port.fault() + "\n");
    EXPECT_EQ(out.str(), "");
    EXPECT_EQ(sys.calls.size(), 1u);
    EXPECT_EQ(clock.nowNs(), 0);
}

}  // namespace
}  // namespace pm
