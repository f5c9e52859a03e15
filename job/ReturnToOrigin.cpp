#include "job/ReturnToOrigin.h"

#include "motion/Motion.h"

namespace pm {

ReturnEnd ReturnToJobOrigin(Context& c) {
    MachineState& s = c.st;
    MachinePosition& p = s.Position;
    if (s.Running != Operation::None) return ReturnEnd::Refused;
    if (!p.JobOriginKnown) {
        c.ui.MsgBox(kNoJobOriginMessage, kMsgTitle);
        return ReturnEnd::NoOrigin;
    }
    if (!c.ui.Check1()) {
        c.ui.MsgBox(kReturnNeedsMotorsMessage, kMsgTitle);
        return ReturnEnd::MotorsOff;
    }
    if (!BeginOperation(c, Operation::ReturnToOrigin)) return ReturnEnd::Refused;
    s.CancelRequested = 0;
    c.ui.SetCommand1Enabled(false);
    c.ui.SetMotorJogEnabled(false);

    std::string mode;
    mode.swap(s.MoveMode);
    RaiseTool(c);
    bool arrived = false;
    if (s.CancelRequested != -1) {
        // The way back in the job's own half-steps, from the pattern each
        // motor holds: no step is lost or doubled.
        s.CurrentX = static_cast<double>(p.X - p.JobOriginX);
        s.CurrentY = static_cast<double>(p.Y - p.JobOriginY);
        s.TargetX = 0;
        s.TargetY = 0;
        AnchorWalk(s);
        s.MoveMode.assign(1, 'M');  // drawn as travel
        MoveToTarget(c);
        arrived = s.CancelRequested != -1;
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
    c.ui.SetCommand1Enabled(true);
    c.ui.SetMotorJogEnabled(true);
    EndOperation(c);
    return arrived ? ReturnEnd::Arrived : ReturnEnd::Cancelled;
}

}  // namespace pm
