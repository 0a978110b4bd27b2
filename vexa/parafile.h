// Parameter files chosen in a file dialog: saving the panels' set, loading one.
#pragma once

#include "vexalink/parafileio.h"
#include "vexalink/paraset.h"

#include <cstdint>
#include <string>

namespace vexaprogram {

constexpr const char *kParaFileName = "Parameter.ini";

// Lets the user choose a file and saves the panels' set into it.
void SendParaToFile();
// Lets the user choose a file, loads it and shows its set. A file that cannot
// be used is reported and changes nothing.
void ReadParaFromFile();

// Lets the user choose a file and reads it into record; its path goes to path. A
// file that cannot be used is reported, ending with unchanged (what stays as it
// was); false then or when nothing was chosen. Where the panels stand is the
// caller's to note: a file only compared changes nothing.
bool ChooseAndReadParaFile(uint16_t (&record)[vexalink::kAnzPara], const std::string &unchanged,
                           std::string &path);

} // namespace vexaprogram
