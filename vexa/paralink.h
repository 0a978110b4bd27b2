// The three-channel sensor's exchanges without panels: the parameter set in RAM
// or EEPROM, the live-data request and the stop of auto-send. VexaV32's buttons
// and the command-line tool both run these, so both send the same frames.
#pragma once

#include <cstdint>

// Sets the link up for this sensor: frames from the parameter record, data
// frames into live.databuf, its echo wait, auto-send stopped before the version
// query. Panels and the program's hooks are left to the caller.
void SetUpParameterLink();
// Empties both serial queues; nothing on TCP.
void FlushSerialQueues();
// Writes the record in para.pp: command 1, command 2 for each teach row, then
// command 6 when target is EEPROM. False at the first failed echo.
bool WriteRecord(uint16_t target);
// Reads the set into the variables: command 8 first when target is EEPROM, then
// command 3 and command 4 for each teach row. False when the read stopped.
bool ReadIntoVars(uint16_t target);
// One read exchange of the frame in szWriteBuf (command 3 or 4), decoded into
// the variables on success, a time-out otherwise.
void Befehl3plus4();
// Sends the data request in szWriteBuf and waits up to 3 s for the answer;
// com.bytesToRead is 0 exactly when the whole answer came.
void GetDataFrame();
// One live-data cycle's exchange: the data request (command 5) and, when its
// answer came whole, its words in live.databuf and the live variables. False
// when the answer did not come; the caller reports it.
bool PollDataFrame();
// Data frame words 2..13 into the live variables.
void CopyDatatoVars();
// Switches the sensor's auto-send off (command 50, argument 0); no answer is awaited.
void StopAutoSend();
