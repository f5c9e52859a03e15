#include "motion/Motion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "motion/Planner.h"
#include "motion/Ramp.h"
#include "motion/SwitchPoll.h"

namespace pm {

const char* const kZTopNotFound =
    "A chave do topo do eixo Z não foi encontrada: a ferramenta subiu 32767 ciclos "
    "sem que a chave fechasse. Verifique a chave e a sua ligação.";
const char* const kMsgTitle = "portmill";

void LoadMachineState(MachineState& st) {
    // The drive tables, with the coils each entry energises: port/Wiring.h.
    for (std::size_t i = 0; i < wiring::kHalfStepNibbles.size(); ++i) {
        st.PhaseTableX[i] = wiring::kHalfStepNibbles[i];
        st.PhaseTableY[i] = wiring::kHalfStepNibbles[i] * 16;
    }
    st.PortBase = kDataReg;
}

int PhaseIndex(double position) {
    if (!std::isfinite(position)) return 0;
    // nearbyint rounds a half to the even neighbour in the default mode.
    const double r = std::fmod(std::nearbyint(position), 8.0);
    const int ri = static_cast<int>(r);
    if (ri < 0) return ((-ri) ^ 7) + 1;
    return ri;
}

int WalkPhase(double position, int offset) { return (PhaseIndex(position) + offset) & 7; }

int DataByte(const MachineState& st, double x, double y) {
    return st.PhaseTableX[WalkPhase(x, st.PhaseOffsetX)] +
           st.PhaseTableY[WalkPhase(y, st.PhaseOffsetY)];
}

void AnchorWalk(MachineState& st) {
    const MachinePosition& p = st.Position;
    st.PhaseOffsetX = p.PhaseX < 0 ? 0 : (p.PhaseX - PhaseIndex(st.CurrentX)) & 7;
    st.PhaseOffsetY = p.PhaseY < 0 ? 0 : (p.PhaseY - PhaseIndex(st.CurrentY)) & 7;
}

void ZeroXYHere(MachineState& st) {
    MachinePosition& p = st.Position;
    p.WorkOriginSet = true;
    p.WorkOriginX = p.X;
    p.WorkOriginY = p.Y;
    st.CurrentX = 0;
    st.CurrentY = 0;
    st.TargetX = 0;
    st.TargetY = 0;
}

bool FromWorkOrigin(MachineState& st) {
    const MachinePosition& p = st.Position;
    if (!p.WorkOriginSet) return false;
    st.CurrentX = static_cast<double>(p.X - p.WorkOriginX);
    st.CurrentY = static_cast<double>(p.Y - p.WorkOriginY);
    return true;
}

void PreviewDot(Context& c, double x, double y, DotKind kind) {
    const int sc = c.run.previewScale;
    const double px = sc != 0 ? x / sc : x;
    const double py = kPreviewBase - (sc != 0 ? y / sc : y);
    c.events.Dot(static_cast<float>(px), static_cast<float>(py), kind);
}

DotKind PresentDotKind(Context& c) {
    // With the motors on, a move is travel only when the tool was lifted
    // for it: a pen-up whose lift did not happen cuts.
    const bool up = c.st.MoveMode == "M" && (c.st.ToolRaised || !c.run.motorsOn);
    return up ? DotKind::Travel : DotKind::Cut;
}

int PassSpeed(Context& c) {
    const MachineState& s = c.st;
    if (s.MoveMode == "M" && s.Settings.travelSpeed >= 0) return s.Settings.travelSpeed;
    return c.run.speed;
}

namespace {

double StartRate(const MachineSettings& m) { return m.startRate >= 1 ? m.startRate : 1; }

// The set period of the next pass in ns (0: none).
std::int64_t SetPeriodNs(Context& c) {
    const std::int64_t counts = static_cast<std::int64_t>(PassSpeed(c)) * kSpeedCounts;
    return counts > 0 ? counts * c.clock.countNs() : 0;
}

// With a plan, the walk is timed by the distance it covers: a pass waits
// the time the planned rate takes from the last paced pass to it, `distance`
// half-steps further on, and a pass on the spot does not wait at all.
// `slowing`: towards the start rate, as if the speed were set to it.
void PaceChainedPass(Context& c, double distance, double bound, double remaining, double cap,
                     bool slowing) {
    MotionPlan& p = c.st.Plan;
    if (!(distance > 0)) return;
    const bool fromRest = p.rate <= 0;
    const std::int64_t set =
        slowing ? std::max<std::int64_t>(SetPeriodNs(c), std::llround(1e9 / StartRate(c.st.Settings)))
                : SetPeriodNs(c);
    const std::int64_t period = p.periodNs(c.st.Settings, set, distance, bound, remaining, cap);
    if (p.lastPassNs < 0) return;
    // From rest the last pass may be long past: no rhythm to keep.
    if (fromRest) c.clock.resetPace();
    c.clock.PaceStepNs(p.lastPassNs, period);
}

// A planned move that ends at a stop: the walk is at the start rate; the
// motors get one start period to settle before anything else moves.
void EndChainedMove(Context& c, double leftover) {
    MotionPlan& p = c.st.Plan;
    p.pending = leftover;
    if (!p.stopAtEnd || p.rate <= 0) return;
    if (p.lastPassNs >= 0) c.clock.waitUntilNs(p.lastPassNs + std::llround(1e9 / StartRate(c.st.Settings)));
    p.rate = 0;
    p.pending = 0;
}

// The way the walk to `target` turns an axis at `from` (0: not at all).
int WalkDirection(double from, double target) {
    if (std::nearbyint(from) == std::nearbyint(target)) return 0;
    return target > from ? 1 : -1;
}

}  // namespace

int TakeUpPlay(Context& c, int dirX, int dirY) {
    MachineState& s = c.st;
    MachinePosition& p = s.Position;
    const MachineSettings& m = s.Settings;
    const int nx = dirX != 0 && dirX != p.LastDirX ? m.BacklashX : 0;
    const int ny = dirY != 0 && dirY != p.LastDirY ? m.BacklashY : 0;
    const int n = std::max(nx, ny);
    if (n <= 0) return 0;
    if (p.PhaseX < 0 || p.PhaseY < 0) {
        // A motor that holds nothing yet takes the walk's pattern where it
        // stands, and turns from there.
        const int held = DataByte(s, s.CurrentX, s.CurrentY);
        c.port.vbOut(kDataReg, static_cast<std::int16_t>(held));
        CountXYWrite(p, WalkPhase(s.CurrentX, s.PhaseOffsetX), WalkPhase(s.CurrentY, s.PhaseOffsetY));
    }
    const std::int64_t period = std::llround(1e9 / StartRate(m));
    c.clock.waitUntilNs(c.clock.nowNs() + period);
    for (int i = 0; i < n; ++i) {
        const int sx = i < nx ? dirX : 0;
        const int sy = i < ny ? dirY : 0;
        const int ix = (p.PhaseX + sx) & 7;
        const int iy = (p.PhaseY + sy) & 7;
        c.port.vbOut(kDataReg, static_cast<std::int16_t>(s.PhaseTableX[ix] + s.PhaseTableY[iy]));
        CountXYWrite(p, ix, iy);
        p.X -= sx;
        p.Y -= sy;
        s.PhaseOffsetX = (s.PhaseOffsetX + sx) & 7;
        s.PhaseOffsetY = (s.PhaseOffsetY + sy) & 7;
        c.clock.waitUntilNs(c.clock.nowNs() + period);
    }
    c.clock.resetPace();
    return n;
}

void MoveToTarget(Context& c) {
    MachineState& s = c.st;
    if (c.run.motorsOn && !s.CancelRequested &&
        TakeUpPlay(c, WalkDirection(s.CurrentX, s.TargetX), WalkDirection(s.CurrentY, s.TargetY)) > 0) {
        // The walk goes on from rest, from the last half-step of the play.
        s.Plan.rate = 0;
        if (s.Plan.lastPassNs >= 0) s.Plan.lastPassNs = c.clock.nowNs() - std::llround(1e9 / StartRate(s.Settings));
    }
    const double ax = std::fabs(s.TargetX - s.CurrentX);
    const double ay = std::fabs(s.TargetY - s.CurrentY);
    const bool xMajor = ax >= ay;
    const double n = xMajor ? ax + 1 : ay + 1;
    double d = xMajor ? 2 * ay - ax : 2 * ax - ay;
    const double incNeg = xMajor ? 2 * ay : 2 * ax;
    const double incPos = xMajor ? 2 * (ay - ax) : 2 * (ax - ay);
    double xsNeg = xMajor ? 1 : 0;
    double ysNeg = xMajor ? 0 : 1;
    double xsPos = 1;
    double ysPos = 1;
    if (s.CurrentX > s.TargetX) {
        xsNeg = -xsNeg;
        xsPos = -xsPos;
    }
    if (s.CurrentY > s.TargetY) {
        ysNeg = -ysNeg;
        ysPos = -ysPos;
    }
    double x = s.CurrentX;
    double y = s.CurrentY;
    // Where the last pass left the motors, and where the move ends (a
    // cancel clears the target while the walk may still run on to it).
    double walkedX = x;
    double walkedY = y;
    const double endX = s.TargetX;
    const double endY = s.TargetY;
    // Ramps change only the times between the passes, never the walk.
    const bool ramped = s.Settings.rampsOn();
    PassRamp ramp(s.Settings, n);
    // A job that plans ahead paces the steps, not the passes.
    const bool chained = ramped && s.Plan.active;
    const double length = n - 1;  // the major delta
    const bool onTheSpot = !(length > 0);
    std::int64_t pass = 0;

    // The pass count is a real, as the positions are; it counts exactly up
    // to 2^53 passes, far beyond any move a job lets through.
    // NOLINTNEXTLINE(cert-flp30-c,clang-analyzer-security.FloatLoopCounter)
    for (double i = 1; i <= n; i += 1) {
        // A planned walk above the start rate slows down at the acceleration
        // before it stops for "Cancelar" or "Pausar", going on along the move;
        // a program being ended stops at once.
        const bool stopAsked = s.CancelRequested || s.PauseRequested;
        const bool slowing = stopAsked && chained && !onTheSpot &&
                             s.Plan.rate > StartRate(s.Settings) && !c.pump.quitting();
        if (!slowing) {
            if (s.PauseRequested && !s.CancelRequested) {
                HoldWhilePaused(c);
                s.Plan.rate = 0;  // the hold stopped the walk
            }
            if (s.CancelRequested) {
                // A planned walk is where its last pass left it.
                if (chained) {
                    s.CurrentX = walkedX;
                    s.CurrentY = walkedY;
                    s.Plan.rate = 0;
                }
                return;
            }
        }
        ++pass;

        if (s.MoveMode == "M" || s.MoveMode == "D") PreviewDot(c, x, y, PresentDotKind(c));

        const int ix = WalkPhase(x, s.PhaseOffsetX);
        const int iy = WalkPhase(y, s.PhaseOffsetY);
        if (chained && !onTheSpot) {
            // The first pass ends the last move's fraction, at the junction
            // planned before this move; the others are a half-step each.
            // The first half-step leaves the junction, so it keeps to its rate too.
            if (pass == 1) {
                PaceChainedPass(c, s.Plan.pending, s.Plan.entryLimit, 0, 0, slowing);
            } else {
                PaceChainedPass(c, 1, s.Plan.exitRate, length - static_cast<double>(pass - 1),
                                pass == 2 ? s.Plan.entryLimit : 0, slowing);
            }
        }
        if (c.run.motorsOn) {
            c.port.vbOut(kDataReg,
                         static_cast<std::int16_t>(DataByte(s, x, y)));
            CountXYWrite(s.Position, ix, iy);
            if (s.Running == Operation::Job) NoteJobPoint(s.Position, x, y);
        }
        // The step took effect when the write returned; pacing from here
        // means a write held up (the thread descheduled in it) makes the
        // next step later, never sooner.
        const std::int64_t stepNs = c.clock.nowNs();
        c.clock.noteStep(stepNs);
        if (chained && !onTheSpot) s.Plan.lastPassNs = stepNs;

        walkedX = x;
        walkedY = y;

        c.pump.turn();
        if (chained && s.Plan.replan) s.Plan.replan();

        if (!chained) {
            const std::int64_t counts = static_cast<std::int64_t>(PassSpeed(c)) * kSpeedCounts;
            if (ramped) {
                c.clock.PaceStepNs(stepNs, ramp.nextPeriodNs(counts > 0 ? counts * c.clock.countNs() : 0));
            } else {
                c.clock.PaceStep(stepNs, counts);
            }
        }

        if (d < 0) {
            d += incNeg;
            x += xsNeg;
            y += ysNeg;
        } else {
            d += incPos;
            x += xsPos;
            y += ysPos;
        }
    }
    if (chained && !onTheSpot) EndChainedMove(c, length - static_cast<double>(pass - 1));
    s.CurrentX = chained ? endX : s.TargetX;
    s.CurrentY = chained ? endY : s.TargetY;
}

void HoldWhilePaused(Context& c) {
    MachineState& s = c.st;
    c.events.Paused(s.JobPoint.statement);
    bool lifted = false;
    if (c.run.motorsOn && !s.ToolRaised) {
        RaiseTool(c);
        // A lift that gave up on the top switch has cancelled the job.
        lifted = s.ToolRaised;
    }
    while (s.PauseRequested && !s.CancelRequested) {
        c.pump.turn();
        c.clock.waitUntilNs(c.clock.nowNs() + kPausePumpNs);
    }
    if (lifted && !s.CancelRequested) LowerTool(c);
    // The pass after the hold starts a fresh step period.
    c.clock.resetPace();
    c.events.Continued(s.JobPoint.statement);
}

long StepPause(const Context& c, long counts) {
    if (!c.st.Settings.rampsOn()) return counts;
    const double startNs = 1e9 / StartRate(c.st.Settings);
    const auto startCounts = static_cast<long>(std::ceil(startNs / static_cast<double>(c.clock.countNs())));
    return std::max(counts, startCounts);
}

void ZCycle(Context& c, const std::array<int, 4>& phases, long pause) {
    pause = StepPause(c, pause);
    for (const int v : phases) {
        c.port.vbOut(kControlReg, static_cast<std::int16_t>(v));
        CountZWrite(c.st.Position, v);
        c.clock.SpinDelay(pause);
    }
    c.st.LastZMoveNs = c.clock.nowNs();
}

LiftEnd LiftToTop(Context& c, long pause, std::int16_t& cycles) {
    // At the top already: nothing to write. The switch state is read afresh
    // whenever Z has moved since it was last read, so a poll from before a
    // lower never passes for the top.
    if (c.st.CancelRequested) return LiftEnd::Cancelled;
    if (ZTopClosed(c)) return LiftEnd::Top;
    bool seen = false;
    for (;;) {
        if (c.st.CancelRequested) return LiftEnd::Cancelled;
        if (cycles == INT16_MAX) return LiftEnd::Full;
        c.pump.turn();
        ++cycles;
        ZCycle(c, ZPhasesUp, pause);
        // One cycle past the reading that saw the switch.
        if (seen) return LiftEnd::Top;
        seen = ZTopClosed(c);
    }
}

bool LiftForTravel(Context& c) {
    if (!c.run.motorsOn || c.st.ToolRaised) return false;
    RaiseTool(c);
    return c.st.ToolRaised;
}

void RaiseTool(Context& c) {
    MachineState& s = c.st;
    if (!c.run.motorsOn) return;
    s.ZStepCount = 0;
    s.ToolRaised = true;
    const LiftEnd end = LiftToTop(c, kToolPause, s.ZStepCount);
    // A lift cancelled before its first cycle left the tool where it was.
    if (end == LiftEnd::Cancelled && s.ZStepCount == 0) s.ToolRaised = false;
    if (end != LiftEnd::Full) return;
    // The switch never closed: the tool's height is unknown, so no lower may
    // replay this count, and the job must not go on to mill with it.
    s.ToolRaised = false;
    s.CancelRequested = true;
    c.events.Message(kZTopNotFound);
}

void LowerTool(Context& c) {
    MachineState& s = c.st;
    if (!c.run.motorsOn) return;
    if (!s.ToolRaised) return;  // never plunge a tool that was not lifted
    s.ToolRaised = false;
    for (int i = 0; i < s.ZStepCount; ++i) {
        if (c.pump.quitting()) return;
        ZCycle(c, ZPhasesDown, kToolPause);
    }
}

void FinishJob(Context& c) {
    LowerTool(c);
    ReleaseMotors(c);
    // The job has closed its plot file before it gets here.
    c.events.PlotStartAllowed(true);
}

void ReleaseMotors(Context& c) { wiring::SwitchAllCoilsOff(c.port); }

bool BeginOperation(Context& c, Operation op) {
    if (c.st.Running != Operation::None) return false;
    // The scan only reads the file; everything else drives the machine.
    const std::string fault = op == Operation::Scan ? std::string() : c.port.fault();
    if (!fault.empty()) {
        c.events.Message(fault);
        return false;
    }
    c.st.Running = op;
    c.events.OperationStarted(op);
    return true;
}

void EndOperation(Context& c) {
    c.st.Running = Operation::None;
    c.st.PauseRequested = false;
    c.st.Plan = MotionPlan{};
    c.events.OperationEnded();
}

}  // namespace pm
