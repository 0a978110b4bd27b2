#include "link/connectpanel.h"

#include "link/com232.h"
#include "link/combobox.h"
#include "link/linkstate.h"
#include "link/servercombo.h"
#include "linksettings/comsettings.h"
#include "linksettings/portchoices.h"
#include "platform/userint.h"
#include "runtime/formatio.h"
#include "runtime/serialports.h"

#include <string>
#include <vector>

using namespace linksettings;
using namespace runtime;

namespace programlink {
namespace {

constexpr const char *kPortSelector = "EditSelectComPort";
constexpr const char *kDeviceField = "StringComDevice";
constexpr const char *kTraceSwitch = "CheckLinkTrace";

// What the port selector was last filled from, to turn its values back into devices.
std::vector<SerialDeviceInfo> presentDevices;
std::vector<PortChoice> portChoices;

int InterfacePanel() {
    return linkProgram.interfacepanel;
}

// Right-click help, titled "INFO!"; the texts begin with a blank.
const HelpText kLinkHelp[] = {
    {&linkProgram.mainpanel, "ButtonConnect", " Open a panel to select an interface protocol."},
    {&linkProgram.interfacepanel, "EditCommunicationProtocol", " Select RS232 or TCP/IP Interface. "},
    {&linkProgram.interfacepanel, "EditSelectComPort", " Select a serial COM-PORT."},
    {&linkProgram.interfacepanel, "StringComDevice",
     " The device the serial port opens. Type any device path here,\n e.g. /dev/ttyAMA0 or a "
     "pseudo-terminal."},
    {&linkProgram.interfacepanel, "CheckLinkTrace",
     " Write every frame to and from the sensor, with time stamps,\n into a file of your choice, for "
     "service."},
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

// Each time the panel opens: the devices present now, and the trace switch.
void RefreshConnectPanel() {
    FillComPortSelector();
    SetCtrlVal(InterfacePanel(), kTraceSwitch, LinkTrace().on() ? 1 : 0);
}

void ShowConnectPanel() {
    RefreshConnectPanel();
    if (linkProgram.showConnectPanel)
        linkProgram.showConnectPanel();
    else
        DisplayPanel(InterfacePanel());
}

// The panel's port selector and device field as the port to open.
PortSelection PanelPortSelection() {
    int value = 1;
    std::string field;
    GetCtrlVal(InterfacePanel(), kPortSelector, value);
    GetCtrlVal(InterfacePanel(), kDeviceField, field);
    return SelectionOf(portChoices, presentDevices, value, field, com.comport);
}

// Reads the panel's settings into one set of link variables.
void ReadPanelInto(uint16_t &protocol, uint16_t &port, char (&device)[256], char (&server)[256],
                   char (&portNumber)[32]) {
    const int panel = InterfacePanel();
    GetCtrlVal(panel, "EditCommunicationProtocol", protocol);
    const PortSelection selection = PanelPortSelection();
    port = static_cast<uint16_t>(selection.comport);
    CopyText(device, selection.comDevice);
    GetCtrlVal(panel, "StringIpAdress", server);
    GetCtrlVal(panel, "StringPortNumber", portNumber);
}

// The settings in force when the panel is opened, for ButtonDiscard.
void TakeOldSettings() {
    ReadPanelInto(com.comprotocolold, com.comportold, com.comDeviceOld, com.ipBufOld, com.portNumStrOld);
}

void RestoreOldSettings() {
    const int panel = InterfacePanel();
    SetCtrlVal(panel, "EditCommunicationProtocol", static_cast<int>(com.comprotocolold));
    ShowPortSelection(com.comportold, com.comDeviceOld);
    SetCtrlVal(panel, "StringIpAdress", com.ipBufOld);
    SetCtrlVal(panel, "StringPortNumber", com.portNumStrOld);
}

// The link display names what is really opened: the server with its port (two
// programs on two ports of one server differ there), or the serial device itself
// (a port number says nothing of a typed path or a USB adapter).
void ShowTransportDisplays() {
    SetCtrlVal(linkProgram.statusPanel, kDispServer, LinkPlace());
    SetCtrlAttribute(linkProgram.statusPanel, kDispComPort, ATTR_VISIBLE, 0);
    SetCtrlAttribute(linkProgram.statusPanel, kDispServer, ATTR_VISIBLE, 1);
}

// Dims the operation buttons around a connection test; a program without
// operation buttons of its own dims just the test button.
void DimForTest(int flag) {
    if (linkProgram.setButtonsDimmed)
        linkProgram.setButtonsDimmed(flag);
    else
        SetCtrlAttribute(InterfacePanel(), "ButtonTryToConnect", ATTR_DIMMED, flag);
}

// Shows szStatus where the program wants a transport error.
void ShowTransportError(bool tcp) {
    if (tcp && linkProgram.tcpErrorPopup) {
        MessagePopup("TCP Client", com.szCause);
        return;
    }
    SetCtrlVal(linkProgram.statusPanel, kDispStatus, com.szStatus);
    if (linkProgram.errorsToConnectPanel) SetCtrlVal(InterfacePanel(), kConnectStatus, com.szStatus);
}

void ShowServerClosed() {
    MessagePopup("TCP Client", "Server has closed connection!");
}

void ShowTimeout() {
    ShowLinkStatus("TIMEOUT");
    ShowLinkCause(com.szCause);
    ShowConnectPanel();
}

void ShowStatusAgain() {
    ShowLinkStatus(LinkSensor().version().c_str());
    ShowLinkCause("");
}

void ShowVersion() {
    ShowLinkStatus(LinkSensor().version().c_str());
}

void UndimAccept() {
    SetCtrlAttribute(InterfacePanel(), "ButtonAccept", ATTR_DIMMED, 0);
}

} // namespace

HelpTable LinkHelpTexts() {
    return kLinkHelp;
}

void RegisterLinkCallbacks() {
    RegisterCallback("CBF_ButtonConnect", CBF_ButtonConnect);
    RegisterCallback("CBF_EditCommunicationProtocol", CBF_EditCommunicationProtocol);
    RegisterCallback("CBF_EditSelectComPort", CBF_EditSelectComPort);
    RegisterCallback("CBF_StringComDevice", CBF_StringComDevice);
    RegisterCallback("CBF_CheckLinkTrace", CBF_CheckLinkTrace);
    RegisterCallback("CBF_StringIpAdress", CBF_StringIpAdress);
    RegisterCallback("CBF_StringPortNumber", CBF_StringPortNumber);
    RegisterCallback("CBF_ButtonTryToConnect", CBF_ButtonTryToConnect);
    RegisterCallback("CBF_ButtonAccept", CBF_ButtonAccept);
    RegisterCallback("CBF_ButtonDiscard", CBF_ButtonDiscard);
    linkReport.transportError = ShowTransportError;
    linkReport.waitCursor = [](int on) { SetWaitCursor(on); };
    linkReport.serverClosed = ShowServerClosed;
    linkReport.timeout = ShowTimeout;
    linkReport.statusAgain = ShowStatusAgain;
    linkReport.versionAnswered = ShowVersion;
    linkReport.testPassed = UndimAccept;
    Combo_ResetCompletionSwitch();
}

void FillComPortSelector() {
    const PortSelection port = PanelPortSelection();
    presentDevices = ListSerialDevices();
    ShowPortSelection(static_cast<uint16_t>(port.comport), port.comDevice.c_str());
}

void ShowPortSelection(uint16_t comport, const char *comDevice) {
    const PortSelection port{comport, comDevice};
    const int panel = InterfacePanel();
    portChoices = PortChoices(presentDevices, port);
    DeleteListItem(panel, kPortSelector, 0, -1);
    for (const PortChoice &c : portChoices)
        InsertListItem(panel, kPortSelector, -1, c.label, c.value);
    SetCtrlVal(panel, kPortSelector, ChoiceValue(portChoices, port));
    SetCtrlVal(panel, kDeviceField, port.comDevice.empty() ? ComPortDeviceName(comport) : port.comDevice);
}

void ReadPanelSettings() {
    ReadPanelInto(com.comprotocol, com.comport, com.comDevice, com.ipBuf, com.portNumStr);
}

void GetConnectionSettingsFromFile() {
    long size = 0;
    if (GetFileInfo(com.conSettingsFileName, size) < 1 || !ReadComSettings(com.conSettingsFileName)) {
        com.comprotocol = 0;
        com.comport = 1;
        return;
    }
    const int panel = linkProgram.interfacepanel;
    SetCtrlVal(panel, "EditCommunicationProtocol", static_cast<int>(com.comprotocol));
    ShowPortSelection(com.comport, com.comDevice);
    SetCtrlVal(panel, "StringIpAdress", com.ipBuf);
    SetCtrlVal(panel, "StringPortNumber", com.portNumStr);
}

void SaveCommunicationSettings() {
    ReadPanelSettings();
    if (!WriteComSettings(com.conSettingsFileName))
        MessagePopup("Connection settings", "The connection settings could not be stored in\n" +
                                                com.conSettingsFileName +
                                                "\nThey stay in force until the program ends.");
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
    SetVisible(kDeviceField, !tcp);
    SetVisible("LabelComDevice", !tcp);
    SetServerFieldVisible(tcp);
    SetVisible("StringPortNumber", tcp);
    SetVisible("LabelPortNumber", tcp);
}

void TryToConnect() {
    LinkSensor().close();
    com.szCause[0] = '\0';
    com.statusStale = false;
    ShowLinkStatus("TRY");
    ShowLinkCause("");
    ReadPanelSettings();
    ProcessSystemEvents();
    SetCtrlVal(linkProgram.statusPanel, kDispComPort, static_cast<int>(com.comport));
    SetCtrlVal(linkProgram.statusPanel, kDispServer, com.ipBuf);
    com.portNum = DecimalValue(com.portNumStr);
    if (com.comprotocol == 0) {
        ShowTransportDisplays();
        InitRS232();
    } else if (com.comprotocol == 1) {
        ShowTransportDisplays();
        InitTCP_IP();
    }
    if (com.ret < 0) {
        SetPopupTimeout();
        return;
    }
    // A lock file left behind by a program that ended without removing it was taken over.
    if (!LinkSensor().openResult().note.empty()) ShowLinkCause(LinkSensor().openResult().note.c_str());
    CheckComLine();
}

void ShowLinkCause(const char *text) {
    SetCtrlVal(InterfacePanel(), kConnectCause, text);
    // The status display's own tooltip (its help text) stays, with the cause below it.
    static int tooltipPanel = 0;
    static std::string helpTooltip;
    if (tooltipPanel != linkProgram.statusPanel) {
        tooltipPanel = linkProgram.statusPanel;
        helpTooltip.clear();
        GetCtrlAttribute(tooltipPanel, kDispStatus, ATTR_TOOLTIP_TEXT, helpTooltip);
    }
    const std::string cause = text;
    const std::string gap = helpTooltip.empty() || cause.empty() ? "" : "\n";
    SetCtrlAttribute(tooltipPanel, kDispStatus, ATTR_TOOLTIP_TEXT, helpTooltip + gap + cause);
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
    if (event == EVENT_COMMIT) {
        DimAccept();
        int value = 1;
        GetCtrlVal(panel, kPortSelector, value);
        for (const PortChoice &c : portChoices)
            if (c.value == value && value != kOtherDeviceValue) SetCtrlVal(panel, kDeviceField, c.device);
        if (value == kOtherDeviceValue) SetActiveCtrl(panel, kDeviceField);
    }
    ShowHelp(panel, control, event);
    return 0;
}

int CBF_StringComDevice(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) {
        DimAccept();
        std::string field;
        GetCtrlVal(panel, kDeviceField, field);
        const PortSelection port =
            SelectionOf(portChoices, presentDevices, kOtherDeviceValue, field, com.comport);
        ShowPortSelection(static_cast<uint16_t>(port.comport), port.comDevice.c_str());
    }
    ShowHelp(panel, control, event);
    return 0;
}

int CBF_CheckLinkTrace(int panel, int control, int event, void *, int, int) {
    if (event == EVENT_COMMIT) {
        int on = 0;
        GetCtrlVal(panel, kTraceSwitch, on);
        std::string path;
        if (!on) {
            LinkTrace().stop();
        } else if (FileSelectPopup(com.settingsDir, "linktrace.txt", "*.txt", "Link trace file",
                                   VAL_SAVE_BUTTON, 0, 0, 1, 1, path) <= 0) {
            SetCtrlVal(panel, kTraceSwitch, 0);
        } else if (const std::string error = LinkTrace().start(path); !error.empty()) {
            SetCtrlVal(panel, kTraceSwitch, 0);
            MessagePopup("Link trace", error);
        }
    }
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

} // namespace programlink
