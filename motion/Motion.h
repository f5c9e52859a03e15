#pragma once
#include <array>
#include <cstdint>

#include "motion/Context.h"
#include "port/Wiring.h"

namespace pm {

// One Z cycle: four writes to the control register, one coil at a time (the
// phases and the coils they drive: port/Wiring.h).
inline constexpr std::array<int, 4> ZPhasesUp = wiring::kZPhases;
inline constexpr std::array<int, 4> ZPhasesDown{ZPhasesUp[3], ZPhasesUp[2], ZPhasesUp[1], ZPhasesUp[0]};
using wiring::kZRelease;  // drives no Z line

// Counts of the pauses.
inline constexpr long kToolPause = 10000;  // lift and lower, per Z write
inline constexpr long kJogPause = 8000;    // Home Z and the jog pad, per Z write
inline constexpr long kSpeedCounts = 1000; // per unit of the run speed, per XY step

// The canvas line, in twips from its top, on which Y 0 is drawn.
inline constexpr double kPreviewBase = 5700;

// The drive-table index 0-7 of an axis position: rounded to the nearest
// integer (a half to the even neighbour), its non-negative residue mod 8.
int PhaseIndex(double position);

// The drive-table index a walk uses at an axis position: PhaseIndex moved
// on by the walk's phase offset.
int WalkPhase(double position, int offset);
// The data-register byte for both motors at (x, y) of the present walk.
int DataByte(const MachineState& st, double x, double y);
// A walk starts at (CurrentX, CurrentY) from a new origin: the phase offsets
// are set so that its first pattern is the one each motor holds, and no
// write moves a motor more than one half-step. A motor never energised
// since the program started holds nothing known: offset 0.
void AnchorWalk(MachineState& st);
// "Zerar XY aqui": the job's origin is where the tool stands now; nothing
// moves. The job's own position is (0, 0) there.
void ZeroXYHere(MachineState& st);
// With an origin set by "Zerar XY aqui", (CurrentX, CurrentY) become the
// machine's place counted from it, whatever a run without the motors left
// there; true then. Without one, nothing changes.
bool FromWorkOrigin(MachineState& st);
// One dot of the preview at (x, y) half-steps of the job, at the scale.
void PreviewDot(Context& c, double x, double y, DotKind kind);

// The kind of a dot of the present move: travel with the tool up, a cut
// otherwise.
DotKind PresentDotKind(Context& c);

// The speed of the next XY pass on the run speed's scale: the travel speed
// while the tool is up (MoveMode "M") if one is set, the run speed otherwise.
int PassSpeed(Context& c);

// Walks from (CurrentX, CurrentY) to (TargetX, TargetY), one half-step per
// pass, drawing a dot, writing the coils when the motors are on, turning
// the pump and waiting PassSpeed x 1000 counts, or longer on the ramps at the
// move's ends when the machine settings turn them on. Stops at once on a
// cancel, leaving the current position at the move's start; a job that
// plans ahead (MotionPlan) first slows down at the acceleration along the
// move, and its position is where the last pass left the motors.
void MoveToTarget(Context& c);

// Before X turns in direction dirX and Y in dirY (1 up, -1 down, 0 not
// at all): an axis that last turned the other way has its play taken up
// first, with the machine settings' backlash in half-steps in the new
// direction, one a start period (at the start rate), after a start period
// of rest. The position, the walk's positions and its dots stay; the walk's
// phase offsets move along, so its next pattern is the one the motor holds.
// Nothing for a motor never energised. Returns the half-steps taken.
int TakeUpPlay(Context& c, int dirX, int dirY);

// How a lift to the Z top switch ended.
enum class LiftEnd {
    Top,        // the top switch is closed
    Cancelled,  // "Cancelar"
    Full,       // 32767 cycles and the switch never closed
};
// The lift of the tool and of Home Z: one pump and one Z cycle up a pass,
// `pause` counts after each write, until the top switch closes, "Cancelar"
// or a full count, counting the cycles into `cycles` (from where it
// stands). The switch is read afresh after every cycle, and the lift goes
// one cycle past the reading that saw it closed; with the switch open at
// the start it writes at least one cycle, with it closed nothing. A full
// count says nothing: the caller puts its own state right, then shows
// kZTopNotFound.
LiftEnd LiftToTop(Context& c, long pause, std::int16_t& cycles);
// "Pausar" seen by a move pass: holds the job, pumping events, until
// "Continuar" or "Cancelar". With the motors on and the tool down, the tool
// is lifted as at a pen-up for the hold and lowered again before the move
// goes on; a cancel leaves it lifted.
void HoldWhilePaused(Context& c);
// How long the hold waits on the clock between two pumps.
inline constexpr std::int64_t kPausePumpNs = 10'000'000;

// Before a move that does not cut, with the motors on: lifts the tool
// unless it is up already. True when this lifted it, so the caller lowers it
// again after the move (and not after a cancel).
bool LiftForTravel(Context& c);

// Z lift until the top switch closes (or Cancelar, or the count is full), counting the
// cycles into ZStepCount. Nothing when the motors are off. A full count
// means the top switch was never seen: the lift says so in a message box and
// cancels the running job, and no lower replays that count.
void RaiseTool(Context& c);
// Replays ZStepCount cycles downwards, once after each lift.
void LowerTool(Context& c);
// End of a job: lower, then every coil off, then "Fresar" enabled.
void FinishJob(Context& c);
// Every coil off: data register 0, control register 11.
void ReleaseMotors(Context& c);

// A fixed pause of `counts` after a step, as long as it must be: with the
// ramps on no motor steps faster than the start rate without a ramp, so the
// pause is at least one start period (Home XY, the lift and lower, Home Z
// and the jog pad pause so). With the ramps off, `counts` itself.
long StepPause(const Context& c, long counts);

// Writes one Z cycle with the given pause after each write (StepPause).
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
