// Answers of any length through the real TCP receive path: a loopback server
// sends the input and closes. In an exchange the client callback stores the
// awaited 36 bytes and drops the rest, and KelvraV12 reads the version text as
// its sensor; in a stream of auto-sent frames every frame is taken in turn.
#include "fuzz/fuzz_support.h"
#include "kelvra/sensorkinds.h"
#include "kelvra/startup.h"
#include "link/com232.h"
#include "link/linkstate.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "platform/utility.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int kFrameBytes = kFrameWords * 2;
constexpr double kCloseBound = 5.0; // seconds for the client to take everything and see the close
int listener = -1;
int serverPort = 0;

// The far end: a loopback listener that plays the serial-to-Ethernet server.
void Listen() {
    listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    FUZZ_CHECK(listener >= 0 && bind(listener, reinterpret_cast<sockaddr *>(&addr), len) == 0 &&
               listen(listener, 1) == 0 &&
               getsockname(listener, reinterpret_cast<sockaddr *>(&addr), &len) == 0);
    serverPort = ntohs(addr.sin_port);
}

void SendAll(int fd, const uint8_t *data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t w = send(fd, data + done, size - done, MSG_NOSIGNAL);
        FUZZ_CHECK(w > 0);
        done += static_cast<size_t>(w);
    }
}

// Short waits until the close has come: by then every byte has been taken.
// Once the answer is complete the wait returns at once, so events run here.
void TakeUntilClosed() {
    const double start = Timer();
    while (com.tcpcon == 1 && Timer() - start < kCloseBound) {
        if (com.bytesToRead > 0)
            WaitForAnswer(0.0);
        else
            WaitForSystemEvents(kCloseBound);
    }
    FUZZ_CHECK(com.tcpcon == 0);
    ClearRecordedPopups();
}

// The part of the input that did not make a whole frame sits in the awaited answer.
void CheckPartialAnswer(const uint8_t *data, size_t size) {
    FUZZ_CHECK(com.bytesToRead == kFrameBytes - static_cast<int>(size));
    FUZZ_CHECK(std::memcmp(com.szReadBuf, data, size) == 0);
}

// An exchange: one answer awaited, everything after it dropped.
void OneAnswer(int server, const uint8_t *data, size_t size) {
    ExpectAnswer();
    SendAll(server, data, size);
    close(server);
    TakeUntilClosed();
    CheckPartialAnswer(data, std::min<size_t>(size, kFrameBytes));
    fuzz::CheckLinkDecoders();
    if (com.bytesToRead == 0) SensorCodeFromVersion(com.version, 0);
}

// Auto-sent frames as the triggered recording takes them: every whole frame in
// order, however the bytes were split or bunched on the way.
void FrameStream(int server, const uint8_t *data, size_t size) {
    com.streaming = true;
    SendAll(server, data, size);
    size_t offset = 0;
    for (; offset + kFrameBytes <= size; offset += kFrameBytes) {
        ExpectAnswer();
        ReadQueuedAnswer();
        WaitForAnswer(kCloseBound);
        FUZZ_CHECK(com.bytesToRead == 0);
        FUZZ_CHECK(std::memcmp(com.szReadBuf, data + offset, kFrameBytes) == 0);
    }
    ExpectAnswer();
    ReadQueuedAnswer();
    close(server);
    TakeUntilClosed();
    CheckPartialAnswer(data + offset, size - offset);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartRunTime();
    Listen();
    // The close is announced in a popup; nobody is there to press OK.
    SetPopupResponder([](const PopupRecord &, std::string &) { return 1; });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    ResetLinkState();
    com.comprotocol = 1;
    CopyText(com.ipBuf, "127.0.0.1");
    com.portNum = serverPort;
    InitTCP_IP();
    FUZZ_CHECK(com.tcpcon == 1);
    const int server = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    FUZZ_CHECK(server >= 0);

    // The first byte chooses between an exchange and a stream of auto-sent frames.
    if (data[0] & 1)
        FrameStream(server, data + 1, size - 1);
    else
        OneAnswer(server, data + 1, size - 1);
    return 0;
}
