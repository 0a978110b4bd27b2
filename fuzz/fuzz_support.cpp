#include "fuzz/fuzz_support.h"

#include "platform/userint.h"
#include "runtime/events.h"
#include "runtime/utility.h"

#include <QCoreApplication>
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

using namespace runtime;

namespace fuzz {

namespace {

constexpr double kArrivalBound = 2.0; // seconds for written bytes to reach the port

std::string scratchDir;

void RemoveScratchDir() {
    std::error_code ec;
    std::filesystem::remove_all(scratchDir, ec);
}

const std::string &ScratchDir() {
    if (scratchDir.empty()) {
        // Memory-backed when there is such a place: replacing a file on a disk
        // flushes it, which would cost a hundred times the parsing.
        std::string base = "/tmp";
        if (const char *tmp = std::getenv("TMPDIR"); tmp && *tmp)
            base = tmp;
        else if (std::filesystem::is_directory("/dev/shm"))
            base = "/dev/shm";
        std::string templ = base + "/fuzz-XXXXXX";
        if (!mkdtemp(templ.data())) Fail("no temporary directory", __FILE__, __LINE__);
        scratchDir = templ;
        std::atexit(RemoveScratchDir);
    }
    return scratchDir;
}

// Bytes that have reached the slave's line discipline and no reader has taken.
int Unread(int fd) {
    int count = 0;
    return ioctl(fd, FIONREAD, &count) == 0 ? count : -1;
}

} // namespace

void Fail(const char *what, const char *file, int line) {
    std::fprintf(stderr, "broken rule at %s:%d: %s\n", file, line, what);
    std::abort();
}

std::string ScratchPath(const char *name) {
    return ScratchDir() + "/" + name;
}

std::string WriteScratch(const uint8_t *data, std::size_t size, const char *name) {
    const std::string path = ScratchPath(name);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char *>(data), static_cast<std::streamsize>(size));
    if (!out) Fail("scratch file not written", __FILE__, __LINE__);
    return path;
}

void StartRunTime() {
    if (QCoreApplication::instance()) return;
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    int argc = 0;
    if (InitRunTime(argc, nullptr) == 0) Fail("run-time layer did not start", __FILE__, __LINE__);
}

bool RunEventsUntil(const std::function<bool()> &done, double seconds) {
    const double end = Timer() + seconds;
    while (!done() && Timer() < end)
        WaitForSystemEvents(end - Timer());
    return done();
}

bool Finish(const std::function<void(sensor::Sensor::Done)> &start, double seconds) {
    std::optional<bool> outcome;
    start([&outcome](bool ok) { outcome = ok; });
    FUZZ_CHECK(RunEventsUntil([&outcome] { return outcome.has_value(); }, seconds));
    return *outcome;
}

SerialLine::SerialLine() {
    m_master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    FUZZ_CHECK(m_master >= 0 && grantpt(m_master) == 0 && unlockpt(m_master) == 0);
    termios tio{};
    tcgetattr(m_master, &tio);
    cfmakeraw(&tio);
    tcsetattr(m_master, TCSANOW, &tio);
    m_observer = open(ptsname(m_master), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    FUZZ_CHECK(m_observer >= 0);
    sensor::Address address;
    address.device = ptsname(m_master);
    sensor().setAddress(address);
    FUZZ_CHECK(Finish([this](sensor::Sensor::Done done) { sensor().open(std::move(done)); }, kArrivalBound));
}

sensor::Sensor &SerialLine::sensor() {
    static sensor::Sensor s;
    return s;
}

std::size_t SerialLine::write(const uint8_t *data, std::size_t size) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t w = ::write(m_master, data + done, size - done);
        if (w > 0)
            done += static_cast<std::size_t>(w);
        else if (errno != EINTR)
            break;
    }
    return done;
}

void SerialLine::settle(std::size_t written) {
    // Every byte in the line discipline: the port reads from there when a wait takes them.
    const int all = static_cast<int>(written);
    const double end = Timer() + kArrivalBound;
    while (Unread(m_observer) < all && Timer() < end) {
    }
    FUZZ_CHECK(Unread(m_observer) == all);
}

void CheckLinkDecoders(const sensor::Sensor &s) {
    // The echo lengths the programs use, and lengths no caller should pass.
    for (int len : {-1, 0, 1, 2, 4, 14, sensor::kFrameWords, sensor::kBufferBytes, sensor::kBufferBytes + 1})
        s.echoMatches(len);
    for (int j : {-1, 0, sensor::kFrameWords - 1, sensor::kBufferBytes / 2 - 1, sensor::kBufferBytes / 2})
        s.answerWord(j);
    // Words are the answer's bytes, high byte first.
    const auto byte = [&s](int i) { return static_cast<unsigned char>(s.answer()[i]); };
    FUZZ_CHECK(s.answerWord(1) == (byte(2) << 8 | byte(3)));
}

} // namespace fuzz
