#include "cli/Runner.h"

#include <algorithm>
#include <charconv>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "cli/Signals.h"
#include "files/SafeFile.h"
#include "motion/Motion.h"
#include "motion/RealTime.h"
#include "motion/Records.h"
#include "port/PortFactory.h"
#include "port/TracePort.h"

namespace pm::cli {

namespace {

template <typename T>
bool ParseWhole(const std::string& text, T& out) {
    const char* end = text.data() + text.size();
    const auto r = std::from_chars(text.data(), end, out);
    return !text.empty() && r.ec == std::errc() && r.ptr == end;
}

bool ParseInRange(const std::string& name, const std::string& text, int lo, int hi, int& out,
                  std::string& error) {
    if (!ParseWhole(text, out) || out < lo || out > hi) {
        error = name + " espera um número inteiro de " + std::to_string(lo) + " a " +
                std::to_string(hi) + ", não \"" + text + "\"";
        return false;
    }
    return true;
}

// Applies one shared option; false with the reason on a bad value.
bool ApplyOption(const std::string& name, const std::string& value, Options& o,
                 std::string& error) {
    if (name == "--divisor") {
        o.divisor = value;
    } else if (name == "--speed") {
        return ParseInRange(name + " (a barra \"Velocidade:\")", value, 0, 40, o.speed, error);
    } else if (name == "--scale") {
        return ParseInRange(name + " (a barra da escala da tela)", value, -3, 10, o.scale, error);
    } else if (name == "--motors") {
        if (value != "on" && value != "off") {
            error = "--motors (a caixa \"Ativar Motores\") espera on ou off, não \"" + value + "\"";
            return false;
        }
        o.motors = value == "on";
    } else if (name == "--accel") {
        int accel = 0;
        if (!ParseInRange(name, value, 0, 10'000'000, accel, error)) return false;
        o.machine.accel = accel;
    } else if (name == "--start-rate") {
        int rate = 0;
        if (!ParseInRange(name, value, 1, 1'000'000, rate, error)) return false;
        o.machine.startRate = rate;
    } else if (name == "--lookahead") {
        return ParseInRange(name, value, 0, kMaxLookahead, o.machine.lookahead, error);
    } else if (name == "--travel-speed") {
        return ParseInRange(name, value, 0, 40, o.machine.travelSpeed, error);
    } else if (name == "--port") {
        o.port = value;
    } else if (name == "--clock") {
        if (value != "virtual" && value != "real") {
            error = "--clock espera virtual ou real, não \"" + value + "\"";
            return false;
        }
        o.realClock = value == "real";
    } else if (name == "--sim-start") {
        return ParseSimStart(value, o.sim, error);
    } else if (name == "--sim-ztop") {
        return ParseSimZTop(value, o.sim, error);
    } else if (name == "--sim-start-rate" || name == "--sim-accel" || name == "--sim-backlash") {
        return ParseSimLimit(name, value, o.sim, error);
    } else if (name == "--backlash") {
        double x = 0;
        double y = 0;
        if (!ParsePair(value, x, y) || x < 0 || y < 0 || x > kMaxBacklash || y > kMaxBacklash ||
            x != std::floor(x) || y != std::floor(y)) {
            error = "--backlash espera X,Y em meios-passos (inteiros de 0 a 10000), não \"" + value +
                    "\"";
            return false;
        }
        o.machine.BacklashX = static_cast<int>(x);
        o.machine.BacklashY = static_cast<int>(y);
    } else if (name == "--steps-per-mm" || name == "--travel") {
        double a = 0;
        double b = 0;
        MachineSettings m = o.machine;
        const bool steps = name == "--steps-per-mm";
        if (ParsePair(value, a, b)) {
            (steps ? m.StepsPerMmX : m.TravelX) = a;
            (steps ? m.StepsPerMmY : m.TravelY) = b;
        }
        const std::string why = ValidateMachineSettings(m);
        if (!ParsePair(value, a, b) || !why.empty()) {
            error = name + " espera X,Y" + (steps ? " (meios-passos por mm)" : " (mm)") +
                    ", não \"" + value + "\"" + (why.empty() ? "" : ": " + why);
            return false;
        }
        o.machine = m;
    } else if (name == "--trace") {
        o.tracePath = value;
    } else if (name == "--dots") {
        o.dotsPath = value;
    } else if (name == "--list") {
        o.listPath = value;
    } else {
        error = "opção desconhecida: " + name;
        return false;
    }
    return true;
}

// Writes one line of a record, noting the first failed write.
template <typename... Args>
void RecordLine(ReplacingFile& record, const char* format, Args... args) {
    // NOLINTNEXTLINE(cppcoreguidelines-pro-type-vararg)
    if (std::fprintf(record.stream(), format, args...) < 0) record.noteWriteError(errno);
}

}  // namespace

const char* UsageText() {
    return "usage:\n"
           "  portmill-cli run FILE [options]    # \"Fresar\" on FILE, to the end of the file\n"
           "      [--from N]                     # start at statement N (counted from 1)\n"
           "      [--pause-after N --pause-ms MS]  # pause at statement N, go on MS ms later\n"
           "  portmill-cli scan FILE [options]   # \"Calcular Limites\" on FILE\n"
           "  portmill-cli goto X Y [options]    # \"Ir para o Limite\", X and Y (plot units) typed\n"
           "                                     # in the boxes X and Y of \"Limites\"\n"
           "  portmill-cli home-xy [options]     # \"Home XY\"\n"
           "  portmill-cli home-z [options]      # \"Home Z\"\n"
           "  portmill-cli jog-xy DX,DY [options]  # a click on the jog pad's X and Y arrows: DX, DY\n"
           "                                     # half-steps, the tool lifted first with --motors on\n"
           "  portmill-cli convert IN OUT [--pen auto|z|spindle|servo] [--z-threshold MM]\n"
           "                     [--servo-below V] [--frame P1X,P1Y,P2X,P2Y] [--max-statements N]\n"
           "                     [--optimize]\n"
           "                                     # drawing IN (HPGL, G-code, SVG) to the plot form in OUT\n"
           "  portmill-cli estimate FILE [options] [--from N]\n"
           "                                     # the job's duration on FILE at these settings\n"
           "  portmill-cli selftest [--port NAME] [--hold MS] [--watch S]\n"
           "                                     # wiring check: each coil line alone, the switches\n"
           "  portmill-cli latency [--seconds N]  # how late this computer makes the steps at each\n"
           "                                     # speed (real clock, N seconds, default 10)\n"
           "options (the window's controls they stand for):\n"
           "  --divisor TEXT     the box \"Dividir cordenadas por:\" (plot units per half-step),\n"
           "                     default 3.55\n"
           "  --speed N          the slider under \"Velocidade:\", 0 (fastest) to 40, default 20\n"
           "  --scale N          the slider under \"Scale ...\" (screen scale), -3 to 10, default 5\n"
           "  --motors on|off    the box \"Ativar Motores\" ticked or not, default off (a dry run)\n"
           "  --accel N          XY ramps, half-steps/s^2; 0 (default) turns them off\n"
           "  --start-rate N     half-steps/s a motor starts and stops at, default 200\n"
           "  --lookahead N      with ramps, moves a job plans ahead, default 64; 0 stops\n"
           "                     at the start rate at every corner\n"
           "  --travel-speed N   the speed slider's value (0..40) for tool-up moves,\n"
           "                     default as --speed\n"
           "  --steps-per-mm X,Y the machine's half-steps per millimetre, default 11.27,11.27\n"
           "                     (40 / 3.55)\n"
           "  --travel X,Y       its travel in mm: Home XY gives up after it plus 10 %;\n"
           "                     estimate warns when the drawing, from X 0 Y 0, leaves it;\n"
           "                     a move longer than it plus 10 % is ignored (goto: refused)\n"
           "  --port NAME        the port driven: auto|sim|ppdev:/dev/parportN|io:0xNNN, default sim\n"
           "  --clock virtual|real  time as fast as the computer goes, or true time;\n"
           "                     default virtual (selftest: real)\n"
           "  --sim-start X,Y,Z  the simulated machine's axes at the start, in steps\n"
           "  --sim-ztop N       where the simulated Z top switch closes, in steps\n"
           "  --sim-start-rate N the simulated X and Y motors miss a step asked faster than\n"
           "                     N half-steps/s from rest (default: they follow any rate)\n"
           "  --sim-accel N      ... or than their speed plus N half-steps/s^2 allows\n"
           "  --sim-backlash X,Y the play of the simulated carriages, in half-steps\n"
           "  --backlash X,Y     half-steps of play taken up when an axis reverses, default 0,0\n"
           "  --check            home-xy, run (after the job): the lost-step check\n"
           "                     (\"Verificar posição\"): Home XY at the start rate, then\n"
           "                     drift=DX,DY on the last line (counted from where the\n"
           "                     command started, taken as home)\n"
           "  --sim-broken AXES  home-xy, home-z: simulated switches that never close (x, y, z)\n"
           "records (the same from the window, portmill --trace/--dots/--list):\n"
           "  --trace PATH       each port access: \"<t_ns> <W|R> <address> <value>\"\n"
           "  --dots PATH        each dot drawn on the preview: \"<x> <y> <colour>\" in twips\n"
           "  --list PATH        the list of statements left at the end, one a line\n"
           "the last line printed: the machine's state, the boxes Text1 (X), Text2 (Y) and\n"
           "Text3 (the divisor), the statements handled, the time taken and the simulated\n"
           "machine's true place.\n";
}

int UsageError(const std::string& error) {
    std::cerr << "portmill-cli: " << ShownText(error) << "\n(portmill-cli --help mostra o uso)\n";
    return kExitUsage;
}

int SetupError(const std::string& error, int status) {
    if (status == kExitUsage) return UsageError(error);
    std::cerr << "portmill-cli: " << ShownText(error) << '\n';
    return status;
}

bool ParseCommandLine(int argc, char** argv, CommandLine& out, std::string& error,
                      const std::vector<std::string>& extraOptions,
                      const std::vector<std::string>& flags) {
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (optionsEnded || word.size() < 3 || word.compare(0, 2, "--") != 0) {
            if (word == "--") {
                optionsEnded = true;
                continue;
            }
            out.args.push_back(word);
            continue;
        }
        if (std::find(flags.begin(), flags.end(), word) != flags.end()) {
            out.extra[word] = "on";
            continue;
        }
        std::string name = word;
        std::string value;
        const std::size_t eq = word.find('=');
        if (eq != std::string::npos) {
            name = word.substr(0, eq);
            value = word.substr(eq + 1);
        } else {
            if (i + 1 >= argc) {
                error = name + " precisa de um valor";
                return false;
            }
            value = argv[++i];
        }
        bool extra = false;
        for (const auto& e : extraOptions) extra = extra || e == name;
        if (extra) {
            out.extra[name] = value;
        } else if (!ApplyOption(name, value, out.options, error)) {
            return false;
        }
    }
    return true;
}

