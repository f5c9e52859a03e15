// One scale for the plot files and the machine: after "Máquina…" changed
// the half-steps per millimetre, the divisor that draws a plot file at its
// size (a plot unit is 0.025 mm) is proposed.
#include <QLineEdit>

#include "app/Form1.h"
#include "app/ScaleTexts.h"

namespace pm {

void Form1::ProposeDivisor(const MachineSettings& before) {
    const MachineSettings& m = machineSettings_;
    const auto divisor = PlotFileDivisor(m);
    if (!divisor) return;
    // The dialog shows the half-steps to ten digits: a value read back from
    // it is the same scale when it proposes the same divisor.
    const auto was = PlotFileDivisor(before);
    if (was && DivisorNumberText(*was, false) == DivisorNumberText(*divisor, false)) return;
    const QString now = Text3_->text();
    if (DivisorReadsAs(now.toStdString(), *divisor)) return;
    const QString proposed = DivisorNumberText(*divisor, now.contains(QLatin1Char(',')));
    const QString text =
        QStringLiteral("Com %1 meios-passos por mm, o divisor que fresa os arquivos de plotagem no "
                       "seu tamanho (40 unidades por mm) é 40 / %1 = %2.\n\nUsar o divisor %2 em "
                       "\"Dividir cordenadas por:\"?")
            .arg(DivisorNumberText(m.StepsPerMmX, true), DivisorNumberText(*divisor, true));
    const std::string keep = now.trimmed().isEmpty() ? "Manter" : "Manter " + now.trimmed().toStdString();
    if (Ask("DivisorProposto", text.toStdString(), {"Usar " + proposed.toStdString(), keep}) == 0)
        Text3_->setText(proposed);
}

}  // namespace pm
