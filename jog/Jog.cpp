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

// The release of a key on a Z button. While another operation drives the
// machine its coils are its own: switching Z off under a lift would drop
// the tool.
void JogKeyUp(Context& c) {
    if (c.st.Running != Operation::None) return;
    c.port.vbOut(kControlReg, kZRelease);
}

}  // namespace

void Command8_Click(Context& c) { JogCycle(c, ZPhasesUp, false); }
void Command8_KeyPress(Context& c) { JogCycle(c, ZPhasesUp, false); }
void Command8_KeyUp(Context& c) { JogKeyUp(c); }
void Command9_Click(Context& c) { JogCycle(c, ZPhasesDown, true); }
void Command9_KeyPress(Context& c) { JogCycle(c, ZPhasesDown, false); }
void Command9_KeyUp(Context& c) { JogKeyUp(c); }

}  // namespace pm
