// RS-232 input queues of any length through the real receive path: the input
// arrives on a pseudo-terminal behind the program's serial port, the answer
// wait takes the queue into the read buffer, and VexaV32 decodes it.
#include "fuzz/fuzz_support.h"
#include "link/com232.h"
#include "link/linkstate.h"
#include "platform/rs232.h"
#include "platform/utility.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

namespace {

constexpr int kPort = 1;
constexpr int kFrameBytes = kFrameWords * 2;
constexpr double kArrivalBound = 2.0; // seconds for written bytes to reach the queue
int master = -1;

void OpenPseudoTerminal() {
    master = posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    FUZZ_CHECK(master >= 0 && grantpt(master) == 0 && unlockpt(master) == 0);
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    MapComPort(kPort, ptsname(master));
    com.comport = kPort;
    InitRS232();
    FUZZ_CHECK(com.ret == 0);
}

// Writes what the pseudo-terminal takes; a full line buffer drops the rest, as
// a real line would.
size_t WriteToLine(const uint8_t *data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t w = write(master, data + done, size - done);
        if (w > 0)
            done += static_cast<size_t>(w);
        else if (errno != EINTR)
            break;
    }
    return done;
}

// Waits until the queue holds what was written (at most its size).
void WaitForQueue(int expected) {
    const double start = Timer();
    while (GetInQLen(kPort) < expected && Timer() - start < kArrivalBound) {
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartRunTime();
    OpenPseudoTerminal();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    FlushInQ(kPort);
    const size_t written = WriteToLine(data, size);
    const int queued = static_cast<int>(std::min<size_t>(written, kLinkBufSize));
    WaitForQueue(queued);

    // Everything has arrived, so a wait that may end at once sees what a full wait would.
    fuzz::WakeEventLoop();
    WaitForAnswer(0.0);
    FUZZ_CHECK(com.dataSize == queued);
    FUZZ_CHECK(com.bytesToRead == kFrameBytes - queued);
    FUZZ_CHECK(std::memcmp(com.szReadBuf, data, static_cast<size_t>(queued)) == 0);

    fuzz::CheckLinkDecoders();
    if (com.bytesToRead == 0) fuzz::CheckParameterAnswer();
    return 0;
}
