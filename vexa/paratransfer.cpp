#include "vexa/paratransfer.h"

#include <algorithm>

#include "link/linkstate.h"
#include "vexa/sensorlink.h"
#include "vexa/parapanel.h"
#include "vexa/paravars.h"
#include "vexa/program.h"
#include "vexa/setstate.h"

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

// Writes the record in pp and notes what the sensor now holds.
void WriteFromPP() {
    vexa.poll = 0;
    const bool store = vexa.target == EEPROM;
    if (WriteRecord(vexa.target))
        NoteSensorWritten(para.pp, store);
    else
        NoteSensorWriteFailed(store);
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
