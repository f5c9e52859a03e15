#include "jog/JogXY.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "motion/Motion.h"
#include "motion/Ramp.h"

namespace pm {
namespace {

constexpr double kOpenEnd = 1e15;  // a held jog's end, as far as its ramp knows
constexpr std::array<double, kJogSizes> kSizeMm{0.1, 1, 10};
constexpr std::array<long, kJogSizes> kSizeSteps{1, 10, 100};

int Sign(long v) { return v > 0 ? 1 : (v < 0 ? -1 : 0); }

int JogSpeed(const Context& c) {
    const int travel = c.st.Settings.travelSpeed;
    return travel >= 0 ? travel : c.run.speed;
}

// Whether the button is still held once the hold delay since startNs has
// passed; the pump turns meanwhile, so the release gets in.
bool HeldPastDelay(Context& c, std::int64_t startNs) {
    MachineState& s = c.st;
    const std::int64_t until = startNs + kJogHoldDelayNs;
    while (s.JogHeld && !s.CancelRequested && c.clock.nowNs() < until) {
        c.pump.turn();
        c.clock.waitUntilNs(std::min(c.clock.nowNs() + kPausePumpNs, until));
    }
    return s.JogHeld && !s.CancelRequested;
}

// The walk of the jog: one half-step per pass on each moving axis.
void Walk(Context& c, long dx, long dy, std::int64_t startNs) {
    MachineState& s = c.st;
    const int sx = Sign(dx);
    const int sy = Sign(dy);
    long restX = std::labs(dx);
    long restY = std::labs(dy);
    double x = s.CurrentX;
    double y = s.CurrentY;
    AnchorWalk(s);
    const bool ramped = s.Settings.rampsOn();
    PassRamp ramp(s.Settings, static_cast<double>(std::max(restX, restY)) + 1);
    for (;;) {
        if (s.CancelRequested) return;
        // The first pass writes what the motors hold: it only energises them.
        c.port.vbOut(kDataReg, static_cast<std::int16_t>(DataByte(s, x, y)));
        CountXYWrite(s.Position, WalkPhase(x, s.PhaseOffsetX), WalkPhase(y, s.PhaseOffsetY));
        s.CurrentX = s.TargetX = x;
        s.CurrentY = s.TargetY = y;
        PreviewDot(c, x, y, DotKind::Travel);
        const std::int64_t stepNs = c.clock.nowNs();
        c.clock.noteStep(stepNs);
        c.pump.turn();

        // Held past the delay, the walk has no end until the release.
        const bool open = s.JogHeld && stepNs >= startNs + kJogHoldDelayNs;
        long left = std::max(restX, restY);
        if (open && left == 0) {
            restX = sx != 0 ? 1 : 0;
            restY = sy != 0 ? 1 : 0;
            left = 1;
        }
        const std::int64_t counts = static_cast<std::int64_t>(JogSpeed(c)) * kSpeedCounts;
        if (ramped) {
            // Let go at speed: on until the rate is down to the start rate.
            const auto stop = static_cast<long>(ramp.stepsToStop());
            if (!open && stop > left) {
                if (sx != 0) restX = std::max(restX, stop);
                if (sy != 0) restY = std::max(restY, stop);
                left = stop;
            }
            ramp.endAfter(open ? kOpenEnd : static_cast<double>(left));
            c.clock.PaceStepNs(stepNs, ramp.nextPeriodNs(counts > 0 ? counts * c.clock.countNs() : 0));
        } else {
            c.clock.PaceStep(stepNs, counts);
        }
        if (left == 0) {
            // A click's step is made; a button still held goes on from rest.
            if (!HeldPastDelay(c, startNs)) return;
            c.clock.resetPace();
            ramp = PassRamp(s.Settings, kOpenEnd);
            restX = sx != 0 ? 1 : 0;
            restY = sy != 0 ? 1 : 0;
        }
        if (restX > 0) {
            x += sx;
            --restX;
        }
        if (restY > 0) {
            y += sy;
            --restY;
        }
    }
}

}  // namespace

bool JogInMillimetres(const MachineSettings& m) {
    const MachineSettings assumed;
    return m.StepsPerMmX != assumed.StepsPerMmX || m.StepsPerMmY != assumed.StepsPerMmY;
}

long JogStepHalfSteps(const MachineSettings& m, AxisXY axis, int size) {
    const auto i = static_cast<std::size_t>(std::clamp(size, 0, kJogSizes - 1));
    if (!JogInMillimetres(m)) return kSizeSteps[i];
    const double perMm = axis == AxisXY::X ? m.StepsPerMmX : m.StepsPerMmY;
    return std::max(1L, std::lround(kSizeMm[i] * perMm));
}

std::string JogSizeText(const MachineSettings& m, int size) {
    const auto i = static_cast<std::size_t>(std::clamp(size, 0, kJogSizes - 1));
    if (JogInMillimetres(m)) return i == 0 ? "0,1 mm" : std::to_string(static_cast<int>(kSizeMm[i])) + " mm";
    return std::to_string(kSizeSteps[i]);
}

void JogXY(Context& c, long dx, long dy, bool held) {
    MachineState& s = c.st;
    if (!BeginOperation(c, Operation::Jog)) return;
    // Only a "Cancelar" given while the jog runs stops it.
    s.CancelRequested = false;
    s.JogHeld = held;
    FromWorkOrigin(s);
    const std::int64_t startNs = c.clock.nowNs();
    const bool lifted = LiftForTravel(c);
    Walk(c, dx, dy, startNs);
    if (lifted && !s.CancelRequested) LowerTool(c);
    // The X and Y coils go off, as after Home XY: nothing stays energised
    // between jogs, and the next one first energises the pattern they held.
    c.port.vbOut(kDataReg, 0);
    s.JogHeld = false;
    EndOperation(c);
}

void ReleaseXY(Context& c) { c.st.JogHeld = false; }

}  // namespace pm
