#include "vexa/paratransfer.h"

#include <algorithm>

#include "link/com232.h"
#include "link/connectpanel.h"
#include "link/frame.h"
#include "link/linkstate.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "vexa/parapanel.h"
#include "vexa/paraset.h"
#include "vexa/program.h"
#include "vexa/setstate.h"

namespace {

void FlushSerialQueues() {
    if (com.comprotocol != 0) return;
    FlushInQ(com.comport);
    FlushOutQ(com.comport);
}

// Builds and writes a command frame; its answer is awaited by the caller.
void SendCommand(uint16_t order, uint16_t argument = 0) {
    com.order = order;
    FillTxBuf(order, argument, 0, 0);
    SendTxBuf();
}

// Writes a frame and checks its echo over len words; false after a failure.
bool SendChecked(uint16_t order, int len, uint16_t argument = 0) {
    SendCommand(order, argument);
    CheckEcho(len);
    return com.comecho == 1;
}

// The write frames of a Send from the record in pp; false when one failed.
bool WriteRecord() {
    FlushSerialQueues();
    if (!SendChecked(1, 18)) return false;
    for (uint16_t row = 0; row < kTeachRows; ++row) {
        ProcessSystemEvents();
        if (!SendChecked(2, 6, row)) return false;
    }
    return vexa.target != EEPROM || SendChecked(6, 2);
}

// The read frames of a Get into the variables; false when the read stopped.
bool ReadIntoVars() {
    com.comecho = 1;
    FlushSerialQueues();
    if (vexa.target == EEPROM && !SendChecked(8, 2)) return false;
    com.order = 3;
    FillTxBuf(3, 0, 0, 0);
    // Not checked here: a failed command 3 still exchanges row 0, then the read stops.
    Befehl3plus4();
    for (uint16_t row = 0; row < kTeachRows; ++row) {
        com.order = 4;
        FillTxBuf(4, row, 0, 0);
        Befehl3plus4();
        if (com.comecho == 0) return false;
    }
    return true;
}

// Reads the sensor's set into the variables and from them into record; notes
// what it learnt of the sensor. False when the read stopped.
bool ReadIntoRecord(uint16_t (&record)[kAnzPara]) {
    vexa.poll = 0;
    const bool viaEeprom = vexa.target == EEPROM;
    if (!ReadIntoVars()) {
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
    if (WriteRecord())
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
    return com.comecho == 1;
}

void Befehl3plus4() {
    if (!ExchangeFrame()) {
        SetPopupTimeout();
        return;
    }
    GetRxBufPara();
    CopyPPtoVars();
}
