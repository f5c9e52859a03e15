#include "motion/Motion.h"

#include <cmath>
#include <cstdint>

namespace pm {

const char* const kZTopNotFound =
    "A chave do topo do eixo Z não foi encontrada: a ferramenta subiu 32767 ciclos "
    "sem que a chave fechasse. Verifique a chave e a sua ligação.";
const char* const kMsgTitle = "portmill";

void LoadMachineState(MachineState& st) {
    st.PhaseTableX = {9, 8, 12, 4, 6, 2, 3, 1, 0};
    for (int i = 0; i < 8; ++i) st.PhaseTableY[i] = st.PhaseTableX[i] * 16;
    st.PortBase = 888;
}

int PhaseIndex(double position) {
    if (!std::isfinite(position)) return 0;
    // nearbyint rounds a half to the even neighbour in the default mode.
    const double r = std::fmod(std::nearbyint(position), 8.0);
    const int ri = static_cast<int>(r);
    if (ri < 0) return ((-ri) ^ 7) + 1;
    return ri;
}

int DataByte(const MachineState& st, double x, double y) {
    return st.PhaseTableX[PhaseIndex(x)] + st.PhaseTableY[PhaseIndex(y)];
}

void MoveToTarget(Context& c) {
    MachineState& s = c.st;
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

    // The pass count is a real, as the positions are; it counts exactly up
    // to 2^53 passes, far beyond any move a job lets through.
    // NOLINTNEXTLINE(cert-flp30-c,clang-analyzer-security.FloatLoopCounter)
    for (double i = 1; i <= n; i += 1) {
        if (s.CancelRequested == -1) return;

        if (s.MoveMode == "M" || s.MoveMode == "D") {
            const int sc = c.ui.Slider1();
            const double px = sc != 0 ? x / sc : x;
            const double py = kPreviewBase - (sc != 0 ? y / sc : y);
            c.ui.PSet(static_cast<float>(px), static_cast<float>(py),
                      s.MoveMode == "M" ? kGreen : kBlue);
        }

        const int ix = PhaseIndex(x);
        const int iy = PhaseIndex(y);
        if (c.ui.Check1()) {
            c.port.vbOut(kDataReg,
                         static_cast<std::int16_t>(s.PhaseTableX[ix] + s.PhaseTableY[iy]));
            CountXYWrite(s.Position, ix, iy);
            if (s.Running == Operation::Job) NoteJobPoint(s.Position, x, y);
        }
        // The step took effect when the write returned; pacing from here
        // means a write held up (the thread descheduled in it) makes the
        // next step later, never sooner.
        const std::int64_t stepNs = c.clock.nowNs();

        c.ui.DoEvents();

        c.clock.PaceStep(stepNs, static_cast<std::int64_t>(c.ui.Slider2()) * kSpeedCounts);

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
    s.CurrentX = s.TargetX;
    s.CurrentY = s.TargetY;
}

void ZCycle(Context& c, const std::array<int, 4>& phases, long pause) {
    const auto reg = static_cast<std::int16_t>(c.st.PortBase + 2);
    for (const int v : phases) {
        c.port.vbOut(reg, static_cast<std::int16_t>(v));
        CountZWrite(c.st.Position, v);
        c.clock.SpinDelay(pause);
    }
}

void RaiseTool(Context& c) {
    MachineState& s = c.st;
    if (!c.ui.Check1()) return;
    s.ZStepCount = 0;
    s.ToolRaised = true;
    for (;;) {
        // The switch is tested before the pump of the same pass, so the lift
        // goes one cycle past the poll that sees the top switch.
        if (c.ui.LampVisible(5)) return;
        if (s.CancelRequested == -1) return;
        if (s.ZStepCount == INT16_MAX) {
            // The switch never closed: the tool's height is unknown, so no
            // lower may replay this count, and the job must not go on to
            // mill with it.
            s.ToolRaised = false;
            s.CancelRequested = -1;
            c.ui.MsgBox(kZTopNotFound, kMsgTitle);
            return;
        }
        c.ui.DoEvents();
        ++s.ZStepCount;
        ZCycle(c, ZPhasesUp, kToolPause);
    }
}

void LowerTool(Context& c) {
    MachineState& s = c.st;
    if (!c.ui.Check1()) return;
    if (!s.ToolRaised) return;  // never plunge a tool that was not lifted
    s.ToolRaised = false;
    for (int i = 0; i < s.ZStepCount; ++i) ZCycle(c, ZPhasesDown, kToolPause);
}

void FinishJob(Context& c) {
    LowerTool(c);
    c.port.vbOut(c.st.PortBase, 0);
    c.port.vbOut(static_cast<std::int16_t>(c.st.PortBase + 2), kZRelease);
    // The job has closed its plot file before it gets here.
    c.ui.SetCommand1Enabled(true);
}

void ReleaseMotors(Context& c) {
    c.port.vbOut(kDataReg, 0);
    c.port.vbOut(kControlReg, kZRelease);
}

bool BeginOperation(Context& c, Operation op) {
    if (c.st.Running != Operation::None) return false;
    // The scan only reads the file; everything else drives the machine.
    const std::string fault = op == Operation::Scan ? std::string() : c.port.fault();
    if (!fault.empty()) {
        c.ui.MsgBox(fault, kMsgTitle);
        return false;
    }
    c.st.Running = op;
    c.ui.SetOperationRunning(op);
    return true;
}

void EndOperation(Context& c) {
    c.st.Running = Operation::None;
    c.ui.SetOperationRunning(Operation::None);
}

}  // namespace pm
