#include "app/Form1.h"
#include "app/StatusField.h"

namespace pm {

// How far a running estimate has read the file, as its worker last said.
void Form1::EstimateProgress(unsigned generation, int percent) {
    if (generation != estimateGeneration_ || !estimatePending_) return;
    estimateStatus_->setText(QStringLiteral("Estimando a duração\u2026 %1 %").arg(percent));
}

}  // namespace pm
