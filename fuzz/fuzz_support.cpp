#include "fuzz/fuzz_support.h"

#include "link/frame.h"
#include "link/linkstate.h"
#include "platform/userint.h"

#include <QCoreApplication>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

namespace fuzz {

namespace {

constexpr int kFrameBytes = kFrameWords * 2;

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

void WakeEventLoop() {
    QMetaObject::invokeMethod(
        QCoreApplication::instance(), [] {}, Qt::QueuedConnection);
}

void CheckLinkDecoders() {
    // The echo lengths the programs use, and lengths no caller should pass.
    for (int len : {-1, 0, 1, 2, 4, 14, kFrameWords, kLinkBufSize, kLinkBufSize + 1})
        EchoMatches(len);
    for (int j : {-1, 0, kFrameWords - 1, kLinkBufSize / 2 - 1, kLinkBufSize / 2})
        RxWord(j);

    CopyVersionText();
    const std::size_t length = strnlen(com.version, sizeof com.version);
    FUZZ_CHECK(length <= static_cast<std::size_t>(kFrameBytes));
    FUZZ_CHECK(std::memcmp(com.version, com.szReadBuf, length) == 0);
}

} // namespace fuzz
