// home-xy and home-z: "Home XY" and "Home Z" without the window.
#include <string>
#include <vector>

#include "cli/Runner.h"
#include "homing/Homing.h"

namespace pm::cli {
namespace {

using Axis = SimulatedMachine::Axis;

// Switches of the simulated machine that never close, as letters x, y, z.
bool BreakSwitches(const std::string& axes, Session& session, std::string& error) {
    if (session.sim() == nullptr) {
        error = "--sim-broken vale só para a máquina simulada (--port sim)";
        return false;
    }
    for (const char ch : axes) {
        if (ch == 'x' || ch == 'X') {
            session.sim()->setSwitchBroken(Axis::X, true);
        } else if (ch == 'y' || ch == 'Y') {
            session.sim()->setSwitchBroken(Axis::Y, true);
        } else if (ch == 'z' || ch == 'Z') {
            session.sim()->setSwitchBroken(Axis::Z, true);
        } else if (ch != ',') {
            error = "--sim-broken espera eixos entre x, y e z, não \"" + axes + "\"";
            return false;
        }
    }
    return true;
}

// Runs one homing handler on the machine the options set up. A homing that
// answers with a message box (a switch not found, a port that cannot be
// driven) ends with kExitFile.
int HomingCommand(const char* name, int argc, char** argv, void (*click)(Context&)) {
    CommandLine line;
    std::string error;
    const bool xy = std::string(name) == "home-xy";
    std::vector<std::string> flags;
    if (xy) flags.emplace_back("--check");
    if (!ParseCommandLine(argc, argv, line, error, {"--sim-broken"}, flags)) return UsageError(error);
    const bool check = line.extra.count("--check") != 0;
    if (!line.args.empty()) return UsageError(std::string(name) + " não leva argumentos");
    if (!CheckRecordPaths(line.options, {}, error)) return UsageError(error);
    Session session(line.options);
    int status = kExitOk;
    if (!session.open(error, status)) return SetupError(error, status);
    const auto broken = line.extra.find("--sim-broken");
    if (broken != line.extra.end() && !BreakSwitches(broken->second, session, error)) {
        return UsageError(error);
    }
    if (check) {
        // The check tells its result in a message of its own; any other is
        // a switch not found.
        const PositionCheck result = CheckPosition(session.context());
        if (result.done) {
            session.lastLineExtra =
                " drift=" + std::to_string(result.driftX) + "," + std::to_string(result.driftY);
        }
        const int recordStatus = session.finish(0);
        return result.done ? recordStatus : kExitFile;
    }
    click(session.context());
    const int recordStatus = session.finish(0);
    return session.events().messages.empty() ? recordStatus : kExitFile;
}

}  // namespace

int HomeXYCommand(int argc, char** argv) {
    return HomingCommand("home-xy", argc, argv, HomeXY);
}

int HomeZCommand(int argc, char** argv) {
    return HomingCommand("home-z", argc, argv, HomeZ);
}

}  // namespace pm::cli
