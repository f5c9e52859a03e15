#include "importer/Hpgl.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <numbers>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>

#include "files/SafeFile.h"

namespace pm {

namespace {

constexpr char kEtx = '\x03';
constexpr char kEsc = '\x1b';
constexpr double kDefaultChordDeg = 5.0;
// HPGL/2's coordinate range; anything beyond is no drawing for a router.
constexpr double kMaxCoordinate = kMaxPlotCoordinate;
// Numbers are read to the plot form's precision (a millionth of a unit).
constexpr double kGrid = 1e6;

// Commands that draw on a pen plotter but have no plot-form equivalent here.
const std::set<std::string, std::less<>> kDrawingCommands = {
    "AT", "BR", "BZ", "EA", "EP", "ER", "EW", "FP", "LB", "PM", "RA",
    "RR", "RT", "WG", "WD", "SM", "BP", "CT", "RO", "IW"};

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
// Bytes that may stand between statements and between parameters.
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }

std::string position(std::size_t at) { return std::to_string(at + 1); }

std::string frameText(const std::array<double, 4>& f) {
    return "P1 " + FormatHumanNumber(f[0]) + "," + FormatHumanNumber(f[1]) + " P2 " + FormatHumanNumber(f[2]) +
           "," + FormatHumanNumber(f[3]);
}

class Converter {
public:
    Converter(std::string_view in, const HpglOptions& o, bool counting)
        : in_(in), defaultFrame_{o.frame.p1x, o.frame.p1y, o.frame.p2x, o.frame.p2y}, ip_(defaultFrame_) {
        out_.counting = counting;
    }

    HpglResult run();

private:
    // A refused file stops the conversion where it stands; the first reason
    // found is the one reported.
    void refuse(std::string message) {
        if (error_.empty()) error_ = std::move(message);
        i_ = in_.size();
    }
    bool refused() const { return !error_.empty(); }

    void checkWholeFile();
    void command(std::size_t start);
    std::vector<double> numbers();
    void skipParameters();
    bool skipLabel();
    void drop(const std::string& name);

    void pairs(const std::vector<double>& v, std::size_t start);
    void moveUser(double ux, double uy, std::size_t start);
    void pen(bool down);
    void selectPen(const std::vector<double>& v);
    void point(double px, double py, std::size_t start);
    void circle(const std::vector<double>& v, std::size_t start);
    void arc(const std::vector<double>& v, bool relative, std::size_t start);
    static int chordCount(double sweepDeg, const std::vector<double>& v, std::size_t idx);

    void reset();
    void updateScaling();
    void ignoreScaling(const std::string& why);
    double toPlotX(double ux) const { return ax_ + sx_ * ux; }
    double toPlotY(double uy) const { return ay_ + sy_ * uy; }
    double toUserX(double px) const { return (px - ax_) / sx_; }
    double toUserY(double py) const { return (py - ay_) / sy_; }

    std::string_view in_;
    std::size_t i_ = 0;
    PlotWriter out_;
    std::string error_;
    HpglSummary sum_;
    bool sawHpgl_ = false;
    long long unpaired_ = 0;
    long long penless_ = 0;  // points drawn with no pen, written as travel
    std::set<std::string> framesNoted_;

    // The plotter's state; the pen position is the writer's.
    bool penDown_ = false;
    bool noPen_ = false;  // SP0: pen down draws nothing
    bool relative_ = false;
    char labelEnd_ = kEtx;

