#include "job/ReturnToOrigin.h"

#include "motion/Motion.h"

namespace pm {
namespace {

// The start of the way back in the job's own half-steps: where the machine
// stands from the origin, moved by less than half a table (-3 to 4) so that
// its drive pattern is the one the motor holds now. The first pass then
// writes what is already there, and no step is lost or doubled.
double StartAt(long long fromOrigin, int phase) {
    if (phase < 0) return static_cast<double>(fromOrigin);
    int k = static_cast<int>(((phase - fromOrigin) % 8 + 8) % 8);
    if (k > 4) k -= 8;
    return static_cast<double>(fromOrigin + k);
}

}  // namespace

ReturnEnd ReturnToJobOrigin(Context& c) {
    MachineState& s = c.st;
    MachinePosition& p = s.Position;
    if (s.Running != Operation::None) return ReturnEnd::Refused;
    if (!p.JobOriginKnown) {
        c.events.Message(kNoJobOriginMessage);
        return ReturnEnd::NoOrigin;
    }
    if (!c.run.motorsOn) {
        c.events.Message(kReturnNeedsMotorsMessage);
        return ReturnEnd::MotorsOff;
    }
    if (!BeginOperation(c, Operation::ReturnToOrigin)) return ReturnEnd::Refused;
    s.CancelRequested = false;
    c.events.PlotStartAllowed(false);
    c.events.JogAllowed(false);

    std::string mode;
    mode.swap(s.MoveMode);
    RaiseTool(c);
    bool arrived = false;
    if (!s.CancelRequested) {
        const double x0 = StartAt(p.X - p.JobOriginX, p.PhaseX);
        const double y0 = StartAt(p.Y - p.JobOriginY, p.PhaseY);
        s.CurrentX = x0;
        s.CurrentY = y0;
        s.TargetX = x0 - static_cast<double>(p.X - p.JobOriginX);
        s.TargetY = y0 - static_cast<double>(p.Y - p.JobOriginY);
        s.MoveMode.assign(1, 'M');  // drawn as travel
        MoveToTarget(c);
        arrived = !s.CancelRequested;
    }
    LowerTool(c);
    s.MoveMode.swap(mode);
    // Back at the origin, the job's own position is its (0, 0) again.
    if (arrived) {
        s.CurrentX = 0;
        s.CurrentY = 0;
        s.TargetX = 0;
        s.TargetY = 0;
    }
    c.events.PlotStartAllowed(true);
    c.events.JogAllowed(true);
    EndOperation(c);
    return arrived ? ReturnEnd::Arrived : ReturnEnd::Cancelled;
}

}  // namespace pm
