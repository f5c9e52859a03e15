#include "job/PlotLoop.h"

#include "motion/Motion.h"

namespace pm {

bool BeginPlotRun(Context& c, Operation op, PlotRun& run) {
    if (c.run.plotFile.empty()) {
        c.events.Message(kNoFileMessage);
        run.end = PlotEnd::NoFile;
        return false;
    }
    return BeginOperation(c, op);
}

bool OpenPlotFile(Context& c, PlotFile& file, PlotRun& run) {
    MachineState& s = c.st;
    s.PlotFileName = c.run.plotFile;
    c.events.PlotStartAllowed(false);
    c.events.JogAllowed(false);
    s.CancelRequested = false;

    if (file.open(s.PlotFileName)) return true;
    UnlockPlotButtons(c);
    EndOperation(c);
    c.events.Message(OpenFailedMessage(s.PlotFileName, file));
    run.end = PlotEnd::OpenFailed;
    return false;
}

void UnlockPlotButtons(Context& c) {
    c.events.PlotStartAllowed(true);
    c.events.JogAllowed(true);
}

bool StopOnCancel(Context& c, PlotFile& file, PlotRun& run) {
    if (!c.st.CancelRequested) return false;
    run.bytes = file.bytesRead();
    file.close();
    UnlockPlotButtons(c);
    EndOperation(c);
    run.end = PlotEnd::Cancelled;
    return true;
}

bool ClosePlotFileAtEnd(PlotFile& file, PlotRun& run) {
    run.bytes = file.bytesRead();
    const bool failed = file.failed();
    file.close();
    return failed;
}

std::string OverlongStatementMessage(std::uint64_t line) {
    return "A declaração que começa na linha " + std::to_string(line) + " passa de " +
           std::to_string(kMaxStatementChars) +
           " caracteres sem \";\": o arquivo não é um arquivo de plotagem. A operação foi "
           "interrompida.";
}

void StopAtOverlongStatement(Context& c, PlotFile& file, const StatementBuffer& statement,
                             PlotRun& run, bool releaseCoils) {
    run.bytes = file.bytesRead();
    file.close();
    if (releaseCoils) ReleaseMotors(c);
    UnlockPlotButtons(c);
    EndOperation(c);
    c.events.Message(OverlongStatementMessage(statement.startLine()));
    run.end = PlotEnd::ReadFailed;
}

void ReportReadFailure(Context& c, const PlotFile& file, PlotRun& run) {
    c.events.Message(ReadFailedMessage(c.st.PlotFileName, file));
    run.end = PlotEnd::ReadFailed;
}

}  // namespace pm
