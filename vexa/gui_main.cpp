// Callbacks of the main panel and of the panels themselves.
#include "link/connectpanel.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "vexa/gui.h"
#include "vexa/livedata.h"
#include "vexa/parafile.h"
#include "vexa/paratransfer.h"
#include "vexa/program.h"
#include "vexa/recorder.h"
#include "vexa/startup.h"

namespace {

constexpr double kSendPause = 0.5; // after every Send, so the sensor can settle

constexpr const char *InfoButtonPara = " Switch to sensor parameters.";
constexpr const char *InfoButtonTeachTable = " Switch to color teach table.";
constexpr const char *InfoButtonRecorder = " Switch to data recorder.";
constexpr const char *InfoButtonSend =
    " All the parameters of the PC-User-Interface are transferred to the sensor or to a selectable file. \n"
    " The target of the parameter transfer is determined by the select button (RAM, EEPROM, FILE). \n"
    " Shortcut Key: F9. ";
constexpr const char *InfoButtonGet =
    " Sensor or file parameters are transferred to the PC-User-Interface. \n"
    " The source of the parameter transfer is determined by the select button (RAM, EEPROM, FILE). \n"
    " Shortcut Key: F10. ";
constexpr const char *InfoButtonGo =
    " Starts data transfer (CH_REF, CH_DIR, CH_DIF, NORM, INT, V-No:) from sensor to PC. \n"
    " The data are shown in the displays, bars and in the graph.\n"
    " Shortcut Key: F11. ";
constexpr const char *InfoButtonStop = " Stops data transfer from sensor to PC.\n Shortcut Key: F12. ";

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
        ProcessSystemEvents();
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
    if (event == EVENT_CLOSE) {
        vexa.poll = 0;
        QuitUserInterface(0);
    }
    return 0;
}

int CBF_COLBIGP(int, int, int event, void *, int, int) {
    if (event == EVENT_RIGHT_CLICK || event == EVENT_CLOSE) HidePanel(vexa.colbigpanel);
    return 0;
}

int CBF_ButtonPara(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonPara, ShowParameters);
}

int CBF_ButtonTeachTable(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonTeachTable, ShowTeachTable);
}

int CBF_ButtonRecorder(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonRecorder, ShowRecorder);
}

int CBF_ButtonSend(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonSend, Send);
}

int CBF_ButtonGet(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonGet, Get);
}

int CBF_ButtonGo(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonGo, Go);
}

int CBF_ButtonStop(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoButtonStop, Stop);
}

int CBF_EditID(int, int, int event, void *, int, int) {
    return CommitOrHelp(event, InfoEditID, CopySensorId);
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
    };
    RegisterAll(callbacks);
}
