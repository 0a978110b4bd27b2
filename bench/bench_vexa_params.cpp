// Figures of VexaV32's parameter transfer against the simulated sensor: how
// long Send (parameters and 31 teach rows into RAM) and Get (the same read
// back) take over loopback TCP and over a pseudo-terminal paced as a 19200-baud
// line, next to the floor the line sets: 32 exchanges of 72 bytes, 1.2 s.
#include "bench/benchtable.h"
#include "bench/pacedline.h"
#include "bench/programbench.h"
#include "link/linkstate.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "runtime/serialports.h"
#include "runtime/utility.h"
#include "sim/simsensor.h"
#include "vexa/paratransfer.h"
#include "vexa/program.h"
#include "vexa/startup.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using namespace runtime;
using namespace programlink;
using namespace vexaprogram;

namespace {

constexpr int kRuns = 3;
using bench::kSerialPort;
constexpr int kExchanges = 32; // the parameters and 31 teach rows
constexpr double kLineFloor = kExchanges * 2 * bench::kFrameBytes * bench::kByteSeconds;

using bench::Link;

// Median seconds of kRuns runs of a transfer; -1 when one failed.
double MedianSeconds(void (*transfer)()) {
    std::vector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        const double t0 = Timer();
        transfer();
        seconds.push_back(Timer() - t0);
        if (!LinkSensor().echoOk()) return -1;
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[kRuns / 2];
}

void PrintTransfer(const Link &link, const char *what, double seconds) {
    const std::string figure = std::string("Parameter ") + what + " (32 exchanges), " + link.name;
    if (seconds < 0) {
        bench::PrintFailure(figure, "transfer failed");
        return;
    }
    const std::string floor = "floor " + bench::Fixed(kLineFloor, 3) + " s: 32 x 72 B at 19200 Bd";
    if (link.paced)
        bench::Print({figure, seconds, "s", 3, bench::Goal::AtMost, kLineFloor * 1.05, floor});
    else
        bench::Print(
            {figure, seconds, "s", 3, bench::Goal::AtMost, 0.25, "loopback; a real line's " + floor});
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
        if (StartVexa() != 0 || !LinkSensor().echoOk()) {
            bench::PrintFailure(std::string("Parameter transfer, ") + link.name, "no connection");
            return 1;
        }
        vexa.target = RAM;
        PrintTransfer(link, "Send", MedianSeconds(SendPara));
        PrintTransfer(link, "Get", MedianSeconds(GetPara));
        EndVexa();
        ResetVexa();
    }
    MapComPort(kSerialPort, "");
    SetProjectDir("");
    return 0;
}
