#pragma once
#include <string>

#include "motion/MachineSettings.h"

namespace pm {

// Where the machine stands, counted from the coil patterns the program
// writes while the motors are on, apart from the job's own CurrentX and
// CurrentY. Each motor is followed as the router follows it: a change of
// one phase is one step, two or three phases that many the short way, the
// opposite phase nothing; a motor never energised takes its first pattern
// where it stands. X and Y count half-steps from the last Home XY, Z counts
// full steps (four to a cycle, up positive) from the last Home Z; before a
// homing they count from where the program started, and the place is shown
// as unknown.
struct MachinePosition {
    long long X = 0;
    long long Y = 0;
    long long Z = 0;
    bool HomedXY = false;
    bool HomedZ = false;
    // The last phase energised on each motor (0-7 for X and Y, 0-3 for Z),
    // -1 before the first.
    int PhaseX = -1;
    int PhaseY = -1;
    int PhaseZ = -1;
    // The way each of X and Y last turned (1 up, -1 down): a drive with
    // play has it taken up on that side. Down at the start, as after a
    // homing.
    int LastDirX = -1;
    int LastDirY = -1;

    // Where the last job that moved the motors had its origin (0, 0).
    bool JobOriginKnown = false;
    long long JobOriginX = 0;
    long long JobOriginY = 0;
    // Set when a job starts: its first write with the motors on fixes the
    // origin.
    bool JobOriginPending = false;

    // "Zerar XY aqui": where the job's origin (0, 0) is, fixed by the
    // operator; until then every job and scan has it where it starts.
    bool WorkOriginSet = false;
    long long WorkOriginX = 0;
    long long WorkOriginY = 0;
};

// The data register was written with the X and Y patterns of drive-table
// indexes ix and iy (0-7). The half-steps that take up the play
// (TakeUpPlay) turn the motors but are not counted into X and Y, which stay
// where the tool is.
void CountXYWrite(MachinePosition& p, int ix, int iy);
// A job has just written the patterns of its point (x, y): the first such
// write after the job's start fixes where its origin is on the machine.
void NoteJobPoint(MachinePosition& p, double x, double y);
// The control register was written with value v: a Z phase (10, 9, 15, 3)
// moves Z; anything else releases it where it stands.
void CountZWrite(MachinePosition& p, int v);

// Home XY found both switches: here is X 0, Y 0. The job's origins move
// along, so they keep their place on the machine.
void HomedXYHere(MachinePosition& p);
// Home XY gave up: the place is unknown again (still counted).
void LostXY(MachinePosition& p);
// Home Z found the top switch: here is Z 0.
void HomedZHere(MachinePosition& p);

// The status-bar text: "Máquina: X 12,5 mm Y 3,2 mm" (with Z when it is
// homed and its cycles per millimetre are known), or "Máquina: posição
// desconhecida" before a Home XY.
std::string MachinePositionText(const MachinePosition& p, const MachineSettings& m);

// Why the drawing, started at the origin set by "Zerar XY aqui" or else
// where the machine stands, would leave the work area; empty when it stays inside, or when the travel or the machine's
// place is not known. The drawing visits [minX, maxX] x [minY, maxY]
// half-steps from its origin (its origin included).
std::string ExtentWarning(const MachinePosition& p, const MachineSettings& m, double minX,
                          double minY, double maxX, double maxY);

// Where the tool stands from the origin set by "Zerar XY aqui": "Trabalho:
// X 1,0 mm Y 0,0 mm"; empty while none is set.
std::string WorkPositionText(const MachinePosition& p, const MachineSettings& m);

// One number as the operator reads it: one decimal, a decimal comma.
std::string Millimetres(double mm);

}  // namespace pm
