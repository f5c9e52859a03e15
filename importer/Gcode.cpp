#include "importer/Gcode.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>
#include <numbers>
#include <optional>
#include <utility>
#include <vector>

namespace pm {

namespace {

constexpr double kUnitsPerMm = 1 / kPlotUnitMm;
// Arcs become chords no farther than this from the arc.
constexpr double kArcToleranceMm = 0.01;
// Beyond this no number is a coordinate, a feed or a speed.
constexpr double kMaxNumber = 1e9;
// Counting, arcs of more chords than this are counted, not walked.
constexpr int kChordsWalked = 1000;
// Lines listed for one unknown word at most.
constexpr std::size_t kLinesListed = 8;

bool isLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\f' || c == '\v'; }
char upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

struct Word {
    char letter;
    double value;
};

// The words of one line, with the axis words picked out.
struct Block {
    std::vector<Word> words;
    std::array<std::optional<double>, 3> axis;    // X Y Z
    std::array<std::optional<double>, 3> offset;  // I J K
    std::optional<double> r, s, p;
};

struct Point3 {
    double x = 0, y = 0, z = 0;
};

const char* ruleName(PenRule r) {
    switch (r) {
        case PenRule::Z: return "z";
        case PenRule::Spindle: return "spindle";
        case PenRule::Servo: return "servo";
        case PenRule::Auto: break;
    }
    return "auto";
}

// G and M numbers kept to a tenth: G90.1 is 901.
int code10(double v) { return static_cast<int>(std::lround(v * 10)); }

class Converter {
public:
    Converter(std::string_view in, const GcodeOptions& o, bool counting) : in_(in), o_(o) {
        out_.counting = counting;
    }

    DrawingResult run();

private:
    void refuse(std::string message) {
        if (error_.empty()) error_ = std::move(message);
    }
    bool refused() const { return !error_.empty(); }
    // Counting past the bound: the drawing is refused whatever follows, and
    // arcs are counted without being walked.
    bool over() const {
        return out_.counting && o_.maxStatements > 0 && out_.statements > o_.maxStatements;
    }
    std::string where() const { return " na linha " + std::to_string(line_) + "."; }

    template <typename Each>
    void eachBlock(Each each);
    bool parse(std::string_view text, Block& b);
    void decideRule();
    void execute(const Block& b);
    void unknown(char letter, double value);
    void stray(std::string reason, std::string_view line);
    std::string strayNote() const;
    void drop(const std::string& name) { ++sum_.dropped[name]; }

    void refuseArcWithoutCentre();
    void straight(const Point3& to, int motion);
    void arc(const Block& b, const Point3& to, bool clockwise);
    void segment(const Point3& to, int motion);
    bool millsAt(double z, int motion) const;
    void put(double x, double y, bool down);

    std::string_view in_;
    GcodeOptions o_;
    PenRule rule_ = PenRule::Auto;
    std::string error_;
    PlotWriter out_;
    DrawingSummary sum_;
    long long line_ = 0;
    std::map<std::string, std::vector<long long>> unknown_;
    // Lines that do not read as G-code, with their number and text; the
    // first one's reason refuses a file where no line reads.
    std::vector<std::pair<long long, std::string>> stray_;
    std::string strayReason_;
    long long planeArcs_ = 0;
    long long withoutMotion_ = 0;
    bool sawInch_ = false;
    bool sawServo_ = false;
    bool sawZ_ = false;
    bool sawWords_ = false;  // a line read as G-code

