#include "link/linkstate.h"

#include "runtime/serialports.h"

#include <cctype>
#include <limits>

using namespace runtime;

namespace programlink {

LinkState com;
LinkProgram linkProgram;
LinkReport linkReport;

sensor::Sensor &LinkSensor() {
    static sensor::Sensor linkSensor;
    return linkSensor;
}

sensor::Trace &LinkTrace() {
    static sensor::Trace trace;
    return trace;
}

std::string StartLinkTraceFromArguments(int argc, const char *const *argv) {
    std::string path, problem;
    if (!sensor::TracePathFromArguments(argc, argv, path, problem)) return problem;
    return path.empty() ? std::string() : LinkTrace().start(path);
}

void ResetLinkState() {
    com = LinkState{};
    sensor::Sensor &s = LinkSensor();
    s.reset();
    s.onLost = nullptr;
    s.onOutcome = nullptr;
    s.setFrameSource(nullptr);
    s.setTrace(nullptr);
    s.setEchoOk(false);
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

sensor::Address LinkAddress() {
    sensor::Address a;
    if (com.comprotocol == 1) {
        a.tcp = true;
        a.host = com.ipBuf;
        a.port = com.portNum;
    } else {
        a.device = com.comDevice[0] ? std::string(com.comDevice) : ComPortDevice(com.comport);
    }
    return a;
}

std::string LinkPlace() {
    return LinkAddress().place();
}

} // namespace programlink
