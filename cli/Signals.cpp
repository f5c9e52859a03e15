#include "cli/Signals.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>

#include <unistd.h>

#include "cli/Runner.h"
#include "files/SafeFile.h"

namespace pm::cli {
namespace {

volatile std::sig_atomic_t gCaught = 0;
int gOutputError = 0;  // the first failed flush of standard output

extern "C" void OnStopSignal(int signal) {
    if (gCaught == 0) gCaught = signal;
}

extern "C" void OnStopSignalEnd(int signal) {
    // Only calls a handler may make: unlink() and _exit().
    RemoveTemporaryFiles();
    ::_exit(128 + signal);
}

}  // namespace

void EndOnStopSignals() {
    struct sigaction action{};
    action.sa_handler = OnStopSignalEnd;  // NOLINT(cppcoreguidelines-pro-type-union-access)
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

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

void FlushStandardOutput() {
    // The C stream first: the C++ one, tied to it, would flush it and keep
    // only a failed bit, not the reason.
    if (std::fflush(stdout) != 0 && gOutputError == 0) gOutputError = errno != 0 ? errno : EIO;
    std::cout.flush();
}

int ExitStatus(int status) {
    FlushStandardOutput();
    if (gOutputError != 0 || std::ferror(stdout) != 0 || !std::cout) {
        std::cerr << "portmill-cli: erro ao escrever na saída padrão: "
                  << FileErrorText(gOutputError != 0 ? gOutputError : EIO) << '\n';
        if (status == kExitOk) status = kExitFile;
    }
    if (const int signal = CaughtSignal(); signal != 0) return 128 + signal;
    return status;
}

}  // namespace pm::cli
