// Equation files: a data panel's coefficient fields, one number per line.
#pragma once

#include "kelvra/paneltable.h"

#include <string>

constexpr int kEquationFieldWidth = 10;

// Number of coefficients of a panel: 15, 30 or 5.
inline int EquationSize(const PanelDesc &p) {
    return p.channelCount * kCoefs;
}

// Writes values, one per line, right-aligned in fields of at least 10
// characters, each with the digits it needs to read back exactly, replacing
// the file. False when the file could not be written.
bool WriteEquationFile(const std::string &path, const double *values, int count);
// Reads count numbers. Result: how many were read (count when complete), or
// -1 when the file cannot be read.
int ReadEquationFile(const std::string &path, double *values, int count);

// Saves data panel n's coefficient fields into a file the user chooses.
void SaveEquation(int n);
// Fills data panel n's coefficient fields from a file the user chooses; a
// file that cannot be read or holds too few numbers leaves them unchanged.
void GetEquation(int n);
