// Callbacks of the main panel and of the panels themselves.
#include "link/connectpanel.h"
#include "platform/userint.h"
#include "runtime/utility.h"
#include "vexa/compare.h"
#include "vexa/dimming.h"
#include "vexa/gui.h"
#include "vexa/livedata.h"
#include "vexa/parafile.h"
#include "vexa/paratransfer.h"
#include "vexa/program.h"
#include "vexa/recorder.h"
#include "vexa/setstate.h"
#include "vexa/startup.h"

using namespace runtime;

namespace vexaprogram {
namespace {

constexpr double kSendPause = 0.5; // after every Send, so the sensor can settle

void ShowParameters() {
    ShowChildPanel(2);
}
void ShowTeachTable() {
    ShowChildPanel(3);
}
void ShowRecorder() {
    InitRecordPanel();
    int mode = 0;
    GetCtrlVal(vexa.recpanel, "EditSelectDataRec", mode);
    if (mode == 0) CalcRecTime();
    ShowChildPanel(5);
}

// Lets events run for the given seconds.
void PauseWithEvents(double seconds) {
    const double start = Timer();
    double tdiff = 0.0;
    while (seconds > tdiff) {
        WaitForSystemEvents(seconds - tdiff);
        tdiff = Timer() - start;
    }
}

void Send() {
    SetButtonsDimmed(1);
    if (vexa.target == DATFILE)
        SendParaToFile();
    else
        SendPara();
    PauseWithEvents(kSendPause);
    SetButtonsDimmed(0);
}

void Get() {
    SetButtonsDimmed(1);
    if (vexa.target == DATFILE)
        ReadParaFromFile();
    else
        GetPara();
    SetButtonsDimmed(0);
}

void Go() {
    SetButtonsDimmed(1);
    GetData();
    SetButtonsDimmed(0);
}

void Stop() {
    vexa.poll = 0;
}

// The sensor's identification goes to the displays that show it; it is kept nowhere else.
void CopySensorId() {
    char id[100];
    GetCtrlVal(vexa.interfacepanel, "EditID", id);
    SetCtrlVal(vexa.colbigpanel, "DispID", id);
    SetCtrlVal(vexa.recpanel, "DispID", id);
}

int CBF_MAINP(int, int, int event, void *, int, int) {
    if (event == EVENT_CLOSE && MayQuit()) {
        vexa.poll = 0;
        QuitUserInterface(0);
    }
    return 0;
}

int CBF_COLBIGP(int, int, int event, void *, int, int) {
    if (event == EVENT_RIGHT_CLICK || event == EVENT_CLOSE) HidePanel(vexa.colbigpanel);
    return 0;
}

int CBF_ButtonPara(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ShowParameters);
}

int CBF_ButtonTeachTable(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ShowTeachTable);
}

int CBF_ButtonRecorder(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, ShowRecorder);
}

int CBF_ButtonSend(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, Send);
}

int CBF_ButtonGet(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, Get);
}

int CBF_ButtonGo(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, Go);
}

int CBF_ButtonStop(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, Stop);
}

int CBF_ButtonCompare(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, CompareSet);
}

int CBF_EditID(int panel, int control, int event, void *, int, int) {
    return CommitOrHelp(panel, control, event, CopySensorId);
}

} // namespace

void RegisterMainCallbacks() {
    const NamedCallback callbacks[] = {
        {"CBF_MAINP", CBF_MAINP},
        {"CBF_COLBIGP", CBF_COLBIGP},
        {"CBF_ButtonPara", CBF_ButtonPara},
        {"CBF_ButtonTeachTable", CBF_ButtonTeachTable},
        {"CBF_ButtonRecorder", CBF_ButtonRecorder},
        {"CBF_ButtonSend", CBF_ButtonSend},
        {"CBF_ButtonGet", CBF_ButtonGet},
        {"CBF_ButtonGo", CBF_ButtonGo},
        {"CBF_ButtonStop", CBF_ButtonStop},
        {"CBF_EditID", CBF_EditID},
        {"CBF_ButtonCompare", CBF_ButtonCompare},
        {"CBF_DispParaState", HelpOnly},
        {"CBF_DispTeachState", HelpOnly},
    };
    RegisterAll(callbacks);
}

} // namespace vexaprogram
