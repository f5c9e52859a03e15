#include "job/ReturnToOrigin.h"

#include "motion/Motion.h"

namespace pm {

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
        // The way back in the job's own half-steps, from the pattern each
        // motor holds: no step is lost or doubled.
        s.CurrentX = static_cast<double>(p.X - p.JobOriginX);
        s.CurrentY = static_cast<double>(p.Y - p.JobOriginY);
        s.TargetX = 0;
        s.TargetY = 0;
        AnchorWalk(s);
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
