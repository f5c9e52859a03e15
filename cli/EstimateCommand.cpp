// estimate: how long "Fresar" takes on a plot file at the given settings, by
// a dry run of the job on the virtual clock and the simulated machine.
#include <cinttypes>
#include <cstdio>
#include <iostream>
#include <string>

#include "cli/EstimateCommand.h"
#include "cli/Runner.h"
#include "files/SafeFile.h"
#include "importer/Drawing.h"
#include "job/Estimate.h"
#include "motion/MachinePosition.h"

namespace pm::cli {
namespace {

std::string Range(const Extent& e) {
    return "X " + FormatHumanNumber(e.minX) + " a " + FormatHumanNumber(e.maxX) + ", Y " +
           FormatHumanNumber(e.minY) + " a " + FormatHumanNumber(e.maxY);
}

std::string Corners(const Extent& e) {
    char buf[160];
    std::snprintf(buf, sizeof buf, "%.17g,%.17g,%.17g,%.17g", e.minX, e.minY, e.maxX, e.maxY);
    return buf;
}

}  // namespace

int EstimateCommand(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error, {"--from"})) return UsageError(error);
    if (line.args.size() != 1) return UsageError("estimate espera um arquivo (FILE)");
    const Options& o = line.options;
    // The estimate is a dry run by its nature: no real port, no real time,
    // nothing to record.
    if (o.port != "sim" || o.realClock || !o.tracePath.empty() || !o.dotsPath.empty() ||
        !o.listPath.empty())
        return UsageError("estimate roda na máquina simulada e no relógio virtual: "
                          "--port, --clock, --trace, --dots e --list não valem aqui");

    EstimateSettings s;
    s.divisor = o.divisor;
    s.speed = o.speed;
    s.scale = o.scale;
    s.motors = o.motors;
    s.machineSettings = o.machine;
    if (o.sim.start) {
        s.machine.x = (*o.sim.start)[0];
        s.machine.y = (*o.sim.start)[1];
        s.machine.z = (*o.sim.start)[2];
    }
    if (o.sim.zTop) s.machine.zTop = *o.sim.zTop;
    if (!ParseCountOption(line, "--from", 1, s.fromStatement, error)) return UsageError(error);

    const std::string& file = line.args[0];
    if (IsDrawingFileName(file))
        std::cerr << "portmill-cli: aviso: " << QuotedPath(file)
                  << " é lido como arquivo do programa; converta-o antes com portmill-cli convert\n";
    const JobEstimate est = EstimateJob(file, s);
    if (!est.ok) {
        std::cerr << "portmill-cli: " << (est.error.empty() ? "a estimativa não terminou" : ShownText(est.error))
                  << '\n';
        return kExitFile;
    }
    if (WorkAreaKnown(o.machine) && !est.extentSteps.empty) {
        // Checked as if the job started at the home corner.
        MachinePosition home;
        HomedXYHere(home);
        const Extent& e = est.extentSteps;
        const std::string warning =
            ExtentWarning(home, o.machine, e.minX, e.minY, e.maxX, e.maxY);
        if (!warning.empty()) std::cerr << "portmill-cli: aviso: " << warning << '\n';
    }
    std::cout << "Duração estimada: " << FormatDuration(est.durationNs) << '\n';
    if (est.extentUnits.empty) {
        std::cout << "Extensão: nenhum ponto\n";
    } else {
        std::cout << "Extensão: " << Range(est.extentUnits) << " (unidades do arquivo); "
                  << Range(est.extentSteps) << " (meios-passos)\n";
    }
    std::printf("duration_ns=%" PRId64 " statements=%llu", est.durationNs, est.statements);
    if (!est.extentUnits.empty)
        std::printf(" units=%s steps=%s", Corners(est.extentUnits).c_str(), Corners(est.extentSteps).c_str());
    std::printf("\n");
    return kExitOk;
}

}  // namespace pm::cli
