// The texts that the link shows when something fails: the short status texts
// for the transports' error codes, and the cause of a failure in words, with
// the device or server and what the user can do about it.
#pragma once

#include "sensor/transport.h"

#include <string>

namespace sensor {

// Text for the result of opening a serial port; codes outside the table get "RS-232 error!".
const char *Rs232ErrorText(int code);
// The name of a connect's result code, as the programs' manuals list it; codes
// outside the table get "Connection to server failed".
const char *TcpErrorText(int code);
// A failed connect as the programs show it: the code's name first, then the cause
// in words ("UnableToEstablishConnection: connection refused by 127.0.0.1:4001: ...").
std::string NamedTcpCause(int code, const std::string &cause);

// Why the transport to address could not be opened, in words.
std::string OpenCause(const Address &address, const OpenResult &result, double connectTimeoutSeconds);
// The serial device stopped working while it was open.
std::string DeviceLostCause(const std::string &device);
// The server closed the connection.
std::string ServerClosedCause(const std::string &server);

// What an answer wait got, judged against the 36 bytes awaited.
struct AnswerCheck {
    std::string where;     // device or host:port
    double timeoutSeconds; // the wait's time-out
    const char *received;  // the bytes that came
    int count;             // how many came (may exceed what received holds)
    int shown;             // how many of them received holds
    const char *sent;      // the command frame, for an echo
    int echoWords;         // words of an echo compared; 0 for a read
};
// The cause of a failed answer: silence, wrong length, wrong marker or wrong
// echo; "" when the answer is good.
std::string AnswerCause(const AnswerCheck &check);
// A frame that did not leave: a connection that is gone, or the system's refusal.
std::string UnwrittenCause(const Address &address, int result);

// Bytes as upper-case hex pairs separated by blanks.
std::string HexBytes(const char *bytes, int count);

} // namespace sensor
