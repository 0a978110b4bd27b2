#include "linksettings/comsettings.h"

#include "runtime/filestore.h"
#include "runtime/formatio.h"

#include <cctype>
#include <limits>

using namespace runtime;

namespace linksettings {
namespace {

constexpr int kMaxNumberLine = 100;

// The next line, or "" once the file has ended.
std::string NextLine(int handle, int maxChars) {
    std::string line;
    if (ReadLine(handle, line, maxChars) < 0) line.clear();
    return line;
}

uint16_t NumberLine(int handle) {
    return static_cast<uint16_t>(DecimalValue(NextLine(handle, kMaxNumberLine)));
}

} // namespace

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

bool ReadComSettings(const std::string &path, ComSettings &settings) {
    const int handle = OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    if (handle < 0) return false;
    settings.comprotocol = NumberLine(handle);
    settings.comport = NumberLine(handle);
    settings.ipBuf = NextLine(handle, kMaxServerChars);
    settings.portNumStr = NextLine(handle, kMaxPortNumChars);
    settings.comDevice = NextLine(handle, kMaxDeviceChars);
    CloseFile(handle);
    return true;
}

bool WriteComSettings(const std::string &path, const ComSettings &settings) {
    return ReplaceFile(path, [&settings](int handle) {
        for (const std::string &line :
             {std::to_string(settings.comprotocol), std::to_string(settings.comport), settings.ipBuf,
              settings.portNumStr})
            if (WriteLine(handle, line) < 0) return false;
        // Older copies read four lines; the device path is for the newer ones only.
        return settings.comDevice.empty() || WriteLine(handle, settings.comDevice) >= 0;
    });
}

} // namespace linksettings
