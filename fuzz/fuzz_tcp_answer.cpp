// Answers of any length through the real TCP receive path: a loopback server
// sends the input and closes. In an exchange the sensor stores the awaited 36
// bytes and drops the rest, and KelvraV12 reads the version text as its
// sensor; in a stream of auto-sent frames every frame is taken in turn.
#include "fuzz/fuzz_support.h"
#include "kelvralink/sensorkinds.h"

#include <QCoreApplication>
#include <algorithm>
#include <arpa/inet.h>
#include <cstring>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

using kelvralink::SensorCodeFromVersion;

namespace {

constexpr int kFrameBytes = sensor::kFrameBytes;
constexpr double kCloseBound = 5.0; // seconds for the sensor to take everything and see the close
int listener = -1;
sensor::Sensor *tcp = nullptr;
bool closed = false;

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
    sensor::Address address;
    address.tcp = true;
    address.host = "127.0.0.1";
    address.port = ntohs(addr.sin_port);
    tcp = new sensor::Sensor(address);
    tcp->onLost = [] { closed = true; };
}

void SendAll(int fd, const uint8_t *data, size_t size) {
    size_t done = 0;
    while (done < size) {
        const ssize_t w = send(fd, data + done, size - done, MSG_NOSIGNAL);
        FUZZ_CHECK(w > 0);
        done += static_cast<size_t>(w);
    }
}

// Closes the far end and lets events run until the sensor has seen the close:
// by then it has taken every byte.
void CloseAndSettle(int server) {
    close(server);
    FUZZ_CHECK(fuzz::RunEventsUntil([] { return closed; }, kCloseBound));
}

// The part of the input that did not make a whole frame sits in the awaited answer.
void CheckPartialAnswer(const uint8_t *data, size_t size) {
    FUZZ_CHECK(tcp->bytesToRead() == kFrameBytes - static_cast<int>(size));
    FUZZ_CHECK(std::memcmp(tcp->answer(), data, size) == 0);
}

// An exchange: one answer awaited, everything after it dropped.
void OneAnswer(int server, const uint8_t *data, size_t size) {
    tcp->expectAnswer();
    SendAll(server, data, size);
    CloseAndSettle(server);
    CheckPartialAnswer(data, std::min<size_t>(size, kFrameBytes));
    fuzz::CheckLinkDecoders(*tcp);
    if (tcp->bytesToRead() == 0) {
        const std::string version(tcp->answer(), strnlen(tcp->answer(), kFrameBytes));
        SensorCodeFromVersion(version.c_str(), 0);
    }
}

// Auto-sent frames as the triggered recording takes them: every whole frame in
// order, however the bytes were split or bunched on the way.
void FrameStream(int server, const uint8_t *data, size_t size) {
    tcp->setStreaming(true);
    SendAll(server, data, size);
    size_t offset = 0;
    for (; offset + kFrameBytes <= size; offset += kFrameBytes) {
        FUZZ_CHECK(fuzz::Finish([](sensor::Sensor::Done done) { tcp->awaitStreamedFrame(std::move(done)); },
                                kCloseBound));
        FUZZ_CHECK(std::memcmp(tcp->answer(), data + offset, kFrameBytes) == 0);
    }
    // The rest is the start of a frame that never ends: the close ends its wait.
    bool ended = false;
    tcp->awaitStreamedFrame([&ended](bool ok) {
        FUZZ_CHECK(!ok);
        ended = true;
    });
    CloseAndSettle(server);
    FUZZ_CHECK(ended);
    CheckPartialAnswer(data + offset, size - offset);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    fuzz::StartRunTime();
    Listen();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size < 1) return 0;
    tcp->reset();
    // The closed socket goes now, as it would once the program's loop runs again.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    closed = false;
    FUZZ_CHECK(fuzz::Finish([](sensor::Sensor::Done done) { tcp->open(std::move(done)); }, kCloseBound));
    const int server = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    FUZZ_CHECK(server >= 0);

    // The first byte chooses between an exchange and a stream of auto-sent frames.
    if (data[0] & 1)
        FrameStream(server, data + 1, size - 1);
    else
        OneAnswer(server, data + 1, size - 1);
    return 0;
}
