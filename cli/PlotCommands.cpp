// run, scan and goto: "Fresar", "Calcular Limites" and "Ir para o Limite"
// without the window.
#include <algorithm>
#include <charconv>
#include <cstdint>
#include <iostream>
#include <regex>
#include <string>
#include <vector>

#include "cli/Runner.h"
#include "homing/Homing.h"
#include "files/SafeFile.h"
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
        case PlotEnd::NoFile:
        // The file ends before the statement the job was to start from.
        case PlotEnd::PastEnd: return kExitUsage;
        case PlotEnd::Refused:
        case PlotEnd::OpenFailed:
        case PlotEnd::ReadFailed:
        // Nobody presses "Cancelar" here: the lift gave up on the top switch.
        case PlotEnd::Cancelled: return kExitFile;
        case PlotEnd::EndOfFile: break;
    }
    return recordStatus;
}

// The single FILE argument: no record may name it; a drawing that is not in
// the plot form gets a warning. False with the usage error in error.
bool CheckPlotFile(const char* name, const CommandLine& line, std::string& error) {
    if (line.args.size() != 1) {
        error = std::string(name) + " espera um arquivo (FILE)";
        return false;
    }
    if (!CheckRecordPaths(line.options, {line.args[0]}, error)) return false;
    // G-code and SVG are no plot statements at all; HPGL is read as it is.
    const std::string& file = line.args[0];
    if (IsDrawingFileName(file) && !IsHpglFileName(file))
        std::cerr << "portmill-cli: aviso: " << QuotedPath(file)
                  << " é lido como arquivo do programa; converta-o antes com portmill-cli convert\n";
    return true;
}

// Whether a limit typed for goto is a number as a whole: a sign, digits with
// at most one ".", an exponent (E or D); or "&H" and hexadecimal digits,
// "&O" and octal ones. Blanks around it are allowed. "1O0" or "abc" would be
// read by the window as 1 and 0: here they are a bad command line.
bool WholeNumberText(const std::string& text) {
    static const std::regex kNumber(
        R"(\s*([+-]?([0-9]+\.?[0-9]*|\.[0-9]+)([EeDd][+-]?[0-9]+)?|&[Hh][0-9A-Fa-f]+|&[Oo][0-7]+)\s*)");
    return std::regex_match(text, kNumber);
}

// Runs one operation over the plot file named by the single argument.
template <typename Operation>
int PlotCommand(const char* name, int argc, char** argv, Operation operation) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) return UsageError(error);
    if (!CheckPlotFile(name, line, error)) return UsageError(error);
    Session session(line.options);
    int status = kExitOk;
    if (!session.open(error, status)) {
        return SetupError(error, status);
    }
    session.run().plotFile = line.args[0];
    const PlotRun run = operation(session.context());
    const int recordStatus = session.finish(run.statements);
    return PlotStatus(run.end, recordStatus, session.events().messages);
}

}  // namespace

bool ParseCountOption(const CommandLine& line, const std::string& name, std::uint64_t least,
                      std::uint64_t& out, std::string& error) {
    const auto it = line.extra.find(name);
    if (it == line.extra.end()) return true;
    const std::string& text = it->second;
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, out);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || out < least) {
        error = name + " espera um número inteiro a partir de " + std::to_string(least) +
                ", não \"" + text + "\"";
        return false;
    }
    return true;
}

// "Fresar" on FILE; --from N starts at statement N, --pause-after N with
// --pause-ms MS holds the job as statement N is handled and lets it go on
// MS milliseconds later on the clock.
int RunCommand(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error, {"--from", "--pause-after", "--pause-ms"},
                          {"--check"}))
        return UsageError(error);
    if (!CheckPlotFile("run", line, error)) return UsageError(error);
    std::uint64_t from = 1;
    std::uint64_t pauseAfter = 0;
    std::uint64_t pauseMs = 0;
    if (!ParseCountOption(line, "--from", 1, from, error) ||
        !ParseCountOption(line, "--pause-after", 1, pauseAfter, error) ||
        !ParseCountOption(line, "--pause-ms", 0, pauseMs, error))
        return UsageError(error);
    if (line.extra.count("--pause-ms") != 0 && pauseAfter == 0)
        return UsageError("--pause-ms vale só com --pause-after");
    if (pauseMs > std::uint64_t{1000} * 60 * 60 * 24 * 365)
        return UsageError("--pause-ms espera no máximo um ano");
    Session session(line.options);
    int status = kExitOk;
    if (!session.open(error, status)) return SetupError(error, status);
    session.run().plotFile = line.args[0];
    Context& c = session.context();
    if (pauseAfter != 0) {
        // Asked at the first pump after statement N is listed; let go at the
        // first pump of the hold that finds the time up.
        const auto pauseNs = static_cast<std::int64_t>(pauseMs) * 1'000'000;
        std::int64_t askedAt = -1;
        // After the session's own pump (a signal's stop).
        session.pump().onPump = [&c, &session, pauseAfter, pauseNs, askedAt,
                               before = session.pump().onPump]() mutable {
            if (before) before();
            if (askedAt < 0) {
                if (session.events().list.size() < pauseAfter || c.st.Running != Operation::Job) return;
                askedAt = c.clock.nowNs();
                PauseJob(c);
            } else if (session.events().paused && c.clock.nowNs() - askedAt >= pauseNs) {
                ContinueJob(c);
            }
        };
    }
    const PlotRun run = RunJob(c, from);
    // The lost-step check after the job: portmill-cli counts from where it
    // started, so the machine should start at home.
    bool checked = true;
    if (line.extra.count("--check") != 0 && !session.stopping()) {
        const PositionCheck check = CheckPosition(c);
        checked = check.done;
        if (check.done) {
            session.lastLineExtra =
                " drift=" + std::to_string(check.driftX) + "," + std::to_string(check.driftY);
        }
    }
    const int recordStatus = session.finish(run.statements);
    const int runStatus = PlotStatus(run.end, recordStatus, session.events().messages);
    return runStatus == kExitOk && !checked ? kExitFile : runStatus;
}

int ScanCommand(int argc, char** argv) { return PlotCommand("scan", argc, argv, ScanLimits); }

int GotoCommand(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) return UsageError(error);
    if (line.args.size() != 2) return UsageError("goto espera X e Y, os valores das caixas X e Y de \"Limites\"");
    for (std::size_t i = 0; i < 2; ++i) {
        if (!WholeNumberText(line.args[i])) {
            return UsageError(std::string("o limite ") + (i == 0 ? "X" : "Y") + " " +
                              QuotedPath(line.args[i]) + " não é um número: a máquina não foi movida");
        }
    }
    if (!CheckRecordPaths(line.options, {}, error)) return UsageError(error);
    Session session(line.options);
    int status = kExitOk;
    if (!session.open(error, status)) {
        return SetupError(error, status);
    }
    session.run().limitX = line.args[0];
    session.run().limitY = line.args[1];
    const GoToLimitEnd end = GoToLimit(session.context());
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
