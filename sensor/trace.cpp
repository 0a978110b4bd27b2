#include "sensor/trace.h"

#include "sensor/numbertext.h"

#include <QElapsedTimer>

namespace sensor {
namespace {

double Now() {
    static QElapsedTimer clock;
    if (!clock.isValid()) clock.start();
    return static_cast<double>(clock.nsecsElapsed()) / 1e9;
}

} // namespace

Trace::~Trace() {
    stop();
}

std::string Trace::start(const std::string &path) {
    stop();
    std::FILE *file = path.empty() ? nullptr : std::fopen(path.c_str(), "w");
    if (!file) return "The trace file " + path + " cannot be written.";
    m_file = file;
    m_path = path;
    m_start = Now();
    m_written = 0;
    return {};
}

void Trace::stop() {
    if (m_file) std::fclose(m_file);
    m_file = nullptr;
    m_path.clear();
}

void Trace::sent(const char *data, int count) {
    bytes("in ", data, count);
}

void Trace::received(const char *data, int count) {
    bytes("out", data, count);
}

void Trace::outcome(const std::string &text) {
    if (m_file) line("# " + stamp() + " " + text);
}

void Trace::bytes(const char *direction, const char *data, int count) {
    if (!m_file) return;
    std::string text = stamp() + " " + direction;
    static const char kHex[] = "0123456789ABCDEF";
    for (int i = 0; i < count; ++i) {
        const auto b = static_cast<unsigned char>(data[i]);
        text += ' ';
        text += kHex[b >> 4];
        text += kHex[b & 0xF];
    }
    line(text);
}

// Writes one line and flushes it, so that a trace survives a crash; past the
// size bound the trace says so and ends.
void Trace::line(const std::string &text) {
    if (m_written + static_cast<long>(text.size()) + 1 > kMaxTraceBytes) {
        std::fputs("# trace ended at its size limit\n", m_file);
        stop();
        return;
    }
    std::fputs(text.c_str(), m_file);
    std::fputc('\n', m_file);
    std::fflush(m_file);
    m_written += static_cast<long>(text.size()) + 1;
}

std::string Trace::stamp() const {
    return FixedText(Now() - m_start, 6);
}

bool TracePathFromArguments(int argc, const char *const *argv, std::string &path, std::string &problem) {
    const std::string option = "--trace";
    for (int i = 1; i < argc && argv[i]; ++i) {
        const std::string arg = argv[i];
        if (arg.rfind(option + "=", 0) == 0) {
            path = arg.substr(option.size() + 1);
            return true;
        }
        if (arg != option) continue;
        if (i + 1 >= argc || !argv[i + 1]) {
            problem = "--trace needs the name of the trace file.";
            return false;
        }
        path = argv[i + 1];
        return true;
    }
    return true;
}

} // namespace sensor
