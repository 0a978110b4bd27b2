#include "link/errortexts.h"

#include <array>

namespace {

// Indexed by -code - 1 for the codes -1 .. -7.
constexpr std::array<const char *, 7> kRs232Texts = {
    "Unknown system error",
    "Invalid port number",
    "Port is not open",
    "Unknown I/0 error",
    nullptr, // -5 has no text of its own
    "No serial port found",
    "Cannot open port",
};

// Indexed by -code - 1 for the codes -1 .. -20. Three texts end in a blank.
constexpr std::array<const char *, 20> kTcpTexts = {
    "UnableToRegisterService",
    "UnableToEstablishConnection",
    "ExistingServer",
    "FailedToConnect",
    "ServerNotRegistered",
    "TooManyConversations",
    "ReadFailed",
    "WriteFailed",
    "InvalidParameter",
    "OutOfMemory",
    "TimeOutError ",
    "NoConnectionEstablished ",
    "GeneralIOErr",
    "ConnectionClosed",
    "UnableToLoadWinsockDLL",
    "IncorrectWinsockDLLVersion",
    "NetworkSubsystemNotReady ",
    "ConnectionsStillOpen",
    "DisconnectPending",
    "InfoNotAvailable",
};

template <std::size_t N>
const char *Lookup(const std::array<const char *, N> &texts, int code, const char *fallback) {
    if (code >= 0 || code < -static_cast<int>(N)) return fallback;
    const char *text = texts[static_cast<std::size_t>(-code - 1)];
    return text ? text : fallback;
}

} // namespace

const char *Rs232ErrorText(int code) {
    if (code == -99) return "Timeout";
    return Lookup(kRs232Texts, code, "RS-232 error!");
}

const char *TcpErrorText(int code) {
    return Lookup(kTcpTexts, code, "Connection to server failed");
}