    // Scaling: plot = a + s * user, identity unless SC holds.
    std::array<double, 4> defaultFrame_;
    std::array<double, 4> ip_;  // P1x, P1y, P2x, P2y
    bool ipGiven_ = false;      // ip_ is not the default frame
    bool ipP1Only_ = false;     // the last IP gave P1 alone
    std::vector<double> sc_;    // SC parameters, empty when off
    double ax_ = 0, ay_ = 0, sx_ = 1, sy_ = 1;
    std::size_t command_ = 0;         // where the command being read starts
    long long scalingIgnored_ = 0;    // SC scalings that could not be applied
    std::string firstIgnored_;        // the first of them, where and why
};

HpglResult Converter::run() {
    HpglResult r;
    checkWholeFile();
    while (i_ < in_.size()) {
        const char c = in_[i_];
        if (isBlank(c) || c == ';' || c == ',') {
            ++i_;
            continue;
        }
        if (isLetter(c) && i_ + 1 < in_.size() && isLetter(in_[i_ + 1])) {
            command(i_);
            continue;
        }
        // A byte that cannot begin a command. Editors and old systems
        // leave end-of-file marks and padding after the last statement:
        // when no letter follows, the rest is ignored; otherwise the file
        // is something else and converting it would go wrong somewhere.
        const bool letterFollows = std::any_of(in_.begin() + static_cast<std::ptrdiff_t>(i_),
                                               in_.end(), isLetter);
        if (letterFollows) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "0x%02X", static_cast<unsigned char>(c));
            refuse("O arquivo não é HPGL: caractere inesperado " + std::string(hex) +
                   " na posição " + position(i_) + ".");
            break;
        }
        sum_.notes.push_back(std::to_string(in_.size() - i_) +
                             " byte(s) ignorado(s) no fim do arquivo.");
        break;
    }
    if (!refused() && !sawHpgl_)
        refuse("O arquivo não contém comandos HPGL de traçado (IN, PU, PD, PA, PR, CI, AA, AR).");
    if (refused()) {
        r.error = error_;
        return r;
    }
    out_.finish();
    if (penless_ > 0)
        sum_.notes.push_back(std::to_string(penless_) +
                             " segmento(s) com a caneta 0 (SP0, sem caneta) passado(s) como deslocamento, "
                             "sem fresar.");
    if (unpaired_ > 0)
        sum_.notes.push_back(std::to_string(unpaired_) +
                             " coordenada(s) sem par ignorada(s).");
    if (scalingIgnored_ > 0)
        sum_.notes.push_back("Atenção: " + std::to_string(scalingIgnored_) +
                             " escala(s) (SC) ignorada(s), a primeira " + firstIgnored_ +
                             "; as coordenadas seguintes ficaram em unidades do plotter, sem escala.");
    r.ok = true;
    r.text = std::move(out_.text);
    sum_.statements = out_.statements;
    sum_.extent = out_.extent;
    r.summary = std::move(sum_);
    return r;
}

// Printer jobs and escape sequences can stand anywhere; look for them before
// anything is written.
void Converter::checkWholeFile() {
    const std::size_t pjl = in_.find("@PJL");
    if (pjl != std::string_view::npos) {
        refuse("O arquivo não é HPGL: é um trabalho de impressora (@PJL, posição " + position(pjl) +
               "). Exporte o desenho como HPGL simples.");
        return;
    }
    const std::size_t esc = in_.find(kEsc);
    if (esc != std::string_view::npos)
        refuse("O arquivo não é HPGL simples: contém uma sequência de escape (ESC) na posição " +
               position(esc) + ". Exporte o desenho como HPGL sem comandos de impressora.");
}

void Converter::drop(const std::string& name) {
    ++sum_.dropped[name];
    if (kDrawingCommands.count(name) != 0) ++sum_.droppedDrawing;
}

