#include <gtest/gtest.h>

#include <cstdint>
#include <iterator>
#include <vector>

#include "port/SimulatedMachine.h"

namespace pm::test {
namespace {

using Axis = SimulatedMachine::Axis;

// Nibbles of the X half-step cycle, by table index.
constexpr int kNib[8] = {9, 8, 12, 4, 6, 2, 3, 1};

TEST(SimulatedMachine, FollowsTheHalfStepPatterns) {
    const struct {
        const char* name;
        std::vector<int> nibbles;  // written in turn to the X bits
        long long moved, rough, missed;
        bool energised;
    } cases[] = {
        {"first pattern is taken, not moved to", {kNib[2]}, 0, 0, 0, true},
        {"one forward", {kNib[0], kNib[1]}, 1, 0, 0, true},
        {"one back through index 0", {kNib[0], kNib[7]}, -1, 0, 0, true},
        {"a full turn of the table", {9, 8, 12, 4, 6, 2, 3, 1, 9}, 8, 0, 0, true},
        {"the same pattern holds", {kNib[3], kNib[3], kNib[3]}, 0, 0, 0, true},
        {"two at once, followed", {kNib[0], kNib[2]}, 2, 1, 0, true},
        {"three at once, followed", {kNib[0], kNib[3]}, 3, 1, 0, true},
        {"three back at once", {kNib[0], kNib[5]}, -3, 1, 0, true},
        {"the opposite phase is missed", {kNib[0], kNib[4], kNib[1]}, 1, 0, 1, true},
        {"not a phase is missed", {kNib[0], 5, kNib[1]}, 1, 0, 1, true},
        {"a first pattern that is not a phase", {15, kNib[6], kNib[7]}, 1, 0, 1, true},
        {"released keeps place and phase", {kNib[0], kNib[1], 0, kNib[2]}, 2, 0, 0, true},
        {"released, judged against its last phase", {kNib[0], kNib[1], 0, kNib[5]}, 1, 0, 1, true},
        {"release", {kNib[0], kNib[1], 0}, 1, 0, 0, false},
    };
    for (const bool onY : {false, true}) {
        for (const auto& k : cases) {
            SimulatedMachine m;
            const Axis a = onY ? Axis::Y : Axis::X;
            const long long start = onY ? m.y() : m.x();
            for (const int n : k.nibbles) m.vbOut(kDataReg, static_cast<std::int16_t>(onY ? n << 4 : n));
            SCOPED_TRACE(testing::Message() << (onY ? "Y: " : "X: ") << k.name);
            EXPECT_EQ((onY ? m.y() : m.x()) - start, k.moved);
            EXPECT_EQ(m.roughSteps(a), k.rough);
            EXPECT_EQ(m.missedSteps(a), k.missed);
            EXPECT_EQ(m.energised(a), k.energised);
            // The other axis was never driven.
            const Axis other = onY ? Axis::X : Axis::Y;
            EXPECT_FALSE(m.energised(other));
            EXPECT_EQ(m.missedSteps(other), 0);
        }
    }
}

// With a start rate of 400 half-steps/s and an acceleration of 20000: the
// X motor from rest, driven `steps` half-steps up at a steady period, then
// `back` down at the same period.
TEST(SimulatedMachine, MissesWhatItsMotorCannotFollow) {
    const struct {
        const char* name;
        std::int64_t periodNs;
        int steps, back;
        long long moved, missed;
    } cases[] = {
        {"at the start rate", 2'500'000, 50, 0, 50, 0},
        {"a little above it, as from rest a motor may", 2'100'000, 50, 0, 50, 0},
        {"twice the start rate from rest", 1'250'000, 50, 0, 1, 49},
        {"speed 1 from rest: stalls for good", 100'000, 50, 0, 1, 49},
        {"a reversal at the start rate", 2'500'000, 10, 10, 0, 0},
        {"a reversal above it: the first step back is missed", 2'100'000, 10, 10, 1, 1},
    };
    for (const auto& k : cases) {
        SimulatedMachine m;
        std::int64_t now = 0;
        m.setMotorLimits(400, 20000);
        m.setTimeSource([&now] { return now; });
        const long long x0 = m.x();
        int i = 0;
        m.vbOut(kDataReg, static_cast<std::int16_t>(kNib[0]));
        for (int n = 0; n < k.steps + k.back; ++n) {
            now += k.periodNs;
            i += n < k.steps ? 1 : -1;
            m.vbOut(kDataReg, static_cast<std::int16_t>(kNib[(i % 8 + 8) % 8]));
        }
        EXPECT_EQ(m.x() - x0, k.moved) << k.name;
        EXPECT_EQ(m.missedSteps(), k.missed) << k.name;
    }
}

// The carriage lags its motor by the play after a reversal upwards.
TEST(SimulatedMachine, CarriageLagsByThePlay) {
    SimulatedMachine m;
    m.setPosition(Axis::X, 0);
    m.setBacklash(Axis::X, 3);
    const int walk[] = {0, 1, 2, 3, 4, 5, 4, 3, 2, 3};  // table indexes
    const long long tool[] = {0, 0, 0, 0, 1, 2, 2, 2, 2, 2};
    for (std::size_t n = 0; n < std::size(walk); ++n) {
        m.vbOut(kDataReg, static_cast<std::int16_t>(kNib[walk[n]]));
        EXPECT_EQ(m.x(), tool[n]) << n;
        // The switch sees the carriage, not the motor.
        EXPECT_EQ(m.xHomeClosed(), tool[n] <= 0) << n;
    }
    EXPECT_EQ(m.motor(Axis::X), 3);
}

TEST(SimulatedMachine, FollowsTheZPhases) {
    const struct {
        const char* name;
        std::vector<int> values;
        long long moved, missed;
        bool energised;
    } cases[] = {
        {"first phase is taken", {15}, 0, 0, true},
        {"one cycle up", {10, 9, 15, 3, 10}, 4, 0, true},
        {"one cycle down", {10, 3, 15, 9, 10}, -4, 0, true},
        {"the opposite phase is missed", {10, 15, 3}, -1, 1, true},
        {"11 releases without moving", {10, 9, 11}, 1, 0, false},
        {"1 (two opposite lines) releases", {10, 9, 1}, 1, 0, false},
        {"0 releases", {10, 0}, 0, 0, false},
        {"released, judged against its last phase", {10, 9, 11, 15}, 2, 0, true},
        {"released, then the opposite phase", {10, 9, 11, 3, 10}, 0, 1, true},
    };
    for (const auto& k : cases) {
        SimulatedMachine m;
        for (const int v : k.values) m.vbOut(kControlReg, static_cast<std::int16_t>(v));
        SCOPED_TRACE(k.name);
        EXPECT_EQ(m.z(), k.moved);
        EXPECT_EQ(m.missedSteps(Axis::Z), k.missed);
        EXPECT_EQ(m.energised(Axis::Z), k.energised);
        EXPECT_EQ(m.controlRegister(), k.values.back());
    }
}

TEST(SimulatedMachine, ReadsItsSwitchesOnTheStatusRegister) {
    const struct {
        const char* name;
        SimulatedMachine::Setup setup;
        bool lowBitsZero, brokenX, pin10, pin11;
        int status;
    } cases[] = {
        {"idle", {}, false, false, false, false, 0x7F},
        {"idle, bits 0-2 low", {}, true, false, false, false, 0x78},
        {"X home", {.x = 0}, false, false, false, false, 0x6F},
        {"Y past home", {.y = -5}, false, false, false, false, 0x77},
        {"X home moved", {.x = 10, .xHome = 10}, false, false, false, false, 0x6F},
        {"Z at top", {.z = 160}, false, false, false, false, 0x5F},
        {"Z one short", {.z = 159}, false, false, false, false, 0x7F},
        {"Z top lowered", {.z = 40, .zTop = 40}, false, false, false, false, 0x5F},
        {"X and Y home, bits 0-2 low", {.x = 0, .y = 0}, true, false, false, false, 0x60},
        {"broken X switch", {.x = -100}, false, true, false, false, 0x7F},
        {"pin 10 low", {}, false, false, true, false, 0x3F},
        {"pin 11 low", {}, false, false, false, true, 0xFF},
        {"all five, bits 0-2 low", {.x = 0, .y = 0, .z = 999}, true, false, true, true, 0x80},
    };
    for (const auto& k : cases) {
        SimulatedMachine m(k.setup);
        m.setLowBitsZero(k.lowBitsZero);
        m.setSwitchBroken(Axis::X, k.brokenX);
        m.setSpareInputs(k.pin10, k.pin11);
        EXPECT_EQ(m.vbInp(kStatusReg), k.status) << k.name;
    }
}

TEST(SimulatedMachine, SwitchesFollowTheAxesAsTheyMove) {
    SimulatedMachine m({.x = 1});
    EXPECT_FALSE(m.xHomeClosed());
    m.vbOut(kDataReg, 8);  // index 1: taken as the phase
    m.vbOut(kDataReg, 9);  // index 0: one half-step down, onto the switch
    EXPECT_EQ(m.x(), 0);
    EXPECT_TRUE(m.xHomeClosed());
    EXPECT_EQ(m.vbInp(kStatusReg), 0x6F);
    EXPECT_EQ(m.dataRegister(), 9);
    EXPECT_EQ(m.vbInp(kDataReg), 9);
    EXPECT_EQ(m.controlRegister(), 11);
}

}  // namespace
}  // namespace pm::test
