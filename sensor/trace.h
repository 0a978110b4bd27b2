// The link trace: an opt-in file with every frame in both directions and the
// outcome of every exchange of one sensor, for service. Its frame lines have the
// form of the simulated sensor's capture ("seconds in|out hex bytes", "in"
// towards the sensor), so the two can be compared line by line; outcome lines
// begin with '#'. Numbers are written with '.' whatever the desktop's language.
#pragma once

#include <cstdio>
#include <string>

namespace sensor {

constexpr long kMaxTraceBytes = 16L * 1024 * 1024; // the trace ends itself there

class Trace {
  public:
    Trace() = default;
    ~Trace();
    Trace(const Trace &) = delete;
    Trace &operator=(const Trace &) = delete;

    // Starts a trace into path (replacing the file); "" on success, else why not.
    std::string start(const std::string &path);
    // Ends the trace; harmless when none runs.
    void stop();
    bool on() const { return m_file != nullptr; }
    const std::string &path() const { return m_path; }

    // A frame that went towards the sensor, and bytes that came from it.
    void sent(const char *bytes, int count);
    void received(const char *bytes, int count);
    // How an exchange ended: "ok" or the cause of the failure.
    void outcome(const std::string &text);

  private:
    void bytes(const char *direction, const char *data, int count);
    void line(const std::string &text);
    std::string stamp() const;

    std::FILE *m_file = nullptr;
    std::string m_path;
    double m_start = 0.0;
    long m_written = 0;
};

// The path given with --trace FILE (or --trace=FILE) on a command line; "" when
// none is given. False with the reason in problem when --trace lacks its file.
bool TracePathFromArguments(int argc, const char *const *argv, std::string &path, std::string &problem);

} // namespace sensor
