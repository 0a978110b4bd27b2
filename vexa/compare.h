// The compare view: where the panels' set differs from the sensor's RAM, its
// EEPROM or a parameter file, parameter by parameter and teach row by row.
#pragma once

#include "link/linkstate.h"

#include <cstdint>
#include <string>

// Compares the panels with the memory the selectors choose and lists the
// differences. Leaves the panels, and the sensor's memories, as they were.
void CompareSet();
// One line per differing parameter (name, both values, unit) and per differing
// teach row (its six values on each side); empty when the sets are equal.
std::string SetDifferences(const uint16_t (&panel)[kAnzPara], const uint16_t (&other)[kAnzPara],
                           const std::string &otherName);
