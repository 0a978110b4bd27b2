// Callbacks of the recorder panel.
#include "platform/userint.h"
#include "vexa/graphpanel.h"
#include "vexa/gui.h"
#include "vexa/program.h"
#include "vexa/recorder.h"
#include "vexa/startup.h"

namespace {

constexpr char InfoButtonSelRecFile[] = " Select a record file for data save. ";
constexpr char InfoDispRecFile[] = " Shows the path of the record file. ";
constexpr char InfoEditSelectDataRec[] = " Select how to record data frame. ";
constexpr char InfoEditInterval[] =
    " Choose a even interval for recording. \n Minimum interval is 1 second. ";
constexpr char InfoEditRecVal[] = " Choose how many Data should be recorded. ";
constexpr char InfoDispRecordTime[] = " Displays the time for recording \n when all VALUES will be recorded.";
constexpr char InfoDispRecordedValues[] = " Displays how many values are already recorded.";
constexpr char InfoDispRemaining[] = " Displays how many values remain to be recorded.";
constexpr char InfoStartRecord[] = " Start data record.";
constexpr char InfoStopRecord[] = " Stop data record.";
constexpr char InfoButtonManualRecord[] = " Record one frame manually \n and append to existing file. ";

void StopRecording() {
    vexa.poll = 0;
}

void StartIntervalRecording() {
    SetButtonsDimmed(1);
    InitPanelGraph();
    Record();
    SetButtonsDimmed(0);
}

// The button stays dimmed while its own row is written.
void RecordOneRow() {
    SetCtrlAttribute(vexa.recpanel, "ButtonManualRecord", ATTR_DIMMED, 1);
    RecordManually();
    SetCtrlAttribute(vexa.recpanel, "ButtonManualRecord", ATTR_DIMMED, 0);
}

// Auto-send is for triggered recording only; leaving the panel switches it off.
int CBF_RECP(int, int, int event, void *, int, int) {
    if (event == EVENT_CLOSE) StopAutoSend();
    return 0;
}

int CBF_ButtonSelRecFile(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonSelRecFile, SelRecFile);
}

int CBF_EditSelectDataRec(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditSelectDataRec, ChangeRecordMode);
}

int CBF_EditInterval(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditInterval, CalcRecTime);
}

int CBF_EditRecVal(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditRecVal, CalcRecTime);
}

int CBF_ButtonStartRecord(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoStartRecord, StartIntervalRecording);
}

int CBF_ButtonStopRecord(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoStopRecord, StopRecording);
}

int CBF_ButtonStartTrigRec(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoStartRecord, StartTriggeredRecording);
}

int CBF_ButtonStopTrigRec(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoStopRecord, StopRecording);
}

int CBF_ButtonManualRecord(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonManualRecord, RecordOneRow);
}

} // namespace

void RegisterRecorderCallbacks() {
    const NamedCallback callbacks[] = {
        {"CBF_RECP", CBF_RECP},
        {"CBF_ButtonSelRecFile", CBF_ButtonSelRecFile},
        {"CBF_DispRecFile", HelpOnly<kInfoTitle, InfoDispRecFile>},
        {"CBF_EditSelectDataRec", CBF_EditSelectDataRec},
        {"CBF_EditInterval", CBF_EditInterval},
        {"CBF_EditRecVal", CBF_EditRecVal},
        {"CBF_DispRecordTime", HelpOnly<kInfoTitle, InfoDispRecordTime>},
        {"CBF_DispRecordedValues", HelpOnly<kInfoTitle, InfoDispRecordedValues>},
        {"CBF_DispRemaining", HelpOnly<kInfoTitle, InfoDispRemaining>},
        {"CBF_ButtonStartRecord", CBF_ButtonStartRecord},
        {"CBF_ButtonStopRecord", CBF_ButtonStopRecord},
        {"CBF_ButtonStartTrigRec", CBF_ButtonStartTrigRec},
        {"CBF_ButtonStopTrigRec", CBF_ButtonStopTrigRec},
        {"CBF_ButtonManualRecord", CBF_ButtonManualRecord},
    };
    RegisterAll(callbacks);
}