// One command from its mnemonic to its terminator: a ";", or the next
// mnemonic when the ";" is missing.
void Converter::command(std::size_t start) {
    const std::string name{upper(in_[start]), upper(in_[start + 1])};
    i_ = start + 2;
    command_ = start;

    if (name == "PU" || name == "PD" || name == "PA" || name == "PR") {
        sawHpgl_ = true;
        const auto v = numbers();
        if (name == "PU") pen(false);
        if (name == "PD") pen(true);
        if (name == "PA") relative_ = false;
        if (name == "PR") relative_ = true;
        pairs(v, start);
    } else if (name == "IN") {
        sawHpgl_ = true;
        skipParameters();
        reset();
    } else if (name == "DF") {
        skipParameters();
        relative_ = false;
        labelEnd_ = kEtx;
        sc_.clear();
        updateScaling();
    } else if (name == "CI") {
        sawHpgl_ = true;
        circle(numbers(), start);
    } else if (name == "AA" || name == "AR") {
        sawHpgl_ = true;
        arc(numbers(), name == "AR", start);
    } else if (name == "IP") {
        const auto v = numbers();
        if (v.size() >= 4) {
            std::copy_n(v.begin(), 4, ip_.begin());
            ipGiven_ = true;
            ipP1Only_ = false;
        } else if (v.size() >= 2) {
            // P2 keeps its distance from P1.
            ip_[2] += v[0] - ip_[0];
            ip_[3] += v[1] - ip_[1];
            ip_[0] = v[0];
            ip_[1] = v[1];
            ipGiven_ = true;
            ipP1Only_ = true;
        } else {
            ip_ = defaultFrame_;
            ipGiven_ = false;
            ipP1Only_ = false;
        }
        updateScaling();
    } else if (name == "SP") {
        selectPen(numbers());
        drop(name);
    } else if (name == "SC") {
        sc_ = numbers();
        updateScaling();
    } else if (name == "PE") {
        refuse("O arquivo usa polilinhas codificadas (PE, posição " + position(start) +
               "), que este programa não lê. Exporte o desenho sem codificação de polilinhas.");
    } else if (name == "LB" || name == "WD") {
        if (!skipLabel()) {
            const auto line = 1 + std::count(in_.begin(), in_.begin() + static_cast<std::ptrdiff_t>(start), '\n');
            sum_.notes.push_back("Atenção: o texto de " + name + " na linha " + std::to_string(line) +
                                 " vai até o fim do arquivo (falta o terminador).");
        }
        drop(name);
    } else if (name == "DT") {
        // The label terminator is the character right after the mnemonic;
        // none (or ";") brings back ETX.
        labelEnd_ = kEtx;
        if (i_ < in_.size()) {
            const char t = in_[i_];
            if (t != ';' && t != '\0' && t != '\n' && t != kEsc) {
                labelEnd_ = t;
                ++i_;
            }
        }
        skipParameters();
        drop(name);
    } else if (name == "SM") {
        // Symbol mode takes one character, which may be a letter.
        if (i_ < in_.size() && in_[i_] != ';' && !isBlank(in_[i_])) ++i_;
        skipParameters();
        drop(name);
    } else {
        skipParameters();
        drop(name);
    }
}

// Numeric parameters separated by commas or blanks, up to the terminator.
// A sign right after a number starts the next one.
std::vector<double> Converter::numbers() {
    std::vector<double> v;
    while (i_ < in_.size()) {
        const char c = in_[i_];
        if (isBlank(c) || c == ',') {
            ++i_;
            continue;
        }
        if (c == ';') {
            ++i_;
            break;
        }
        if (!(isDigit(c) || c == '-' || c == '+' || c == '.')) break;  // next command, or junk
        const std::size_t begin = i_;
        if (c == '-' || c == '+') ++i_;
        const std::size_t digits = i_;
        while (i_ < in_.size() && isDigit(in_[i_])) ++i_;
        if (i_ < in_.size() && in_[i_] == '.') {
            ++i_;
            while (i_ < in_.size() && isDigit(in_[i_])) ++i_;
        }
        if (i_ - digits == 0 || (i_ - digits == 1 && in_[digits] == '.')) {
            // A lone sign or point: nothing to read.
            continue;
        }
        double value = 0;
        const char* first = in_.data() + digits;
        const auto [end, ec] = std::from_chars(first, in_.data() + i_, value);
        if (ec != std::errc() || !std::isfinite(value) || std::fabs(value) > kMaxCoordinate * kGrid) {
            refuse("Número fora do alcance na posição " + position(begin) + ".");
            return {};
        }
        (void)end;
        v.push_back(in_[begin] == '-' ? -value : value);
    }
    return v;
}

// Parameters of a command that has no effect on the path: up to the ";" or
// the next mnemonic, quoted strings skipped whole.
void Converter::skipParameters() {
    while (i_ < in_.size()) {
        const char c = in_[i_];
        if (c == ';') {
            ++i_;
            return;
        }
        if (isLetter(c)) return;
        if (c == '"') {
            const std::size_t close = in_.find('"', i_ + 1);
            i_ = close == std::string_view::npos ? in_.size() : close + 1;
            continue;
        }
        if (static_cast<unsigned char>(c) < 0x20 && !isBlank(c)) return;  // junk: the caller decides
        ++i_;
    }
}

