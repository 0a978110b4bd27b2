#include "link/linkstate.h"

#include "platform/rs232.h"

#include <cctype>
#include <limits>

LinkState com;
LinkProgram linkProgram;
LinkReport linkReport;

void ResetLinkState() {
    com = LinkState{};
}

int32_t DecimalValue(const std::string &text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    int64_t value = 0;
    const int64_t limit = std::numeric_limits<int32_t>::max();
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > limit) value = limit;
    }
    return static_cast<int32_t>(negative ? -value : value);
}

std::string LinkPlace() {
    if (com.comprotocol == 1) return std::string(com.ipBuf) + ":" + std::to_string(com.portNum);
    return com.comDevice[0] ? std::string(com.comDevice) : ComPortDevice(com.comport);
}
