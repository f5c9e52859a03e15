#pragma once
#include <string_view>

#include "motion/Context.h"

namespace pm {

// "Fresar": runs the plot job on the file named by the window caption, one
// character a pass, to the end of the file or to a cancel.
void Command1_Click(Context& c);
// "Cancelar": asks the running job, scan or move to stop.
void Cancel_Click(Context& c);

}  // namespace pm
