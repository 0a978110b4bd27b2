// File services: line and array I/O as the programs use them.
//
// Every file is opened in binary mode, so no byte is ever translated: the
// writers put the line ends in themselves and the readers accept CR LF and LF.
#include "runtime/formatio.h"

#include <array>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace runtime {

namespace {

// Open files, indexed by handle - 1. The programs keep only one or two open at a time.
constexpr int kMaxOpenFiles = 64;
struct OpenEntry {
    std::FILE *file = nullptr;
    bool writing = false; // last operation was a write
};
std::array<OpenEntry, kMaxOpenFiles> openFiles{};

// Wider fields than this are a caller's mistake, not a layout.
constexpr int kMaxFieldWidth = 255;
// No number of either element type needs more characters than this.
constexpr std::size_t kMaxTokenLength = 64;

#ifdef _WIN32
constexpr const char *kLineEnd = "\r\n";
#else
constexpr const char *kLineEnd = "\n";
#endif

// The stream of a handle, made ready for reading or writing: a stream may only
// change direction after a seek.
std::FILE *FileOf(int handle, bool forWriting) {
    if (handle < 1 || handle > kMaxOpenFiles) return nullptr;
    OpenEntry &entry = openFiles[handle - 1];
    if (entry.file && entry.writing != forWriting) {
        // Switching from writing flushes; a failed flush must not pass unnoticed.
        if (std::fseek(entry.file, 0, SEEK_CUR) != 0) return nullptr;
        entry.writing = forWriting;
    }
    return entry.file;
}

// The stdio mode for a mode and action; "as is" needs the file to exist first.
const char *StdioMode(int mode, int action) {
    if (mode == VAL_READ_ONLY) return "rb";
    const bool read = mode == VAL_READ_WRITE;
    switch (action) {
    case VAL_TRUNCATE:
        return read ? "w+b" : "wb";
    case VAL_APPEND:
        return read ? "a+b" : "ab";
    default:
        return "r+b";
    }
}

std::FILE *OpenStdio(const std::string &path, int mode, int action) {
    std::FILE *f = std::fopen(path.c_str(), StdioMode(mode, action));
    // Opening as is still creates a missing file, as the other write actions do.
    if (!f && mode != VAL_READ_ONLY && action == VAL_OPEN_AS_IS && errno == ENOENT)
        f = std::fopen(path.c_str(), "w+b");
    return f;
}

bool WriteAll(std::FILE *f, const std::string &bytes) {
    return std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
}

// Writes the whole text and closes the file; false when any byte did not reach it.
bool WriteAndClose(std::FILE *f, const std::string &text) {
    const bool written = WriteAll(f, text) && std::fflush(f) == 0;
    const bool closed = std::fclose(f) == 0;
    return written && closed;
}

void AppendField(std::string &out, const char *begin, const char *end, int fieldWidth) {
    const auto length = static_cast<int>(end - begin);
    if (length < fieldWidth) out.append(static_cast<std::size_t>(fieldWidth - length), ' ');
    out.append(begin, end);
    out += "\r\n";
}

// The shared part of both ArrayToFile forms: one formatted value per line.
template <typename T>
int WriteArray(const std::string &path, const T *values, int count, int fieldWidth, int action) {
    if (count < 0 || (count > 0 && !values)) return -1;
    if (fieldWidth < 0 || fieldWidth > kMaxFieldWidth) return -1;
    if (action != VAL_TRUNCATE && action != VAL_APPEND) return -1;
    std::string text;
    text.reserve(static_cast<std::size_t>(count) * (static_cast<std::size_t>(fieldWidth) + 8));
    std::array<char, kMaxTokenLength> buf{};
    for (int i = 0; i < count; ++i) {
        // Plain to_chars gives the shortest text that reads back to the same value.
        const auto [end, ec] = std::to_chars(buf.data(), buf.data() + buf.size(), values[i]);
        if (ec != std::errc()) return -1;
        AppendField(text, buf.data(), end, fieldWidth);
    }
    std::FILE *f = std::fopen(path.c_str(), action == VAL_APPEND ? "ab" : "wb");
    if (!f) return -1;
    return WriteAndClose(f, text) ? 0 : -1;
}

bool IsSeparator(int c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Reads the next blank-separated token; false at end of file or when the token
// is longer than any number can be.
bool NextToken(std::FILE *f, std::string &token) {
    token.clear();
    int c = std::fgetc(f);
    while (c != EOF && IsSeparator(c))
        c = std::fgetc(f);
    while (c != EOF && !IsSeparator(c)) {
        if (token.size() == kMaxTokenLength) return false;
        token += static_cast<char>(c);
        c = std::fgetc(f);
    }
    return !token.empty();
}

bool ParseToken(const std::string &token, uint16_t &value) {
    unsigned long parsed = 0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), parsed);
    if (ec != std::errc() || end != token.data() + token.size() || parsed > 65535) return false;
    value = static_cast<uint16_t>(parsed);
    return true;
}

