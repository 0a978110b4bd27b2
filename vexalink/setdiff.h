// Where two parameter sets differ, parameter by parameter and teach row by row,
// in words: for the compare view and the command-line tool's diff.
#pragma once

#include "vexalink/paraset.h"

#include <cstdint>
#include <string>
#include <vector>

namespace vexalink {

// One item that differs: a parameter's name ("HOLD") or "Teach row N", and its
// value in each set (with the unit; a teach row's six values).
struct SetDifference {
    std::string item;
    std::string first;
    std::string second;
};
// Every parameter and teach row that differs, in record order.
std::vector<SetDifference> DifferingItems(const uint16_t (&first)[kAnzPara],
                                          const uint16_t (&second)[kAnzPara]);
// One line per differing parameter (name, both values, unit) and per differing
// teach row (its six values on each side); empty when the sets are equal.
std::string SetDifferences(const uint16_t (&panel)[kAnzPara], const uint16_t (&other)[kAnzPara],
                           const std::string &otherName, const std::string &firstName = "panel");

} // namespace vexalink
