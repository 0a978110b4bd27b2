// The tool's commands against one sensor, each on a connection of its own:
// the same link set-up, frames and operations as the two programs.
#pragma once

#include "ctl/target.h"

#include <QJsonObject>

#include <functional>
#include <string>

// Exit codes, also of a run over many targets (the highest one wins).
constexpr int kExitOk = 0;
constexpr int kExitDiffers = 1; // diff: the sensor's set differs from the file
constexpr int kExitFailed = 2;  // a sensor, the link, a file or the broker failed
constexpr int kExitUsage = 3;   // the command line is wrong

struct Request {
    std::string command; // version, get, send, diff, watch, record, transfer, publish
    std::string file;    // send, diff, transfer: the file read; get, record: the file written
    bool eeprom = false;
    double interval = 0.0; // record: seconds from one row's request to the next
    long count = 0;        // watch, record, publish: samples, 0 = until stopped
    std::string family;    // transfer: overrides the family the version names
    int temp = -1;         // transfer: reference temperature 0..99
    std::string broker;    // publish
    std::string topic;     // publish: topic prefix
    int queue = 1000;      // publish: samples that may wait for the broker
    bool force = false;    // record: replace an existing file
    std::string trace;     // a link trace file, "" = none
};

// Checks what can be checked without a sensor; "" when the request is fine.
std::string RequestProblem(const Request &r);

// One JSON object per call: samples ("kind":"sample") and the final result
// ("kind":"result", "ok", and "error" with the cause in words on failure).
using Sink = std::function<void(const QJsonObject &)>;

// Connects to the target, runs the command, emits its lines; the exit code.
// Every line carries "target" and "name".
int RunCommand(const Target &target, const Request &r, const Sink &sink);

// Asks a running command to end at its next step (safe in a signal handler).
void RequestStop();

// A line of output for people: a sample's values, or a result's summary
// (a diff's differences on further lines, indented).
std::string HumanLine(const QJsonObject &line);
