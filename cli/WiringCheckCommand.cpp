// portmill-cli selftest: the wiring check on a real port, slowly.
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "cli/Runner.h"
#include "cli/Signals.h"
#include "cli/WiringCheck.h"
#include "port/PortFactory.h"
#include "files/SafeFile.h"
#include "port/SimulatedMachine.h"
#include "port/TracePort.h"

namespace pm {
namespace cli {
namespace {

bool ParseMs(const std::string& name, const std::string& text, long long lo, long long hi,
             long long& out, std::string& error) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, out);
    if (text.empty() || r.ec != std::errc() || r.ptr != end || out < lo || out > hi) {
        error = name + " espera um número inteiro de " + std::to_string(lo) + " a " +
                std::to_string(hi) + ", não \"" + text + "\"";
        return false;
    }
    return true;
}

}  // namespace

int SelfTestCommand(int argc, char** argv) {
    CommandLine line;
    std::string error;
    if (!ParseCommandLine(argc, argv, line, error, {"--hold", "--watch", "--clock"})) {
        return UsageError(error);
    }
    if (!line.args.empty()) return UsageError("selftest não leva arquivo");
    if (!CheckRecordPaths(line.options, {}, error)) return UsageError(error);

    SelfTestOptions options;
    long long holdMs = 1000;
    long long watchS = 10;
    if (const auto it = line.extra.find("--hold"); it != line.extra.end()) {
        if (!ParseMs("--hold", it->second, 1, 60'000, holdMs, error)) return UsageError(error);
    }
    if (const auto it = line.extra.find("--watch"); it != line.extra.end()) {
        if (!ParseMs("--watch", it->second, 0, 3'600, watchS, error)) return UsageError(error);
    }
    options.holdNs = holdMs * 1'000'000;
    options.watchNs = watchS * 1'000'000'000;

    // Slowly, on the wall clock, unless a dry run asks for the virtual one.
    std::unique_ptr<Clock> clock;
    const auto clockIt = line.extra.find("--clock");
    const std::string clockName = clockIt == line.extra.end() ? "real" : clockIt->second;
    if (clockName == "real") {
        clock = std::make_unique<RealClock>();
    } else if (clockName == "virtual") {
        clock = std::make_unique<VirtualClock>();
    } else {
        return UsageError("--clock espera virtual ou real, não \"" + clockName + "\"");
    }

    std::unique_ptr<Port> port = OpenPort(line.options.port, &error);
    if (!port) return UsageError(error);
    if (!SetUpSimulatedMachine(*port, line.options.sim, error)) return UsageError(error);
    if (const std::string fault = CheckPort(*port); !fault.empty()) {
        return SetupError(fault, kExitFile);
    }

    // The port's accesses, when asked, in the record format of the other
    // commands; put in place when the test ends, however it ends.
    std::unique_ptr<TracePort> trace;
    if (!line.options.tracePath.empty()) {
        trace = std::make_unique<TracePort>(*port, [&clock] { return clock->nowNs(); });
    }
    ReplacingFile record;
    if (trace && !record.open(line.options.tracePath, error)) return SetupError(error, kExitFile);

    // Ctrl-C, kill or a closed terminal: the test stops at its next wait and
    // releases every coil.
    CatchStopSignals();
    options.stop = [] { return CaughtSignal() != 0; };
    const int status =
        RunSelfTest(trace ? static_cast<Port&>(*trace) : *port, *clock, std::cout, std::cerr, options);
    bool recorded = true;
    if (trace) {
        const std::string text = trace->text();
        if (std::fwrite(text.data(), 1, text.size(), record.stream()) != text.size()) {
            record.noteWriteError(errno);
        }
        recorded = record.commit(error);
        if (!recorded) std::cerr << "portmill-cli: " << ShownText(error) << '\n';
    }
    if (const int signal = CaughtSignal(); signal != 0) {
        std::cout << "Interrompido (" << SignalName(signal) << "): bobinas desligadas." << std::endl;
        return kExitFile;  // the caller makes it 128 + the signal's number
    }
    return status == 0 && recorded ? kExitOk : kExitFile;
}

}  // namespace cli
}  // namespace pm
