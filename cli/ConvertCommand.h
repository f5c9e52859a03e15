#pragma once

namespace pm::cli {

// convert IN OUT: an HPGL file to the plot form (ConvertCommand.cpp).
int ConvertCommand(int argc, char** argv);

}  // namespace pm::cli
