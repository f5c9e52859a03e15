#include "job/PlotLoop.h"

#include "motion/Motion.h"

namespace pm {

bool BeginPlotRun(Context& c, Operation op, PlotRun& run) {
    if (c.ui.Caption().empty()) {
        c.ui.MsgBox(kNoFileMessage, kMsgTitle);
        run.end = PlotEnd::NoFile;
        return false;
    }
    return BeginOperation(c, op);
}

bool OpenPlotFile(Context& c, PlotFile& file, PlotRun& run) {
    MachineState& s = c.st;
    s.PlotFileName = c.ui.Caption();
    c.ui.SetCommand1Enabled(false);
    c.ui.SetMotorJogEnabled(false);
    s.CancelRequested = 0;

    if (file.open(s.PlotFileName)) return true;
    UnlockPlotButtons(c);
    EndOperation(c);
    c.ui.MsgBox(OpenFailedMessage(s.PlotFileName, file), kMsgTitle);
    run.end = PlotEnd::OpenFailed;
    return false;
}

void UnlockPlotButtons(Context& c) {
    c.ui.SetCommand1Enabled(true);
    c.ui.SetMotorJogEnabled(true);
}

bool StopOnCancel(Context& c, PlotFile& file, PlotRun& run) {
    if (c.st.CancelRequested != -1) return false;
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
    c.ui.MsgBox(OverlongStatementMessage(statement.startLine()), kMsgTitle);
    run.end = PlotEnd::ReadFailed;
}

void ReportReadFailure(Context& c, const PlotFile& file, PlotRun& run) {
    c.ui.MsgBox(ReadFailedMessage(c.st.PlotFileName, file), kMsgTitle);
    run.end = PlotEnd::ReadFailed;
}

}  // namespace pm
