#include "kelvralink/sensorkinds.h"

#include "kelvralink/paneltable.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace kelvralink {

namespace {

struct SensorKind {
    uint16_t code;
    const char *modelText; // occurs in the version answer of such a sensor
    int dataPanel;
};

// Tested in this order; a later hit overrides an earlier one.
constexpr SensorKind kSensorKinds[] = {
    {100, "HUEMA3 V6.3", 1},   {200, "HUEMA4 V6.3", 1},   {300, "PRISMO3 V3.0", 2},
    {400, "HUEMA-PX V1.1", 3}, {500, "TRV-PX V4.4", 4},   {600, "VEXA2 V3.1", 5},
    {601, "VEXA V3.2", 5},     {700, "RQA/RQB V2.0 ", 6}, // the trailing blank belongs to the model text
};

std::string Upper(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::toupper(c); });
    return text;
}

std::string Trimmed(const std::string &text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

} // namespace

uint16_t SensorCodeFromVersion(const char *version, uint16_t current) {
    for (const SensorKind &kind : kSensorKinds)
        if (std::strstr(version, kind.modelText)) current = kind.code;
    return current;
}

int DataPanelOfSensor(uint16_t code) {
    for (const SensorKind &kind : kSensorKinds)
        if (kind.code == code) return kind.dataPanel;
    return 0;
}

std::string ModelTextOfSensor(uint16_t code) {
    for (const SensorKind &kind : kSensorKinds)
        if (kind.code == code) return Trimmed(kind.modelText);
    return {};
}

std::string FamilyOfSensor(uint16_t code) {
    const std::string model = ModelTextOfSensor(code);
    return model.substr(0, model.find(' '));
}

int DataPanelOfFamily(const std::string &name) {
    const std::string wanted = Upper(Trimmed(name));
    if (wanted.size() == 2 && wanted[0] == 'P' && wanted[1] >= '1' && wanted[1] < '1' + kDataPanels)
        return wanted[1] - '0';
    for (const SensorKind &kind : kSensorKinds) {
        const std::string model = Trimmed(kind.modelText);
        if (wanted == model || wanted == model.substr(0, model.find(' '))) return kind.dataPanel;
    }
    return 0;
}

std::string FamilyList() {
    std::string list;
    for (const SensorKind &kind : kSensorKinds)
        list += (list.empty() ? "" : ", ") + Trimmed(kind.modelText);
    return list;
}

} // namespace kelvralink
