// Callbacks of the recorder panel.
#include "platform/userint.h"
#include "vexa/dimming.h"
#include "vexa/graphpanel.h"
#include "vexa/gui.h"
#include "vexa/program.h"
#include "vexa/recorder.h"
#include "vexa/sensorlink.h"
#include "vexa/startup.h"

namespace vexaprogram {
namespace {

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

// Auto-send is for triggered recording only: closing the panel switches it off. The
// panel sits in the main window without a frame of its own, so CLOSE closes it.
void CloseRecorder() {
    StopAutoSend();
    ShowChildPanel(2);
}

int CBF_RECP(int, int, int event, void *, int, int) {
    if (event == EVENT_CLOSE) CloseRecorder();
    return 0;
}

int CBF_ButtonCloseRecorder(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, CloseRecorder);
}

int CBF_ButtonSelRecFile(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, SelRecFile);
}

int CBF_EditSelectDataRec(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ChangeRecordMode);
}

int CBF_EditRecFormat(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ChangeRecordFormat);
}

int CBF_EditInterval(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, CalcRecTime);
}

int CBF_EditRecVal(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, CalcRecTime);
}

int CBF_ButtonStartRecord(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, StartIntervalRecording);
}

int CBF_ButtonStopRecord(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, StopRecording);
}

int CBF_ButtonStartTrigRec(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, StartTriggeredRecording);
}

int CBF_ButtonStopTrigRec(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, StopRecording);
}

int CBF_ButtonManualRecord(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, RecordOneRow);
}

} // namespace

void RegisterRecorderCallbacks() {
    const NamedCallback callbacks[] = {
        {"CBF_RECP", CBF_RECP},
        {"CBF_ButtonSelRecFile", CBF_ButtonSelRecFile},
        {"CBF_DispRecFile", HelpOnly},
        {"CBF_EditSelectDataRec", CBF_EditSelectDataRec},
        {"CBF_EditRecFormat", CBF_EditRecFormat},
        {"CBF_EditInterval", CBF_EditInterval},
        {"CBF_EditRecVal", CBF_EditRecVal},
        {"CBF_DispRecordTime", HelpOnly},
        {"CBF_DispRecordedValues", HelpOnly},
        {"CBF_DispRemaining", HelpOnly},
        {"CBF_ButtonStartRecord", CBF_ButtonStartRecord},
        {"CBF_ButtonStopRecord", CBF_ButtonStopRecord},
        {"CBF_ButtonStartTrigRec", CBF_ButtonStartTrigRec},
        {"CBF_ButtonStopTrigRec", CBF_ButtonStopTrigRec},
        {"CBF_ButtonManualRecord", CBF_ButtonManualRecord},
        {"CBF_ButtonCloseRecorder", CBF_ButtonCloseRecorder},
    };
    RegisterAll(callbacks);
}

} // namespace vexaprogram
