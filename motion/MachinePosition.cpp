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

}  // namespace

void CountXYWrite(MachinePosition& p, int ix, int iy) {
    p.X += Turn(p.PhaseX, ix, 8);
    p.Y += Turn(p.PhaseY, iy, 8);
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

std::string ExtentWarning(const MachinePosition& p, const MachineSettings& m, double minX,
                          double minY, double maxX, double maxY) {
    if (!p.HomedXY || !WorkAreaKnown(m)) return {};
    const double x0 = (static_cast<double>(p.X) + minX) / m.StepsPerMmX;
    const double x1 = (static_cast<double>(p.X) + maxX) / m.StepsPerMmX;
    const double y0 = (static_cast<double>(p.Y) + minY) / m.StepsPerMmY;
    const double y1 = (static_cast<double>(p.Y) + maxY) / m.StepsPerMmY;
    // Half a half-step of slack: a drawing that ends on the travel's last
    // half-step is inside.
    const double sx = 0.5 / m.StepsPerMmX;
    const double sy = 0.5 / m.StepsPerMmY;
    if (x0 >= -sx && y0 >= -sy && x1 <= m.TravelX + sx && y1 <= m.TravelY + sy) return {};
    return "O desenho sai da área de trabalho da máquina: vai de X " +
           Millimetres(x0) + " a " + Millimetres(x1) + " mm e Y " + Millimetres(y0) + " a " +
           Millimetres(y1) + " mm, e a máquina anda de X 0,0 a " + Millimetres(m.TravelX) +
           " mm e Y 0,0 a " + Millimetres(m.TravelY) + " mm.";
}

}  // namespace pm
