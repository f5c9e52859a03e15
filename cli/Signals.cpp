#include "cli/Signals.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>

#include "cli/Runner.h"
#include "port/SafeFile.h"

namespace pm::cli {
namespace {

volatile std::sig_atomic_t gCaught = 0;

extern "C" void OnStopSignal(int signal) {
    if (gCaught == 0) gCaught = signal;
}

}  // namespace

void CatchStopSignals() {
    struct sigaction action{};
    action.sa_handler = OnStopSignal;  // NOLINT(cppcoreguidelines-pro-type-union-access)
    sigemptyset(&action.sa_mask);
    // Reads and writes go on: the operation itself looks at the signal.
    action.sa_flags = SA_RESTART;
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

int CaughtSignal() { return gCaught; }

const char* SignalName(int signal) {
    switch (signal) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "sinal";
    }
}

int ExitStatus(int status) {
    std::cout.flush();
    errno = 0;
    const bool flushed = std::fflush(stdout) == 0;
    const int err = errno;
    if (!flushed || std::ferror(stdout) != 0 || !std::cout) {
        std::cerr << "portmill-cli: erro ao escrever na saída padrão: "
                  << FileErrorText(err != 0 ? err : EIO) << '\n';
        if (status == kExitOk) status = kExitFile;
    }
    if (const int signal = CaughtSignal(); signal != 0) return 128 + signal;
    return status;
}

}  // namespace pm::cli
