#pragma once
#include "job/Job.h"
#include "motion/Context.h"

namespace pm {

// "Calcular Limites": scans the plot file for the largest X and Y.
void Command5_Click(Context& c);
// "Ir para o Limite": moves to Text1, Text2 divided by Text3.
void Command2_Click(Context& c);

// Command5_Click, telling how the scan ended.
PlotRun RunScan(Context& c);

// How "Ir para o Limite" ended.
enum class GoToLimitEnd {
    Moved,        // the move ran (or stopped at once on a pending cancel)
    Refused,      // another operation was running, or the port is missing
    ZeroDivisor,  // Text3 reads as 0: message, no move
    OutOfReach,   // the limit is not a number or too far: message, no move
};
// Command2_Click, telling how it ended.
GoToLimitEnd RunGoToLimit(Context& c);

// The message when "Ir para o Limite" finds a divisor that reads as 0.
extern const char* const kZeroDivisorMessage;
// The message when the limit is not a number or too far to be meant.
extern const char* const kLimitOutOfReachMessage;

}  // namespace pm
