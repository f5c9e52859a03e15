#pragma once

namespace pm::cli {

// How portmill-cli ends when it is told to stop. From CatchStopSignals() on,
// SIGINT, SIGTERM and SIGHUP do not end the program where it stands: the
// first one is noted, the running operation stops at its next pass as on
// "Cancelar", every coil is switched off, the records are completed and the
// last line printed, and the program exits with 128 + the signal's number.
void CatchStopSignals();
// For a command that moves nothing (convert): SIGINT, SIGTERM and SIGHUP
// end it at once with 128 + the signal's number, its temporary files
// removed, the old output left as it was.
void EndOnStopSignals();
// The first stop signal caught, 0 when none was.
int CaughtSignal();
// "SIGINT", "SIGTERM", "SIGHUP".
const char* SignalName(int signal);

// Flushes standard output, keeping the reason of the first failure for
// ExitStatus.
void FlushStandardOutput();

// The exit status of a command that returned status: 128 + the caught
// signal's number, or, when standard output could not be written to its end,
// a message with the reason and kExitFile.
int ExitStatus(int status);

}  // namespace pm::cli
