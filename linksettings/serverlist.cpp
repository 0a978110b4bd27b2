#include "linksettings/serverlist.h"

#include "runtime/filestore.h"
#include "runtime/formatio.h"

#include <algorithm>

using namespace runtime;

namespace linksettings {
namespace {

constexpr int kRecordWithLineEnd = kServerRecordBytes + 1;

// The name as a record: at most 99 bytes (not ending inside a character), zero padded.
std::string Record(const std::string &name) {
    std::size_t n = std::min(name.find('\0'), name.size());
    if (n >= kServerRecordBytes) {
        n = kServerRecordBytes - 1;
        while (n > 0 && (static_cast<unsigned char>(name[n]) & 0xC0) == 0x80)
            --n;
    }
    std::string record = name.substr(0, n);
    record.resize(kServerRecordBytes, '\0');
    return record;
}

} // namespace

std::vector<std::string> ReadServerListFile(const std::string &path) {
    std::vector<std::string> names;
    long size = 0;
    if (GetFileInfo(path, size) < 1 || size <= 0) return names;
    const int handle = OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    if (handle < 0) return names;
    const long records = size / kRecordWithLineEnd;
    std::string line;
    for (long i = 0; i < records && ReadLine(handle, line, kServerRecordBytes) >= 0; ++i)
        if (!line.empty()) names.push_back(line);
    CloseFile(handle);
    return names;
}

bool WriteServerListFile(const std::string &path, const std::vector<std::string> &names) {
    return ReplaceFile(path, [&names](int handle) {
        for (const std::string &name : names)
            if (WriteFile(handle, Record(name)) < 0 || WriteLine(handle, "") < 0) return false;
        return true;
    });
}

} // namespace linksettings
