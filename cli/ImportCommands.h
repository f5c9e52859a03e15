#pragma once
#include "importer/Drawing.h"

namespace pm::cli {

// convert IN OUT [options]: a drawing to the plot form (ConvertCommand.cpp).
int ConvertCommand(int argc, char** argv);
// The SVG converter when this build has one, else none.
SvgConverter SvgConverterOfThisBuild();
// estimate FILE [options]: the job's duration at the given settings
// (EstimateCommand.cpp).
int EstimateCommand(int argc, char** argv);

}  // namespace pm::cli
