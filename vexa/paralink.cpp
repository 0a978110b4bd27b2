#include "vexa/paralink.h"

#include "link/com232.h"
#include "link/frame.h"
#include "link/linkstate.h"
#include "platform/events.h"
#include "platform/rs232.h"
#include "vexa/livedata.h"
#include "vexa/paraset.h"
#include "vexa/program.h"

#include <iterator>

LiveState live;

namespace {

// The live variables of frame words 2..13, in word order.
constexpr uint16_t LiveState::*kFrameVars[] = {
    &LiveState::dataChL,       &LiveState::dataChC,       &LiveState::dataChR,       &LiveState::dataDensity,
    &LiveState::dataSym1,      &LiveState::dataSym2,      &LiveState::dataVec,       &LiveState::dataTemp,
    &LiveState::dataAktMaxChL, &LiveState::dataAktMaxChC, &LiveState::dataAktMaxChR, &LiveState::dataTrigger,
};
constexpr int kFirstDataWord = 2;

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

void SetUpParameterLink() {
    linkProgram = LinkProgram{};
    linkProgram.frameSource = FrameSource::ParameterRecord;
    linkProgram.pp = &para.pp;
    linkProgram.databuf = &live.databuf;
    linkProgram.echoTimeout = kAnswerTimeout;
    linkProgram.eventsWhileReading = true;
    linkProgram.stopAutoSend = StopAutoSend;
}

void FlushSerialQueues() {
    if (com.comprotocol != 0) return;
    FlushInQ(com.comport);
    FlushOutQ(com.comport);
}

bool WriteRecord(uint16_t target) {
    FlushSerialQueues();
    if (!SendChecked(1, 18)) return false;
    for (uint16_t row = 0; row < kTeachRows; ++row) {
        ProcessSystemEvents();
        if (!SendChecked(2, 6, row)) return false;
    }
    return target != EEPROM || SendChecked(6, 2);
}

bool ReadIntoVars(uint16_t target) {
    com.comecho = 1;
    FlushSerialQueues();
    if (target == EEPROM && !SendChecked(8, 2)) return false;
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

void Befehl3plus4() {
    if (!ExchangeFrame()) {
        SetPopupTimeout();
        return;
    }
    GetRxBufPara();
    CopyPPtoVars();
}

void GetDataFrame() {
    ExchangeFrame(kAnswerTimeout);
}

bool PollDataFrame() {
    com.order = 5;
    FillTxBuf(5, 0, 0, 0);
    GetDataFrame();
    if (com.bytesToRead != 0) return false;
    GetRxBufData();
    CopyDatatoVars();
    return true;
}

void CopyDatatoVars() {
    for (std::size_t k = 0; k < std::size(kFrameVars); ++k)
        live.*kFrameVars[k] = live.databuf[kFirstDataWord + k];
}

void StopAutoSend() {
    com.order = 50;
    FillTxBuf(50, 0, 0, 0);
    FlushSerialQueues();
    SendTxBuf();
}
