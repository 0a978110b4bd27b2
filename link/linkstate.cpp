#include "link/linkstate.h"

#include "linksettings/comsettings.h"
#include "linksettings/serverlist.h"
#include "runtime/serialports.h"
#include "runtime/utility.h"

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

// The texts of the settings file fit the buffers whole.
static_assert(sizeof com.ipBuf == linksettings::kMaxServerChars + 1);
static_assert(sizeof com.portNumStr == linksettings::kMaxPortNumChars + 1);
static_assert(sizeof com.comDevice == linksettings::kMaxDeviceChars + 1);

void SetLinkFileNames(const std::string &projDir) {
    com.settingsDir = projDir;
    com.conSettingsFileName = JoinPath(projDir, linksettings::kComSettingsFileName);
    com.ipComboBoxFileName = JoinPath(projDir, linksettings::kServerListFileName);
}

bool ReadComSettings(const std::string &path) {
    linksettings::ComSettings settings;
    if (!linksettings::ReadComSettings(path, settings)) return false;
    com.comprotocol = settings.comprotocol;
    com.comport = settings.comport;
    CopyText(com.ipBuf, settings.ipBuf);
    CopyText(com.portNumStr, settings.portNumStr);
    CopyText(com.comDevice, settings.comDevice);
    return true;
}

bool WriteComSettings(const std::string &path) {
    return linksettings::WriteComSettings(
        path, {com.comprotocol, com.comport, com.ipBuf, com.portNumStr, com.comDevice});
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
