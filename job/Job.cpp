#include "job/Job.h"

#include <string>

#include "job/LeadingNumber.h"
#include "job/PlotFile.h"
#include "job/PlotLoop.h"
#include "job/Statement.h"
#include "motion/Motion.h"

namespace pm {
namespace {

constexpr std::uint64_t kProgressEvery = std::uint64_t{64} * 1024;

// Handles one statement of the job, its ";" included.
void HandleJobStatement(Context& c, std::string_view text, PlotRun& run) {
    MachineState& s = c.st;
    c.ui.ListAdd(text);
    const Statement st = CutStatement(text);
    if (st.penUp) s.MoveMode = "M";
    if (st.penDown) s.MoveMode = "D";
    if (!st.hasPair) return;

    if (LeadingNumber(c.ui.Text(3)) == 0) c.ui.SetText(3, "1");
    const double divisor = LeadingNumber(c.ui.Text(3));
    const double x = LeadingNumber(st.xText) / divisor;
    const double y = LeadingNumber(st.yText) / divisor;
    // A pair that is not a number, or would send the machine beyond any
    // drawing, is listed and leaves the target where it was.
    if (!TargetAcceptable(x, y, s.CurrentX, s.CurrentY)) {
        ++run.ignoredTargets;
        return;
    }
    s.TargetX = x;
    s.TargetY = y;
}

}  // namespace

PlotRun RunJob(Context& c) {
    MachineState& s = c.st;
    PlotRun run;
    if (!BeginPlotRun(c, Operation::Job, run)) return run;

    c.ui.ClearPreview();
    PlotFile file;
    if (!OpenPlotFile(c, file, run)) return run;
    // The machine's present place is the job's origin, and the job's first
    // pass stays there whatever an earlier operation left as the target.
    s.CurrentX = 0;
    s.CurrentY = 0;
    s.TargetX = 0;
    s.TargetY = 0;
    s.Position.JobOriginPending = true;
    c.ui.SetJobProgress(0, file.size());

    StatementBuffer statement;
    std::string lastMode;  // starts empty at every job start
    std::uint64_t nextProgress = kProgressEvery;
    for (;;) {
        if (file.atEnd()) {
            const bool failed = ClosePlotFileAtEnd(file, run);
            c.ui.SetMotorJogEnabled(true);
            if (failed) {
                // Half a drawing is not a finished job: stop as a cancel
                // does, leaving the tool and the coils as they are.
                c.ui.SetCommand1Enabled(true);
                EndOperation(c);
                ReportReadFailure(c, file, run);
                return run;
            }
            c.ui.SetJobProgress(run.bytes, file.size());
            FinishJob(c);
            EndOperation(c);
            run.end = PlotEnd::EndOfFile;
            return run;
        }

        c.ui.DoEvents();

        if (StopOnCancel(c, file, run)) return run;

        if (statement.add(file.get())) {
            HandleJobStatement(c, statement.text(), run);
            ++run.statements;
            statement.clear();
            c.ui.SetJobProgress(file.bytesRead(), file.size());
        } else if (file.bytesRead() >= nextProgress) {
            c.ui.SetJobProgress(file.bytesRead(), file.size());
        }
        while (nextProgress <= file.bytesRead()) nextProgress += kProgressEvery;

        if (s.MoveMode == "M" && lastMode != "M") RaiseTool(c);
        if (s.MoveMode == "D" && lastMode != "D") LowerTool(c);
        lastMode = s.MoveMode;

        c.ui.DoEvents();

        MoveToTarget(c);
    }
}

void Command1_Click(Context& c) { (void)RunJob(c); }

void Cancel_Click(Context& c) {
    c.ui.SetMotorJogEnabled(true);
    c.ui.ListClear();
    c.st.CancelRequested = -1;
    c.st.TargetX = 0;
    c.st.TargetY = 0;
}

}  // namespace pm
