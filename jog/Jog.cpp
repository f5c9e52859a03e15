#include "jog/Jog.h"

#include "motion/Motion.h"

namespace pm {

namespace {

void JogCycle(Context& c, const std::array<int, 4>& phases, bool releaseAll) {
    if (!BeginOperation(c, Operation::Jog)) return;
    ZCycle(c, phases, kJogPause);
    if (releaseAll) ReleaseMotors(c);
    EndOperation(c);
}

// The Z coils switched off as a key is let go. While another operation drives the
// machine its coils are its own: switching Z off under a lift would drop
// the tool.
void JogKeyUp(Context& c) {
    if (c.st.Running != Operation::None) return;
    c.port.vbOut(kControlReg, kZRelease);
}

}  // namespace

void JogZUp(Context& c) { JogCycle(c, ZPhasesUp, false); }
void JogZDown(Context& c) { JogCycle(c, ZPhasesDown, false); }
void JogZDownAndRelease(Context& c) { JogCycle(c, ZPhasesDown, true); }
void ReleaseZ(Context& c) { JogKeyUp(c); }

}  // namespace pm
