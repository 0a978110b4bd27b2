// Equation files: a data panel's coefficient fields, one number per line,
// right-aligned in a field of at least 10 characters and with the digits it
// needs to read back exactly.
#pragma once

#include "kelvralink/equationfile.h"

namespace kelvraprogram {

// Saves data panel n's coefficient fields into a file the user chooses; true
// when they were saved.
bool SaveEquation(int n);
// Fills data panel n's coefficient fields from a file the user chooses; a
// file that cannot be read or holds too few numbers leaves them unchanged.
// True when they were filled.
bool GetEquation(int n);

} // namespace kelvraprogram
