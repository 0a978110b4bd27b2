// IPComboBox.cfg of any content, read as at start-up; the names read must be
// stored and read back unchanged.
#include "fuzz/fuzz_support.h"
#include "linksettings/serverlist.h"

#include <string>
#include <vector>

using namespace linksettings;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    const std::string path = fuzz::WriteScratch(data, size, "IPComboBox.cfg");
    const std::vector<std::string> names = ReadServerListFile(path);
    for (const std::string &name : names) {
        FUZZ_CHECK(!name.empty());
        FUZZ_CHECK(name.size() <= static_cast<size_t>(kServerRecordBytes));
        FUZZ_CHECK(name.find('\0') == std::string::npos);
    }
    // Names that fit a record come back as they were, in the same order.
    std::vector<std::string> storable;
    for (const std::string &name : names)
        if (name.size() < static_cast<size_t>(kServerRecordBytes)) storable.push_back(name);
    const std::string copy = fuzz::ScratchPath("IPComboBox.copy");
    FUZZ_CHECK(WriteServerListFile(copy, storable));
    FUZZ_CHECK(ReadServerListFile(copy) == storable);
    return 0;
}