// Label text runs to the label terminator, whatever it holds; false when
// the terminator never comes.
bool Converter::skipLabel() {
    const std::size_t end = in_.find(labelEnd_, i_);
    i_ = end == std::string_view::npos ? in_.size() : end + 1;
    if (i_ < in_.size() && in_[i_] == ';') ++i_;
    return end != std::string_view::npos;
}

void Converter::reset() {
    pen(false);
    relative_ = false;
    labelEnd_ = kEtx;
    ip_ = defaultFrame_;
    ipGiven_ = false;
    ipP1Only_ = false;
    sc_.clear();
    updateScaling();
}

void Converter::updateScaling() {
    ax_ = ay_ = 0;
    sx_ = sy_ = 1;
    if (sc_.size() < 4) return;
    const std::string frame = "Escala (SC) no quadro " + frameText(ip_) +
                              (!ipGiven_  ? ", o quadro padrão (o arquivo não tem IP)."
                               : ipP1Only_ ? " (IP só com P1: P2 acompanha P1)."
                                           : ", dado por IP.");
    const double p1x = ip_[0], p1y = ip_[1], p2x = ip_[2], p2y = ip_[3];
    // The scaling type is 0, 1 or 2; a number out of any int's range is no
    // type at all.
    const double typeValue = sc_.size() >= 5 ? sc_[4] : 0;
    const int type = std::fabs(typeValue) < 1e9 ? static_cast<int>(typeValue) : 0;
    const double xmin = sc_[0], ymin = sc_[2];
    double sx = 0, sy = 0, offX = 0, offY = 0;
    if (type == 2) {
        sx = sc_[1];
        sy = sc_[3];
    } else {
        const double xmax = sc_[1], ymax = sc_[3];
        if (xmax == xmin || ymax == ymin) {
            ignoreScaling("SC com o mínimo igual ao máximo em X ou em Y");
            return;
        }
        if (p2x == p1x || p2y == p1y) {
            ignoreScaling("o quadro " + frameText(ip_) + " não tem largura ou altura");
            return;
        }
        sx = (p2x - p1x) / (xmax - xmin);
        sy = (p2y - p1y) / (ymax - ymin);
        if (type == 1) {
            // Isotropic: one scale for both axes, the user area placed in
            // the leftover room by the left and bottom percentages.
            const double s = std::min(std::fabs(sx), std::fabs(sy));
            sx = std::copysign(s, sx);
            sy = std::copysign(s, sy);
            const double left = sc_.size() >= 6 ? sc_[5] : 50;
            const double bottom = sc_.size() >= 7 ? sc_[6] : 50;
            offX = ((p2x - p1x) - (xmax - xmin) * sx) * left / 100;
            offY = ((p2y - p1y) - (ymax - ymin) * sy) * bottom / 100;
        }
    }
    if (sx == 0 || sy == 0 || !std::isfinite(sx) || !std::isfinite(sy)) {
        ignoreScaling(sx == 0 || sy == 0 ? "fator de escala zero" : "escala fora do alcance");
        return;
    }
    if (framesNoted_.insert(frame).second) sum_.notes.push_back(frame);
    sx_ = sx;
    sy_ = sy;
    ax_ = p1x + offX - xmin * sx;
    ay_ = p1y + offY - ymin * sy;
}

// A scaling that cannot be applied leaves the coordinates in plotter units:
// the summary says so, and where.
void Converter::ignoreScaling(const std::string& why) {
    if (scalingIgnored_++ == 0)
        firstIgnored_ = "no comando da posição " + position(command_) + " (" + why + ")";
}

void Converter::pairs(const std::vector<double>& v, std::size_t start) {
    const std::size_t n = v.size() / 2 * 2;
    unpaired_ += static_cast<long long>(v.size() - n);
    for (std::size_t k = 0; k < n; k += 2) {
        if (relative_)
            point(out_.x() + sx_ * v[k], out_.y() + sy_ * v[k + 1], start);
        else
            point(toPlotX(v[k]), toPlotY(v[k + 1]), start);
    }
}

void Converter::moveUser(double ux, double uy, std::size_t start) {
    point(toPlotX(ux), toPlotY(uy), start);
}

// The pen goes up or down; with no pen in the holder it draws nothing, and
// the tool stays up.
void Converter::pen(bool down) {
    penDown_ = down;
    out_.pen(penDown_ && !noPen_);
}

