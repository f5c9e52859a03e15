// jog-xy: a click on the purple arrows of the jog pad, without the window.
#include <cmath>
#include <string>

#include "cli/Runner.h"
#include "jog/JogXY.h"

namespace pm::cli {

int JogXYCommand(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error)) return UsageError(error);
    double dx = 0;
    double dy = 0;
    if (line.args.size() != 1 || !ParsePair(line.args[0], dx, dy) || dx != std::trunc(dx) ||
        dy != std::trunc(dy) || std::fabs(dx) > 1e6 || std::fabs(dy) > 1e6) {
        return UsageError("jog-xy espera DX,DY, meios-passos inteiros (até 1000000) em X e Y");
    }
    if (!CheckRecordPaths(line.options, {}, error)) return UsageError(error);
    Session session(line.options);
    int status = kExitOk;
    if (!session.open(error, status)) return SetupError(error, status);
    JogXY(session.context(), std::lround(dx), std::lround(dy), false);
    const int recordStatus = session.finish(0);
    return session.events().messages.empty() ? recordStatus : kExitFile;
}

}  // namespace pm::cli
