// run, scan and goto: "Fresar", "Calcular Limites" and "Ir para o Limite"
// without the window.
#include <string>

#include "cli/Runner.h"
#include "homing/Limits.h"
#include "job/Job.h"

namespace pm::cli {
namespace {

// The exit status of a run over the plot file.
int PlotStatus(PlotEnd end, int recordStatus) {
    switch (end) {
        case PlotEnd::NoFile: return kExitUsage;
        case PlotEnd::Refused:
        case PlotEnd::OpenFailed:
        case PlotEnd::ReadFailed:
        // Nobody presses "Cancelar" here: the lift gave up on the top switch.
        case PlotEnd::Cancelled: return kExitFile;
        case PlotEnd::EndOfFile: break;
    }
    return recordStatus;
}

// Runs one operation over the plot file named by the single argument.
template <typename Operation>
int PlotCommand(const char* name, int argc, char** argv, Operation operation) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) return UsageError(error);
    if (line.args.size() != 1) return UsageError(std::string(name) + " espera um arquivo (FILE)");
    Session session(line.options);
    int status = kExitOk;
    if (!session.open(error, status)) {
        return SetupError(error, status);
    }
    session.ui().caption = line.args[0];
    const PlotRun run = operation(session.context());
    return PlotStatus(run.end, session.finish(run.statements));
}

}  // namespace

int RunCommand(int argc, char** argv) { return PlotCommand("run", argc, argv, RunJob); }

int ScanCommand(int argc, char** argv) { return PlotCommand("scan", argc, argv, RunScan); }

int GotoCommand(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) return UsageError(error);
    if (line.args.size() != 2) return UsageError("goto espera X e Y, os valores das caixas X e Y de \"Limites\"");
    Session session(line.options);
    int status = kExitOk;
    if (!session.open(error, status)) {
        return SetupError(error, status);
    }
    session.ui().text[1] = line.args[0];
    session.ui().text[2] = line.args[1];
    const GoToLimitEnd end = RunGoToLimit(session.context());
    const int recordStatus = session.finish(0);
    switch (end) {
        case GoToLimitEnd::Moved: return recordStatus;
        case GoToLimitEnd::Refused: return kExitFile;
        case GoToLimitEnd::ZeroDivisor:
        case GoToLimitEnd::OutOfReach: return kExitUsage;
    }
    return recordStatus;
}

}  // namespace pm::cli
