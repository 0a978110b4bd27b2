// File services: line and array I/O as the programs use them.
#pragma once

#include <cstdint>
#include <string>

namespace runtime {

enum FileMode : int { VAL_READ_ONLY = 1, VAL_WRITE_ONLY = 2, VAL_READ_WRITE = 3 };
enum FileAction : int { VAL_TRUNCATE = 0, VAL_APPEND = 1, VAL_OPEN_AS_IS = 2 };
enum FileType : int { VAL_BINARY = 0, VAL_ASCII = 1 };

// Result: file handle >= 0, or -1 when the file cannot be opened.
int OpenFile(const std::string &path, int mode, int action, int type);
int CloseFile(int handle);  // 0, or -1 for a bad handle or a failed flush
// Reads one line (without its line end, CR LF or LF) of at most maxChars
// characters; the rest of a longer line is skipped.
// Result: characters read, -2 at end of file, -1 on error.
int ReadLine(int handle, std::string &line, int maxChars);
// Writes text followed by this platform's line end. Result: bytes written, or -1.
int WriteLine(int handle, const std::string &text);
// Writes bytes as they are. Result: bytes written, or -1.
int WriteFile(int handle, const std::string &bytes);

// Result: 1 when the file exists (size in bytes in size), 0 when not.
int GetFileInfo(const std::string &path, long &size);
int DeleteFile(const std::string &path);  // 0, or -1

// One value per line, right-aligned in a field of at least fieldWidth characters
// (0 = no padding), lines ended by CR LF so the files travel between PCs.
// action VAL_TRUNCATE replaces the file, VAL_APPEND adds to it.
// Doubles are written with as many digits as they need to read back exactly.
// Result: 0, or -1 when the file cannot be written completely.
int ArrayToFile(const std::string &path, const uint16_t *values, int count, int fieldWidth, int action);
int ArrayToFile(const std::string &path, const double *values, int count, int fieldWidth, int action);
// Reads up to count numbers separated by blanks and line ends (CR LF or LF).
// Reading stops at the first token that is not a number of the element type.
// Result: numbers read (count when complete), or -1 when the file cannot be read.
int FileToArray(const std::string &path, uint16_t *values, int count);
int FileToArray(const std::string &path, double *values, int count);

} // namespace runtime
