#include "app/ScaleTexts.h"

#include <cmath>

#include "job/LeadingNumber.h"
#include "motion/MachinePosition.h"
#include "motion/Motion.h"

namespace pm {
namespace {

QString Mm(double halfSteps, double stepsPerMm) {
    return QString::fromStdString(Millimetres(halfSteps / stepsPerMm));
}

}  // namespace

QString EstimateText(const JobEstimate& e, const MachineSettings& m) {
    if (!e.error.empty()) return QStringLiteral("Estimativa: ") + QString::fromStdString(e.error);
    QString text = QStringLiteral("Duração estimada: ") + QString::fromStdString(FormatDuration(e.durationNs));
    const Extent& x = e.extentSteps;
    if (!x.empty) {
        text += QStringLiteral(" \u00b7 X %1 a %2 mm, Y %3 a %4 mm")
                    .arg(Mm(x.minX, m.StepsPerMmX), Mm(x.maxX, m.StepsPerMmX), Mm(x.minY, m.StepsPerMmY),
                         Mm(x.maxY, m.StepsPerMmY));
    }
    return text;
}

QString DivisorStatusText(const std::string& divisorText) {
    const double d = DivisorValue(divisorText);
    return QStringLiteral("Divisor: ") + DivisorNumberText(d == 0 ? 1 : d, true);
}

std::pair<QString, QString> PointerTexts(double x, double y, int scale, const MachineSettings& m) {
    // The inverse of the dots' place: x / scale twips, the base line less
    // y / scale (a scale of 0 draws as 1).
    // A tenth of a millimetre below 100 mm, whole ones from there: the
    // read-outs keep to their places above the canvas.
    const auto shown = [](double mm) {
        return std::fabs(mm) < 99.95 ? QString::fromStdString(Millimetres(mm)) : QString::number(std::lround(mm));
    };
    const double sc = scale != 0 ? scale : 1;
    return {QStringLiteral("x= ") + shown(x * sc / m.StepsPerMmX) + QStringLiteral(" mm"),
            QStringLiteral("y= ") + shown((kPreviewBase - y) * sc / m.StepsPerMmY) + QStringLiteral(" mm")};
}

std::optional<double> PlotFileDivisor(const MachineSettings& m) {
    if (!(m.StepsPerMmX > 0) || m.StepsPerMmX != m.StepsPerMmY) return std::nullopt;
    return 40 / m.StepsPerMmX;
}

QString DivisorNumberText(double v, bool comma) {
    QString t = QString::number(v, 'g', 6);
    if (comma) t.replace(QLatin1Char('.'), QLatin1Char(','));
    return t;
}

bool DivisorReadsAs(const std::string& divisorText, double v) {
    return DivisorNumberText(DivisorValue(divisorText), false) == DivisorNumberText(v, false);
}

}  // namespace pm
