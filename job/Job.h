#pragma once
#include <cstdint>
#include <string>
#include <string_view>

#include "motion/Context.h"

namespace pm {

// How a run over the plot file (the job or the scan) ended.
enum class PlotEnd {
    NoFile,      // no plot file chosen: "Falta Abrir Arquivo"
    Refused,     // another operation was running, or the port is missing
    OpenFailed,  // the file could not be opened (message shown)
    ReadFailed,  // reading stopped half-way (message shown)
    EndOfFile,
    Cancelled,
    PastEnd,     // started from a statement the file does not reach (message shown)
};

struct PlotRun {
    PlotEnd end = PlotEnd::Refused;
    std::uint64_t statements = 0;      // statements handled (each ";")
    std::uint64_t bytes = 0;           // characters read
    std::uint64_t ignoredTargets = 0;  // pairs not finite or too far: no target
};

// "Cancelar": asks the running job, scan or move to stop; clears the list
// and the target, and gives the jog pad back.
void CancelRun(Context& c);

// "Pausar": the running job holds at the next pass of its move.
void PauseJob(Context& c);
// "Continuar": a held job goes on.
void ContinueJob(Context& c);

// "Fresar": runs the plot job on the chosen plot file, one character a
// pass, to the end of the file or to a cancel, and tells how it ended. From
// statement N (counted from 1), the job reads statements 1 to N-1 without
// moving or writing the port (position, mode and target follow the file),
// travels with the tool up from the machine's place to where statement N
// starts, puts the tool as it is at that point of the whole job, and goes
// on from there.
PlotRun RunJob(Context& c, std::uint64_t fromStatement = 1);

// The message when the file ends before statement `from`: it has `count`.
std::string PastEndMessage(std::uint64_t from, std::uint64_t count);

// The title of the "Falta Abrir Arquivo" message box.
inline constexpr const char* kNoFileMessage = "Falta Abrir Arquivo";

}  // namespace pm
