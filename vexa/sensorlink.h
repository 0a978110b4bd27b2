// VexaV32's sensor under the names the program uses: its frames come from the
// parameter record para.pp, every operation runs on the program's one sensor
// and waits while events go on, and a failed exchange ends in SetPopupTimeout.
#pragma once

#include <cstdint>

namespace vexaprogram {

// Lets the link take VexaV32's frames and echo wait, and stop auto-send before
// every version query.
void SetUpParameterLink();
// Switches the sensor's auto-send off (command 50, argument 0); no answer is awaited.
void StopAutoSend();
// Writes the record in para.pp into target's memory. False at the first failed echo;
// confirmed then counts the frames that were confirmed (1 the parameters, then one
// per teach row, then the EEPROM store).
bool WriteRecord(uint16_t target, int &confirmed);
// Reads target's set into the variables. False when the read stopped.
bool ReadIntoVars(uint16_t target);
// Sends the data request in the frame image and waits up to 3 s for the answer;
// complete exactly when the sensor's bytesToRead is 0 afterwards.
void GetDataFrame();
// One live-data cycle's exchange: command 5 and, when its answer came whole,
// its words in live.databuf and the live variables. False when the answer did
// not come; the caller reports it.
bool PollDataFrame();
// The answer's words 0..17 into live.databuf.
void GetRxBufData();
// Data frame words 2..13 into the live variables.
void CopyDatatoVars();

} // namespace vexaprogram
