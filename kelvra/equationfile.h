// Reading an equation file without a panel: the coefficients of one data
// panel's channels, one number per line, highest power first.
#pragma once

#include "kelvra/paneltable.h"

#include <string>

constexpr int kMaxEquation = kMaxChannels * kCoefs;

// Number of coefficients of a panel: 15, 30 or 5.
inline int EquationSize(const PanelDesc &p) {
    return p.channelCount * kCoefs;
}

// Reads the EquationSize(p) coefficients of panel p from path into values,
// channel after channel. False with the reason in problem ("cannot be read",
// "holds 3 of the 15 numbers needed") when the file cannot be used.
bool ReadEquationFile(const std::string &path, const PanelDesc &p, double (&values)[kMaxEquation],
                      std::string &problem);
