#include "sensor/causes.h"

#include "sensor/numbertext.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>

namespace sensor {
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

// Indexed by -code - 1 for the codes -1 .. -20: the names that manuals of the
// programs list, so that a technician finds them there.
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

constexpr int kAnswerBytes = 36;
constexpr int kMaxHexBytes = 48; // of a longer answer only the start is shown

std::string Seconds(double s) {
    return FixedText(s, 1);
}

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

std::string NamedTcpCause(int code, const std::string &cause) {
    std::string name = TcpErrorText(code);
    while (!name.empty() && name.back() == ' ')
        name.pop_back();
    if (cause.empty()) return name;
    std::string words = cause;
    // "Connection refused by ..." continues the name as one sentence.
    if (words.size() > 1 && std::isupper(static_cast<unsigned char>(words[0])) &&
        std::islower(static_cast<unsigned char>(words[1])))
        words[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(words[0])));
    return name + ": " + words;
}

namespace {

std::string SerialOpenCause(const std::string &d, const OpenResult &r) {
    switch (r.failure) {
    case OpenFailure::NoSuchDevice:
        return "No such device: " + d + ". Is the adapter plugged in? Choose a device that the list shows.";
    case OpenFailure::PermissionDenied:
        return "Permission denied on " + d +
               ": your user may not open it. Add it to group dialout (sudo adduser $USER dialout), then log "
               "out and in again.";
    case OpenFailure::Busy:
        if (!r.lockHolder.empty())
            return "Device busy: " + d + " is held by " + r.lockHolder +
                   ". Close that program and try again.";
        return "Device busy: " + d +
               " is in use by another program (a terminal program, a modem manager or a second copy of this "
               "one). Close it and try again.";
    default:
        return "Cannot open " + d + ": " + r.systemText + ".";
    }
}

std::string TcpConnectCause(const Address &a, const OpenResult &r, double timeoutSeconds) {
    const std::string server = a.place();
    switch (r.failure) {
    case OpenFailure::Refused:
        return "Connection refused by " + server +
               ": nothing listens on that port. Check the port number and that the serial server is on.";
    case OpenFailure::HostNotFound:
        return "Host not found: " + server + ". Check the name, or type the server's IP address.";
    case OpenFailure::TimedOut:
        return "No connection to " + server + " within " + Seconds(timeoutSeconds) +
               " s: wrong address, or the server is off or not on this network.";
    default:
        return "No connection to " + server + ": " + r.systemText + ".";
    }
}

} // namespace

std::string OpenCause(const Address &address, const OpenResult &result, double connectTimeoutSeconds) {
    return address.tcp ? TcpConnectCause(address, result, connectTimeoutSeconds)
                       : SerialOpenCause(address.device, result);
}

std::string DeviceLostCause(const std::string &device) {
    return "The device " + device + " stopped working (unplugged?). Plug it in again and try to connect.";
}

std::string ServerClosedCause(const std::string &server) {
    return "The server " + server + " closed the connection. Try to connect again.";
}

std::string AnswerCause(const AnswerCheck &c) {
    const std::string bytes = HexBytes(c.received, std::min({c.shown, c.count, kMaxHexBytes}));
    if (c.count <= 0)
        return "No answer within " + Seconds(c.timeoutSeconds) + " s from " + c.where +
               " (wrong port, wrong cable, sensor off?).";
    if (c.count < kAnswerBytes)
        return "Answer cut short: " + std::to_string(c.count) + " of 36 bytes from " + c.where + " within " +
               Seconds(c.timeoutSeconds) + " s: " + bytes + ".";
    if (c.count > kAnswerBytes)
        return "Answer of wrong length: " + std::to_string(c.count) + " bytes instead of 36 from " + c.where +
               ": " + bytes + (c.count > kMaxHexBytes ? " ..." : ".");
    if (c.echoWords <= 0) return {};
    if (c.received[0] != 0x00 || static_cast<unsigned char>(c.received[1]) != 0xAA)
        return "The answer from " + c.where + " was not the sensor's: it begins " + HexBytes(c.received, 2) +
               " instead of 00 AA: " + bytes + ".";
    const int end = std::clamp(2 * c.echoWords, 2, kAnswerBytes);
    for (int i = 2; i < end; ++i)
        if (c.received[i] != c.sent[i])
            return "Wrong echo from " + c.where + ": byte " + std::to_string(i) + " is " +
                   HexBytes(c.received + i, 1) + " where the command had " + HexBytes(c.sent + i, 1) + ": " +
                   bytes + ".";
    return {};
}

std::string UnwrittenCause(const Address &address, int result) {
    if (address.tcp && (result == kTcpNoConnectionEstablished || result == kTcpConnectionClosed))
        return ServerClosedCause(address.place());
    if (!address.tcp && result == kSerialPortNotOpen)
        return "The device " + address.place() + " is not open. Try to connect again.";
    return "The command could not be written to " + address.place() + " (result " + std::to_string(result) +
           ").";
}

std::string HexBytes(const char *bytes, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, i ? " %02X" : "%02X", static_cast<unsigned char>(bytes[i]));
        text += hex;
    }
    return text;
}

} // namespace sensor
