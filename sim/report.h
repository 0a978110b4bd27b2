// Plain-text listing of what the simulated sensor holds.
#pragma once

#include "sim/sensormodel.h"

#include <string>

namespace sim {

// Version text, parameters and teach table in RAM and EEPROM, and the compensation
// memory (blocks in the order announced, words by address), as lines of text.
std::string describeSensor(const std::string &version, const SensorMemory &memory, const CompMemory &comp);

// One line for one of many sensors: its name, version text, frames received, RAM
// parameters and the number of compensation words.
std::string describeSensorBriefly(const std::string &name, const std::string &version, long frames,
                                  const SensorMemory &memory, const CompMemory &comp);

} // namespace sim
