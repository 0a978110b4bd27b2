#include "link/comsettings.h"

#include "link/linkstate.h"
#include "runtime/filestore.h"
#include "runtime/formatio.h"
#include "runtime/utility.h"

using namespace runtime;

namespace programlink {
namespace {

constexpr int kMaxNumberLine = 100;

// The next line, or "" once the file has ended.
std::string NextLine(int handle, int maxChars) {
    std::string line;
    if (ReadLine(handle, line, maxChars) < 0) line.clear();
    return line;
}

} // namespace

void SetLinkFileNames(const std::string &projDir) {
    com.settingsDir = projDir;
    com.conSettingsFileName = JoinPath(projDir, "ComSettings.cfg");
    com.ipComboBoxFileName = JoinPath(projDir, "IPComboBox.cfg");
}

bool ReadComSettings(const std::string &path) {
    const int handle = OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    if (handle < 0) return false;
    com.comprotocol = static_cast<uint16_t>(DecimalValue(NextLine(handle, kMaxNumberLine)));
    com.comport = static_cast<uint16_t>(DecimalValue(NextLine(handle, kMaxNumberLine)));
    CopyText(com.ipBuf, NextLine(handle, sizeof com.ipBuf - 1));
    CopyText(com.portNumStr, NextLine(handle, sizeof com.portNumStr - 1));
    CopyText(com.comDevice, NextLine(handle, sizeof com.comDevice - 1));
    CloseFile(handle);
    return true;
}

bool WriteComSettings(const std::string &path) {
    return ReplaceFile(path, [](int handle) {
        for (const std::string &line : {std::to_string(com.comprotocol), std::to_string(com.comport),
                                        std::string(com.ipBuf), std::string(com.portNumStr)})
            if (WriteLine(handle, line) < 0) return false;
        // Older copies read four lines; the device path is for the newer ones only.
        return !com.comDevice[0] || WriteLine(handle, com.comDevice) >= 0;
    });
}

} // namespace programlink
