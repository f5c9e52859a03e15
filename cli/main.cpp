// portmill-cli: the machine core without the window, on the simulated
// machine and the virtual clock unless told otherwise.
#include <csignal>
#include <cstring>
#include <exception>
#include <iostream>
#include <new>

#include "cli/ConvertCommand.h"
#include "cli/EstimateCommand.h"
#include "cli/LatencyCommand.h"
#include "cli/Runner.h"
#include "cli/Signals.h"
#include "cli/WiringCheck.h"
#include "files/SafeFile.h"

namespace {

struct Command {
    const char* name;
    int (*run)(int argc, char** argv);  // the words after the name
};

// One line a command; each lives in its own source file.
constexpr Command kCommands[] = {
    {"run", pm::cli::RunCommand},
    {"scan", pm::cli::ScanCommand},
    {"goto", pm::cli::GotoCommand},
    {"home-xy", pm::cli::HomeXYCommand},
    {"home-z", pm::cli::HomeZCommand},
    {"jog-xy", pm::cli::JogXYCommand},
    {"convert", pm::cli::ConvertCommand},
    {"estimate", pm::cli::EstimateCommand},
    {"selftest", pm::cli::SelfTestCommand},
    {"latency", pm::cli::LatencyCommand},
};

}  // namespace

int main(int argc, char** argv) {
    // A reader that goes away makes a failed write, told as such, not a
    // silent end.
    std::signal(SIGPIPE, SIG_IGN);
    if (argc < 2) {
        std::cerr << pm::cli::UsageText();
        return pm::cli::kExitUsage;
    }
    const char* name = argv[1];
    if (std::strcmp(name, "--help") == 0 || std::strcmp(name, "-h") == 0 ||
        std::strcmp(name, "help") == 0) {
        std::cout << pm::cli::UsageText();
        return pm::cli::ExitStatus(pm::cli::kExitOk);
    }
    for (const Command& c : kCommands) {
        if (std::strcmp(name, c.name) != 0) continue;
        // Nothing ends the program with an exception: the command's session
        // has switched every coil off on the way out, and dropped its
        // unfinished records.
        try {
            return pm::cli::ExitStatus(c.run(argc - 2, argv + 2));
        } catch (const std::bad_alloc&) {
            std::cerr << "portmill-cli: memória insuficiente: o comando foi interrompido e todas as "
                         "bobinas foram desligadas\n";
        } catch (const std::exception& e) {
            std::cerr << "portmill-cli: erro interno: " << pm::ShownText(e.what())
                      << ": o comando foi interrompido e as bobinas desligadas\n";
        }
        return pm::cli::kExitFile;
    }
    return pm::cli::UsageError(std::string("comando desconhecido: ") + name);
}
