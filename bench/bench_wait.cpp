// Figures of the answer wait that every exchange runs: what a 3 s wait in which
// nothing arrives costs in CPU, and how soon the wait notices an arriving byte,
// over TCP and over a pseudo-terminal standing in for a serial port.
#include "bench/benchtable.h"
#include "platform/rs232.h"
#include "platform/tcpsupp.h"
#include "platform/userint.h"
#include "platform/utility.h"

#include <QApplication>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <netinet/in.h>
#include <stdexcept>
#include <string>
#include <sys/socket.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr double kWaitSeconds = 3.0;
constexpr int kSamples = 50;
constexpr int kSerialPort = 1;

// One transport under test: the far end's descriptor, the wait's check, and
// how to take the byte that came so the next sample starts empty.
struct Transport {
    const char *name;
    int farEnd;
    std::function<bool()> arrived;
    std::function<void()> take;
};

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// CPU time of a full answer wait in which nothing arrives, in % of one core.
double IdleWaitCpuPercent(const Transport &t) {
    double cpu0 = ProcessCpuSeconds();
    double t0 = Timer();
    while (Timer() - t0 <= kWaitSeconds) {
        WaitForSystemEvents(kWaitSeconds - (Timer() - t0));
        if (t.arrived()) break;
    }
    double wall = Timer() - t0;
    return 100.0 * (ProcessCpuSeconds() - cpu0) / wall;
}

// Delays in ms between a byte's write at the far end and the wait seeing it.
// A second thread writes after a short, varying pause, so the byte finds the
// wait idle at different points of its cycle.
std::vector<double> ArrivalDelaysMs(const Transport &t) {
    std::vector<double> delays;
    for (int i = 0; i < kSamples; ++i) {
        std::atomic<Clock::rep> writtenAt{0};
        std::thread writer([&] {
            std::this_thread::sleep_for(std::chrono::microseconds(2000 + 731 * (i % 7)));
            writtenAt = Clock::now().time_since_epoch().count();
            if (write(t.farEnd, "x", 1) != 1) std::perror("write");
        });
        double t0 = Timer();
        while (!t.arrived() && Timer() - t0 <= kWaitSeconds)
            WaitForSystemEvents(kWaitSeconds - (Timer() - t0));
        Clock::rep seenAt = Clock::now().time_since_epoch().count();
        writer.join();
        if (!t.arrived()) throw std::runtime_error(std::string("no byte arrived on ") + t.name);
        delays.push_back(
            std::chrono::duration<double, std::milli>(Clock::duration(seenAt - writtenAt)).count());
        t.take();
    }
    std::sort(delays.begin(), delays.end());
    return delays;
}

// ---- TCP: our client against a plain listening socket of this process -------

int bytesToRead = 1; // one byte awaited from the start

// Collects the awaited byte as the programs' receive callback does; drops
// anything that comes while nothing is awaited.
int OnTcpEvent(unsigned handle, int event, int, void *) {
    if (event != TCP_DATAREADY) return 0;
    char buffer[1024];
    if (bytesToRead < 1) {
        ClientTCPRead(handle, buffer, sizeof buffer, 5000);
        return 0;
    }
    while (bytesToRead > 0) {
        int n = ClientTCPRead(handle, buffer, static_cast<unsigned>(bytesToRead), 5000);
        if (n <= 0) break;
        bytesToRead -= n;
    }
    return 0;
}

// Connects the client to a loopback listener; returns the server side's descriptor.
int ConnectTcp(unsigned &handle) {
    int listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || listen(listener, 1) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("no loopback listener");
    if (ConnectToTCPServer(&handle, ntohs(address.sin_port), "127.0.0.1", OnTcpEvent, nullptr, 5000) != 0)
        throw std::runtime_error("TCP connect failed");
    int server = accept(listener, nullptr, nullptr);
    close(listener);
    if (server < 0) throw std::runtime_error("accept failed");
    return server;
}

// ---- serial: our port on the slave side of a pseudo-terminal ----------------

// Opens a pseudo-terminal in raw mode, puts its slave behind the port number
// and opens the port as the programs do; returns the master's descriptor.
int OpenSerial() {
    int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0)
        throw std::runtime_error("no pseudo-terminal");
    termios tio{};
    tcgetattr(master, &tio);
    cfmakeraw(&tio);
    tcsetattr(master, TCSANOW, &tio);
    MapComPort(kSerialPort, ptsname(master));
    if (OpenComConfig(kSerialPort, "", 19200, 0, 8, 1, 1024, 1024) != 0)
        throw std::runtime_error("serial open failed");
    SetComTime(kSerialPort, 2.0);
    FlushInQ(kSerialPort);
    return master;
}

void Measure(const Transport &t) {
    const double cpu = IdleWaitCpuPercent(t);
    const std::vector<double> delays = ArrivalDelaysMs(t);
    const std::string name = t.name;
    const std::string missed = "a missed wake-up sleeps until the time-out";
    bench::Print({"Idle 3 s answer wait, CPU, " + name, cpu, "%", 1, bench::Goal::AtMost, 2.0,
                  "busy-wait loop: 100 %"});
    bench::Print({"Wake-up after a byte, median of 50, " + name, delays[delays.size() / 2], "ms", 3,
                  bench::Goal::AtMost, 1.0, missed});
    bench::Print({"Wake-up after a byte, max of 50, " + name, delays.back(), "ms", 3, bench::Goal::AtMost,
                  5.0, missed});
}

} // namespace

int main(int argc, char **argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    try {
        unsigned handle = 0;
        int server = ConnectTcp(handle);
        Measure({"TCP", server, [] { return bytesToRead == 0; }, [] { bytesToRead = 1; }});
        DisconnectFromTCPServer(handle);
        close(server);

        int master = OpenSerial();
        Measure({"pseudo-terminal", master, [] { return GetInQLen(kSerialPort) > 0; },
                 [] {
                     char c;
                     ComRd(kSerialPort, &c, 1);
                 }});
        CloseCom(kSerialPort);
        close(master);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "bench_wait: %s\n", e.what());
        return 1;
    }
    return 0;
}
