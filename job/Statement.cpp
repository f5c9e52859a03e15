#include "job/Statement.h"

#include <algorithm>
#include <cmath>

namespace pm {

Statement CutStatement(std::string_view text) {
    Statement s;
    s.head = text.substr(0, 2);
    s.penUp = s.head == "PU";
    s.penDown = s.head == "PD";
    const bool pen = s.penUp || s.penDown || s.head == "PA";
    if (!pen || text.size() <= 3) return s;
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) return s;
    s.hasPair = true;
    s.xText = text.substr(2, comma - 2);
    // Up to, not including, the last character (the ";").
    const std::size_t yBegin = comma + 1;
    const std::size_t yEnd = text.size() - 1;
    s.yText = yBegin < yEnd ? text.substr(yBegin, yEnd - yBegin) : std::string_view();
    return s;
}

bool TargetAcceptable(double x, double y, double fromX, double fromY) {
    if (!std::isfinite(x) || !std::isfinite(y)) return false;
    return std::fabs(x - fromX) <= kMaxMoveHalfSteps && std::fabs(y - fromY) <= kMaxMoveHalfSteps;
}

double MaxMoveHalfSteps(const MachineSettings& m, AxisXY axis) {
    const double travel = axis == AxisXY::X ? m.TravelX : m.TravelY;
    const double steps = axis == AxisXY::X ? m.StepsPerMmX : m.StepsPerMmY;
    if (!(travel > 0) || !(steps > 0)) return kMaxMoveHalfSteps;
    // The travel's own 10 % of slack, as Home XY allows: a drawing a little
    // past the work area is only warned about (the estimate says so).
    const double full = travel * steps;
    return std::min(kMaxMoveHalfSteps, std::ceil(full + full / 10));
}

bool TargetAcceptable(double x, double y, double fromX, double fromY, const MachineSettings& m) {
    if (!TargetAcceptable(x, y, fromX, fromY)) return false;
    return std::fabs(x - fromX) <= MaxMoveHalfSteps(m, AxisXY::X) &&
           std::fabs(y - fromY) <= MaxMoveHalfSteps(m, AxisXY::Y);
}

}  // namespace pm
