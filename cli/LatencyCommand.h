#pragma once

namespace pm::cli {

// portmill-cli latency [--seconds N]: the lateness of the passes at each
// speed on this computer's real clock, and the speeds it keeps.
int LatencyCommand(int argc, char** argv);

}  // namespace pm::cli
