#include "vexa/startup.h"

#include "branding/logo.h"
#include "link/com232.h"
#include "link/connectpanel.h"
#include "link/linkstate.h"
#include "link/servercombo.h"
#include "platform/programicon.h"
#include "platform/userint.h"
#include "runtime/utility.h"
#include "vexa/dimming.h"
#include "vexa/graphpanel.h"
#include "vexa/gui.h"
#include "vexa/livedata.h"
#include "vexa/parapanel.h"
#include "vexa/paratransfer.h"
#include "vexa/paravars.h"
#include "vexa/program.h"
#include "vexa/recorder.h"
#include "vexa/sensorlink.h"
#include "vexa/setstate.h"

using vexalink::kAnzPara;
using vexalink::kTeachRows;
using vexalink::ParaState;

using namespace runtime;
using namespace branding;
using namespace programlink;

namespace vexaprogram {

VexaState vexa;
ParaState para;

namespace {

constexpr int kChildTop = 119, kChildLeft = 8; // connection, parameters, teach table, recorder
constexpr int kDataTop = 63, kDataLeft = 288;  // data and graph panels
constexpr int kUnselected = MakeColor(224, 224, 224);
constexpr int kSelected = MakeColor(192, 192, 192);
constexpr int kVexaTitleLeft0 = 280;
constexpr int kVexaLastBrand = 12;

// A child panel in the shared place and the navigation button that marks it.
struct ChildPanel {
    int number;
    const char *button;
    int VexaState::*handle;
};
constexpr ChildPanel kChildPanels[] = {
    {1, "ButtonConnect", &VexaState::interfacepanel},
    {2, "ButtonPara", &VexaState::parapanel},
    {3, "ButtonTeachTable", &VexaState::ttpanel},
    {5, "ButtonRecorder", &VexaState::recpanel},
};

// The children of the main panel in load order, with their places.
struct ChildLoad {
    int VexaState::*handle;
    int resource;
    int top, left;
};
constexpr ChildLoad kChildLoads[] = {
    {&VexaState::parapanel, PARAP, kChildTop, kChildLeft},
    {&VexaState::ttpanel, TTP, kChildTop, kChildLeft},
    {&VexaState::datapanel, DATAP, kDataTop, kDataLeft},
    {&VexaState::interfacepanel, INTERFACEP, kChildTop, kChildLeft},
    {&VexaState::recpanel, RECP, kChildTop, kChildLeft},
    {&VexaState::graphpanel, GRAPHP, kDataTop, kDataLeft},
};

bool LoadAllPanels() {
    if ((vexa.mainpanel = LoadPanel(0, kVexaUir, MAINP)) < 0) return false;
    for (const ChildLoad &c : kChildLoads)
        if ((vexa.*c.handle = LoadPanel(vexa.mainpanel, kVexaUir, c.resource)) < 0) return false;
    return (vexa.colbigpanel = LoadPanel(0, kVexaUir, COLBIGP)) >= 0;
}

void DiscardAllPanels() {
    if (vexa.mainpanel > 0) DiscardPanel(vexa.mainpanel);
    if (vexa.colbigpanel > 0) DiscardPanel(vexa.colbigpanel);
    vexa.mainpanel = vexa.colbigpanel = 0;
}

// After the version answer the sensor's set is read; only a complete read passes the test.
bool ReadSetAfterVersion() {
    GetPara();
    return LinkSensor().echoOk();
}

void ShowConnectPanel() {
    ShowChildPanel(1);
}
void ShowParameterPanel() {
    ShowChildPanel(2);
}

// Where VexaV32 differs from KelvraV12 in the shared link.
void SetUpLink() {
    SetUpParameterLink();
    linkProgram.mainpanel = vexa.mainpanel;
    linkProgram.statusPanel = vexa.datapanel;
    linkProgram.interfacepanel = vexa.interfacepanel;
    linkProgram.errorsToConnectPanel = true;
    linkProgram.poll = &vexa.poll;
    linkProgram.afterVersion = ReadSetAfterVersion;
    linkProgram.showConnectPanel = ShowConnectPanel;
    linkProgram.leaveConnectPanel = ShowParameterPanel;
    linkProgram.setButtonsDimmed = SetButtonsDimmed;
}

} // namespace

int StartVexa() {
    SetProgramIcon(kVexaProgram);
    RegisterVexaCallbacks();
    RegisterLinkCallbacks();
    if (!LoadAllPanels()) {
        DiscardAllPanels();
        return -1;
    }
    for (const ChildLoad &c : kChildLoads)
        SetPanelPos(vexa.*c.handle, c.top, c.left);
    SetUpLink();
    SetHelpTooltips(VexaHelpTexts());
    ShowChildPanel(2);
    DisplayPanel(vexa.datapanel);
    DisplayPanel(vexa.mainpanel);
    InitAll();
    return 0;
}

void EndVexa() {
    // The run-time would close the link at exit; a test run goes on, so close it here.
    LinkSensor().close();
    com.tcpcon = 0;
    DiscardAllPanels();
}

void ResetVexa() {
    vexa = VexaState{};
    para = ParaState{};
    live = LiveState{};
    gp = GraphPanelState{};
    rec = RecorderState{};
    setState = SetState{};
    ResetLinkState();
    linkProgram = LinkProgram{};
    brandProgram = BrandProgram{};
}

void InitAll() {
    vexa.anzpara = kAnzPara;
    vexa.anzVec = kTeachRows;
    vexa.anzOut = 5;
    vexa.target = RAM;
    vexa.poll = 0;
    com.tcpcon = 0;
    GetProjectDir(vexa.proj_dir);
    SetLinkFileNames(GetSettingsDir(vexa.proj_dir, kVexaProgram));
    // The help texts name the settings files, so they follow the folder.
    SetHelpTooltips(LinkHelpTexts());
    SetCtrlVal(vexa.datapanel, kDispStatus, "InitVars");
    DispVis();
    brandProgram = {vexa.mainpanel, kVexaTitle, kVexaTitleLeft0, kVexaLastBrand};
    ShowLogo(kVexaBrand);
    GetPanelValues();
    NoteStartValues();
    FillComPortSelector();
    InitServerComboBox();
    GetConnectionSettingsFromFile();
    LoadRecordFormat();
    InitConnectPanel();
    SetButtonsDimmed(1);
    TryToConnect();
    SetButtonsDimmed(0);
    ShowSetState();
}

void ShowChildPanel(int n) {
    for (const ChildPanel &c : kChildPanels) {
        SetCtrlAttribute(vexa.mainpanel, c.button, ATTR_CTRL_COLOR, kUnselected);
        HidePanel(vexa.*c.handle);
    }
    for (const ChildPanel &c : kChildPanels) {
        if (c.number != n) continue;
        SetCtrlAttribute(vexa.mainpanel, c.button, ATTR_CTRL_COLOR, kSelected);
        // Accept is released again only by a successful connection test.
        if (n == 1) SetCtrlAttribute(vexa.interfacepanel, "ButtonAccept", ATTR_DIMMED, 1);
        DisplayPanel(vexa.*c.handle);
    }
}

} // namespace vexaprogram
