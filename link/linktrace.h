// The link trace: an opt-in file with every frame in both directions and the
// outcome of every exchange, for service. Its frame lines have the form of the
// simulated sensor's capture ("seconds in|out hex bytes", "in" towards the
// sensor), so the two can be compared line by line; outcome lines begin with '#'.
#pragma once

#include <string>

constexpr long kMaxTraceBytes = 16L * 1024 * 1024; // the trace ends itself there

// Starts a trace into path (replacing the file); "" on success, else why not.
std::string StartLinkTrace(const std::string &path);
// Starts a trace when the command line asks for one with --trace FILE (or
// --trace=FILE); "" when all is well, else what is wrong.
std::string StartLinkTraceFromArguments(int argc, const char *const *argv);
// Ends the trace; harmless when none runs.
void StopLinkTrace();
// Whether a trace runs, and into which file.
bool LinkTraceOn();
std::string LinkTracePath();

// A frame that went towards the sensor, and bytes that came from it.
void TraceSent(const char *bytes, int count);
void TraceReceived(const char *bytes, int count);
// How an exchange ended: "ok" or the cause of the failure.
void TraceOutcome(const std::string &outcome);
