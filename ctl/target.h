// Where a sensor is, as the command line names it ("tcp://HOST:PORT" or a
// serial device path), and the short name that stands for it in result lines,
// file names and topics.
#pragma once

#include "sensor/address.h"

#include <string>
#include <vector>

namespace ctl {

struct Target {
    std::string text;        // as given
    std::string name;        // letters, digits, '.', '_' and '-' only
    sensor::Address address; // where it is
};

// Parses a target; name, when empty, is made from it ("10.0.0.5-4001",
// "ttyUSB0"). False with the reason in problem.
bool ParseTarget(const std::string &text, const std::string &name, Target &target, std::string &problem);
// Reads a targets file: one target per line, optionally followed by blanks and
// its name; blank lines and lines starting with '#' are skipped, a UTF-8
// byte-order mark at the start is ignored. Names must differ. False with the
// reason (and line) in problem.
bool ReadTargetsFile(const std::string &path, std::vector<Target> &targets, std::string &problem);
// text with every "%n" replaced by name.
std::string WithName(const std::string &text, const std::string &name);

} // namespace ctl
