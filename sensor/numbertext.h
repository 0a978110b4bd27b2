// Numbers in files and messages, always with '.' before the decimals: the C
// library's printf follows the desktop's language once Qt has set it.
#pragma once

#include <string>

namespace sensor {

// value with the given number of decimals, e.g. FixedText(3, 1) == "3.0".
std::string FixedText(double value, int decimals);

} // namespace sensor
