// Utility services: program directory, clocks, dates, pauses and locks.
#pragma once

#include <cstdint>
#include <string>

namespace runtime {

// The program's own directory (where its resource and configuration files live).
int GetProjectDir(std::string &directory);
// Lets tests run a program in a directory of their own; "" restores the default.
void SetProjectDir(const std::string &directory);
// The folder for a program's settings files: the program folder when it may be
// written (a build or a portable copy), else the user's own
// <XDG config folder>/sensor-scopes/<programName> (an installed copy), made on
// first use and given a copy of each *.cfg file of the program folder that it
// lacks, so that settings placed beside an installed program are every user's start.
std::string GetSettingsDir(const std::string &projDir, const std::string &programName);
// The platform's path separator joined between a directory and a file name.
std::string JoinPath(const std::string &directory, const std::string &fileName);

// The system's text for an errno value, in English whatever the desktop's language,
// since it goes into the programs' English messages ("Permission denied").
std::string SystemErrorText(int errnoValue);

double Timer();               // monotonic seconds
std::string DateStr();        // "MM-DD-YYYY"
std::string TimeStr();        // "HH:MM:SS", 24 hours
void Sleep(int milliseconds); // blocks without processing events

// Now on the wall clock: milliseconds since 1970-01-01 00:00 UTC.
int64_t WallClockMs();
// DateStr and TimeStr of a wall-clock moment instead of now (local time).
std::string DateStr(int64_t wallMs);
std::string TimeStr(int64_t wallMs);
// A wall-clock moment in local time as ISO 8601 with milliseconds and the offset
// from UTC, whatever the locale: "2026-12-07T16:05:09.123+01:00".
std::string IsoDateTimeStr(int64_t wallMs);

// Locks, one per combo box in practice. Results 0, or -1 for a bad handle.
int CmtNewLock(const std::string &name, int options, int *lockHandle);
int CmtGetLock(int lockHandle);
int CmtReleaseLock(int lockHandle);
int CmtDiscardLock(int lockHandle);

} // namespace runtime
