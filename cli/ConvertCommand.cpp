// convert: a drawing (HPGL, G-code or SVG) from a drawing program, a CAM
// program or an instrument, turned into the program's own plot form.
#include <charconv>
#include <cmath>
#include <iostream>
#include <string>
#include <vector>

#include "cli/ConvertCommand.h"
#include "cli/Runner.h"
#include "cli/Signals.h"
#include "files/SafeFile.h"
#include "importer/Drawing.h"
#if PM_WITH_SVG
#include "importer_svg/Svg.h"
#endif

namespace pm::cli {
namespace {

bool Number(const std::string& text, double& v) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    return ec == std::errc() && ptr == end && std::isfinite(v);
}

// A whole number of at least 1, in digits.
bool Count(const std::string& text, long long& v) {
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, v);
    return ec == std::errc() && ptr == end && v >= 1;
}

}  // namespace

SvgConverter SvgConverterOfThisBuild() {
#if PM_WITH_SVG
    return [](std::string_view in, const SvgOptions& options) { return ConvertSvg(in, options); };
#else
    return {};
#endif
}

int ConvertCommand(int argc, char** argv) {
    std::vector<std::string> files;
    DrawingOptions o;
    bool optionsEnded = false;
    for (int i = 0; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || word.size() < 3 || word.rfind("--", 0) != 0) {
            files.push_back(word);
            continue;
        }
        if (word == "--optimize") {
            o.shortenPath = true;
            continue;
        }
        // "--name VALUE" or "--name=VALUE", as every command takes them.
        std::string w = word;
        std::string v;
        if (const std::size_t eq = word.find('='); eq != std::string::npos) {
            w = word.substr(0, eq);
            v = word.substr(eq + 1);
        } else {
            if (i + 1 >= argc) return UsageError(w + " espera um valor");
            v = argv[++i];
        }
        if (w == "--pen") {
            if (v == "auto") o.gcode.pen = PenRule::Auto;
            else if (v == "z") o.gcode.pen = PenRule::Z;
            else if (v == "spindle") o.gcode.pen = PenRule::Spindle;
            else if (v == "servo") o.gcode.pen = PenRule::Servo;
            else return UsageError("--pen espera auto, z, spindle ou servo");
        } else if (w == "--z-threshold") {
            if (!Number(v, o.gcode.zThresholdMm)) return UsageError("--z-threshold espera um número (mm)");
        } else if (w == "--servo-below") {
            if (!Number(v, o.gcode.servoBelow)) return UsageError("--servo-below espera um número");
        } else if (w == "--frame") {
            double f[4];
            std::size_t at = 0;
            int k = 0;
            for (; k < 4 && at <= v.size(); ++k) {
                const std::size_t comma = std::min(v.find(',', at), v.size());
                if (!Number(v.substr(at, comma - at), f[k])) break;
                at = comma + 1;
            }
            if (k != 4 || at != v.size() + 1 || f[0] == f[2] || f[1] == f[3])
                return UsageError("--frame espera P1X,P1Y,P2X,P2Y (unidades do plotter, P1 e P2 distintos)");
            o.hpgl.frame = {f[0], f[1], f[2], f[3]};
        } else if (w == "--max-statements") {
            if (!Count(v, o.maxStatements))
                return UsageError("--max-statements espera um número inteiro de declarações, 1 ou mais");
        } else {
            return UsageError("convert não conhece a opção " + w);
        }
    }
    if (files.size() != 2) return UsageError("convert espera o desenho (IN) e o arquivo a gravar (OUT)");
    // Refused before anything is opened: the original would be lost.
    if (const std::string same = SameFileConflict({files[0]}, {files[1]}); !same.empty()) {
        return UsageError(same);
    }
    // A stop while the output is written leaves no temporary file behind.
    EndOnStopSignals();
    const DrawingResult r = ConvertDrawingFile(files[0], files[1], o, SvgConverterOfThisBuild());
    if (!r.ok) {
        std::cerr << "portmill-cli: " << ShownText(r.error);
        if (r.wouldWrite > 0) std::cerr << " Use --max-statements para mudar o limite.";
        std::cerr << '\n';
        return kExitFile;
    }
    std::cout << DescribeSummary(r.summary);
    return kExitOk;
}

}  // namespace pm::cli
