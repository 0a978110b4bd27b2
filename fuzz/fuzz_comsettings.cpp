// ComSettings.cfg of any content, read as at start-up; whatever is read must
// be stored and read back unchanged.
#include "fuzz/fuzz_support.h"
#include "link/linkstate.h"
#include "linksettings/comsettings.h"
#include "runtime/serialports.h"

#include <cstring>
#include <string>

using namespace linksettings;
using namespace runtime;
using namespace programlink;

namespace {

struct Settings {
    uint16_t comprotocol, comport;
    std::string ipBuf, portNumStr;
    bool operator==(const Settings &) const = default;
};

Settings Current() {
    // Both text buffers must still end inside themselves.
    FUZZ_CHECK(strnlen(com.ipBuf, sizeof com.ipBuf) < sizeof com.ipBuf);
    FUZZ_CHECK(strnlen(com.portNumStr, sizeof com.portNumStr) < sizeof com.portNumStr);
    return {com.comprotocol, com.comport, com.ipBuf, com.portNumStr};
}

// A lone CR at a value's end merges with the line end written after it.
bool Storable(const std::string &text) {
    return text.empty() || text.back() != '\r';
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    ResetLinkState();
    const std::string path = fuzz::WriteScratch(data, size, "ComSettings.cfg");
    FUZZ_CHECK(ReadComSettings(path));
    const Settings read = Current();
    // What the connection attempt derives from them.
    DecimalValue(com.portNumStr);
    ComPortDeviceName(com.comport);

    if (!Storable(read.ipBuf) || !Storable(read.portNumStr)) return 0;
    const std::string copy = fuzz::ScratchPath("ComSettings.copy");
    FUZZ_CHECK(WriteComSettings(copy));
    ResetLinkState();
    FUZZ_CHECK(ReadComSettings(copy));
    FUZZ_CHECK(Current() == read);
    return 0;
}
