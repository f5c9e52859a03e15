#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "motion/MachinePosition.h"
#include "motion/MachineSettings.h"
#include "motion/Planner.h"

namespace pm {

// The operations that move the machine or read the plot file. While one
// runs, the others refuse to start.
enum class Operation { None, Job, Scan, GoToLimit, HomeXY, HomeZ, Jog, ReturnToOrigin };

// Where a job stands, or where one stopped: enough to start it again there.
struct StopPoint {
    std::string file;            // the plot file
    std::uint64_t statement = 0; // counted from 1; 0 when there is nothing to resume
    std::string divisor;         // the divisor as the job last read it
};

// The five switch inputs as the last reading of the status register found
// them, and when. Written by the 100 ms poll and by the fresh readings an
// operation makes itself (the tool lift); read by the operations that stop
// at a switch. The window's switch lamps are its view of the poll.
struct SwitchState {
    // By status bit, 3 to 7: true while the input is active (its line low).
    std::array<bool, 8> active{};
    bool read = false;        // false until the first reading
    std::int64_t atNs = 0;    // when, on the machine's clock
    bool YHome() const { return active[3]; }
    bool XHome() const { return active[4]; }
    bool ZTop() const { return active[5]; }
};

// Every variable of the machine, one copy, owned by the machine thread (or
// the headless runner).
struct MachineState {
    double CurrentX = 0;
    double CurrentY = 0;
    double TargetX = 0;
    double TargetY = 0;
    std::array<int, 9> PhaseTableX{};  // index 8 is never filled
    std::array<int, 9> PhaseTableY{};
    std::string PlotFileName;
    std::string MoveMode;  // "M" travel, "D" mill, "" until the first pen statement
    std::int16_t PortBase = 0;
    bool CancelRequested = false;  // "Cancelar": the running operation stops at its next look
    std::int16_t ZStepCount = 0;
    std::array<std::int16_t, 8> LimitBits{};
    SwitchState Switches;
    // When the Z motor last ended a cycle: a switch reading from before then
    // may no longer hold.
    std::int64_t LastZMoveNs = -1;
    // What each XY walk adds to its positions before it picks a drive-table
    // entry, so that its first pattern is the one the motor holds: set when
    // a walk starts from a new origin (AnchorWalk), kept by the moves that
    // follow on from it.
    int PhaseOffsetX = 0;
    int PhaseOffsetY = 0;

    // Set by a lift that ran with the motors on, cleared by the lower that
    // follows it: the tool is lowered only after it has been lifted.
    bool ToolRaised = false;
    // The operation running now, if any.
    Operation Running = Operation::None;
    // What the owner set about the machine (its size, ramps and travel
    // speed), and where it stands.
    MachineSettings Settings;
    MachinePosition Position;

    // "Pausar" asks the running job to hold at the next pass of its move;
    // "Continuar" lets it go on.
    bool PauseRequested = false;
    // What the running job planned for the XY walk's next move, and the
    // walk's rate through it.
    MotionPlan Plan;
    // The running job's file, the statement it is working on and its divisor.
    StopPoint JobPoint;
    // An XY jog button or arrow key is held down: the jog goes on until it
    // is let go.
    bool JogHeld = false;
};

// Sets up the machine state as the program starts: the drive tables and the
// port address.
void LoadMachineState(MachineState& st);

inline constexpr std::uint32_t kGreen = 65280;     // travel, tool raised
inline constexpr std::uint32_t kBlue = 16711680;   // milling, tool lowered

}  // namespace pm
