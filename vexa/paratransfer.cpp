#include "vexa/paratransfer.h"

#include "link/com232.h"
#include "link/connectpanel.h"
#include "link/frame.h"
#include "link/linkstate.h"
#include "platform/rs232.h"
#include "platform/userint.h"
#include "vexa/parapanel.h"
#include "vexa/paraset.h"
#include "vexa/program.h"

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

} // namespace

void SendPara() {
    vexa.poll = 0;
    GetPanelValues();
    CopyVarsToPP();
    FlushSerialQueues();
    if (!SendChecked(1, 18)) return;
    for (uint16_t row = 0; row < kTeachRows; ++row) {
        ProcessSystemEvents();
        if (!SendChecked(2, 6, row)) return;
    }
    if (vexa.target == EEPROM) SendChecked(6, 2);
}

void GetPara() {
    vexa.poll = 0;
    com.comecho = 1;
    FlushSerialQueues();
    if (vexa.target == EEPROM && !SendChecked(8, 2)) return;
    com.order = 3;
    FillTxBuf(3, 0, 0, 0);
    // Not checked here: a failed command 3 still exchanges row 0, then the read stops.
    Befehl3plus4();
    for (uint16_t row = 0; row < kTeachRows; ++row) {
        com.order = 4;
        FillTxBuf(4, row, 0, 0);
        Befehl3plus4();
        if (com.comecho == 0) return;
    }
    SetPanelValues();
    InitEval();
    InitChannelMode();
}

void Befehl3plus4() {
    if (!ExchangeFrame()) {
        SetPopupTimeout();
        return;
    }
    GetRxBufPara();
    CopyPPtoVars();
}
