#include "link/connectpanel.h"

#include "link/com232.h"
#include "link/combobox.h"
#include "link/comsettings.h"
#include "link/linkstate.h"
#include "link/serverlist.h"
#include "platform/rs232.h"
#include "platform/userint.h"

#include <string>

namespace {

int InterfacePanel() {
    return linkProgram.interfacepanel;
}

// Right-click help, titled "INFO!"; the texts begin with a blank.
const HelpText kLinkHelp[] = {
    {&linkProgram.mainpanel, "ButtonConnect", " Open a panel to select an interface protocol."},
    {&linkProgram.interfacepanel, "EditCommunicationProtocol", " Select RS232 or TCP/IP Interface. "},
    {&linkProgram.interfacepanel, "EditSelectComPort", " Select a serial COM-PORT."},
    {&linkProgram.interfacepanel, "StringIpAdress", " Select a Server by name or IP address.", "INFO!",
     &com.ipComboBoxFileName},
    {&linkProgram.interfacepanel, "StringPortNumber", " Select a port number."},
    {&linkProgram.interfacepanel, "ButtonTryToConnect", " Try to connect sensor."},
    {&linkProgram.interfacepanel, "ButtonAccept", " Accept settings and return to main panel.", "INFO!",
     &com.conSettingsFileName},
    {&linkProgram.interfacepanel, "ButtonDiscard", " Return to main panel with old settings."},
};

void ShowHelp(int panel, int control, int event) {
    if (event == EVENT_RIGHT_CLICK) ShowHelpText(kLinkHelp, panel, control);
}

void DimAccept() {
    SetCtrlAttribute(InterfacePanel(), "ButtonAccept", ATTR_DIMMED, 1);
}

void SetVisible(const char *roleName, int visible) {
    SetCtrlAttribute(InterfacePanel(), roleName, ATTR_VISIBLE, visible);
}

// The whole server combo box, or the plain field before it is made.
void SetServerFieldVisible(int visible) {
    if (com.ipCombo > 0)
        Combo_SetComboAttribute(InterfacePanel(), com.ipCombo, COMBO_ATTR_VISIBLE, visible);
    else
        SetVisible("StringIpAdress", visible);
    SetVisible("LabelIpAdress", visible);
}

void ShowConnectPanel() {
    if (linkProgram.showConnectPanel)
        linkProgram.showConnectPanel();
    else
        DisplayPanel(InterfacePanel());
}

// The settings in force when the panel is opened, for ButtonDiscard.
void TakeOldSettings() {
    const int panel = InterfacePanel();
    GetCtrlVal(panel, "EditCommunicationProtocol", com.comprotocolold);
    GetCtrlVal(panel, "EditSelectComPort", com.comportold);
    GetCtrlVal(panel, "StringIpAdress", com.ipBufOld);
    GetCtrlVal(panel, "StringPortNumber", com.portNumStrOld);
}

void RestoreOldSettings() {
    const int panel = InterfacePanel();
    SetCtrlVal(panel, "EditCommunicationProtocol", static_cast<int>(com.comprotocolold));
    SetCtrlVal(panel, "EditSelectComPort", static_cast<int>(com.comportold));
    SetCtrlVal(panel, "StringIpAdress", com.ipBufOld);
    SetCtrlVal(panel, "StringPortNumber", com.portNumStrOld);
}

void ReadPanelSettings() {
    const int panel = InterfacePanel();
    GetCtrlVal(panel, "EditCommunicationProtocol", com.comprotocol);
    GetCtrlVal(panel, "EditSelectComPort", com.comport);
    GetCtrlVal(panel, "StringIpAdress", com.ipBuf);
    GetCtrlVal(panel, "StringPortNumber", com.portNumStr);
}

// Shows the port display for RS-232 or the server display for TCP/IP.
void ShowTransportDisplays(bool tcp) {
    SetCtrlAttribute(linkProgram.statusPanel, kDispComPort, ATTR_VISIBLE, tcp ? 0 : 1);
    SetCtrlAttribute(linkProgram.statusPanel, kDispServer, ATTR_VISIBLE, tcp ? 1 : 0);
}

// Dims the operation buttons around a connection test; a program without
// operation buttons of its own dims just the test button.
void DimForTest(int flag) {
    if (linkProgram.setButtonsDimmed)
        linkProgram.setButtonsDimmed(flag);
    else
        SetCtrlAttribute(InterfacePanel(), "ButtonTryToConnect", ATTR_DIMMED, flag);
}

} // namespace

HelpTable LinkHelpTexts() {
    return kLinkHelp;
}

