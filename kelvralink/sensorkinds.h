// The sensor families KelvraV12 knows: the model text in a sensor's version
// answer, the family's code in the sensor selector and its data panel.
#pragma once

#include <cstdint>
#include <string>

namespace kelvralink {

// The sensor code whose model text occurs in version; the last hit in the
// table's order wins, and current stays when none occurs.
uint16_t SensorCodeFromVersion(const char *version, uint16_t current);
// The data panel (1..6) of a sensor code, 0 for a code without one.
int DataPanelOfSensor(uint16_t code);
// The data panel of a family named by the user: its model text with or without
// the version ("HUEMA-PX" or "HUEMA-PX V1.1", any case), or "P1".."P6". 0 when
// the name fits none.
int DataPanelOfFamily(const std::string &name);
// The model text of a sensor code as its version answer carries it ("HUEMA3 V6.3"),
// and its family's name alone ("HUEMA3"); empty for an unknown code.
std::string ModelTextOfSensor(uint16_t code);
std::string FamilyOfSensor(uint16_t code);
// The model texts of the families, for messages: "HUEMA3 V6.3, HUEMA4 V6.3, ...".
std::string FamilyList();

} // namespace kelvralink
