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
#include "motion/HeadlessMachine.h"
#include "motion/MachineSettings.h"
#include "motion/MachineState.h"
#include "motion/RunSettings.h"
#include "port/Port.h"
#include "port/TracePort.h"
#include "files/SafeFile.h"
#include "port/SimOptions.h"
#include "port/SimulatedMachine.h"

namespace pm::cli {

// Exit statuses of portmill-cli.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFile = 1;   // a file cannot be read or written, or the port not driven
inline constexpr int kExitUsage = 2;  // a bad command line

// The options every command takes: the run settings, the port, the clock,
// the simulated machine's set-up and the record files.
struct Options {
    std::string divisor = RunSettings::kDefaultDivisor;
    int speed = RunSettings::kDefaultSpeed;
    int scale = RunSettings::kDefaultScale;
    bool motors = false;
    std::string port = "sim";
    bool realClock = false;
    SimOptions sim;
    std::string tracePath;
    std::string dotsPath;
    std::string listPath;
    // --accel, --start-rate, --travel-speed, --steps-per-mm and --travel: the
    // machine's ramps, travel speed and size, for the moves, the Home XY
    // allowance and the work-area check. The window's own settings are never
    // read.
    MachineSettings machine;
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
// further "--name VALUE" options the command accepts, flags "--name" options
// without a value (out.extra[name] is then "on"). False with the reason in
// error on a bad command line.
bool ParseCommandLine(int argc, char** argv, CommandLine& out, std::string& error,
                      const std::vector<std::string>& extraOptions = {},
                      const std::vector<std::string>& flags = {});

// The extra option `name`, when given, as a whole number of at least
// `least` into out; false with the reason in error.
bool ParseCountOption(const CommandLine& line, const std::string& name, std::uint64_t least,
                      std::uint64_t& out, std::string& error);

// Prints "portmill-cli: <error>" and a pointer to the usage on standard
// error; returns kExitUsage.
int UsageError(const std::string& error);
// A session that could not be set up: prints the error (as UsageError for
// kExitUsage) and returns status.
int SetupError(const std::string& error, int status);
// The usage text.
const char* UsageText();

// The machine a command drives, set up from the options the way the window
// sets itself up: machine state, port (behind the trace record when asked),
// the run settings, the headless events and pump with the 100 ms poll, and
// the clock.
class Session {
public:
    explicit Session(const Options& options);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    // A session left without finish() (an exception: memory ran out)
    // switches every coil off and puts the trace and the dots in place; the
    // list record is dropped, its old file whole.
    ~Session();

    // Opens the port and the record files. On failure returns false, with
    // the reason in error and the exit status in status.
    bool open(std::string& error, int& status);

    // The machine, once open() has succeeded.
    Context& context() { return machine_->context(); }
    RunSettings& run() { return machine_->run(); }
    HeadlessEvents& events() { return machine_->events(); }
    HeadlessPump& pump() { return machine_->pump(); }
    MachineState& state() { return machine_->state(); }
    Clock& clock() { return *clock_; }
    // The simulated machine, or null when the port is a real one.
    SimulatedMachine* sim() { return sim_; }

    // Writes the list record, puts the records in place and prints the last
    // line with the count of statements the command handled. After a stop
    // (a signal, a record that failed) it first switches every coil off.
    // Returns kExitOk, or kExitFile when a record could not be written.
    int finish(std::uint64_t statements);

    // True once the command must stop: a signal came, or a record failed.
    bool stopping() const;

    // Fields a command adds at the end of the last line (" drift=DX,DY").
    std::string lastLineExtra;

private:

    Options options_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<StepLateness> lateness_;  // on the real clock
    std::unique_ptr<Port> port_;
    std::unique_ptr<TracePort> trace_;
    SimulatedMachine* sim_ = nullptr;
    std::unique_ptr<HeadlessMachine> machine_;
    bool finished_ = false;
    ReplacingFile traceRecord_;
    ReplacingFile dotsRecord_;
    ReplacingFile listRecord_;
};

// Refuses records that name the file a command reads, or each other, before
// anything is opened for writing. False with the message in error.
bool CheckRecordPaths(const Options& options, const std::vector<std::string>& reads,
                      std::string& error);

// The commands of this file set; each takes the words after its name.
int RunCommand(int argc, char** argv);
int ScanCommand(int argc, char** argv);
int GotoCommand(int argc, char** argv);
// HomingCommands.cpp
int HomeXYCommand(int argc, char** argv);
int HomeZCommand(int argc, char** argv);
// JogCommand.cpp
int JogXYCommand(int argc, char** argv);

}  // namespace pm::cli