void RegisterLinkCallbacks() {
    RegisterCallback("CBF_ButtonConnect", CBF_ButtonConnect);
    RegisterCallback("CBF_EditCommunicationProtocol", CBF_EditCommunicationProtocol);
    RegisterCallback("CBF_EditSelectComPort", CBF_EditSelectComPort);
    RegisterCallback("CBF_StringIpAdress", CBF_StringIpAdress);
    RegisterCallback("CBF_StringPortNumber", CBF_StringPortNumber);
    RegisterCallback("CBF_ButtonTryToConnect", CBF_ButtonTryToConnect);
    RegisterCallback("CBF_ButtonAccept", CBF_ButtonAccept);
    RegisterCallback("CBF_ButtonDiscard", CBF_ButtonDiscard);
}

void FillComPortSelector() {
    const int panel = InterfacePanel();
    int port = 1;
    GetCtrlVal(panel, "EditSelectComPort", port);
    DeleteListItem(panel, "EditSelectComPort", 0, -1);
    for (int n = 1; n <= MAX_COM_PORT; ++n)
        InsertListItem(panel, "EditSelectComPort", -1,
                       "COM" + std::to_string(n) + "   " + ComPortDeviceName(n), n);
    SetCtrlVal(panel, "EditSelectComPort", port);
}

void ShowLinkStatus(const char *text) {
    SetCtrlVal(linkProgram.statusPanel, kDispStatus, text);
    SetCtrlVal(InterfacePanel(), kConnectStatus, text);
}

void InitConnectPanel() {
    GetCtrlVal(InterfacePanel(), "EditCommunicationProtocol", com.comprotocol);
    if (com.comprotocol > 1) return;
    const int tcp = com.comprotocol == 1 ? 1 : 0;
    SetVisible("EditSelectComPort", !tcp);
    SetVisible("LabelComPort", !tcp);
    SetServerFieldVisible(tcp);
    SetVisible("StringPortNumber", tcp);
    SetVisible("LabelPortNumber", tcp);
}

void TryToConnect() {
    CloseCom(com.comport);
    ShowLinkStatus("TRY");
    ReadPanelSettings();
    ProcessSystemEvents();
    SetCtrlVal(linkProgram.statusPanel, kDispComPort, static_cast<int>(com.comport));
    SetCtrlVal(linkProgram.statusPanel, kDispServer, com.ipBuf);
    com.portNum = DecimalValue(com.portNumStr);
    if (com.comprotocol == 0) {
        ShowTransportDisplays(false);
        InitRS232();
    } else if (com.comprotocol == 1) {
        ShowTransportDisplays(true);
        InitTCP_IP();
    }
    if (com.ret < 0)
        SetPopupTimeout();
    else
        CheckComLine();
}

void SetPopupTimeout() {
    if (linkProgram.poll) *linkProgram.poll = 0;
    com.comecho = 0;
    ShowLinkStatus("TIMEOUT");
    ShowConnectPanel();
}

int CBF_ButtonConnect(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) {
        if (linkProgram.poll) *linkProgram.poll = 0;
        TakeOldSettings();
        DimAccept();
        ShowConnectPanel();
    }
    ShowHelp(panel, control, event);
    return 0;
}

int CBF_EditCommunicationProtocol(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) {
        InitConnectPanel();
        DimAccept();
    }
    ShowHelp(panel, control, event);
    return 0;
}

int CBF_EditSelectComPort(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) DimAccept();
    ShowHelp(panel, control, event);
    return 0;
}

int CBF_StringIpAdress(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) {
        DimAccept();
        StoreServerName();
    }
    ShowHelp(panel, control, event);
    return 0;
}

int CBF_StringPortNumber(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) DimAccept();
    ShowHelp(panel, control, event);
    return 0;
}

int CBF_ButtonTryToConnect(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) {
        DimForTest(1);
        TryToConnect();
        DimForTest(0);
    }
    ShowHelp(panel, control, event);
    return 0;
}

int CBF_ButtonAccept(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) {
        SaveCommunicationSettings();
        if (linkProgram.leaveConnectPanel)
            linkProgram.leaveConnectPanel();
        else
            HidePanel(InterfacePanel());
    }
    ShowHelp(panel, control, event);
    return 0;
}

int CBF_ButtonDiscard(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) {
        RestoreOldSettings();
        DimAccept();
        InitConnectPanel();
        if (linkProgram.setButtonsDimmed) linkProgram.setButtonsDimmed(1);
        TryToConnect();
        if (linkProgram.setButtonsDimmed) linkProgram.setButtonsDimmed(0);
    }
    ShowHelp(panel, control, event);
    return 0;
}
