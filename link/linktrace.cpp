#include "link/linktrace.h"

#include "platform/utility.h"

#include <cstdio>

namespace {

struct Trace {
    std::FILE *file = nullptr;
    std::string path;
    double start = 0.0;
    long written = 0;
};
Trace trace;

// Writes one line and flushes it, so that a trace survives a crash; past the
// size bound the trace says so and ends.
void WriteLine(const std::string &line) {
    if (!trace.file) return;
    if (trace.written + static_cast<long>(line.size()) + 1 > kMaxTraceBytes) {
        std::fputs("# trace ended at its size limit\n", trace.file);
        StopLinkTrace();
        return;
    }
    std::fputs(line.c_str(), trace.file);
    std::fputc('\n', trace.file);
    std::fflush(trace.file);
    trace.written += static_cast<long>(line.size()) + 1;
}

std::string Stamp() {
    char text[32];
    std::snprintf(text, sizeof text, "%.6f", Timer() - trace.start);
    return text;
}

void TraceBytes(const char *direction, const char *bytes, int count) {
    if (!trace.file) return;
    std::string line = Stamp() + " " + direction;
    for (int i = 0; i < count; ++i) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02X", static_cast<unsigned char>(bytes[i]));
        line += hex;
    }
    WriteLine(line);
}

} // namespace

std::string StartLinkTrace(const std::string &path) {
    StopLinkTrace();
    std::FILE *file = path.empty() ? nullptr : std::fopen(path.c_str(), "w");
    if (!file) return "The trace file " + path + " cannot be written.";
    trace = Trace{file, path, Timer(), 0};
    return {};
}

std::string StartLinkTraceFromArguments(int argc, const char *const *argv) {
    const std::string option = "--trace";
    for (int i = 1; i < argc && argv[i]; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind(option + "=", 0) == 0) return StartLinkTrace(arg.substr(option.size() + 1));
        if (arg != option) continue;
        if (i + 1 >= argc || !argv[i + 1]) return "--trace needs the name of the trace file.";
        return StartLinkTrace(argv[i + 1]);
    }
    return {};
}

void StopLinkTrace() {
    if (trace.file) std::fclose(trace.file);
    trace = Trace{};
}

bool LinkTraceOn() {
    return trace.file != nullptr;
}

std::string LinkTracePath() {
    return trace.path;
}

void TraceSent(const char *bytes, int count) {
    TraceBytes("in ", bytes, count);
}

void TraceReceived(const char *bytes, int count) {
    TraceBytes("out", bytes, count);
}

void TraceOutcome(const std::string &outcome) {
    if (trace.file) WriteLine("# " + Stamp() + " " + outcome);
}
