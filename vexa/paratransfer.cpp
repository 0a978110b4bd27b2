#include "vexa/paratransfer.h"

#include <algorithm>
#include <string>

#include "link/linkstate.h"
#include "platform/userint.h"
#include "vexa/parapanel.h"
#include "vexa/paravars.h"
#include "vexa/program.h"
#include "vexa/sensorlink.h"
#include "vexa/setstate.h"

using vexalink::kAnzPara;
using vexalink::kTeachRows;

using namespace programlink;

namespace vexaprogram {
namespace {

// Reads the sensor's set into the variables and from them into record; notes
// what it learnt of the sensor. False when the read stopped.
bool ReadIntoRecord(uint16_t (&record)[kAnzPara]) {
    vexa.poll = 0;
    const bool viaEeprom = vexa.target == EEPROM;
    if (!ReadIntoVars(vexa.target)) {
        NoteSensorReadFailed(viaEeprom);
        return false;
    }
    RecordFromVars(record);
    NoteSensorRead(record, viaEeprom);
    return true;
}

// What a Send that stopped after confirmed frames left in the sensor: said at once,
// and a short form for the state displays. Empty when nothing of it can have arrived.
std::string StoppedSendNote(int confirmed, std::string &shortNote) {
    if (confirmed <= 0) {
        shortNote = "Send stopped at the parameters: perhaps new, teach table old";
        return " The Send stopped at the parameters (command 1). \n The sensor's RAM may now hold the new "
               "parameters with the old teach table: part new, part old. ";
    }
    if (confirmed <= kTeachRows) {
        const int row = confirmed - 1; // rows 0 .. row-1 confirmed
        shortNote = "Send stopped at teach row " + std::to_string(row) + ": part new, part old";
        return " The Send stopped at teach-table row " + std::to_string(row) + " (rows 0 to " +
               std::to_string(kTeachRows - 1) +
               "). \n The sensor's RAM now holds part new, part old values: " + "the parameters" +
               (row > 0 ? " and rows 0 to " + std::to_string(row - 1) : std::string()) + " new, row " +
               std::to_string(row) + " perhaps, the rest as before. ";
    }
    shortNote = "In RAM; the EEPROM store was not confirmed";
    return " Every value reached the sensor's RAM, but the store into EEPROM was not confirmed: \n the "
           "EEPROM holds the old set or the new one. ";
}

// Writes the record in pp and notes what the sensor now holds.
void WriteFromPP() {
    vexa.poll = 0;
    const bool store = vexa.target == EEPROM;
    int confirmed = 0;
    if (WriteRecord(vexa.target, confirmed)) {
        NoteSensorWritten(para.pp, store);
        return;
    }
    std::string shortNote;
    const std::string text = StoppedSendNote(confirmed, shortNote);
    NoteSensorWriteFailed(store, confirmed > kTeachRows ? para.pp : nullptr, shortNote);
    MessagePopup("Send", text + "\n Send again, or Get the sensor's set. ");
}

} // namespace

void SendPara() {
    GetPanelValues();
    CopyVarsToPP();
    WriteFromPP();
    ShowSetState();
}

void GetPara() {
    uint16_t panelSet[kAnzPara], sensorSet[kAnzPara];
    PanelRecord(panelSet);
    // The variables as they were, should the user keep the panels' own set.
    uint16_t kept[kAnzPara];
    RecordFromVars(kept);
    if (ReadIntoRecord(sensorSet)) {
        if (MayReplacePanel(panelSet, sensorSet, "the sensor")) {
            SetPanelValues();
            InitEval();
            InitChannelMode();
        } else {
            VarsFromRecord(kept);
        }
    }
    ShowSetState();
}

bool ReadSensorSet(uint16_t (&record)[kAnzPara]) {
    uint16_t kept[kAnzPara];
    RecordFromVars(kept);
    const bool complete = ReadIntoRecord(record);
    VarsFromRecord(kept);
    return complete;
}

bool WriteSensorSet(const uint16_t (&record)[kAnzPara]) {
    std::copy(std::begin(record), std::end(record), std::begin(para.pp));
    WriteFromPP();
    return LinkSensor().echoOk();
}

} // namespace vexaprogram
