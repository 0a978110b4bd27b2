// Figures of the answer wait that every exchange runs: what a 3 s wait in which
// nothing arrives costs in CPU, and how soon the wait notices an arriving answer,
// over TCP and over a pseudo-terminal standing in for a serial port. The wait is
// the sensor object's, run as the programs run their operations: the event pump
// sleeps until the operation has ended.
#include "bench/benchtable.h"
#include "runtime/events.h"
#include "runtime/utility.h"
#include "sensor/sensor.h"

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <netinet/in.h>
#include <optional>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace runtime;

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kWaitSeconds = 3.0;
constexpr int kSamples = 50;

// One transport under test: the sensor's end and the far end's descriptor.
struct Transport {
    const char *name;
    sensor::Sensor &sensor;
    int farEnd;
};

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// One answer wait, run until its done runs; seenAt is when that was.
bool AwaitAnswer(sensor::Sensor &s, Clock::time_point &seenAt) {
    std::optional<bool> outcome;
    s.expectAnswer();
    s.awaitAnswer(kWaitSeconds, [&](bool ok) {
        seenAt = Clock::now();
        outcome = ok;
    });
    while (!outcome)
        WaitForSystemEvents(1.0);
    return *outcome;
}

// CPU time of a full answer wait in which nothing arrives, in % of one core.
double IdleWaitCpuPercent(const Transport &t) {
    Clock::time_point seenAt;
    const double cpu0 = ProcessCpuSeconds();
    const double t0 = Timer();
    AwaitAnswer(t.sensor, seenAt);
    return 100.0 * (ProcessCpuSeconds() - cpu0) / (Timer() - t0);
}

// Delays in ms between an answer's write at the far end and the wait's end.
// A second thread writes after a short, varying pause, so the answer finds the
// wait idle at different points of its cycle.
std::vector<double> ArrivalDelaysMs(const Transport &t) {
    const std::string answer(bench::kFrameBytes, '\x5A');
    std::vector<double> delays;
    for (int i = 0; i < kSamples; ++i) {
        std::atomic<Clock::rep> writtenAt{0};
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(2000 + 731 * (i % 7)));
            writtenAt = Clock::now().time_since_epoch().count();
            if (write(t.farEnd, answer.data(), answer.size()) != static_cast<ssize_t>(answer.size()))
                std::perror("write");
        });
        Clock::time_point seenAt;
        const bool ok = AwaitAnswer(t.sensor, seenAt);
        writer.join();
        if (!ok) throw std::runtime_error(std::string("no answer arrived on ") + t.name);
        delays.push_back(std::chrono::duration<double, std::milli>(seenAt.time_since_epoch() -
                                                                   Clock::duration(writtenAt.load()))
                             .count());
    }
    std::sort(delays.begin(), delays.end());
    return delays;
}

// Opens the sensor at its address, letting events run until that has ended.
void Open(sensor::Sensor &s) {
    std::optional<bool> opened;
    s.open([&](bool ok) { opened = ok; });
    while (!opened)
        WaitForSystemEvents(1.0);
    if (!*opened) throw std::runtime_error(s.cause());
}

// ---- TCP: the sensor against a plain listening socket of this process -------

// Connects the sensor to a loopback listener; returns the server side's descriptor.
int ConnectTcp(sensor::Sensor &s) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("no loopback listener");
    sensor::Address a;
    a.tcp = true;
    a.host = "127.0.0.1";
    a.port = ntohs(address.sin_port);
    s.setAddress(a);
    Open(s);
    int server = accept(listener, nullptr, nullptr);
    close(listener);
    if (server < 0) throw std::runtime_error("accept failed");
    return server;
}

// ---- serial: the sensor on the slave side of a pseudo-terminal ---------------

// Opens a pseudo-terminal in raw mode and the sensor on its slave; returns the master's descriptor.
int OpenSerial(sensor::Sensor &s) {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    sensor::Address a;
    a.device = ptsname(master);
    s.setAddress(a);
    Open(s);
    return master;
}

void Measure(const Transport &t) {
    const double cpu = IdleWaitCpuPercent(t);
    const std::vector<double> delays = ArrivalDelaysMs(t);
    const std::string name = t.name;
    const std::string missed = "a missed wake-up sleeps until the time-out";
    bench::Print({"Idle 3 s answer wait, CPU, " + name, cpu, "%", 1, bench::Goal::AtMost, 2.0,
                  "busy-wait loop: 100 %"});
    bench::Print({"Wake-up after an answer, median of 50, " + name, delays[delays.size() / 2], "ms", 3,
                  bench::Goal::AtMost, 1.0, missed});
    bench::Print({"Wake-up after an answer, max of 50, " + name, delays.back(), "ms", 3, bench::Goal::AtMost,
                  5.0, missed});
}

} // namespace

int main(int argc, char **argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    try {
        sensor::Sensor tcp;
        const int server = ConnectTcp(tcp);
        Measure({"TCP", tcp, server});
        tcp.close();
        close(server);

        sensor::Sensor serial;
        const int master = OpenSerial(serial);
        Measure({"pseudo-terminal", serial, master});
        serial.close();
        close(master);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_wait: %s\n", e.what());
        return 1;
    }
    return 0;
}
