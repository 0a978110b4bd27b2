// The data recorder: rows of live values into a record file at fixed
// intervals (a fixed count or open-ended), by hand, or on the sensor's trigger.
#pragma once

#include "vexalink/recordfile.h"

#include <cstdint>
#include <string>

namespace vexaprogram {

struct RecorderState {
    uint16_t zeitint = 0;  // interval in seconds
    uint16_t anzwerte = 0; // rows to record in mode 0
    uint16_t otcrec = 0;   // rows recorded in modes 0 and 2
    double recstart = 0.0; // Timer() at the start of the current interval
    std::string file_name; // taken from the file-name text box at every start
    int rowsLost = 0;      // rows of the current recording that did not reach the file
    vexalink::RecordFormat format = vexalink::RecordFormat::Tab; // of the file being written
    double recordStart = 0.0;                                    // Timer() when the recording started
    double sampleTimer = 0.0;                                    // Timer() when the row's answer arrived
    int64_t sampleWallMs = 0;                                    // the wall clock at that moment
};

extern RecorderState rec;

// Shows the recorder controls of the mode in the mode selector and hides the others.
void InitRecordPanel();
// Interval and count from the panel; recorded 0, remaining = count, the total record time.
void CalcRecTime();
// File dialog; a chosen file starts afresh with the header row.
void SelRecFile();
// Appends the header row to file_name; true when it reached the file.
bool WriteFileHeader();
// Modes 0 and 1: confirmation, controls locked, the interval loop, the outcome shown.
void Record();
// The interval loop: one frame and one row per interval until poll is cleared.
void RecordFrame();
// Waits until zeitint seconds have passed since recstart, or poll is cleared.
void SlowDown();
// Mode 3: confirmation, auto-send on, every valid frame recorded until STOP TRIG, auto-send off.
void StartTriggeredRecording();
// The triggered loop: opens a lost link again, then waits without time-out for
// auto-sent frames until poll is cleared. The frames recorded, or -1 when auto-send
// could not be switched on (said already).
int TriggeredRecord();
// Mode 2: one row of the current live values.
void RecordManually();
// Appends one data row of the live values to file_name; a failure counts as a lost row.
bool ToFile();
// A new mode: ends any acquisition, resets its displays, clears the graph panel.
void ChangeRecordMode();
// Shows the remembered record format in the format selector.
void LoadRecordFormat();
// A new format: remembered, and the file-name box emptied, since its file holds the other format.
void ChangeRecordFormat();

} // namespace vexaprogram
