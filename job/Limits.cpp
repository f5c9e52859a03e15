#include "job/Limits.h"

#include <cmath>
#include <cstdio>
#include <string>

#include "job/LeadingNumber.h"
#include "job/PlotFile.h"
#include "job/PlotLoop.h"
#include "job/Statement.h"
#include "motion/Motion.h"

namespace pm {

const char* const kZeroDivisorMessage =
    "O valor em \"Dividir cordenadas por:\" é zero ou não é um número: "
    "corrija-o antes de ir para o limite.";
const char* const kLimitOutOfReachMessage =
    "O limite em X ou Y não é um número ou está longe demais para esta máquina: "
    "a máquina não foi movida.";

namespace {

// The integer part, rounded down, in decimal digits ("281", "0").
std::string WholeNumberText(double v) {
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.0f", std::floor(v));
    return buf;
}

struct Largest {
    double x = 0;
    double y = 0;
};

// Handles one statement of the scan: the same cutting as the job, the pair
// taken in file units as the target, and the extent grown by it.
void HandleScanStatement(Context& c, std::string_view text, Largest& largest, PlotRun& run) {
    MachineState& s = c.st;
    const Statement st = CutStatement(text);
    if (st.penUp) s.MoveMode = "M";
    if (st.penDown) s.MoveMode = "D";
    if (!st.hasPair) return;
    const double x = LeadingNumber(st.xText);
    const double y = LeadingNumber(st.yText);
    if (!std::isfinite(x) || !std::isfinite(y)) {
        ++run.ignoredTargets;
        return;
    }
    s.TargetX = x;
    s.TargetY = y;
    if (x > largest.x) largest.x = x;
    if (y > largest.y) largest.y = y;
}

}  // namespace

PlotRun ScanLimits(Context& c) {
    MachineState& s = c.st;
    PlotRun run;
    if (!BeginPlotRun(c, Operation::Scan, run)) return run;

    PlotFile file;
    if (!OpenPlotFile(c, file, run)) return run;
    s.CurrentX = 0;
    s.CurrentY = 0;
    FromWorkOrigin(s);
    Largest largest;

    StatementBuffer statement;
    for (;;) {
        if (file.atEnd()) {
            const bool failed = ClosePlotFileAtEnd(file, run);
            UnlockPlotButtons(c);
            EndOperation(c);
            if (failed) {
                // A half-read file has no extent to show.
                ReportReadFailure(c, file, run);
                return run;
            }
            // The extent in plot-file units: "Ir para o Limite" divides it
            // by the divisor once, as it does whatever the operator typed.
            c.run.limitX = WholeNumberText(largest.x);
            c.run.limitY = WholeNumberText(largest.y);
            c.events.LimitsFound(c.run.limitX, c.run.limitY);
            run.end = PlotEnd::EndOfFile;
            return run;
        }

        c.pump.turn();

        if (StopOnCancel(c, file, run)) return run;

        if (statement.add(file.get())) {
            HandleScanStatement(c, statement.text(), largest, run);
            ++run.statements;
            statement.clear();
        } else if (statement.tooLong()) {
            // The scan moves nothing: the coils stay as they are.
            StopAtOverlongStatement(c, file, statement, run, false);
            return run;
        }

        c.pump.turn();
    }
}

GoToLimitEnd GoToLimit(Context& c) {
    MachineState& s = c.st;
    if (!BeginOperation(c, Operation::GoToLimit)) return GoToLimitEnd::Refused;
    const double dx = DivisorValue(c.run.divisor);
    if (dx == 0) {
        EndOperation(c);
        c.events.Message(kZeroDivisorMessage);
        return GoToLimitEnd::ZeroDivisor;
    }
    const double x = std::floor(LeadingNumber(c.run.limitX) / dx);
    const double dy = DivisorValue(c.run.divisor);
    const double y = std::floor(LeadingNumber(c.run.limitY) / dy);
    FromWorkOrigin(s);
    if (!TargetAcceptable(x, y, s.CurrentX, s.CurrentY, s.Settings)) {
        EndOperation(c);
        c.events.Message(kLimitOutOfReachMessage);
        return GoToLimitEnd::OutOfReach;
    }
    s.TargetX = x;
    s.TargetY = y;
    // Not a cut: with the motors on the tool goes up first, the move is
    // drawn as travel, and the tool comes back down to its height on
    // arrival. A cancel leaves it up.
    AnchorWalk(s);
    std::string mode = s.MoveMode;
    const bool lifted = LiftForTravel(c);
    if (c.run.motorsOn && s.ToolRaised) s.MoveMode = "M";
    MoveToTarget(c);
    s.MoveMode.swap(mode);
    if (lifted && !s.CancelRequested) LowerTool(c);
    EndOperation(c);
    return GoToLimitEnd::Moved;
}

}  // namespace pm
