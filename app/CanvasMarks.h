#pragma once
#include <QPointF>
#include <QRectF>
#include <optional>
#include <string>

#include "motion/MachinePosition.h"
#include "motion/MachineSettings.h"

namespace pm {

// Where a point of the job (half-steps from its origin) is on the canvas,
// in twips, at preview scale `scale`, as a move places its dots.
QPointF JobToTwips(double x, double y, int scale);

// The work area in half-steps from the job's origin: the machine's travel
// once Home XY has found where the machine stands (the origin being the last
// job's, or else here, where the next job starts); without it the limits of
// "Limites" divided by the divisor, as "Ir para o Limite" reads them; none
// when neither is known.
std::optional<QRectF> WorkAreaSteps(const MachinePosition& p, const MachineSettings& m, const std::string& limitX,
                                    const std::string& limitY, const std::string& divisor);

}  // namespace pm
