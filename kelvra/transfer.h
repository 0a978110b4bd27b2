// Writes a data panel's correction-factor tables into the sensor's memory:
// block announcements, then echo-checked block writes of ten words each.
#pragma once

#include "kelvra/paneltable.h"

#include <cstdint>
#include <functional>

// Sets the link up for the transfer: frames from dataCfSendBuf, a 2 s echo
// wait. Panels and the program's hooks are left to the caller.
void SetUpCompensationLink();

// Where block-write frame f of a panel's plan takes its words from
// (dataCfSendBuf) and where it puts them in the sensor.
struct FrameSlot {
    uint16_t source;
    uint16_t address;
};
FrameSlot TransferFrame(const PanelDesc &p, int f);

// Copies the words the plan sends, channel after channel, into dataCfSendBuf.
void StageFactors(const PanelDesc &p);

// Writes panel p's correction factors from the factor arrays into the sensor:
// block announcements, staging, block writes. progress gets the indicator's
// value after each confirmed write frame. True when every frame was confirmed;
// a failure has gone through SetPopupTimeout (com.comecho 0, com.szCause).
bool WriteFactors(const PanelDesc &p, const std::function<void(double)> &progress);

// Writes the factors of data panel n, showing progress on the panel. Outcome
// in com.comecho: 1 when every frame was confirmed; a failure has gone
// through SetPopupTimeout.
void SendParaData(int n);

// The same under each data panel's own name.
void SendParaDataP1();
void SendParaDataP2();
void SendParaDataP3();
void SendParaDataP4();
void SendParaDataP5();
void SendParaDataP6();
