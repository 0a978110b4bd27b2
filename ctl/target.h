// Where a sensor is, as the command line names it: "tcp://HOST:PORT" for a
// serial-to-Ethernet server, or a serial device path; and the short name that
// stands for it in result lines, file names and topics.
#pragma once

#include <string>
#include <vector>

struct Target {
    std::string address; // as given
    std::string name;    // letters, digits, '.', '_' and '-' only
    bool tcp = false;
    std::string host;
    int port = 0;
    std::string device;
};

// Parses a target; name, when empty, is made from it ("10.0.0.5-4001",
// "ttyUSB0"). False with the reason in problem.
bool ParseTarget(const std::string &address, const std::string &name, Target &target, std::string &problem);
// Reads a targets file: one target per line, optionally followed by blanks and
// its name; blank lines and lines starting with '#' are skipped. Names must
// differ. False with the reason (and line) in problem.
bool ReadTargetsFile(const std::string &path, std::vector<Target> &targets, std::string &problem);
// text with every "%n" replaced by name.
std::string WithName(const std::string &text, const std::string &name);
