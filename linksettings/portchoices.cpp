#include "linksettings/portchoices.h"

#include <algorithm>

using namespace runtime;

namespace linksettings {
namespace {

std::string Describe(const SerialDeviceInfo &d) {
    std::string text = d.description.empty() ? "serial device" : d.description;
    std::string extra = d.manufacturer;
    if (!d.serialNumber.empty()) extra += (extra.empty() ? "SN " : ", SN ") + d.serialNumber;
    if (!extra.empty()) text += " (" + extra + ")";
    return text;
}

std::string NumberedLabel(int n) {
    return "COM" + std::to_string(n) + "   " + ComPortDeviceName(n);
}

// The name a present device is best stored under: its stable by-id name.
std::string StoredName(const SerialDeviceInfo &d) {
    return d.byIdPath.empty() ? d.device : d.byIdPath;
}

const SerialDeviceInfo *PresentDevice(const std::string &path, const std::vector<SerialDeviceInfo> &present) {
    for (const SerialDeviceInfo &d : present)
        if (path == d.device || (!d.byIdPath.empty() && path == d.byIdPath)) return &d;
    return nullptr;
}

} // namespace

int NumberedPortOf(const std::string &device, const std::vector<SerialDeviceInfo> &present) {
    const SerialDeviceInfo *d = PresentDevice(device, present);
    const std::string &path = d ? d->device : device;
    for (int n = 1; n <= MAX_COM_PORT; ++n)
        if (path == ComPortDeviceName(n)) return n;
    return 0;
}

std::vector<PortChoice> PortChoices(const std::vector<SerialDeviceInfo> &present,
                                    const PortSelection &selection) {
    std::vector<PortChoice> choices;
    std::vector<bool> listed(MAX_COM_PORT + 1, false);
    int next = kFirstPresentValue;
    for (const SerialDeviceInfo &d : present) {
        const int n = NumberedPortOf(d.device, present);
        const std::string head = n ? "COM" + std::to_string(n) + "   " + d.device : d.device;
        choices.push_back({n ? n : next++, StoredName(d), head + "   " + Describe(d)});
        if (n) listed[n] = true;
    }
    const std::string &stored = selection.comDevice;
    const bool numbered = stored.empty() || NumberedPortOf(stored, present) == selection.comport;
    for (int n = 1; n <= MAX_COM_PORT; ++n) {
        if (listed[n]) continue;
        std::string label = NumberedLabel(n);
        if (numbered && n == selection.comport &&
            !SerialDeviceExists(stored.empty() ? ComPortDevice(n) : stored))
            label += "   (missing)";
        choices.push_back({n, ComPortDeviceName(n), label});
    }
    PortChoice other{kOtherDeviceValue, {}, "Other device: type its path below"};
    if (!numbered && !PresentDevice(stored, present)) {
        other.device = stored;
        other.label = "Other device: " + stored + (SerialDeviceExists(stored) ? "" : "   (missing)");
    }
    choices.push_back(other);
    return choices;
}

int ChoiceValue(const std::vector<PortChoice> &choices, const PortSelection &selection) {
    const std::string &stored = selection.comDevice;
    if (stored.empty()) return selection.comport;
    for (const PortChoice &c : choices)
        if (c.value != kOtherDeviceValue && c.device == stored) return c.value;
    return kOtherDeviceValue;
}

PortSelection SelectionOf(const std::vector<PortChoice> &choices,
                          const std::vector<SerialDeviceInfo> &present, int value,
                          const std::string &deviceField, int currentPort) {
    const int keep = currentPort >= 1 && currentPort <= MAX_COM_PORT ? currentPort : 1;
    if (value >= 1 && value <= MAX_COM_PORT) {
        const bool otherName = !deviceField.empty() && deviceField != ComPortDeviceName(value) &&
                               NumberedPortOf(deviceField, present) == value;
        return {value, otherName ? deviceField : std::string()};
    }
    if (value != kOtherDeviceValue) {
        for (const PortChoice &c : choices)
            if (c.value == value) return {keep, c.device};
        return {keep, {}};
    }
    if (deviceField.empty()) return {keep, {}};
    const int n = NumberedPortOf(deviceField, present);
    if (n == 0) return {keep, deviceField};
    return {n, deviceField == ComPortDeviceName(n) ? std::string() : deviceField};
}

} // namespace linksettings
