// The program's icon on its windows and the name under which the desktop knows it.
#pragma once

#include <string>

// Gives every window of the program the icon compiled in under :/icons/<programName>/
// (a PNG per size) and names the program's desktop entry, <programName>.desktop, so
// that a desktop groups its windows under that entry. False when no icon is compiled in.
bool SetProgramIcon(const std::string &programName);
