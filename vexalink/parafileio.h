// Parameter files: the 202 words of the parameter record as text, one value
// per line, right-aligned in five characters, lines ended by CR LF.
#pragma once

#include "vexalink/paraset.h"

#include <cstdint>
#include <string>

namespace vexalink {

// Writes a record to path through a temporary file beside it, so that a failed
// write leaves the previous file as it was. False when it could not be written.
bool WriteParaFile(const std::string &path, const uint16_t (&record)[kAnzPara]);
// Reads a record: 202 lines, each one number 0..65535 with optional blanks
// around it. False with the reason in problem when the file cannot be used;
// record is then unchanged.
bool ReadParaFile(const std::string &path, uint16_t (&record)[kAnzPara], std::string &problem);

} // namespace vexalink
