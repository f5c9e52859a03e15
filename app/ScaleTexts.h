#pragma once
#include <QString>
#include <optional>
#include <string>
#include <utility>

#include "job/Estimate.h"
#include "motion/MachineSettings.h"

namespace pm {

// One scale on the screen: what the window shows in millimetres from the
// half-steps per millimetre of "Máquina…", and the divisor that makes the
// plot files agree with them (a plot unit is 0.025 mm).

// The estimate's field: "Duração estimada: 15.8 s · X 0,0 a 35,5 mm, Y 0,0
// a 30,1 mm" (the drawing's extent from the job's origin), or why there is
// none.
QString EstimateText(const JobEstimate& e, const MachineSettings& m);

// The divisor the job divides by for the text of "Dividir cordenadas por:"
// ("Divisor: 0,5"): a text that reads as 0 divides by 1, as the job makes it.
QString DivisorStatusText(const std::string& divisorText);

// The pointer read-out over the canvas for a point at canvas twips (x, y)
// at the preview scale: "x= 12,3 mm", "y= -4,0 mm", "x= 1234 mm" (whole
// millimetres from 100 mm).
std::pair<QString, QString> PointerTexts(double x, double y, int scale, const MachineSettings& m);

// The divisor for plot files at these half-steps per millimetre, 40 /
// half-steps per mm; none when X and Y differ (one divisor cannot serve both).
std::optional<double> PlotFileDivisor(const MachineSettings& m);
// v as the divisor box shows it: up to six significant digits, with a
// decimal comma or point.
QString DivisorNumberText(double v, bool comma);
// Whether a divisor text reads as v (to six significant digits).
bool DivisorReadsAs(const std::string& divisorText, double v);

}  // namespace pm
