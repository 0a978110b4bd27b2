#include "vexa/recordfile.h"

#include "platform/formatio.h"

namespace {
constexpr const char *kLineEnd = "\r\n";
constexpr const char *kLabels[] = {"DATE", "TIME", "CH_L", "CH_C",   "CH_R",
                                   "DENS", "SYM1", "SYM2", "VECTOR", "TEMP"};
} // namespace

std::string RecordHeader() {
    std::string header;
    for (const char *label : kLabels)
        header.append(label).push_back('\t');
    return header + kLineEnd;
}

std::string RecordRow(const std::string &date, const std::string &time,
                      const uint16_t (&values)[kRecordValues]) {
    std::string row = date + '\t' + time;
    for (uint16_t v : values)
        row.append("\t").append(std::to_string(v));
    return row + kLineEnd;
}

bool AppendToFile(const std::string &path, const std::string &text) {
    const int handle = OpenFile(path, VAL_WRITE_ONLY, VAL_APPEND, VAL_BINARY);
    if (handle < 0) return false;
    const bool written = WriteFile(handle, text) == static_cast<int>(text.size());
    return CloseFile(handle) == 0 && written;
}
