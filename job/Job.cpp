#include "job/Job.h"

#include <string>

#include "job/LeadingNumber.h"
#include "job/LookAhead.h"
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
    c.events.StatementListed(text);
    const Statement st = CutStatement(text);
    if (st.penUp) s.MoveMode = "M";
    if (st.penDown) s.MoveMode = "D";
    if (!st.hasPair) return;

    if (DivisorValue(c.run.divisor) == 0) {
        c.run.divisor = "1";
        c.events.DivisorReplaced(c.run.divisor);
    }
    s.JobPoint.divisor = c.run.divisor;
    const double divisor = DivisorValue(s.JobPoint.divisor);
    const double x = LeadingNumber(st.xText) / divisor;
    const double y = LeadingNumber(st.yText) / divisor;
    // A pair that is not a number, or would send the machine farther than
    // its travel (or beyond any drawing), is listed and leaves the target
    // where it was.
    if (!TargetAcceptable(x, y, s.CurrentX, s.CurrentY, s.Settings)) {
        ++run.ignoredTargets;
        return;
    }
    s.TargetX = x;
    s.TargetY = y;
}

// The statements of the file at path ("0" when it cannot be read: the job
// then says why as it opens it).
std::uint64_t CountStatements(const std::string& path) {
    PlotFile file;
    std::uint64_t count = 0;
    if (!file.open(path)) return 0;
    while (!file.atEnd()) count += file.get() == ';' ? 1 : 0;
    return count;
}

// The statements before `from`, handled as the job handles them but without
// moving or writing the port: the position follows each target as if its
// move had been made. False when the run ended here (cancel, failed read, or
// a file that shrank since it was counted).
bool SkipStatements(Context& c, PlotFile& file, StatementBuffer& statement, PlotRun& run,
                    std::uint64_t from) {
    MachineState& s = c.st;
    while (run.statements + 1 < from) {
        if (file.atEnd()) {
            const bool failed = ClosePlotFileAtEnd(file, run);
            UnlockPlotButtons(c);
            EndOperation(c);
            if (failed) {
                c.events.JobEnded(s.JobPoint);
                ReportReadFailure(c, file, run);
            } else {
                c.events.Message(PastEndMessage(from, run.statements));
                run.end = PlotEnd::PastEnd;
            }
            return false;
        }
        c.pump.turn();
        if (StopOnCancel(c, file, run)) {
            c.events.JobEnded(s.JobPoint);
            return false;
        }
        if (statement.add(file.get())) {
            HandleJobStatement(c, statement.text(), run);
            ++run.statements;
            statement.clear();
            s.CurrentX = s.TargetX;
            s.CurrentY = s.TargetY;
        } else if (statement.tooLong()) {
            StopAtOverlongStatement(c, file, statement, run, true);
            c.events.JobEnded(s.JobPoint);
            return false;
        }
    }
    return true;
}

// From where the machine stands (the job's origin, unless "Zerar XY aqui"
// put it elsewhere) to where the next statement starts: the tool lifted, one
// travel, then the tool as the whole job has it at that point (down unless
// the file's mode is travel).
void TravelToStatementStart(Context& c) {
    MachineState& s = c.st;
    const std::string mode = s.MoveMode;
    s.CurrentX = 0;
    s.CurrentY = 0;
    FromWorkOrigin(s);
    AnchorWalk(s);
    RaiseTool(c);
    s.MoveMode = "M";
    MoveToTarget(c);
    s.MoveMode = mode;
    if (mode != "M" && !s.CancelRequested) LowerTool(c);
}

// From where the machine stands to the origin set by "Zerar XY aqui", as
// "Ir para o Limite" travels: the tool lifted for it and lowered back.
void TravelToOrigin(Context& c) {
    MachineState& s = c.st;
    std::string mode;
    mode.swap(s.MoveMode);
    const bool lifted = LiftForTravel(c);
    s.MoveMode.assign(1, 'M');
    MoveToTarget(c);
    s.MoveMode.swap(mode);
    if (lifted && !s.CancelRequested) LowerTool(c);
}

}  // namespace

