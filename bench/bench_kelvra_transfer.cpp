// Figures of KelvraV12 against the simulated sensor, over loopback TCP and over
// a pseudo-terminal paced as a 19200-baud line: how long the compensation
// transfers of P1 and P3 take next to the floor that the block pauses and the
// line set, and the time from start to connected.
#include "bench/benchtable.h"
#include "bench/pacedline.h"
#include "bench/programbench.h"
#include "kelvra/compensation.h"
#include "kelvra/gui.h"
#include "kelvra/startup.h"
#include "kelvralink/kelvradata.h"
#include "kelvralink/transfer.h"
#include "link/linkstate.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "runtime/serialports.h"
#include "runtime/utility.h"
#include "sim/simsensor.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

using kelvralink::CoefficientCtrl;
using kelvralink::DataPanelDesc;
using kelvralink::kDataPanels;
using kelvralink::kpanels;
using kelvralink::PanelDesc;
using kelvralink::TransferFrames;

using namespace runtime;
using namespace programlink;
using namespace kelvraprogram;

namespace {

constexpr int kRuns = 3;
using bench::kSerialPort;
constexpr double kBlockPause = 0.2;
constexpr double kFrameSeconds = bench::kFrameBytes * bench::kByteSeconds;

using bench::Link;

// Median seconds of kRuns transfers of panel n; -1 when one failed.
double TimeTransfers(int n) {
    const int codes[kDataPanels] = {100, 300, 400, 500, 600, 700};
    SetCtrlVal(kpanels.mainpanel, kEditSelectSensor, codes[n - 1]);
    ShowChildPanel();
    const PanelDesc &p = DataPanelDesc(n);
    for (int k = 0; k < p.channelCount; ++k)
        SetCtrlVal(kpanels.datapanel[n], CoefficientCtrl(p.channels[k], 4), 1000.0 + k);
    CalcCurvesData(n);
    CalcSetPointData(n);
    CalcCfCurvesData(n);
    std::vector<double> seconds;
    for (int run = 0; run < kRuns; ++run) {
        const double t0 = Timer();
        SendParaData(n);
        seconds.push_back(Timer() - t0);
        if (!LinkSensor().echoOk()) return -1;
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[kRuns / 2];
}

void PrintTransfer(const Link &link, int n, double measured) {
    const PanelDesc &p = DataPanelDesc(n);
    const int exchanges = p.plan.blockCount + TransferFrames(p);
    const std::string figure = "KelvraV12 transfer P" + std::to_string(n) + " (" + std::to_string(exchanges) +
                               " exchanges), " + link.name;
    if (measured < 0) {
        bench::PrintFailure(figure, "transfer failed");
        return;
    }
    const double pauses = kBlockPause * p.plan.blockCount;
    const double floor = pauses + (link.paced ? exchanges * 2 * kFrameSeconds : 0.0);
    const std::string against = "floor " + bench::Fixed(floor, 3) +
                                " s: " + std::to_string(p.plan.blockCount) + " block pauses of 0.2 s" +
                                (link.paced ? " + " + std::to_string(exchanges) + " x 72 B at 19200 Bd" : "");
    bench::Print({figure, measured, "s", 3, bench::Goal::AtMost, floor * 1.1, against});
}

// Starts the program and prints how long it took to be connected.
bool MeasureStart(const Link &link) {
    const double t0 = Timer();
    const int started = StartKelvra();
    const double seconds = Timer() - t0;
    const std::string figure = std::string("KelvraV12 start-up to connected, ") + link.name;
    if (started != 0 || LinkSensor().version().empty()) {
        bench::PrintFailure(figure, "no connection");
        return false;
    }
    // The link pauses 0.1 s before it asks for the version.
    const double floor = 0.1 + (link.paced ? 2 * kFrameSeconds : 0.0);
    const std::string against = "floor " + bench::Fixed(floor, 3) + " s: 0.1 s pause + the version query" +
                                (link.paced ? ", 72 B at 19200 Bd" : "");
    bench::Print({figure, seconds, "s", 3, bench::Goal::AtMost, floor + 0.5, against});
    return true;
}

} // namespace

int main(int argc, char **argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!bench::SetUpProgramDir(dir, KELVRA_DIR, {"KelvraV12.uir"})) return 1;
    SetPopupResponder([](const PopupRecord &, std::string &) { return 0; });

    sim::SimSensor sensor;
    sensor.setVersion("HUEMA3 V6.3");
    const int tcpPort = sensor.listenTcp();
    bench::PacedLine line(sensor.openPty());
    MapComPort(kSerialPort, line.programDevice());
    for (const Link &link : bench::SensorLinks(tcpPort)) {
        bench::UseLink(dir, link);
        if (!MeasureStart(link)) return 1;
        for (int n : {1, 3})
            PrintTransfer(link, n, TimeTransfers(n));
        ShutdownKelvra();
    }
    MapComPort(kSerialPort, "");
    SetProjectDir("");
    return 0;
}