Session::Session(const Options& options) : options_(options) {}

Session::~Session() {
    if (finished_ || !port_) return;
    // Left by an exception (memory ran out): every coil off, through the
    // trace when there is one, and the trace and the dots put in place with
    // what they hold; the list, which may be what filled the memory, is
    // dropped and its old file stays whole.
    try {
        Port& port = trace_ ? static_cast<Port&>(*trace_) : *port_;
        port.vbOut(kDataReg, 0);
        port.vbOut(kControlReg, kZRelease);
        for (ReplacingFile* record : {&dotsRecord_, &traceRecord_}) {
            std::string error;
            if (record->isOpen()) (void)record->commit(error);
        }
    } catch (...) {  // NOLINT(bugprone-empty-catch): the coils are off or nothing can reach them
    }
}

bool Session::open(std::string& error, int& status) {
    status = kExitUsage;
    // From here a signal stops the operation and releases the machine.
    CatchStopSignals();
    if (options_.realClock) {
        // The steps run on this thread: real-time priority where the system
        // allows it, and sleeps before long waits as far as the measured
        // wake-up latency allows.
        EnterRealTime();
        clock_ = std::make_unique<RealClock>();
        clock_->calibrateSleep();
        // On the real clock the last line tells how late the steps came.
        lateness_ = std::make_unique<StepLateness>();
        clock_->setStepTiming(lateness_.get());
    } else {
        clock_ = std::make_unique<VirtualClock>();
    }
    port_ = OpenPort(options_.port, &error);
    if (!port_) return false;
    sim_ = dynamic_cast<SimulatedMachine*>(port_.get());
    // The simulated motors are judged on the clock the machine runs on.
    if (!SetUpSimulatedMachine(*port_, options_.sim, error, [this] { return clock_->nowNs(); }))
        return false;
    // A real port opens at its first access: look now, so that a port that
    // cannot be driven stops the command before it starts.
    if (const std::string fault = CheckPort(*port_); !fault.empty()) {
        error = fault;
        status = kExitFile;
        return false;
    }

    status = kExitFile;
    // Each record is written beside its name and put in place at the end;
    // all are made now, so that a path that cannot be written fails before
    // the machine moves.
    for (auto [path, record] : {std::pair{&options_.tracePath, &traceRecord_},
                                std::pair{&options_.dotsPath, &dotsRecord_},
                                std::pair{&options_.listPath, &listRecord_}}) {
        if (path->empty()) continue;
        if (!record->open(*path, error)) return false;
        std::setvbuf(record->stream(), nullptr, _IOFBF, std::size_t{1} << 20);
    }
    if (traceRecord_.isOpen()) {
        // Each access as a line of the trace record; a failed write is
        // noted and told when the records are closed.
        trace_ = std::make_unique<TracePort>(
            *port_, [this] { return clock_->nowNs(); },
            [this](std::string_view line) {
                if (std::fwrite(line.data(), 1, line.size(), traceRecord_.stream()) != line.size()) {
                    traceRecord_.noteWriteError(errno);
                }
            });
    }

    Port& port = trace_ ? static_cast<Port&>(*trace_) : *port_;
    machine_ = std::make_unique<HeadlessMachine>(port, *clock_);
    MachineState& st = machine_->state();
    st.Settings = options_.machine;
    RunSettings& run = machine_->run();
    HeadlessEvents& events = machine_->events();
    HeadlessPump& pump = machine_->pump();
    run.motorsOn = options_.motors;
    run.previewScale = options_.scale;
    run.speed = options_.speed;
    run.divisor = options_.divisor;
    // A stop is a cancel at the next pump; what never pumps asks Quitting().
    pump.onQuitting = [this] { return stopping(); };
    pump.onPump = [this, &st] {
        if (stopping()) st.CancelRequested = true;
    };
    events.onMessage = [](const std::string& text) {
        std::cerr << "portmill-cli: " << ShownText(text) << '\n';
    };
    if (dotsRecord_.isOpen()) {
        events.onDot = [this](float x, float y, std::uint32_t colour) {
            RecordLine(dotsRecord_, "%.9g %.9g %" PRIu32 "\n", static_cast<double>(x),
                       static_cast<double>(y), colour);
        };
    }
    status = kExitOk;
    return true;
}