// SP, SP0: no pen; SPn: pen n.
void Converter::selectPen(const std::vector<double>& v) {
    noPen_ = v.empty() || v[0] == 0;
    pen(penDown_);
}

void Converter::point(double px, double py, std::size_t start) {
    if (refused()) return;
    const bool moves = out_.statements == 0 || px != out_.x() || py != out_.y();
    if (!out_.point(px, py)) {
        refuse("Coordenada fora do alcance (mais de 1073741824 unidades) no comando da posição " +
               position(start) + ".");
        return;
    }
    if (penDown_ && noPen_ && moves) ++penless_;
}

// Chords of an arc: the chord angle from the statement (clamped to 0.5 to
// 180 degrees as plotters do), else 5 degrees.
int Converter::chordCount(double sweepDeg, const std::vector<double>& v, std::size_t idx) {
    double chord = v.size() > idx ? std::fabs(v[idx]) : 0;
    if (chord == 0) chord = kDefaultChordDeg;
    chord = std::clamp(chord, 0.5, 180.0);
    const double n = std::ceil(std::fabs(sweepDeg) / chord - 1e-9);
    return std::max(1, static_cast<int>(n));
}

// CI: a full circle around the pen, drawn with the pen down whatever its
// state, from the angle 0 point (180 for a negative radius) counterclockwise;
// the pen then goes back up to the centre and takes its former state.
void Converter::circle(const std::vector<double>& v, std::size_t start) {
    if (v.empty()) {
        ++unpaired_;
        return;
    }
    const double r = v[0];
    const bool was = penDown_;
    const double cx = toUserX(out_.x()), cy = toUserY(out_.y());
    const int n = chordCount(360, v, 1);
    pen(false);
    moveUser(cx + r, cy, start);
    pen(true);
    const double x0 = out_.x(), y0 = out_.y();
    // Counting, the points between the first and the last are counted as
    // they would be written, all with the pen down, without being made.
    if (out_.counting) out_.skip(n - 1);
    for (int k = 1; k < n && !out_.counting; ++k) {
        const double a = 2 * std::numbers::pi * k / n;
        moveUser(cx + r * std::cos(a), cy + r * std::sin(a), start);
    }
    point(x0, y0, start);
    pen(false);
    moveUser(cx, cy, start);
    pen(was);
}

// AA and AR: an arc from the pen around a centre (absolute, or relative to
// the pen), positive sweep counterclockwise, drawn in the pen's state.
void Converter::arc(const std::vector<double>& v, bool relative, std::size_t start) {
    if (v.size() < 3) {
        unpaired_ += static_cast<long long>(v.size());
        return;
    }
    const double ux = toUserX(out_.x()), uy = toUserY(out_.y());
    const double cx = relative ? ux + v[0] : v[0];
    const double cy = relative ? uy + v[1] : v[1];
    const double sweep = std::clamp(v[2], -360.0, 360.0);
    const double r = std::hypot(ux - cx, uy - cy);
    if (r == 0 || sweep == 0) return;
    const double a0 = std::atan2(uy - cy, ux - cx);
    const int n = chordCount(sweep, v, 3);
    // Counting, only the last point is made; the others are counted.
    if (out_.counting) {
        const double a = a0 + sweep * std::numbers::pi / 180;
        out_.skip(n - 1);
        moveUser(cx + r * std::cos(a), cy + r * std::sin(a), start);
        return;
    }
    for (int k = 1; k <= n; ++k) {
        const double a = a0 + sweep * std::numbers::pi / 180 * k / n;
        moveUser(cx + r * std::cos(a), cy + r * std::sin(a), start);
    }
}

}  // namespace

HpglResult ConvertHpgl(std::string_view input, const HpglOptions& options) {
    return BoundedConversion(options.maxStatements,
                             [&](bool counting) { return Converter(input, options, counting).run(); });
}

HpglResult ConvertHpglFile(const std::string& inPath, const std::string& outPath, const HpglOptions& options) {
    return ConvertFile(inPath, outPath,
                       [&options](const std::string& text) { return ConvertHpgl(text, options); });
}

bool IsHpglFileName(std::string_view path) {
    const std::string ext = UpperExtension(path);
    return ext == "PLT" || ext == "HPGL" || ext == "HPG";
}

}  // namespace pm
