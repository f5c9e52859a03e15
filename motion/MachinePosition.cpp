#include "motion/MachinePosition.h"

#include <cmath>
#include <cstdio>

namespace pm {
namespace {

// Moves a motor of n phases, last at `phase` (-1 never energised), to the
// phase `to`: the short way, or not at all from the opposite phase, where
// the rotor cannot tell which way to turn and stays on its old phase.
long long Turn(int& phase, int to, int n) {
    if (phase < 0) {
        phase = to;
        return 0;
    }
    int d = ((to - phase) % n + n) % n;
    if (d * 2 == n) return 0;
    if (d * 2 > n) d -= n;
    phase = to;
    return d;
}

int ZPhaseOf(int v) {
    switch (v) {
        case 10: return 0;
        case 9: return 1;
        case 15: return 2;
        case 3: return 3;
        default: return -1;
    }
}

// The number a text of Millimetres() shows ("-0,3"), read back whatever
// the locale: digits, one decimal comma, a leading sign.
double ShownValue(const std::string& text) {
    double whole = 0;
    double scale = 0;
    for (const char ch : text) {
        if (ch == ',' || ch == '.') {
            scale = 1;
        } else if (ch >= '0' && ch <= '9') {
            whole = whole * 10 + (ch - '0');
            scale *= 10;
        }
    }
    const double v = scale > 0 ? whole / scale : whole;
    return !text.empty() && text[0] == '-' ? -v : v;
}

}  // namespace

void CountXYWrite(MachinePosition& p, int ix, int iy) {
    const long long dx = Turn(p.PhaseX, ix, 8);
    const long long dy = Turn(p.PhaseY, iy, 8);
    p.X += dx;
    p.Y += dy;
    if (dx != 0) p.LastDirX = dx > 0 ? 1 : -1;
    if (dy != 0) p.LastDirY = dy > 0 ? 1 : -1;
}

void NoteJobPoint(MachinePosition& p, double x, double y) {
    if (p.JobOriginPending) {
        p.JobOriginPending = false;
        p.JobOriginKnown = true;
        p.JobOriginX = p.X - static_cast<long long>(std::nearbyint(x));
        p.JobOriginY = p.Y - static_cast<long long>(std::nearbyint(y));
    }
}

void CountZWrite(MachinePosition& p, int v) {
    const int phase = ZPhaseOf(v);
    if (phase < 0) return;  // released: keeps its place and its phase
    p.Z += Turn(p.PhaseZ, phase, 4);
}

void HomedXYHere(MachinePosition& p) {
    p.JobOriginX -= p.X;
    p.JobOriginY -= p.Y;
    p.WorkOriginX -= p.X;
    p.WorkOriginY -= p.Y;
    p.X = 0;
    p.Y = 0;
    p.HomedXY = true;
}

void LostXY(MachinePosition& p) { p.HomedXY = false; }

void HomedZHere(MachinePosition& p) {
    p.Z = 0;
    p.HomedZ = true;
}

std::string Millimetres(double mm) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f", mm);
    std::string s = buf;
    if (s == "-0.0") s = "0.0";
    for (char& ch : s) {
        if (ch == '.') ch = ',';
    }
    return s;
}

std::string MachinePositionText(const MachinePosition& p, const MachineSettings& m) {
    if (!p.HomedXY) return "Máquina: posição desconhecida";
    std::string t = "Máquina: X " + Millimetres(static_cast<double>(p.X) / m.StepsPerMmX) +
                    " mm Y " + Millimetres(static_cast<double>(p.Y) / m.StepsPerMmY) + " mm";
    if (p.HomedZ && m.ZCyclesPerMm > 0)
        t += " Z " + Millimetres(static_cast<double>(p.Z) / 4.0 / m.ZCyclesPerMm) + " mm";
    return t;
}

std::string WorkPositionText(const MachinePosition& p, const MachineSettings& m) {
    if (!p.WorkOriginSet) return {};
    return "Trabalho: X " + Millimetres(static_cast<double>(p.X - p.WorkOriginX) / m.StepsPerMmX) +
           " mm Y " + Millimetres(static_cast<double>(p.Y - p.WorkOriginY) / m.StepsPerMmY) + " mm";
}

std::string ExtentWarning(const MachinePosition& p, const MachineSettings& m, double minX,
                          double minY, double maxX, double maxY) {
    if (!p.HomedXY || !WorkAreaKnown(m)) return {};
    const auto ox = static_cast<double>(p.WorkOriginSet ? p.WorkOriginX : p.X);
    const auto oy = static_cast<double>(p.WorkOriginSet ? p.WorkOriginY : p.Y);
    // The check compares the figures it prints, so a drawing it refuses
    // shows the figure that fails.
    const std::string x0 = Millimetres((ox + minX) / m.StepsPerMmX);
    const std::string x1 = Millimetres((ox + maxX) / m.StepsPerMmX);
    const std::string y0 = Millimetres((oy + minY) / m.StepsPerMmY);
    const std::string y1 = Millimetres((oy + maxY) / m.StepsPerMmY);
    const std::string tx = Millimetres(m.TravelX);
    const std::string ty = Millimetres(m.TravelY);
    if (ShownValue(x0) >= 0 && ShownValue(y0) >= 0 && ShownValue(x1) <= ShownValue(tx) &&
        ShownValue(y1) <= ShownValue(ty))
        return {};
    return "O desenho sai da área de trabalho da máquina: vai de X " + x0 + " a " + x1 +
           " mm e Y " + y0 + " a " + y1 + " mm, e a máquina anda de X 0,0 a " + tx +
           " mm e Y 0,0 a " + ty + " mm.";
}

}  // namespace pm
