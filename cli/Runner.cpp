#include "cli/Runner.h"

#include <charconv>
#include <cinttypes>
#include <iostream>

#include "homing/SwitchPoll.h"
#include "port/PortFactory.h"

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

}  // namespace

const char* UsageText() {
    return "usage:\n"
           "  portmill-cli run FILE [options]    # \"Fresar\" on FILE, to the end of the file\n"
           "  portmill-cli scan FILE [options]   # \"Calcular Limites\" on FILE\n"
           "  portmill-cli goto X Y [options]    # \"Ir para o Limite\", X and Y (plot units) typed\n"
           "                                     # in the boxes X and Y of \"Limites\"\n"
           "  portmill-cli home-xy [options]     # \"Home XY\"\n"
           "  portmill-cli home-z [options]      # \"Home Z\"\n"
           "  portmill-cli convert IN OUT        # HPGL file IN to the plot form in OUT\n"
           "  portmill-cli estimate FILE [options]  # the job's duration on FILE at these settings\n"
           "  portmill-cli selftest [--port NAME] [--hold MS] [--watch S]\n"
           "                                     # wiring check: each coil line alone, the switches\n"
           "options (the window's controls they stand for):\n"
           "  --divisor TEXT     the box \"Dividir cordenadas por:\" (plot units per half-step),\n"
           "                     default 3.55\n"
           "  --speed N          the slider under \"Velocidade:\", 0 (fastest) to 40, default 20\n"
           "  --scale N          the slider under \"Scale ...\" (screen scale), -3 to 10, default 5\n"
           "  --motors on|off    the box \"Ativar Motores\" ticked or not, default off (a dry run)\n"
           "  --port NAME        the port driven: auto|sim|ppdev:/dev/parportN|io:0xNNN, default sim\n"
           "  --clock virtual|real  time as fast as the computer goes, or true time;\n"
           "                     default virtual (selftest: real)\n"
           "  --sim-start X,Y,Z  the simulated machine's axes at the start, in steps\n"
           "  --sim-ztop N       where the simulated Z top switch closes, in steps\n"
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
    std::cerr << "portmill-cli: " << error << "\n(portmill-cli --help mostra o uso)\n";
    return kExitUsage;
}

int SetupError(const std::string& error, int status) {
    if (status == kExitUsage) return UsageError(error);
    std::cerr << "portmill-cli: " << error << '\n';
    return status;
}

bool ParseCommandLine(int argc, char** argv, CommandLine& out, std::string& error,
                      const std::vector<std::string>& extraOptions) {
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

bool Session::open(std::string& error, int& status) {
    status = kExitUsage;
    if (options_.realClock) {
        clock_ = std::make_unique<RealClock>();
    } else {
        clock_ = std::make_unique<VirtualClock>();
    }
    port_ = OpenPort(options_.port, &error);
    if (!port_) return false;
    sim_ = dynamic_cast<SimulatedMachine*>(port_.get());
    if (!SetUpSimulatedMachine(*port_, options_.sim, error)) return false;
    // A real port opens at its first access: look now, so that a port that
    // cannot be driven stops the command before it starts.
    if (const std::string fault = CheckPort(*port_); !fault.empty()) {
        error = fault;
        status = kExitFile;
        return false;
    }

    status = kExitFile;
    if (!records_.open(options_.tracePath, options_.dotsPath, options_.listPath, error)) return false;

    LoadMachineState(st_);
    ui_ = std::make_unique<HeadlessControls>(*clock_);
    ui_->check1 = options_.motors;
    ui_->slider1 = options_.scale;
    ui_->slider2 = options_.speed;
    ui_->text[3] = options_.divisor;
    Port& port = records_.port(*port_, *clock_);
    context_ = std::make_unique<Context>(Context{st_, port, *ui_, *clock_});
    ui_->onTick = [this] { Timer1_Timer(*context_); };
    ui_->onMessage = [](const std::string& text) {
        std::cerr << "portmill-cli: " << text << '\n';
    };
    if (records_.wantsDots()) {
        ui_->onDot = [this](float x, float y, std::uint32_t colour) { records_.dot(x, y, colour); };
    }
    status = kExitOk;
    return true;
}

int Session::finish(std::uint64_t statements) {
    std::string error;
    bool ok = records_.writeList(
        ui_->list.size(), [this](std::size_t i) { return ui_->list.at(i); }, error);
    ok = records_.close(error) && ok;
    if (!ok) {
        std::size_t begin = 0;
        while (begin < error.size()) {
            std::size_t end = error.find('\n', begin);
            if (end == std::string::npos) end = error.size();
            std::cerr << "portmill-cli: " << error.substr(begin, end - begin) << '\n';
            begin = end + 1;
        }
    }

    const MachineState& s = st_;
    const char* mode = s.MoveMode.empty() ? "-" : s.MoveMode.c_str();
    std::printf("CurrentX=%.17g CurrentY=%.17g TargetX=%.17g TargetY=%.17g MoveMode=%s "
                "ZStepCount=%d Text1=%s Text2=%s Text3=%s statements=%" PRIu64
                " elapsed_ns=%" PRId64,
                s.CurrentX, s.CurrentY, s.TargetX, s.TargetY, mode, s.ZStepCount,
                ui_->text[1].c_str(), ui_->text[2].c_str(), ui_->text[3].c_str(), statements,
                clock_->nowNs());
    if (sim_ != nullptr) {
        std::printf(" sim=%lld,%lld,%lld missed=%lld\n", sim_->x(), sim_->y(), sim_->z(),
                    sim_->missedSteps());
    } else {
        std::printf(" sim=- missed=-\n");
    }
    std::fflush(stdout);
    return ok ? kExitOk : kExitFile;
}

}  // namespace pm::cli
