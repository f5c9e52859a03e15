#pragma once
#include <array>

#include "motion/Context.h"

namespace pm {

// One Z cycle: four writes to the control register, one coil at a time.
inline constexpr std::array<int, 4> ZPhasesUp{10, 9, 15, 3};
inline constexpr std::array<int, 4> ZPhasesDown{3, 15, 9, 10};
inline constexpr int kZRelease = 11;  // drives no Z line

// Counts of the pauses.
inline constexpr long kToolPause = 10000;  // lift and lower, per Z write
inline constexpr long kJogPause = 8000;    // Home Z and the jog pad, per Z write
inline constexpr long kSpeedCounts = 1000; // per unit of Slider2, per XY step

// The canvas line, in twips from its top, on which Y 0 is drawn.
inline constexpr double kPreviewBase = 5700;

// The drive-table index 0-7 of an axis position: rounded to the nearest
// integer (a half to the even neighbour), its non-negative residue mod 8.
int PhaseIndex(double position);

// The data-register byte for both motors at (x, y).
int DataByte(const MachineState& st, double x, double y);

// Walks from (CurrentX, CurrentY) to (TargetX, TargetY), one half-step per
// pass, drawing a dot, writing the coils when Check1 is ticked, pumping
// events and waiting Slider2 x 1000 counts. Stops at once on a cancel,
// leaving the current position at the move's start.
void MoveToTarget(Context& c);

// Z lift until LE(5) shows (or Cancelar, or the count is full), counting the
// cycles into ZStepCount. Nothing when Check1 is not ticked. A full count
// means the top switch was never seen: the lift says so in a message box and
// cancels the running job, and no lower replays that count.
void RaiseTool(Context& c);
// Replays ZStepCount cycles downwards, once after each lift.
void LowerTool(Context& c);
// End of a job: lower, then every coil off, then "Fresar" enabled.
void FinishJob(Context& c);
// Every coil off: data register 0, control register 11.
void ReleaseMotors(Context& c);

// Writes one Z cycle with the given pause after each write.
void ZCycle(Context& c, const std::array<int, 4>& phases, long pause);

// Starts an operation that moves the machine or reads the plot file. Refuses
// (false) while another one runs, or with a message while the port is
// missing. EndOperation undoes what BeginOperation set.
bool BeginOperation(Context& c, Operation op);
void EndOperation(Context& c);

// The message shown when the lift or Home Z ran out of cycles.
extern const char* const kZTopNotFound;
// The title of this program's message boxes.
extern const char* const kMsgTitle;

}  // namespace pm