PlotRun RunJob(Context& c, std::uint64_t fromStatement) {
    MachineState& s = c.st;
    PlotRun run;
    if (!BeginPlotRun(c, Operation::Job, run)) return run;
    if (fromStatement > 1) {
        const std::uint64_t count = CountStatements(c.run.plotFile);
        if (count < fromStatement) {
            // Nothing to run: the machine, the preview and the list stay as they are.
            EndOperation(c);
            c.events.Message(PastEndMessage(fromStatement, count));
            run.end = PlotEnd::PastEnd;
            return run;
        }
    }

    c.events.PreviewCleared();
    PlotFile file;
    if (!OpenPlotFile(c, file, run)) return run;
    // The machine's present place is the job's origin, and the job's first
    // pass stays there whatever an earlier operation left as the target.
    s.CurrentX = 0;
    s.CurrentY = 0;
    s.TargetX = 0;
    s.TargetY = 0;
    AnchorWalk(s);
    s.JobPoint = StopPoint{s.PlotFileName, fromStatement > 1 ? fromStatement : 1, c.run.divisor};
    s.Position.JobOriginPending = true;
    // An origin set by "Zerar XY aqui" elsewhere: the job travels there first.
    if (fromStatement <= 1 && FromWorkOrigin(s) && (s.CurrentX != 0 || s.CurrentY != 0)) {
        AnchorWalk(s);
        TravelToOrigin(c);
    }
    c.events.Progress(0, file.size());
    // With the ramps on, the moves are planned ahead from a reader of the
    // file of its own.
    JobPlanner planner;
    s.Plan.active = s.Settings.rampsOn() && s.Settings.lookahead > 0 && planner.open(s.PlotFileName);
    if (s.Plan.active) s.Plan.replan = [&planner, &c] { planner.followDivisor(c); };

    StatementBuffer statement;
    std::string lastMode;  // starts empty at every job start
    std::uint64_t base = 0;  // progress counts from the first statement run
    if (fromStatement > 1) {
        if (!SkipStatements(c, file, statement, run, fromStatement)) return run;
        TravelToStatementStart(c);
        lastMode = s.MoveMode;
        base = file.bytesRead();
        c.events.Progress(0, file.size() - base);
    }
    std::uint64_t nextProgress = base + kProgressEvery;
    for (;;) {
        if (file.atEnd()) {
            const bool failed = ClosePlotFileAtEnd(file, run);
            c.events.JogAllowed(true);
            if (failed) {
                // Half a drawing is not a finished job: stop as a cancel
                // does, leaving the tool and the coils as they are.
                c.events.PlotStartAllowed(true);
                EndOperation(c);
                c.events.JobEnded(s.JobPoint);
                ReportReadFailure(c, file, run);
                return run;
            }
            c.events.Progress(run.bytes - base, file.size() - base);
            FinishJob(c);
            EndOperation(c);
            s.JobPoint.statement = 0;
            c.events.JobEnded(s.JobPoint);
            run.end = PlotEnd::EndOfFile;
            return run;
        }

        c.pump.turn();

        // A planned walk still above the start rate slows down first.
        if (s.Plan.active && s.CancelRequested) planner.runOut(c);
        if (StopOnCancel(c, file, run)) {
            c.events.JobEnded(s.JobPoint);
            return run;
        }

        if (statement.add(file.get())) {
            HandleJobStatement(c, statement.text(), run);
            ++run.statements;
            s.JobPoint.statement = run.statements;
            statement.clear();
            c.events.Progress(file.bytesRead() - base, file.size() - base);
        } else if (statement.tooLong()) {
            // Stopped as a failed read is, the coils switched off.
            StopAtOverlongStatement(c, file, statement, run, true);
            c.events.JobEnded(s.JobPoint);
            return run;
        } else if (file.bytesRead() >= nextProgress) {
            c.events.Progress(file.bytesRead() - base, file.size() - base);
        }
        while (nextProgress <= file.bytesRead()) nextProgress += kProgressEvery;

        if (s.MoveMode == "M" && lastMode != "M") RaiseTool(c);
        if (s.MoveMode == "D" && lastMode != "D") LowerTool(c);
        lastMode = s.MoveMode;

        c.pump.turn();

        if (s.Plan.active && s.CancelRequested) {
            planner.runOut(c);
        } else {
            if (s.Plan.active) planner.plan(c, run.statements);
            MoveToTarget(c);
        }
        // A statement's move that completed is behind the job: a stop from
        // here on goes on from the next statement.
        if (!s.CancelRequested) s.JobPoint.statement = run.statements + 1;
    }
}

void PauseJob(Context& c) {
    if (c.st.Running == Operation::Job) c.st.PauseRequested = true;
}

void ContinueJob(Context& c) { c.st.PauseRequested = false; }

std::string PastEndMessage(std::uint64_t from, std::uint64_t count) {
    return "O arquivo tem " + std::to_string(count) + (count == 1 ? " declaração" : " declarações") +
           ": não há declaração " + std::to_string(from) + " para começar.";
}

void CancelRun(Context& c) {
    c.events.JogAllowed(true);
    c.events.ListCleared();
    c.st.CancelRequested = true;
    c.st.TargetX = 0;
    c.st.TargetY = 0;
}

}  // namespace pm
