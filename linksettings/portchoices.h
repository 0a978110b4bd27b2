// The items of the serial port selector: the devices present, then the
// numbered ports that ComSettings.cfg has always stored, then any other device
// path; and how a choice turns into the port number and device path stored.
#pragma once

#include "runtime/serialports.h"

#include <string>
#include <vector>

namespace linksettings {

constexpr int kOtherDeviceValue = 0;    // a device path typed by the user
constexpr int kFirstPresentValue = 100; // present devices outside the numbered ports

// The serial port in force: a number 1..48 and, when it is not simply the
// number's device, the device path (a by-id name, a pseudo-terminal, ...).
struct PortSelection {
    int comport = 1;
    std::string comDevice;
};

struct PortChoice {
    int value = 0;      // the selector's value
    std::string device; // what choosing it puts into the device field
    std::string label;
};

// The selector's items for the devices present and the selection in force;
// the device of the selection is marked "(missing)" when it does not exist.
std::vector<PortChoice> PortChoices(const std::vector<runtime::SerialDeviceInfo> &present,
                                    const PortSelection &selection);
// The selector value that shows a selection.
int ChoiceValue(const std::vector<PortChoice> &choices, const PortSelection &selection);
// The selection a selector value and the device field stand for: a numbered
// port stays a number unless the field names that port's device by another
// name; a present device or a typed path keeps its path.
PortSelection SelectionOf(const std::vector<PortChoice> &choices,
                          const std::vector<runtime::SerialDeviceInfo> &present, int value,
                          const std::string &deviceField, int currentPort);
// The numbered port (1..48) whose device a path names, directly or through a
// by-id name of a present device; 0 when none.
int NumberedPortOf(const std::string &device, const std::vector<runtime::SerialDeviceInfo> &present);

} // namespace linksettings
