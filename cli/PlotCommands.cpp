// run, scan and goto: "Fresar", "Calcular Limites" and "Ir para o Limite"
// without the window.
#include <algorithm>
#include <iostream>
#include <string>
#include <vector>

#include "cli/Runner.h"
#include "importer/Drawing.h"
#include "job/Job.h"
#include "job/Limits.h"
#include "motion/Motion.h"

namespace pm::cli {
namespace {

// The exit status of a run over the plot file. A lift that gave up on the
// top switch fails the command wherever it happened, even in the last pass.
int PlotStatus(PlotEnd end, int recordStatus, const std::vector<std::string>& messages) {
    if (std::find(messages.begin(), messages.end(), kZTopNotFound) != messages.end()) {
        return kExitFile;
    }
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
    if (!CheckRecordPaths(line.options, {line.args[0]}, error)) return UsageError(error);
    // G-code and SVG are no plot statements at all; HPGL is read as it is.
    const std::string& file = line.args[0];
    if (IsDrawingFileName(file) && !IsHpglFileName(file))
        std::cerr << "portmill-cli: aviso: \"" << file
                  << "\" é lido como arquivo do programa; converta-o antes com portmill-cli convert\n";
    Session session(line.options);
    int status = kExitOk;
    if (!session.open(error, status)) {
        return SetupError(error, status);
    }
    session.ui().caption = line.args[0];
    const PlotRun run = operation(session.context());
    const int recordStatus = session.finish(run.statements);
    return PlotStatus(run.end, recordStatus, session.ui().messages);
}

}  // namespace

int RunCommand(int argc, char** argv) { return PlotCommand("run", argc, argv, RunJob); }

int ScanCommand(int argc, char** argv) { return PlotCommand("scan", argc, argv, RunScan); }

int GotoCommand(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) return UsageError(error);
    if (line.args.size() != 2) return UsageError("goto espera X e Y");
    if (!CheckRecordPaths(line.options, {}, error)) return UsageError(error);
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
