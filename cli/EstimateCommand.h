#pragma once

namespace pm::cli {

// estimate FILE [options]: the job's duration at the given settings
// (EstimateCommand.cpp).
int EstimateCommand(int argc, char** argv);

}  // namespace pm::cli
