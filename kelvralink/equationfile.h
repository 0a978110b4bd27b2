// Reading an equation file without a panel: the coefficients of one data
// panel's channels, one number per line, highest power first.
#pragma once

#include "kelvralink/paneltable.h"

#include <string>

namespace kelvralink {

constexpr int kMaxEquation = kMaxChannels * kCoefs;

// Number of coefficients of a panel: 15, 30 or 5.
inline int EquationSize(const PanelDesc &p) {
    return p.channelCount * kCoefs;
}

// Reads the EquationSize(p) coefficients of panel p from path into values,
// channel after channel; numbers after them are not read. False, with values
// unchanged and the reason in problem ("cannot be read", "holds 3 of the 15 numbers
// needed", "line 4: \"nan\" is not a number a coefficient can have"), when the file
// cannot be used: too few numbers, or text, "nan", "inf" or a number beyond a
// double's range before the last one needed.
bool ReadEquationFile(const std::string &path, const PanelDesc &p, double (&values)[kMaxEquation],
                      std::string &problem);

} // namespace kelvralink
