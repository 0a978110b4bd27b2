// Writing the parameter set into the sensor and reading it back, in the
// sensor's RAM or, through it, its EEPROM.
#pragma once

#include "vexalink/paraset.h"

#include <cstdint>

namespace vexaprogram {

// Sends the panels' set: command 1, then command 2 for each teach row, then
// command 6 when EEPROM is selected. Stops at the first failed echo.
void SendPara();
// Reads the set: command 8 first when EEPROM is selected, then command 3 and
// command 4 for each teach row; refreshes the panels only after a complete read.
void GetPara();

// Reads the sensor's set as GetPara does into record, leaving the variables and
// panels as they were. False when the read stopped.
bool ReadSensorSet(uint16_t (&record)[vexalink::kAnzPara]);
// Writes record into the sensor as SendPara does. False when the write stopped.
bool WriteSensorSet(const uint16_t (&record)[vexalink::kAnzPara]);

} // namespace vexaprogram
