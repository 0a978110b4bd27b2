// The connection panel: one connection attempt with its settings, the settings
// between the panel and their file, the time-out handler every failed exchange
// ends in, and the panel's callbacks.
//
// Role names the link uses besides those of the connection panel's own controls
// (see ui/ConnectPanelControls.ui.frag): on the program's status panel the status
// display DispStatus, the port display DispComPort (a numeric indicator) and the
// server display DispServer (a text indicator); on the main panel the button
// whose callback is CBF_ButtonConnect.
#pragma once

#include <cstdint>

#include "link/helptext.h"

namespace programlink {

constexpr const char *kDispStatus = "DispStatus";
constexpr const char *kDispComPort = "DispComPort";
constexpr const char *kDispServer = "DispServer";
constexpr const char *kConnectStatus = "DispConnectStatus"; // the connection panel's status field
constexpr const char *kConnectCause = "DispConnectCause";   // beside it: what went wrong, in words

// The help texts of the connection panel's controls and of the main panel's ButtonConnect.
HelpTable LinkHelpTexts();

// Makes the link's callbacks known by name and lets the link report on the
// panels (linkReport); call before loading the panels.
void RegisterLinkCallbacks();
// Looks for the devices present and fills the port selector with them and the
// numbered ports, keeping the port it shows.
void FillComPortSelector();
// Shows a port in the selector and the device field, refilling the selector
// with the devices found last; a stored device that is missing is marked so.
void ShowPortSelection(uint16_t comport, const char *comDevice);
// The connection panel's settings into the link: protocol, port and device,
// server and TCP port.
void ReadPanelSettings();
// At start-up: the stored settings into the link and the connection panel, or
// RS-232 on the first port when there is no settings file.
void GetConnectionSettingsFromFile();
// The connection panel's four settings into the link and into the file; a
// failure to write is reported in a message popup.
void SaveCommunicationSettings();

// Shows text in the status display and in the connection panel's status field.
void ShowLinkStatus(const char *text);
// Shows the cause of a failure beside the status, and as the status display's tooltip.
void ShowLinkCause(const char *text);
// Shows the serial or the TCP settings, as the protocol selector says.
void InitConnectPanel();
// One connection attempt with the settings on the connection panel.
void TryToConnect();

// Main panel: opens the connection panel, remembering the settings in force.
int CBF_ButtonConnect(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
// Protocol selector: shows the chosen transport's controls.
int CBF_EditCommunicationProtocol(int panel, int control, int event, void *callbackData, int eventData1,
                                  int eventData2);
// Port selector: a changed port must be tested again before it can be accepted.
int CBF_EditSelectComPort(int panel, int control, int event, void *callbackData, int eventData1,
                          int eventData2);
// Server field: puts the name at the top of the recent-server list.
int CBF_StringIpAdress(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
// Device field: a typed device path is shown in the selector too.
int CBF_StringComDevice(int panel, int control, int event, void *callbackData, int eventData1,
                        int eventData2);
// Trace switch: starts a link trace into a file the user chooses, or ends it.
int CBF_CheckLinkTrace(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
// TCP port field: a changed port must be tested again before it can be accepted.
int CBF_StringPortNumber(int panel, int control, int event, void *callbackData, int eventData1,
                         int eventData2);
// Runs one connection attempt with the panel's settings.
int CBF_ButtonTryToConnect(int panel, int control, int event, void *callbackData, int eventData1,
                           int eventData2);
// Stores the tested settings and leaves the connection panel.
int CBF_ButtonAccept(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);
// Puts back the settings in force when the panel was opened and reconnects.
int CBF_ButtonDiscard(int panel, int control, int event, void *callbackData, int eventData1, int eventData2);

} // namespace programlink