bool ParseToken(const std::string &token, double &value) {
    // A local first: a token with a valid start, such as "2,5", must not change the array.
    double parsed = 0;
    const auto [end, ec] = std::from_chars(token.data(), token.data() + token.size(), parsed);
    if (ec != std::errc() || end != token.data() + token.size()) return false;
    value = parsed;
    return true;
}

// The shared part of both FileToArray forms. Values past the last one read are left as they were.
template <typename T> int ReadArray(const std::string &path, T *values, int count) {
    if (count < 0 || (count > 0 && !values)) return -1;
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (!f) return -1;
    int read = 0;
    std::string token;
    while (read < count && NextToken(f, token) && ParseToken(token, values[read]))
        ++read;
    std::fclose(f);
    return read;
}

} // namespace

// Opens a file for line or byte I/O; the handle indexes the table above.
int OpenFile(const std::string &path, int mode, int action, int type) {
    if (mode < VAL_READ_ONLY || mode > VAL_READ_WRITE) return -1;
    if (action < VAL_TRUNCATE || action > VAL_OPEN_AS_IS) return -1;
    if (type != VAL_BINARY && type != VAL_ASCII) return -1;
    for (int i = 0; i < kMaxOpenFiles; ++i) {
        if (openFiles[i].file) continue;
        openFiles[i] = {OpenStdio(path, mode, action), false};
        return openFiles[i].file ? i + 1 : -1;
    }
    return -1;
}

// Closes a handle; a failed flush of the last writes is reported.
int CloseFile(int handle) {
    if (handle < 1 || handle > kMaxOpenFiles || !openFiles[handle - 1].file) return -1;
    std::FILE *f = openFiles[handle - 1].file;
    openFiles[handle - 1] = {};
    return std::fclose(f) == 0 ? 0 : -1;
}

// Reads one line without its line end. A NUL byte ends the text as it would in
// a C string: the server-name records are padded with them.
int ReadLine(int handle, std::string &line, int maxChars) {
    line.clear();
    std::FILE *f = FileOf(handle, false);
    if (!f || maxChars < 0) return -1;
    std::clearerr(f);
    bool any = false;
    bool ended = false; // a NUL was seen: keep consuming the line, store nothing more
    for (int c = std::fgetc(f); c != EOF; c = std::fgetc(f)) {
        any = true;
        if (c == '\n') break;
        if (c == '\r') {
            const int next = std::fgetc(f);
            if (next == '\n') break;
            if (next != EOF) std::ungetc(next, f);
        }
        if (c == '\0') ended = true;
        if (!ended && static_cast<int>(line.size()) < maxChars) line += static_cast<char>(c);
    }
    if (std::ferror(f)) return -1;
    return any ? static_cast<int>(line.size()) : -2;
}

// Writes text and this platform's line end.
int WriteLine(int handle, const std::string &text) {
    return WriteFile(handle, text + kLineEnd);
}

// Writes bytes exactly as given.
int WriteFile(int handle, const std::string &bytes) {
    std::FILE *f = FileOf(handle, true);
    if (!f || !WriteAll(f, bytes)) return -1;
    return static_cast<int>(bytes.size());
}

// Whether a regular file exists, and its size.
int GetFileInfo(const std::string &path, long &size) {
    size = 0;
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return 0;
    const auto bytes = std::filesystem::file_size(path, ec);
    if (ec) return 0;
    size = static_cast<long>(bytes);
    return 1;
}

// Removes a regular file.
int DeleteFile(const std::string &path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec)) return -1;
    return std::filesystem::remove(path, ec) ? 0 : -1;
}

// Writes 16-bit words, one per line.
int ArrayToFile(const std::string &path, const uint16_t *values, int count, int fieldWidth, int action) {
    return WriteArray(path, values, count, fieldWidth, action);
}

// Writes doubles, one per line, each in its shortest exact form.
int ArrayToFile(const std::string &path, const double *values, int count, int fieldWidth, int action) {
    return WriteArray(path, values, count, fieldWidth, action);
}

// Reads 16-bit words up to the first token that is not one.
int FileToArray(const std::string &path, uint16_t *values, int count) {
    return ReadArray(path, values, count);
}

// Reads doubles up to the first token that is not one.
int FileToArray(const std::string &path, double *values, int count) {
    return ReadArray(path, values, count);
}

} // namespace runtime
