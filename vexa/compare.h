// The compare view: where the panels' set differs from the sensor's RAM, its
// EEPROM or a parameter file, parameter by parameter and teach row by row.
#pragma once

#include "vexalink/setdiff.h"

namespace vexaprogram {

// Compares the panels with the memory the selectors choose and lists the
// differences. Leaves the panels, and the sensor's memories, as they were.
void CompareSet();

} // namespace vexaprogram
