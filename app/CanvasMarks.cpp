#include "app/CanvasMarks.h"

#include <cmath>

#include "job/LeadingNumber.h"
#include "motion/Motion.h"

namespace pm {

QPointF JobToTwips(double x, double y, int scale) {
    const double sc = scale != 0 ? scale : 1;
    return {x / sc, kPreviewBase - y / sc};
}

std::optional<QRectF> WorkAreaSteps(const MachinePosition& p, const MachineSettings& m, const std::string& limitX,
                                    const std::string& limitY, const std::string& divisor) {
    if (WorkAreaKnown(m) && p.HomedXY) {
        const double ox = static_cast<double>(p.JobOriginKnown ? p.JobOriginX : p.X);
        const double oy = static_cast<double>(p.JobOriginKnown ? p.JobOriginY : p.Y);
        return QRectF(QPointF(-ox, -oy), QPointF(m.TravelX * m.StepsPerMmX - ox, m.TravelY * m.StepsPerMmY - oy));
    }
    const double d = LeadingNumber(divisor);
    const double x = LeadingNumber(limitX);
    const double y = LeadingNumber(limitY);
    if (!(d > 0 && x > 0 && y > 0) || !std::isfinite(x / d) || !std::isfinite(y / d)) return std::nullopt;
    return QRectF(0, 0, std::floor(x / d), std::floor(y / d));
}

}  // namespace pm
