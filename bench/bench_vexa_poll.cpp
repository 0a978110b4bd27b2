// Figures of VexaV32's live-data loop against the simulated sensor, over
// loopback TCP and over a pseudo-terminal paced as a 19200-baud line: the cycle
// period, what a cycle costs beyond its 50 ms pause and the time on the wire,
// the program's CPU use while the charts are drawn, and the time from start to
// connected (version answer and parameter set read).
#include "bench/benchtable.h"
#include "bench/pacedline.h"
#include "bench/programbench.h"
#include "link/linkstate.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "runtime/serialports.h"
#include "runtime/utility.h"
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

using namespace runtime;
using namespace programlink;
using namespace vexaprogram;

namespace {

constexpr long kCycles = 150;
using bench::kSerialPort;
constexpr double kPause = 0.050;
// Start-up: auto-send off (no answer), then the version query, the parameters and
// 31 teach rows, each a command and its answer.
constexpr int kStartFrames = 1 + 2 * 33;

double ThreadCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

using bench::Link;

std::string Ms(double seconds) {
    return bench::Fixed(seconds * 1e3, 2) + " ms";
}

// Starts the program and prints how long it took to be connected with the sensor's set read.
bool MeasureStart(const Link &link) {
    const double t0 = Timer();
    const int started = StartVexa();
    const double seconds = Timer() - t0;
    const std::string figure = std::string("VexaV32 start-up to connected, ") + link.name;
    if (started != 0 || !LinkSensor().echoOk()) {
        bench::PrintFailure(figure, "no connection");
        return false;
    }
    // The link pauses 0.1 s before it asks for the version.
    const double floor = 0.1 + (link.paced ? kStartFrames * bench::kFrameBytes * bench::kByteSeconds : 0.0);
    const std::string against = "floor " + bench::Fixed(floor, 3) + " s: 0.1 s pause + 33 exchanges" +
                                (link.paced ? ", 67 frames at 19200 Bd" : " on loopback");
    bench::Print({figure, seconds, "s", 3, bench::Goal::AtMost, floor + 0.5, against});
    return true;
}

// Polls kCycles frames in the density view, as after start-up, and prints the figures.
void MeasurePolling(sim::SimSensor &sensor, const Link &link, const std::string &traceText) {
    sensor.clearCapture();
    const long first = sensor.framesReceived();
    QTimer stopper;
    stopper.setInterval(20);
    QObject::connect(&stopper, &QTimer::timeout, [&] {
        if (sensor.framesReceived() - first >= kCycles) vexa.poll = 0;
    });
    stopper.start();
    const double cpu0 = ThreadCpuSeconds(), t0 = Timer();
    GetData();
    const double seconds = Timer() - t0;
    const double cpu = ThreadCpuSeconds() - cpu0;
    stopper.stop();

    const std::string name = link.name + traceText;
    std::vector<double> sent;
    for (const sim::CaptureEntry &e : sensor.capture())
        if (e.direction == sim::Direction::ToSensor) sent.push_back(e.seconds);
    if (sent.size() < 2 || LinkSensor().bytesToRead() != 0) {
        bench::PrintFailure("Polling period, " + name, "polling failed");
        return;
    }
    const double period = (sent.back() - sent.front()) / double(sent.size() - 1);
    const double wire = link.paced ? 2 * bench::kFrameBytes * bench::kByteSeconds : 0.0;
    const double floor = kPause + wire;
    const std::string floorText =
        link.paced ? "floor " + Ms(floor) + ": 50 ms pause + 72 B at 19200 Bd" : "floor 50.00 ms: the pause";
    bench::Print({"Polling period, " + name, period * 1e3, "ms", 2, bench::Goal::AtMost,
                  (floor + 0.005) * 1e3, floorText});
    bench::Print({"Polling overhead per cycle, " + name, (period - floor) * 1e3, "ms", 2, bench::Goal::AtMost,
                  5.0, "period minus floor"});
    bench::Print({"Polling CPU (program thread), " + name, 100.0 * cpu / seconds, "%", 1, bench::Goal::AtMost,
                  10.0, "busy-wait loop: 100 %"});
}

} // namespace

int main(int argc, char **argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!bench::SetUpProgramDir(dir, VEXA_DIR, {"VexaV32.uir", "orvena.png"})) return 1;
    SetPopupResponder([](const PopupRecord &, std::string &) { return 0; });

    sim::SimSensor sensor;
    const int tcpPort = sensor.listenTcp();
    bench::PacedLine line(sensor.openPty());
    MapComPort(kSerialPort, line.programDevice());
    for (const Link &link : bench::SensorLinks(tcpPort)) {
        bench::UseLink(dir, link);
        if (!MeasureStart(link)) return 1;
        MeasurePolling(sensor, link, ", trace off");
        if (!LinkTrace().start(dir.filePath("poll.trace").toStdString()).empty()) return 1;
        MeasurePolling(sensor, link, ", trace on");
        LinkTrace().stop();
        EndVexa();
        ResetVexa();
    }
    MapComPort(kSerialPort, "");
    SetProjectDir("");
    return 0;
}
