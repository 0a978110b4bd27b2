// The program's link: its one sensor, the settings and status texts of the
// connection panel under the names the programs use, and the settings and hooks
// through which each program tells the shared link where it differs.
#pragma once

#include "sensor/sensor.h"
#include "sensor/trace.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace programlink {

// The connection settings in force, the status texts and the connection panel's
// remembered settings.
struct LinkState {
    // Transport and its settings.
    uint16_t comprotocol = 0; // 0 = RS-232, 1 = TCP/IP
    uint16_t comport = 1;
    char comDevice[256] = ""; // a device path that replaces the port number's device; "" = none
    char ipBuf[256] = "";
    char portNumStr[32] = "";
    int32_t portNum = 0;
    uint16_t tcpcon = 0;
    int16_t ret = 0;
    char szStatus[48] = "";
    char szCause[512] = "";   // what went wrong last, in words, with the device or server
    bool statusStale = false; // "TIMEOUT" is shown; the next good exchange shows the version again
    bool linkLost = false;    // the server closed the connection or the device went away since it opened

    // Connection panel: settings in force when it was opened, file paths, combo box.
    uint16_t comprotocolold = 0;
    uint16_t comportold = 0;
    char comDeviceOld[256] = "";
    char ipBufOld[256] = "";
    char portNumStrOld[32] = "";
    std::string settingsDir; // the folder of the two files, where file dialogs start
    std::string conSettingsFileName;
    std::string ipComboBoxFileName;
    int ipCombo = 0; // control id of the server-name combo box, 0 before it is made
};

// What each program supplies: its frames, time-outs, panels and the steps that
// differ between the two programs. Set once at start-up, after the panels are loaded.
struct LinkProgram {
    sensor::FrameSource *frames = nullptr; // fills the words of FillTxBuf
    double echoTimeout = sensor::kAnswerTimeout;
    int mainpanel = 0;      // panel with ButtonConnect
    int statusPanel = 0;    // panel with DispStatus and the port and server displays
    int interfacepanel = 0; // the connection panel

    bool tcpErrorPopup = false;        // a failed connect is shown in a "TCP Client" popup
    bool errorsToConnectPanel = false; // transport errors also go to the connection panel's status field

    uint16_t *poll = nullptr; // the program's stop flag, cleared by InitRS232 and SetPopupTimeout

    void (*stopAutoSend)() = nullptr;        // runs before the version query
    bool (*afterVersion)() = nullptr;        // hand-over after the version answer; true = test passed
    void (*showConnectPanel)() = nullptr;    // brings up the connection panel; none = display it
    void (*leaveConnectPanel)() = nullptr;   // after the settings were accepted; none = hide it
    void (*setButtonsDimmed)(int) = nullptr; // around connection tests; none = dim only the test button
};

// How the link shows what happens to the person at the program; the connection
// panel fills these in (RegisterLinkCallbacks).
struct LinkReport {
    void (*transportError)(bool tcp) = nullptr; // a port or server could not be opened: szStatus
    void (*waitCursor)(int on) = nullptr;       // around a TCP connect
    void (*serverClosed)() = nullptr;           // the server closed the connection
    void (*timeout)() = nullptr;                // an exchange failed: "TIMEOUT" and szCause
    void (*statusAgain)() = nullptr;            // a good exchange after a failure
    void (*versionAnswered)() = nullptr;        // the version query was answered
    void (*testPassed)() = nullptr;             // and the program took the sensor
};

extern LinkState com;
extern LinkProgram linkProgram;
extern LinkReport linkReport;

// The program's one sensor: its transport, frame image and exchange state.
sensor::Sensor &LinkSensor();
// The program's link trace (off unless started).
sensor::Trace &LinkTrace();

// Starts the program's link trace when the command line asks for one with
// --trace FILE (or --trace=FILE); "" when all is well, else what is wrong.
std::string StartLinkTraceFromArguments(int argc, const char *const *argv);

// Returns every link variable to its start value and closes the sensor's transport.
void ResetLinkState();

// Builds the paths of ComSettings.cfg and IPComboBox.cfg in the program directory.
void SetLinkFileNames(const std::string &projDir);
// Reads a settings file into comprotocol, comport, ipBuf, portNumStr and
// comDevice. False when the file cannot be opened (nothing is changed then).
bool ReadComSettings(const std::string &path);
// Writes those settings to a settings file. False when it could not be written.
bool WriteComSettings(const std::string &path);

// Copies text into a fixed buffer, cut to fit and always zero-terminated.
template <std::size_t N> void CopyText(char (&dest)[N], const std::string &src) {
    std::size_t n = src.find('\0');
    if (n == std::string::npos) n = src.size();
    if (n > N - 1) n = N - 1;
    src.copy(dest, n);
    dest[n] = '\0';
}

// Where the settings in force lead: the serial device (the typed path or the
// port number's device), or server:port.
sensor::Address LinkAddress();
std::string LinkPlace();

} // namespace programlink
