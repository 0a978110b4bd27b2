// Record files: a header row and one row per recorded frame, lines ended by
// CR LF so the files travel between PCs. Two formats: the tab-separated one the
// programs always wrote, and CSV that spreadsheets and data tools read as is.
#pragma once

#include <cstdint>
#include <string>

namespace vexalink {

constexpr const char *kRecordFileName = "record.dat";
constexpr const char *kCsvRecordFileName = "record.csv";
constexpr int kRecordValues = 8; // CH_L, CH_C, CH_R, DENS, SYM1, SYM2, VECTOR, TEMP

// The values of the format selector.
enum class RecordFormat : int { Tab = 0, Csv = 1 };

// The header row: DATE, TIME and the eight value labels, each followed by a tab, then CR LF.
std::string RecordHeader();
// One data row: date (MM-DD-YYYY), time (HH:MM:SS) and the eight values as plain
// decimals, separated by single tabs, then CR LF.
std::string RecordRow(const std::string &date, const std::string &time,
                      const uint16_t (&values)[kRecordValues]);
// Appends text to a file, opened and closed for it. True when all of it reached the file.
bool AppendToFile(const std::string &path, const std::string &text);
// Whether rows can be appended to path (a missing file is made, empty); when not,
// the system's reason in reason.
bool CanAppendToFile(const std::string &path, std::string &reason);

// The CSV header row: time, elapsed_s and the eight value names, comma-separated, then CR LF.
std::string CsvRecordHeader();
// One CSV row: the ISO 8601 time, the seconds since the recording started
// (microseconds, "." as decimal point) and the eight values, then CR LF.
std::string CsvRecordRow(const std::string &isoTime, double elapsedSeconds,
                         const uint16_t (&values)[kRecordValues]);
// The remembered format: the first line of the file, 0 or 1; anything else is the tab format.
RecordFormat ReadRecordFormat(const std::string &path);
// Stores the format for the next start. True when written.
bool WriteRecordFormat(const std::string &path, RecordFormat format);

} // namespace vexalink
