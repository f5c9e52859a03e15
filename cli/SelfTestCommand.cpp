// portmill-cli selftest: the wiring check on a real port, slowly.
#include <charconv>
#include <csignal>
#include <iostream>
#include <memory>
#include <string>

#include "cli/Runner.h"
#include "cli/SelfTest.h"
#include "port/PortFactory.h"
#include "port/SimulatedMachine.h"

namespace pm {
namespace cli {
namespace {

volatile std::sig_atomic_t gInterrupted = 0;

extern "C" void OnInterrupt(int /*signal*/) { gInterrupted = 1; }

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

    gInterrupted = 0;
    const auto previous = std::signal(SIGINT, OnInterrupt);
    options.stop = [] { return gInterrupted != 0; };
    const int status = RunSelfTest(*port, *clock, std::cout, std::cerr, options);
    std::signal(SIGINT, previous);
    if (gInterrupted != 0) {
        std::cout << "Interrompido." << std::endl;
        return 130;
    }
    return status == 0 ? kExitOk : kExitFile;
}

}  // namespace cli
}  // namespace pm
