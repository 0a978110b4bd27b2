// Record files: a header row and one tab-separated row per recorded frame,
// lines ended by CR LF so the files travel between PCs.
#pragma once

#include <cstdint>
#include <string>

constexpr const char *kRecordFileName = "record.dat";
constexpr int kRecordValues = 8; // CH_L, CH_C, CH_R, DENS, SYM1, SYM2, VECTOR, TEMP

// The header row: DATE, TIME and the eight value labels, each followed by a tab, then CR LF.
std::string RecordHeader();
// One data row: date (MM-DD-YYYY), time (HH:MM:SS) and the eight values as plain
// decimals, separated by single tabs, then CR LF.
std::string RecordRow(const std::string &date, const std::string &time,
                      const uint16_t (&values)[kRecordValues]);
// Appends text to a file, opened and closed for it. True when all of it reached the file.
bool AppendToFile(const std::string &path, const std::string &text);