    // The machine as the program leaves it, millimetres.
    Point3 at_;
    bool zKnown_ = false;
    double unit_ = 1;  // millimetres per program unit
    bool incremental_ = false;
    bool arcAbsolute_ = false;
    int plane_ = 17;
    int motion_ = -1;  // G0..G3 as 0, 10, 20, 30; -1 before the first
    bool spindleOn_ = false;
    double lastS_ = 1;  // no S yet: the spindle runs as M3 says
    bool servoDown_ = false;
};

DrawingResult Converter::run() {
    DrawingResult r;
    rule_ = o_.pen;
    if (rule_ == PenRule::Auto) {
        eachBlock([this](const Block& b) {
            for (const Word& w : b.words) {
                if (w.letter == 'M' && (code10(w.value) == 3000 || code10(w.value) == 2800)) sawServo_ = true;
                if (w.letter == 'Z') sawZ_ = true;
            }
        });
        rule_ = sawServo_ ? PenRule::Servo : sawZ_ ? PenRule::Z : PenRule::Spindle;
    }
    if (!refused()) eachBlock([this](const Block& b) { execute(b); });
    if (!sawWords_ && !stray_.empty()) refuse(strayReason_);
    if (!refused() && !out_.milled())
        refuse(std::string("O arquivo G-code não tem nada a fresar pela regra ") + ruleName(rule_) +
               " (nenhum movimento com a ferramenta abaixada)." + (stray_.empty() ? "" : " " + strayNote()));
    if (refused()) {
        r.error = error_;
        return r;
    }
    out_.finish();

    std::string rule = std::string("Regra da ferramenta: ") + ruleName(rule_);
    switch (rule_) {
        case PenRule::Z:
            rule += ", fresa com Z em ou abaixo de " + FormatHumanNumber(o_.zThresholdMm) + " mm";
            break;
        case PenRule::Spindle: rule += ", fresa em G1/G2/G3 com M3/M4 ligado e S diferente de 0"; break;
        case PenRule::Servo:
            rule += ", fresa com M300/M280 S abaixo de " + FormatHumanNumber(o_.servoBelow);
            break;
        case PenRule::Auto: break;
    }
    sum_.notes.push_back(rule + (o_.pen == PenRule::Auto ? " (escolhida pelo conteúdo)." : "."));
    if (sawInch_) sum_.notes.emplace_back("O programa usa polegadas (G20) em parte ou no todo.");
    if (planeArcs_ > 0)
        sum_.notes.push_back(std::to_string(planeArcs_) +
                             " arco(s) no plano XZ ou YZ (G18/G19): seguido(s) em linha reta em XY, sua projeção.");
    if (withoutMotion_ > 0)
        sum_.notes.push_back(std::to_string(withoutMotion_) +
                             " linha(s) com coordenadas antes de G0/G1/G2/G3: tratada(s) como G0 (deslocamento).");
    if (!unknown_.empty()) {
        std::string u = "Palavras desconhecidas, ignoradas:";
        const char* sep = " ";
        for (const auto& [word, lines] : unknown_) {
            u += sep + word + (lines.size() == 1 ? " na linha " : " nas linhas ");
            for (std::size_t k = 0; k < lines.size() && k < kLinesListed; ++k)
                u += (k > 0 ? ", " : "") + std::to_string(lines[k]);
            if (lines.size() > kLinesListed) u += " e mais " + std::to_string(lines.size() - kLinesListed);
            sep = "; ";
        }
        sum_.notes.push_back(u + ".");
    }
    if (!stray_.empty()) sum_.notes.push_back(strayNote());
    r.ok = true;
    r.text = std::move(out_.text);
    sum_.statements = out_.statements;
    sum_.extent = out_.extent;
    r.summary = std::move(sum_);
    return r;
}

template <typename Each>
void Converter::eachBlock(Each each) {
    Block b;
    line_ = 0;
    std::size_t i = 0;
    while (i < in_.size() && !refused()) {
        std::size_t end = in_.find('\n', i);
        if (end == std::string_view::npos) end = in_.size();
        ++line_;
        if (parse(in_.substr(i, end - i), b) && !refused()) each(b);
        i = end + 1;
    }
}

// One line into words; false for a line that carries none.
bool Converter::parse(std::string_view t, Block& b) {
    b.words.clear();
    b.axis = {};
    b.offset = {};
    b.r.reset();
    b.s.reset();
    b.p.reset();
    std::size_t i = 0;
    while (i < t.size() && isBlank(t[i])) ++i;
    if (i < t.size() && (t[i] == '%' || t[i] == '$' || t[i] == '?')) return false;
    if (i < t.size() && t[i] == '/') ++i;  // block delete: the line runs
    while (i < t.size()) {
        const char c = t[i];
        if (isBlank(c)) {
            ++i;
            continue;
        }
        if (c == ';' || c == '*') break;  // a comment, or the checksum
        if (c == '(') {
            const std::size_t close = t.find(')', i);
            i = close == std::string_view::npos ? t.size() : close + 1;
            continue;
        }
        if (!isLetter(c)) {
            char shown[16];
            if (static_cast<unsigned char>(c) >= 0x21 && static_cast<unsigned char>(c) < 0x7f)
                std::snprintf(shown, sizeof shown, "\"%c\"", c);
            else
                std::snprintf(shown, sizeof shown, "0x%02X", static_cast<unsigned char>(c));
            stray(std::string("O arquivo não é G-code: caractere ") + shown + where(), t);
            return false;
        }
        const char letter = upper(c);
        ++i;
        while (i < t.size() && isBlank(t[i])) ++i;
        const std::size_t begin = i;
        if (i < t.size() && (t[i] == '-' || t[i] == '+')) ++i;
        const std::size_t digits = i;
        while (i < t.size() && isDigit(t[i])) ++i;
        if (i < t.size() && t[i] == '.') ++i;
        while (i < t.size() && isDigit(t[i])) ++i;
        if (i == digits || (i - digits == 1 && t[digits] == '.')) {
            stray(std::string("O arquivo não é G-code: \"") + letter + "\" sem número" + where(), t);
            return false;
        }
        double v = 0;
        std::string_view num = t.substr(digits, i - digits);
        if (num.back() == '.') num.remove_suffix(1);  // "Z5."
        const auto res = std::from_chars(num.data(), num.data() + num.size(), v);
        if (res.ec != std::errc() || std::fabs(v) > kMaxNumber) {
            refuse("Número fora do alcance" + where());
            return false;
        }
        if (t[begin] == '-') v = -v;
        b.words.push_back({letter, v});
        switch (letter) {
            case 'X': b.axis[0] = v; break;
            case 'Y': b.axis[1] = v; break;
            case 'Z': b.axis[2] = v; break;
            case 'I': b.offset[0] = v; break;
            case 'J': b.offset[1] = v; break;
            case 'K': b.offset[2] = v; break;
            case 'R': b.r = v; break;
            case 'S': b.s = v; break;
            case 'P': b.p = v; break;
            default: break;
        }
    }
    sawWords_ = sawWords_ || !b.words.empty();
    return !b.words.empty();
}

// A line that cannot be read is left out and listed; reading goes on. Both
// readings of the file meet it: it is listed once.
void Converter::stray(std::string reason, std::string_view line) {
    if (strayReason_.empty()) strayReason_ = std::move(reason);
    if (!stray_.empty() && stray_.back().first >= line_) return;
    while (!line.empty() && isBlank(line.back())) line.remove_suffix(1);
    while (!line.empty() && isBlank(line.front())) line.remove_prefix(1);
    // Shown short, cut between characters, control bytes as "?".
    constexpr std::size_t kShown = 40;
    std::size_t cut = std::min(line.size(), kShown);
    while (cut < line.size() && cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80) --cut;
    std::string shown(line.substr(0, cut));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
    if (cut < line.size()) shown += "...";
    stray_.emplace_back(line_, std::move(shown));
}

std::string Converter::strayNote() const {
    std::string n = stray_.size() == 1 ? "Linha deixada de fora:" : "Linhas deixadas de fora:";
    const char* sep = " ";
    for (std::size_t k = 0; k < stray_.size() && k < kLinesListed; ++k) {
        n += sep + ("linha " + std::to_string(stray_[k].first) + ": \"" + stray_[k].second + "\" não é G-code");
        sep = "; ";
    }
    if (stray_.size() > kLinesListed) n += " e mais " + std::to_string(stray_.size() - kLinesListed);
    return n + ".";
}

void Converter::unknown(char letter, double value) {
    auto& lines = unknown_[letter + FormatHumanNumber(value)];
    if (lines.empty() || lines.back() != line_) lines.push_back(line_);
}

void Converter::execute(const Block& b) {
    bool home = false;
    bool dwell = false;
    bool servo = false;
    bool axisWords = b.axis[0] || b.axis[1] || b.axis[2];
    std::optional<int> motion;
    for (const Word& w : b.words) {
        const int code = code10(w.value);
        switch (w.letter) {
            case 'G':
                switch (code) {
                    case 0: case 10: case 20: case 30: motion = code; break;
                    case 40: dwell = true; drop("G4"); break;
                    case 170: case 180: case 190: plane_ = code / 10; break;
                    case 200: unit_ = 25.4; sawInch_ = true; break;
                    case 210: unit_ = 1; break;
                    case 280: home = true; break;
                    case 900: incremental_ = false; break;
                    case 910: incremental_ = true; break;
                    case 901: arcAbsolute_ = true; break;
                    case 911: arcAbsolute_ = false; break;
                    // Settings that change nothing on the drawing: cutter
                    // and length compensation off, work offsets, path
                    // control, canned cycles off, feed per minute.
                    case 400: case 490: case 540: case 550: case 560: case 570: case 580: case 590:
                    case 610: case 640: case 800: case 940: case 430:
                        drop("G" + FormatHumanNumber(w.value));
                        break;
                    default: unknown(w.letter, w.value);
                }
                break;
            case 'M':
                switch (code) {
                    case 30: case 40:
                        spindleOn_ = true;
                        if (rule_ != PenRule::Spindle) drop("M" + std::to_string(code / 10));
                        break;
                    case 50:
                        spindleOn_ = false;
                        if (rule_ != PenRule::Spindle) drop("M5");
                        break;
                    case 3000: case 2800:
                        servo = true;
                        if (rule_ != PenRule::Servo) drop("M" + std::to_string(code / 10));
                        break;
                    case 0: case 10: case 20: case 60: case 70: case 80: case 90: case 300:
                        drop("M" + FormatHumanNumber(w.value));
                        break;
                    default: unknown(w.letter, w.value);
                }
                break;
            case 'S':
                lastS_ = w.value;
                break;
            case 'F': case 'T': case 'H': drop(std::string(1, w.letter)); break;
            // Line and program numbers; axis, arc and parameter words, read
            // with the block.
            case 'N': case 'O':
            case 'X': case 'Y': case 'Z': case 'I': case 'J': case 'K': case 'R': case 'P': break;
            default: unknown(w.letter, w.value);
        }
    }
    if (b.s) {
        const bool used = (rule_ == PenRule::Spindle) || (rule_ == PenRule::Servo && servo);
        if (!used) drop("S");
    }
    if (b.p && !dwell && !servo) unknown('P', *b.p);
    if (servo && b.s) servoDown_ = *b.s < o_.servoBelow;
    if (motion) motion_ = *motion;

    const auto target = [&](const Block& blk) {
        Point3 to = at_;
        double* axes[3] = {&to.x, &to.y, &to.z};
        for (int k = 0; k < 3; ++k) {
            if (!blk.axis[static_cast<std::size_t>(k)]) continue;
            const double v = *blk.axis[static_cast<std::size_t>(k)] * unit_;
            *axes[k] = incremental_ ? *axes[k] + v : v;
        }
        return to;
    };
    if (home) {
        // Through the point given, to the origin, the tool lifted: home is
        // the top of Z.
        if (axisWords) segment(target(b), 0);
        if (!zKnown_) at_.z = 0;
        segment({0, 0, at_.z}, 0);
        zKnown_ = false;
        out_.pen(false);
        return;
    }
    const bool arcWords = b.offset[0] || b.offset[1] || b.offset[2] || b.r;
    if (!axisWords && !(arcWords && (motion_ == 20 || motion_ == 30))) return;
    int m = motion_;
    if (m < 0) {
        ++withoutMotion_;
        m = 0;
    }
    const Point3 to = target(b);
    const bool firstZ = b.axis[2] && !zKnown_;
    if (firstZ) {
        // Where the tool stood before the first Z is unknown: the move
        // takes the height it ends at.
        at_.z = to.z;
        zKnown_ = true;
    }
    if (m == 20 || m == 30)
        arc(b, to, m == 20);
    else
        straight(to, m);
}

void Converter::straight(const Point3& to, int motion) { segment(to, motion); }

bool Converter::millsAt(double z, int motion) const {
    if (motion == 0) return false;
    switch (rule_) {
        case PenRule::Z: return zKnown_ && z <= o_.zThresholdMm;
        case PenRule::Spindle: return spindleOn_ && lastS_ != 0;
        case PenRule::Servo: return servoDown_;
        case PenRule::Auto: break;
    }
    return false;
}

// A straight piece from the present place; under the z rule a piece whose Z
// crosses the threshold is split where it crosses.
void Converter::segment(const Point3& to, int motion) {
    const Point3 from = at_;
    const bool d0 = millsAt(from.z, motion);
    const bool d1 = millsAt(to.z, motion);
    if (rule_ == PenRule::Z && d0 != d1 && from.z != to.z) {
        const double t = (o_.zThresholdMm - from.z) / (to.z - from.z);
        put(from.x + (to.x - from.x) * t, from.y + (to.y - from.y) * t, d0);
        put(to.x, to.y, d1);
    } else {
        put(to.x, to.y, d1);
    }
    at_ = to;
}

void Converter::put(double x, double y, bool down) {
    out_.pen(down);
    const double px = x * kUnitsPerMm;
    const double py = y * kUnitsPerMm;
    // The job starts at the origin, where the writer starts too; a move in
    // place is no statement (a plunge rides on the next point).
    if (std::nearbyint(px * 1e6) == std::nearbyint(out_.x() * 1e6) &&
        std::nearbyint(py * 1e6) == std::nearbyint(out_.y() * 1e6))
        return;
    if (!out_.point(px, py)) refuse("Coordenada fora do alcance" + where());
}

// An arc in the plane chosen, as chords within the tolerance; the axis out
// of the plane moves evenly along it (a helix). Arcs in XZ and YZ move in a
// straight line in XY.
void Converter::arc(const Block& b, const Point3& to, bool clockwise) {
    // The plane's two axes a, b and the third c, as indexes of X Y Z.
    int ia = 0, ib = 1, ic = 2;
    if (plane_ == 18) {
        ia = 2;
        ib = 0;
        ic = 1;
    } else if (plane_ == 19) {
        ia = 1;
        ib = 2;
        ic = 0;
    }
    if (plane_ != 17) ++planeArcs_;
    const std::array<double, 3> s{at_.x, at_.y, at_.z};
    const std::array<double, 3> e{to.x, to.y, to.z};
    const double sa = s[static_cast<std::size_t>(ia)], sb = s[static_cast<std::size_t>(ib)];
    const double ea = e[static_cast<std::size_t>(ia)], eb = e[static_cast<std::size_t>(ib)];
    double ca = 0, cb = 0;
    bool full = false;
    if (b.r) {
        const double r = std::fabs(*b.r * unit_);
        const double dx = ea - sa, dy = eb - sb;
        const double d = std::hypot(dx, dy);
        if (d == 0) {
            refuse("Arco com R sem ponto final diferente do inicial" + where());
            return;
        }
        double h2 = r * r - d * d / 4;
        if (h2 < 0) {
            // CAM programs round R: a hair short makes a half circle.
            if (d / 2 - r > std::max(kArcToleranceMm, r * 1e-3)) {
                refuse("Arco impossível: R menor que metade da distância entre os pontos" + where());
                return;
            }
            h2 = 0;
        }
        double h = std::sqrt(h2);
        // The centre lies right of the chord for a clockwise arc shorter
        // than half a circle; a negative R asks for the long one.
        if (clockwise) h = -h;
        if (*b.r < 0) h = -h;
        ca = (sa + ea) / 2 - h * dy / d;
        cb = (sb + eb) / 2 + h * dx / d;
    } else {
        if (!b.offset[static_cast<std::size_t>(ia)] && !b.offset[static_cast<std::size_t>(ib)]) {
            refuseArcWithoutCentre();
            return;
        }
        const double oa = b.offset[static_cast<std::size_t>(ia)].value_or(0) * unit_;
        const double ob = b.offset[static_cast<std::size_t>(ib)].value_or(0) * unit_;
        ca = arcAbsolute_ ? oa : sa + oa;
        cb = arcAbsolute_ ? ob : sb + ob;
        full = std::fabs(ea - sa) < 1e-9 && std::fabs(eb - sb) < 1e-9;
    }
    const double r0 = std::hypot(sa - ca, sb - cb);
    const double r1 = std::hypot(ea - ca, eb - cb);
    const double a0 = std::atan2(sb - cb, sa - ca);
    const double a1 = std::atan2(eb - cb, ea - ca);
    const double turn = 2 * std::numbers::pi;
    double sweep = clockwise ? a0 - a1 : a1 - a0;
    while (sweep <= 0) sweep += turn;
    while (sweep > turn) sweep -= turn;
    if (full) sweep = turn;
    if (r0 == 0 && r1 == 0) {
        segment(to, 20);
        return;
    }
    const double r = std::max(r0, r1);
    int n = 1;
    if (r > kArcToleranceMm) {
        const double step = 2 * std::acos(1 - kArcToleranceMm / r);
        n = static_cast<int>(std::min(1e6, std::ceil(sweep / step - 1e-9)));
        n = std::max(n, 1);
    }
    // Counting, an arc of more chords than any drawing on a router needs (a
    // radius over 2 m), or any arc past the bound, is counted a statement a
    // chord without being walked.
    if (over() || (out_.counting && n > kChordsWalked)) {
        out_.pen(millsAt(to.z, 20));
        out_.skip(n);
        at_ = to;
        return;
    }
    for (int k = 1; k <= n; ++k) {
        Point3 p = to;
        if (k < n) {
            const double f = static_cast<double>(k) / n;
            const double a = a0 + (clockwise ? -sweep : sweep) * f;
            const double rk = r0 + (r1 - r0) * f;
            std::array<double, 3> q{};
            q[static_cast<std::size_t>(ia)] = ca + rk * std::cos(a);
            q[static_cast<std::size_t>(ib)] = cb + rk * std::sin(a);
            q[static_cast<std::size_t>(ic)] = s[static_cast<std::size_t>(ic)] +
                                              (e[static_cast<std::size_t>(ic)] - s[static_cast<std::size_t>(ic)]) * f;
            p = {q[0], q[1], q[2]};
        }
        segment(p, 20);
        if (refused()) return;
    }
}

// An arc needs its centre, as offsets in its plane, or its radius: without
// them there is no arc to follow.
void Converter::refuseArcWithoutCentre() {
    const char* letters = plane_ == 18 ? "I, K" : plane_ == 19 ? "J, K" : "I, J";
    refuse(std::string("Arco (G2/G3) sem o centro (") + letters + ") nem o raio (R)" + where());
}

}  // namespace

DrawingResult ConvertGcode(std::string_view input, const GcodeOptions& options) {
    return BoundedConversion(options.maxStatements,
                             [&](bool counting) { return Converter(input, options, counting).run(); });
}

bool IsGcodeFileName(std::string_view path) {
    const std::string ext = UpperExtension(path);
    return ext == "NC" || ext == "NGC" || ext == "GCODE" || ext == "GC" || ext == "TAP";
}

bool LooksLikeGcode(std::string_view in) {
    std::size_t i = 0;
    if (in.substr(0, 3) == "\xEF\xBB\xBF") i = 3;
    while (i < in.size()) {
        const char c = in[i];
        if (isBlank(c) || c == '\n') {
            ++i;
        } else if (c == '%' || c == ';' || c == '$') {
            // A tape mark, a comment or a grbl setting: the next line tells.
            const std::size_t end = in.find('\n', i);
            i = end == std::string_view::npos ? in.size() : end + 1;
        } else if (c == '(') {
            const std::size_t end = in.find(')', i);
            i = end == std::string_view::npos ? in.size() : end + 1;
        } else {
            break;
        }
    }
    if (i >= in.size() || !isLetter(in[i])) return false;
    ++i;
    while (i < in.size() && isBlank(in[i])) ++i;
    return i < in.size() && (isDigit(in[i]) || in[i] == '-' || in[i] == '+' || in[i] == '.');
}

}  // namespace pm
