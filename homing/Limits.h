#pragma once
#include "motion/Context.h"

namespace pm {

// "Calcular Limites": scans the plot file for the largest X and Y.
void Command5_Click(Context& c);
// "Ir para o Limite": moves to Text1, Text2 divided by Text3.
void Command2_Click(Context& c);

}  // namespace pm
