#pragma once
#include <array>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "motion/Clock.h"
#include "motion/Context.h"
#include "motion/HeadlessControls.h"
#include "motion/MachineState.h"
#include "motion/Records.h"
#include "port/Port.h"
#include "port/SimOptions.h"
#include "port/SimulatedMachine.h"

namespace pm::cli {

// Exit statuses of portmill-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFile = 1;   // a file cannot be read or written, or the port not driven
inline constexpr int kExitUsage = 2;  // a bad command line

// The options every command takes: the window's settings, the port, the
// clock, the simulated machine's set-up and the record files.
struct Options {
    std::string divisor = "3.55";  // Text3
    int speed = 20;                // Slider2
    int scale = 5;                 // Slider1
    bool motors = false;           // Check1
    std::string port = "sim";
    bool realClock = false;
    SimOptions sim;
    std::string tracePath;
    std::string dotsPath;
    std::string listPath;
};

// A command's arguments after its name: the positional ones in order, the
// shared options, and the values of the options that command adds itself.
struct CommandLine {
    std::vector<std::string> args;
    Options options;
    std::map<std::string, std::string> extra;
};

// Parses argv[0..argc) (the words after the command name). Options may
// stand anywhere among the arguments; "--" ends them. extraOptions names
// further "--name VALUE" options the command accepts. False with the reason
// in error on a bad command line.
bool ParseCommandLine(int argc, char** argv, CommandLine& out, std::string& error,
                      const std::vector<std::string>& extraOptions = {});

// Prints "portmill-cli: <error>" and a pointer to the usage on standard
// error; returns kExitUsage.
int UsageError(const std::string& error);
// A session that could not be set up: prints the error (as UsageError for
// kExitUsage) and returns status.
int SetupError(const std::string& error, int status);
// The usage text.
const char* UsageText();

// The machine a command drives, set up from the options the way Form_Load
// sets up the window: machine state, port (behind the trace record when
// asked), the headless controls with the 100 ms poll, and the clock.
class Session {
public:
    explicit Session(const Options& options);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session() = default;

    // Opens the port and the record files. On failure returns false, with
    // the reason in error and the exit status in status.
    bool open(std::string& error, int& status);

    Context& context() { return *context_; }
    HeadlessControls& ui() { return *ui_; }
    MachineState& state() { return st_; }
    Clock& clock() { return *clock_; }
    // The simulated machine, or null when the port is a real one.
    SimulatedMachine* sim() { return sim_; }

    // Writes the list record, closes the records and prints the last line
    // with the count of statements the command handled. Returns kExitOk, or
    // kExitFile when a record could not be written.
    int finish(std::uint64_t statements);

private:
    Options options_;
    MachineState st_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<Port> port_;
    RunRecords records_;
    SimulatedMachine* sim_ = nullptr;
    std::unique_ptr<HeadlessControls> ui_;
    std::unique_ptr<Context> context_;
};

// The commands of this file set; each takes the words after its name.
int RunCommand(int argc, char** argv);
int ScanCommand(int argc, char** argv);
int GotoCommand(int argc, char** argv);
// HomingCommands.cpp
int HomeXYCommand(int argc, char** argv);
int HomeZCommand(int argc, char** argv);

}  // namespace pm::cli
