#include "motion/MachineSettings.h"

#include <array>
#include <charconv>
#include <cmath>

namespace pm {
namespace {

constexpr std::int32_t kFixedHomeSteps = 400000;
constexpr double kHomeMargin = 1.1;  // travel plus 10 %
constexpr double kMaxStepsPerMm = 10000;
constexpr double kMaxTravelMm = 10000;
constexpr double kMaxZCyclesPerMm = 10000;

bool Finite(double v) { return std::isfinite(v); }

}  // namespace

std::int32_t HomeAllowanceSteps(const MachineSettings& m, AxisXY axis) {
    const bool x = axis == AxisXY::X;
    const double perMm = x ? m.StepsPerMmX : m.StepsPerMmY;
    const double allowance = x ? m.HomeAllowanceX : m.HomeAllowanceY;
    const double travel = x ? m.TravelX : m.TravelY;
    const double mm = allowance > 0 ? allowance : travel * kHomeMargin;
    if (!(mm > 0) || !(perMm > 0)) return kFixedHomeSteps;
    // A hair under a whole number of half-steps is that number, not the next.
    const double steps = std::ceil(mm * perMm - 1e-6);
    if (!Finite(steps) || steps > kFixedHomeSteps) return kFixedHomeSteps;
    return steps < 1 ? 1 : static_cast<std::int32_t>(steps);
}

std::string ValidateMachineSettings(const MachineSettings& m) {
    const auto bad = [](double v, double lo, double hi, bool zeroOk) {
        return !Finite(v) || v > hi || (zeroOk ? v < 0 || (v > 0 && v < lo) : v < lo);
    };
    if (bad(m.StepsPerMmX, 0.01, kMaxStepsPerMm, false) ||
        bad(m.StepsPerMmY, 0.01, kMaxStepsPerMm, false))
        return "Os meios-passos por milímetro devem estar entre 0,01 e 10000.";
    if (bad(m.TravelX, 1, kMaxTravelMm, true) || bad(m.TravelY, 1, kMaxTravelMm, true))
        return "O curso dos eixos deve estar entre 1 e 10000 mm (0 quando não é conhecido).";
    if (bad(m.HomeAllowanceX, 1, kMaxTravelMm, true) || bad(m.HomeAllowanceY, 1, kMaxTravelMm, true))
        return "A folga do Home XY deve estar entre 1 e 10000 mm (0 para o curso mais 10 %).";
    if ((m.HomeAllowanceX > 0 && m.HomeAllowanceX < m.TravelX) ||
        (m.HomeAllowanceY > 0 && m.HomeAllowanceY < m.TravelY))
        return "A folga do Home XY não pode ser menor que o curso do eixo: o Home XY "
               "desistiria antes de chegar à chave.";
    if ((m.HomeAllowanceX > 0 && m.HomeAllowanceX * m.StepsPerMmX > kFixedHomeSteps) ||
        (m.HomeAllowanceY > 0 && m.HomeAllowanceY * m.StepsPerMmY > kFixedHomeSteps) ||
        m.TravelX * kHomeMargin * m.StepsPerMmX > kFixedHomeSteps ||
        m.TravelY * kHomeMargin * m.StepsPerMmY > kFixedHomeSteps)
        return "O Home XY não pode andar mais de 400000 meios-passos num eixo: reduza o curso "
               "ou a folga.";
    if (bad(m.ZCyclesPerMm, 0.01, kMaxZCyclesPerMm, true))
        return "Os ciclos de Z por milímetro devem estar entre 0,01 e 10000 (0 quando não são "
               "conhecidos).";
    if (!Finite(m.accel) || m.accel < 0 || m.accel > 10'000'000)
        return "A aceleração deve estar entre 0 (sem rampas) e 10000000 meios-passos/s².";
    if (!Finite(m.startRate) || m.startRate < 1 || m.startRate > 1'000'000)
        return "A velocidade de partida deve estar entre 1 e 1000000 meios-passos/s.";
    if (m.travelSpeed < -1 || m.travelSpeed > 40)
        return "A velocidade dos deslocamentos deve estar entre 0 e 40, como \"Velocidade:\".";
    if (m.lookahead < 0 || m.lookahead > kMaxLookahead)
        return "A antecipação deve estar entre 0 (parar em cada canto) e 10000 movimentos.";
    if (m.BacklashX < 0 || m.BacklashY < 0 || m.BacklashX > kMaxBacklash ||
        m.BacklashY > kMaxBacklash)
        return "A folga deve estar entre 0 e 10000 meios-passos.";
    return {};
}

bool WorkAreaKnown(const MachineSettings& m) { return m.TravelX > 0 && m.TravelY > 0; }

bool ParsePair(const std::string& text, double& a, double& b) {
    const std::size_t comma = text.find(',');
    if (comma == std::string::npos) return false;
    const auto one = [](const char* first, const char* last, double& out) {
        const auto r = std::from_chars(first, last, out);
        return first != last && r.ec == std::errc() && r.ptr == last && Finite(out);
    };
    const char* p = text.data();
    return one(p, p + comma, a) && one(p + comma + 1, p + text.size(), b);
}

std::optional<int> FitScale(double minX, double minY, double maxX, double maxY, double widthTwips,
                            double heightTwips, double baseY) {
    // The dots are placed as the move places them: x / scale and
    // baseY - y / scale, rounded to float. The corners bound every dot.
    const auto fits = [&](int sc) {
        const std::array<double, 2> xs{minX, maxX};
        const std::array<double, 2> ys{minY, maxY};
        for (const double x : xs) {
            const auto px = static_cast<float>(x / sc);
            if (!(px >= 0 && px < widthTwips)) return false;
        }
        for (const double y : ys) {
            const auto py = static_cast<float>(baseY - y / sc);
            if (!(py >= 0 && py < heightTwips)) return false;
        }
        return true;
    };
    for (int mag = 1; mag <= 10; ++mag) {
        if (fits(mag)) return mag;
        if (mag <= 3 && fits(-mag)) return -mag;
    }
    return std::nullopt;
}

}  // namespace pm
