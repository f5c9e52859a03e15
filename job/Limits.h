#pragma once
#include "job/Job.h"
#include "motion/Context.h"

namespace pm {

// "Calcular Limites": scans the plot file for the largest X and Y, which
// become the limits (told as LimitsFound), and tells how the scan ended.
PlotRun ScanLimits(Context& c);

// How "Ir para o Limite" ended.
enum class GoToLimitEnd {
    Moved,        // the move ran (or stopped at once on a pending cancel)
    Refused,      // another operation was running, or the port is missing
    ZeroDivisor,  // the divisor reads as 0: message, no move
    OutOfReach,   // the limit is not a number or too far: message, no move
};
// "Ir para o Limite": moves to the X and Y limits divided by the divisor.
GoToLimitEnd GoToLimit(Context& c);

// The message when "Ir para o Limite" finds a divisor that reads as 0.
extern const char* const kZeroDivisorMessage;
// The message when the limit is not a number or too far to be meant.
extern const char* const kLimitOutOfReachMessage;

}  // namespace pm
