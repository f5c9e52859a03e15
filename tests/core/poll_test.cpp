#include <gtest/gtest.h>

#include <array>

#include "Rig.h"
#include "motion/SwitchPoll.h"

namespace pm::test {
namespace {

using Axis = SimulatedMachine::Axis;
using Bits = std::array<int, 5>;  // LimitBits 3, 4, 5, 6, 7

Bits decoded(int reading) {
    const auto b = DecodeStatus(reading);
    return {b[3], b[4], b[5], b[6], b[7]};
}

TEST(PollSwitches, DecodesEveryInputFromItsOwnBit) {
    const struct {
        int reading;
        Bits bits;
    } cases[] = {
        {0x7F, {0, 0, 0, 0, 0}}, {0x87, {1, 1, 1, 1, 1}}, {0x5F, {0, 0, 1, 0, 0}},
        {0x67, {1, 1, 0, 0, 0}}, {0xFF, {0, 0, 0, 0, 1}}, {0x00, {1, 1, 1, 1, 0}},
        {0x07, {1, 1, 1, 1, 0}}, {0x6F, {0, 1, 0, 0, 0}}, {0x77, {1, 0, 0, 0, 0}},
        {0x3F, {0, 0, 0, 1, 0}},
        // Cards whose bits 0-2 read 0.
        {0x78, {0, 0, 0, 0, 0}}, {0x58, {0, 0, 1, 0, 0}}, {0x60, {1, 1, 0, 0, 0}},
        {0x80, {1, 1, 1, 1, 1}}, {0xF8, {0, 0, 0, 0, 1}}, {0x7D, {0, 0, 0, 0, 0}},
    };
    for (const auto& k : cases) {
        EXPECT_EQ(decoded(k.reading), k.bits) << std::hex << "reading 0x" << k.reading;
    }
    // Bits 0-2 never change the result.
    for (int s = 0; s < 256; ++s) EXPECT_EQ(decoded(s), decoded(s | 7)) << "reading " << s;
}

TEST(PollSwitches, ShowsTheLampsOfTheClosedSwitches) {
    const struct {
        const char* name;
        SimulatedMachine::Setup setup;
        bool lowBitsZero, pin10, pin11;
        std::array<bool, 5> lamps;  // LE 3..7
    } cases[] = {
        {"idle", {}, false, false, false, {false, false, false, false, false}},
        {"idle, bits 0-2 low", {}, true, false, false, {false, false, false, false, false}},
        {"X and Y home, bits 0-2 low", {.x = 0, .y = -3}, true, false, false,
         {true, true, false, false, false}},
        {"Z at the top", {.z = 160}, false, false, false, {false, false, true, false, false}},
        {"Z at the top, bits 0-2 low", {.z = 170}, true, false, false,
         {false, false, true, false, false}},
        {"everything", {.x = 0, .y = 0, .z = 160}, true, true, true, {true, true, true, true, true}},
        {"spare inputs only", {}, false, true, true, {false, false, false, true, true}},
    };
    for (const auto& k : cases) {
        Rig r(k.setup);
        r.sim.setLowBitsZero(k.lowBitsZero);
        r.sim.setSpareInputs(k.pin10, k.pin11);
        r.events.lamp.fill(true);
        PollSwitches(r.c);
        SCOPED_TRACE(k.name);
        for (int i = 3; i <= 7; ++i) {
            EXPECT_EQ(r.events.lamp[i], k.lamps[i - 3]) << "LE(" << i << ")";
            EXPECT_EQ(r.st.LimitBits[i], k.lamps[i - 3] ? 1 : 0);
        }
        EXPECT_EQ(r.st.LimitBits[0] | r.st.LimitBits[1] | r.st.LimitBits[2], 0);
        ASSERT_EQ(r.trace.accesses().size(), 1U);  // one read, nothing written
        EXPECT_EQ(r.trace.accesses()[0].address, kStatusReg);
    }
}

// On a card whose bits 0-2 read 0, X and Y resting on their home switches
// must not pass for the Z top switch and end a lift before it starts.
TEST(PollSwitches, HomedXYDoNotEndALiftOnACardWithLowBitsZero) {
    Rig r({.x = 0, .y = 0, .z = 0});
    r.sim.setLowBitsZero(true);
    r.run.motorsOn = true;
    PollSwitches(r.c);
    RaiseTool(r.c);
    EXPECT_EQ(r.st.ZStepCount, 42);
    EXPECT_TRUE(r.sim.zTopClosed());
}

}  // namespace
}  // namespace pm::test
