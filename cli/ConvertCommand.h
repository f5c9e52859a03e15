#pragma once
#include "importer/Drawing.h"

namespace pm::cli {

// convert IN OUT [options]: a drawing to the plot form (ConvertCommand.cpp).
int ConvertCommand(int argc, char** argv);
// The SVG converter when this build has one, else none.
SvgConverter SvgConverterOfThisBuild();

}  // namespace pm::cli