bool Session::stopping() const {
    return CaughtSignal() != 0 || traceRecord_.writeError() != 0 ||
           dotsRecord_.writeError() != 0;
}

bool CheckRecordPaths(const Options& options, const std::vector<std::string>& reads,
                      std::string& error) {
    std::vector<std::string> writes;
    for (const std::string* path : {&options.tracePath, &options.dotsPath, &options.listPath}) {
        if (!path->empty()) writes.push_back(*path);
    }
    error = SameFileConflict(reads, writes);
    return error.empty();
}

int Session::finish(std::uint64_t statements) {
    finished_ = true;
    const bool stopped = stopping();
    if (stopped) {
        // Stopped part-way: nothing may stay energised.
        ReleaseMotors(machine_->context());
        if (const int signal = CaughtSignal(); signal != 0) {
            std::cerr << "portmill-cli: interrompido por " << SignalName(signal)
                      << ": a máquina parou e todas as bobinas foram desligadas\n";
        }
    }
    bool ok = true;
    if (listRecord_.isOpen()) {
        std::string line;
        for (std::size_t i = 0; i < machine_->events().list.size(); ++i) {
            line.clear();
            AppendListLine(line, machine_->events().list.at(i));
            if (std::fwrite(line.data(), 1, line.size(), listRecord_.stream()) != line.size()) {
                listRecord_.noteWriteError(errno);
                break;
            }
        }
    }
    for (ReplacingFile* record : {&listRecord_, &dotsRecord_, &traceRecord_}) {
        std::string error;
        if (record->isOpen() && !record->commit(error)) {
            std::cerr << "portmill-cli: " << ShownText(error) << '\n';
            ok = false;
        }
    }

    const MachineState& s = machine_->state();
    const RunSettings& run = machine_->run();
    const char* mode = s.MoveMode.empty() ? "-" : s.MoveMode.c_str();
    std::printf("CurrentX=%.17g CurrentY=%.17g TargetX=%.17g TargetY=%.17g MoveMode=%s "
                "ZStepCount=%d Text1=%s Text2=%s Text3=%s statements=%" PRIu64
                " elapsed_ns=%" PRId64,
                s.CurrentX, s.CurrentY, s.TargetX, s.TargetY, mode, s.ZStepCount,
                run.limitX.c_str(), run.limitY.c_str(), run.divisor.c_str(), statements,
                clock_->nowNs());
    if (sim_ != nullptr) {
        std::printf(" sim=%lld,%lld,%lld missed=%lld", sim_->x(), sim_->y(), sim_->z(),
                    sim_->missedSteps());
    } else {
        std::printf(" sim=- missed=-");
    }
    std::printf("%s%s\n", lateness_ ? lateness_->fields().c_str() : "", lastLineExtra.c_str());
    FlushStandardOutput();
    if (!stopped && CaughtSignal() != 0) {
        // Told to stop while the records were being put in place: the
        // machine is released all the same, past the closed trace.
        wiring::SwitchAllCoilsOff(*port_);
    }
    return ok ? kExitOk : kExitFile;
}

}  // namespace pm::cli
