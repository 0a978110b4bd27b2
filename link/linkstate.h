// The link's program-wide state (one set per program) and the settings and hooks
// through which each program tells the shared link where it differs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

constexpr int kLinkBufSize = 1024; // szWriteBuf, szReadBuf and the serial input queue
constexpr int kFrameWords = 18;    // anzframe at start-up: 36-byte frames
constexpr int kAnzPara = 202;      // words of VexaV32's parameter record pp
constexpr int kCfSendWords = 600;  // words of KelvraV12's dataCfSendBuf

// Every variable the link shares with the programs, under the names they use.
struct LinkState {
    // Transport and its settings.
    uint16_t comprotocol = 0; // 0 = RS-232, 1 = TCP/IP
    uint16_t comport = 1;
    char comDevice[256] = ""; // a device path that replaces the port number's device; "" = none
    char ipBuf[256] = "";
    char portNumStr[32] = "";
    int32_t portNum = 0;
    uint16_t tcpcon = 0;
    unsigned g_hconversation = 0;
    int16_t ret = 0;
    char szStatus[48] = "";
    char szCause[512] = "";   // what went wrong last, in words, with the device or server
    bool statusStale = false; // "TIMEOUT" is shown; the next good exchange shows the version again

    // Frames and the answer wait.
    char szWriteBuf[kLinkBufSize] = {};
    char szReadBuf[kLinkBufSize] = {};
    uint16_t anzframe = kFrameWords;
    uint16_t sync = 0x0055;
    uint16_t order = 1;
    uint16_t comecho = 0;
    int32_t dataSize = 0;
    int32_t bytesToRead = 0;
    int32_t bytesRead = 0;
    int16_t nBytesW = 0;
    double tstart = 0.0;
    double tdiff = 0.0;
    double answerDeadline = 0.0; // Timer() value at which the TCP wait in progress gives up; 0 = none
    char version[40] = "";       // at most 36 characters
    bool streaming =
        false; // auto-sent frames follow each other: bytes after a complete one are the next one's

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

// How the frame words after the command code are filled (FillTxBuf).
enum class FrameSource {
    ParameterRecord,   // VexaV32: from pp
    CompensationWords, // KelvraV12: block address and dataCfSendBuf words
};

// What each program supplies: its frame images, time-outs, panels and the steps
// that differ between the two programs. Set once at start-up, after the panels
// are loaded.
struct LinkProgram {
    FrameSource frameSource = FrameSource::ParameterRecord;
    uint16_t (*pp)[kAnzPara] = nullptr;
    uint16_t (*databuf)[kFrameWords] = nullptr;
    const uint16_t (*dataCfSendBuf)[kCfSendWords] = nullptr;

    double echoTimeout = 3.0; // CheckEcho's answer wait in seconds
    int mainpanel = 0;        // panel with ButtonConnect
    int statusPanel = 0;      // panel with DispStatus and the port and server displays
    int interfacepanel = 0;   // the connection panel

    bool tcpErrorPopup = false;        // a failed connect is shown in a "TCP Client" popup
    bool errorsToConnectPanel = false; // transport errors also go to the connection panel's status field
    bool eventsWhileReading = false;   // the TCP data-ready loop lets user-interface events run

    uint16_t *poll = nullptr; // the program's stop flag, cleared by InitRS232 and SetPopupTimeout

    void (*stopAutoSend)() = nullptr;        // runs before the version query
    bool (*afterVersion)() = nullptr;        // hand-over after the version answer; true = test passed
    void (*showConnectPanel)() = nullptr;    // brings up the connection panel; none = display it
    void (*leaveConnectPanel)() = nullptr;   // after the settings were accepted; none = hide it
    void (*setButtonsDimmed)(int) = nullptr; // around connection tests; none = dim only the test button
};

// How the link shows what happens to the person at the program. The connection
// panel fills these in (RegisterLinkCallbacks); a program without windows leaves
// them empty and reads the outcome from com (szStatus, szCause, comecho, version).
struct LinkReport {
    void (*transportError)(bool tcp) = nullptr; // a port or server could not be opened: szStatus
    void (*waitCursor)(int on) = nullptr;       // around a TCP connect
    void (*serverClosed)() = nullptr;           // the server closed the connection
    void (*timeout)() = nullptr;                // an exchange failed: "TIMEOUT" and szCause
    void (*statusAgain)() = nullptr;            // a good exchange after a failure
    void (*versionAnswered)() = nullptr;        // the version query was answered: version
    void (*testPassed)() = nullptr;             // and the program took the sensor
};

extern LinkState com;
extern LinkProgram linkProgram;
extern LinkReport linkReport;

// Returns every link variable to its start value; closes nothing.
void ResetLinkState();

// Copies text into a fixed buffer, cut to fit and always zero-terminated.
template <std::size_t N> void CopyText(char (&dest)[N], const std::string &src) {
    std::size_t n = src.find('\0');
    if (n == std::string::npos) n = src.size();
    if (n > N - 1) n = N - 1;
    src.copy(dest, n);
    dest[n] = '\0';
}

// Plain decimal conversion: optional blanks and sign, then the leading digits;
// no digits gives 0. Saturates instead of overflowing.
int32_t DecimalValue(const std::string &text);

// Where the link goes, for messages: the serial device, or server:port.
std::string LinkPlace();
