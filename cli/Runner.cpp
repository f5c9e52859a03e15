#include "cli/Runner.h"

#include <cerrno>
#include <charconv>
#include <cinttypes>
#include <cstring>
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

bool ParseTriple(const std::string& text, std::array<long long, 3>& out) {
    std::size_t begin = 0;
    for (int i = 0; i < 3; ++i) {
        const std::size_t comma = i < 2 ? text.find(',', begin) : text.size();
        if (comma == std::string::npos) return false;
        if (!ParseWhole(text.substr(begin, comma - begin), out[i])) return false;
        begin = comma + 1;
    }
    return true;
}

// Applies one shared option; false with the reason on a bad value.
bool ApplyOption(const std::string& name, const std::string& value, Options& o,
                 std::string& error) {
    if (name == "--divisor") {
        o.divisor = value;
    } else if (name == "--speed") {
        return ParseInRange(name, value, 0, 40, o.speed, error);
    } else if (name == "--scale") {
        return ParseInRange(name, value, -3, 10, o.scale, error);
    } else if (name == "--motors") {
        if (value != "on" && value != "off") {
            error = "--motors espera on ou off, não \"" + value + "\"";
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
        std::array<long long, 3> xyz{};
        if (!ParseTriple(value, xyz)) {
            error = "--sim-start espera X,Y,Z em números inteiros, não \"" + value + "\"";
            return false;
        }
        o.simStart = xyz;
    } else if (name == "--sim-ztop") {
        long long top = 0;
        if (!ParseWhole(value, top)) {
            error = "--sim-ztop espera um número inteiro, não \"" + value + "\"";
            return false;
        }
        o.simZTop = top;
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

std::FILE* OpenRecord(const std::string& path, std::string& error) {
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (f == nullptr) {
        error = "não foi possível criar \"" + path + "\": " + std::strerror(errno);
        return nullptr;
    }
    std::setvbuf(f, nullptr, _IOFBF, 1 << 20);
    return f;
}

// Closes a record; false when anything written to it was lost.
bool CloseRecord(std::FILE*& f, const std::string& path) {
    if (f == nullptr) return true;
    const bool ok = std::ferror(f) == 0 && std::fclose(f) == 0;
    f = nullptr;
    if (!ok) std::cerr << "portmill-cli: erro ao gravar \"" << path << "\"\n";
    return ok;
}

}  // namespace

const char* UsageText() {
    return "usage:\n"
           "  portmill-cli run FILE [options]    # \"Fresar\" on FILE, to the end of the file\n"
           "  portmill-cli scan FILE [options]   # \"Calcular Limites\" on FILE\n"
           "  portmill-cli goto X Y [options]    # \"Ir para o Limite\" with Text1 = X, Text2 = Y\n"
           "  portmill-cli home-xy [options]     # \"Home XY\"\n"
           "  portmill-cli home-z [options]      # \"Home Z\"\n"
           "  portmill-cli convert IN OUT        # HPGL file IN to the plot form in OUT\n"
           "  portmill-cli estimate FILE [options]  # the job's duration on FILE at these settings\n"
           "  portmill-cli selftest [--port NAME] [--hold MS] [--watch S]\n"
           "                                     # wiring check: each coil line alone, the switches\n"
           "options:\n"
           "  --divisor TEXT     Text3, default 3.55        --speed N   Slider2 (0..40), default 20\n"
           "  --scale N          Slider1 (-3..10), default 5 --motors on|off   Check1, default off\n"
           "  --port NAME        auto|sim|ppdev:/dev/parportN|io:0xNNN, default sim\n"
           "  --clock virtual|real, default virtual (selftest: real)\n"
           "  --sim-start X,Y,Z  --sim-ztop N               simulated machine set-up\n"
           "  --trace PATH       --dots PATH   --list PATH  records of port accesses, dots, List1\n"
           "  --steps-per-mm X,Y half-steps per millimetre, default 11.27,11.27 (40 / 3.55)\n"
           "  --travel X,Y       travel in mm: Home XY gives up after it plus 10 %;\n"
           "                     estimate warns when the drawing, from X 0 Y 0, leaves it\n"
           "  --sim-broken AXES  home-xy, home-z: switches that never close (x, y, z)\n";
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

// Passes every access on to the port and writes it to the trace record as
// "<t_ns> <W|R> <address> <value>".
class Session::RecordPort final : public Port {
public:
    RecordPort(Port& inner, Clock& clock, std::FILE* out)
        : inner_(inner), clock_(clock), out_(out) {}
    void vbOut(std::int16_t address, std::int16_t value) override {
        inner_.vbOut(address, value);
        record('W', address, value);
    }
    std::int16_t vbInp(std::int16_t address) override {
        const std::int16_t v = inner_.vbInp(address);
        record('R', address, v);
        return v;
    }
    std::string fault() const override { return inner_.fault(); }
    std::string describe() const override { return inner_.describe(); }

private:
    void record(char kind, int address, int value) {
        std::fprintf(out_, "%" PRId64 " %c %d %d\n", clock_.nowNs(), kind, address, value);
    }
    Port& inner_;
    Clock& clock_;
    std::FILE* out_;
};

Session::Session(const Options& options) : options_(options) {}

Session::~Session() {
    if (dots_ != nullptr) std::fclose(dots_);
    if (traceFile_ != nullptr) std::fclose(traceFile_);
}

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
    if ((options_.simStart || options_.simZTop) && sim_ == nullptr) {
        error = "--sim-start e --sim-ztop valem só para a máquina simulada (--port sim)";
        return false;
    }
    if (sim_ != nullptr) {
        if (options_.simStart) {
            sim_->setPosition(SimulatedMachine::Axis::X, (*options_.simStart)[0]);
            sim_->setPosition(SimulatedMachine::Axis::Y, (*options_.simStart)[1]);
            sim_->setPosition(SimulatedMachine::Axis::Z, (*options_.simStart)[2]);
        }
        if (options_.simZTop) sim_->setZTop(*options_.simZTop);
    }
    // A real port opens at its first access: look now, so that a port that
    // cannot be driven stops the command before it starts.
    if (const std::string fault = CheckPort(*port_); !fault.empty()) {
        error = fault;
        status = kExitFile;
        return false;
    }

    status = kExitFile;
    if (!options_.tracePath.empty()) {
        traceFile_ = OpenRecord(options_.tracePath, error);
        if (traceFile_ == nullptr) return false;
        trace_ = std::make_unique<RecordPort>(*port_, *clock_, traceFile_);
    }
    if (!options_.dotsPath.empty()) {
        dots_ = OpenRecord(options_.dotsPath, error);
        if (dots_ == nullptr) return false;
    }
    if (!options_.listPath.empty()) {
        // Made now, so that a path that cannot be written fails before the job.
        std::FILE* list = OpenRecord(options_.listPath, error);
        if (list == nullptr) return false;
        std::fclose(list);
    }

    LoadMachineState(st_);
    st_.Machine = options_.machine;
    ui_ = std::make_unique<HeadlessControls>(*clock_);
    ui_->check1 = options_.motors;
    ui_->slider1 = options_.scale;
    ui_->slider2 = options_.speed;
    ui_->text[3] = options_.divisor;
    Port& port = trace_ ? static_cast<Port&>(*trace_) : *port_;
    context_ = std::make_unique<Context>(Context{st_, port, *ui_, *clock_});
    ui_->onTick = [this] { Timer1_Timer(*context_); };
    ui_->onMessage = [](const std::string& text) {
        std::cerr << "portmill-cli: " << text << '\n';
    };
    if (dots_ != nullptr) {
        ui_->onDot = [this](float x, float y, std::uint32_t colour) {
            std::fprintf(dots_, "%.9g %.9g %" PRIu32 "\n", static_cast<double>(x),
                         static_cast<double>(y), colour);
        };
    }
    status = kExitOk;
    return true;
}

int Session::finish(std::uint64_t statements) {
    bool ok = true;
    if (!options_.listPath.empty()) {
        std::string error;
        std::FILE* list = OpenRecord(options_.listPath, error);
        if (list == nullptr) {
            std::cerr << "portmill-cli: " << error << '\n';
            ok = false;
        } else {
            std::string line;
            for (std::size_t i = 0; i < ui_->list.size(); ++i) {
                line.clear();
                for (const char ch : ui_->list.at(i)) {
                    if (ch == '\r') {
                        line += "\\r";
                    } else if (ch == '\n') {
                        line += "\\n";
                    } else {
                        line += ch;
                    }
                }
                line += '\n';
                std::fwrite(line.data(), 1, line.size(), list);
            }
        }
        ok = CloseRecord(list, options_.listPath) && ok;
    }
    ok = CloseRecord(dots_, options_.dotsPath) && ok;
    ok = CloseRecord(traceFile_, options_.tracePath) && ok;

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
