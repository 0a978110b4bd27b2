#include "vexalink/recordfile.h"
#include "runtime/utility.h"

#include "runtime/formatio.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

using namespace runtime;

namespace vexalink {

namespace {
constexpr const char *kLineEnd = "\r\n";
constexpr const char *kLabels[] = {"DATE", "TIME", "CH_L", "CH_C",   "CH_R",
                                   "DENS", "SYM1", "SYM2", "VECTOR", "TEMP"};
// The sensor sends raw numbers; only the time columns have a unit. TEMP says so in its name.
constexpr const char *kCsvHeader = "time,elapsed_s,CH_L,CH_C,CH_R,DENS,SYM1,SYM2,VECTOR,TEMP_raw";

// Seconds with six decimals from whole microseconds, so no locale can change the point.
std::string Seconds(double seconds) {
    const long long micros = std::llround(std::max(0.0, seconds) * 1e6);
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%06lld", micros / 1000000, micros % 1000000);
    return text;
}
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

bool CanAppendToFile(const std::string &path, std::string &reason) {
    errno = 0;
    std::FILE *f = std::fopen(path.c_str(), "ab");
    const int openError = errno;
    if (f && std::fclose(f) == 0) return true;
    reason = openError != 0 ? runtime::SystemErrorText(openError) : "the file cannot be opened for writing";
    return false;
}

std::string CsvRecordHeader() {
    return std::string(kCsvHeader) + kLineEnd;
}

std::string CsvRecordRow(const std::string &isoTime, double elapsedSeconds,
                         const uint16_t (&values)[kRecordValues]) {
    std::string row = isoTime + ',' + Seconds(elapsedSeconds);
    for (uint16_t v : values)
        row.append(",").append(std::to_string(v));
    return row + kLineEnd;
}

RecordFormat ReadRecordFormat(const std::string &path) {
    const int handle = OpenFile(path, VAL_READ_ONLY, VAL_OPEN_AS_IS, VAL_ASCII);
    if (handle < 0) return RecordFormat::Tab;
    std::string line;
    const int read = ReadLine(handle, line, 8);
    CloseFile(handle);
    return read >= 0 && line == "1" ? RecordFormat::Csv : RecordFormat::Tab;
}

bool WriteRecordFormat(const std::string &path, RecordFormat format) {
    const int handle = OpenFile(path, VAL_WRITE_ONLY, VAL_TRUNCATE, VAL_ASCII);
    if (handle < 0) return false;
    const bool written = WriteLine(handle, format == RecordFormat::Csv ? "1" : "0") > 0;
    return CloseFile(handle) == 0 && written;
}

} // namespace vexalink
