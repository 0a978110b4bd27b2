// Figures of VexaV32's live-data loop against the simulated sensor, over
// loopback TCP and over a pseudo-terminal paced at 19200 baud: the cycle
// period, what a cycle costs beyond its 50 ms pause and the time on the wire,
// and the program's CPU use while the charts are drawn.
#include "link/linkstate.h"
#include "platform/rs232.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "sim/simsensor.h"
#include "vexa/livedata.h"
#include "vexa/program.h"
#include "vexa/startup.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr long kCycles = 200;
constexpr int kSerialPort = 5;
constexpr double kPause = 0.050;
constexpr int kFrameBytes = 36;

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

struct Link {
    const char *name;
    std::string settings; // ComSettings.cfg that reaches the simulated sensor
    bool paced;
};

// Polls kCycles frames in the given view and prints the figures.
void MeasurePolling(sim::SimSensor &sensor, const Link &link, int source) {
    SetCtrlVal(vexa.datapanel, "SelectSource", source);
    DispVis();
    sensor.clearCapture();
    const long first = sensor.framesReceived();
    QTimer stopper;
    stopper.setInterval(20);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (sensor.framesReceived() - first >= kCycles) vexa.poll = 0;
    });
    stopper.start();
    const double cpu0 = ThreadCpuSeconds(), all0 = ProcessCpuSeconds(), t0 = Timer();
    GetData();
    const double seconds = Timer() - t0;
    const double cpu = ThreadCpuSeconds() - cpu0, all = ProcessCpuSeconds() - all0;
    stopper.stop();

    std::vector<double> sent;
    for (const sim::CaptureEntry &e : sensor.capture())
        if (e.direction == sim::Direction::ToSensor) sent.push_back(e.seconds);
    if (sent.size() < 2 || com.bytesToRead != 0) {
        std::printf("%-7s polling failed\n", link.name);
        return;
    }
    const double period = (sent.back() - sent.front()) / double(sent.size() - 1);
    // The simulated sensor paces its answers only; the request crosses the pseudo-terminal at once.
    const double wire = link.paced ? kFrameBytes * sim::SimSensor::kByteSeconds : 0.0;
    std::printf("%-7s %-7s %4zu cycles  period %6.2f ms  wire %5.2f ms  overhead %5.2f ms  "
                "CPU %4.1f %% (process with sensor %4.1f %%)\n",
                link.name, source == 0 ? "density" : "raw", sent.size(), period * 1e3, wire * 1e3,
                (period - kPause - wire) * 1e3, 100.0 * cpu / seconds, 100.0 * all / seconds);
}

} // namespace

int main(int argc, char **argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    for (const char *file : {"VexaV32.uir", "orvena.png"})
        if (!QFile::copy(QString(VEXA_DIR) + "/" + file, dir.filePath(file))) {
            std::fprintf(stderr, "%s not found in %s: build the program first\n", file, VEXA_DIR);
            return 1;
        }
    SetProjectDir(dir.path().toStdString());
    SetPopupResponder([](const PopupRecord &, std::string &) { return 0; });

    sim::SimSensor sensor;
    const int tcpPort = sensor.listenTcp();
    MapComPort(kSerialPort, sensor.openPty());
    const Link links[] = {
        {"TCP", "1\r\n1\r\n127.0.0.1\r\n" + std::to_string(tcpPort) + "\r\n", false},
        {"serial", "0\r\n" + std::to_string(kSerialPort) + "\r\n\r\n\r\n", true},
    };
    std::printf("VexaV32 polling against the simulated sensor, %ld cycles each, 50 ms pause per cycle\n",
                kCycles);
    for (const Link &link : links) {
        sensor.setPacing(link.paced);
        std::ofstream(dir.filePath("ComSettings.cfg").toStdString(), std::ios::binary) << link.settings;
        if (StartVexa() != 0) return 1;
        for (int source : {0, 1})
            MeasurePolling(sensor, link, source);
        EndVexa();
        ResetVexa();
    }
    MapComPort(kSerialPort, "");
    SetProjectDir("");
    return 0;
}
