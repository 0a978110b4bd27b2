// Figures of KelvraV12's compensation transfer: how long P1 and P3 take against
// the simulated sensor paced at 19200 baud, over TCP and over a pseudo-terminal,
// next to the floor that the pauses and the line speed set.
#include "kelvra/compensation.h"
#include "kelvra/gui.h"
#include "kelvra/kelvradata.h"
#include "kelvra/startup.h"
#include "kelvra/transfer.h"
#include "link/linkstate.h"
#include "platform/rs232.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "platform/utility.h"
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

namespace {

constexpr int kRuns = 5;
constexpr int kSerialPort = 5;
constexpr double kBlockPause = 0.2;
constexpr int kFrameBytes = 36;

struct Link {
    const char *name;
    std::string settings; // ComSettings.cfg that reaches the simulated sensor
};

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
        if (com.comecho != 1) return -1;
    }
    std::sort(seconds.begin(), seconds.end());
    return seconds[kRuns / 2];
}

void PrintRow(const char *link, int n, double measured) {
    const PanelDesc &p = DataPanelDesc(n);
    const int exchanges = p.plan.blockCount + TransferFrames(p);
    const double pauses = kBlockPause * p.plan.blockCount;
    // A real line carries the command and the answer; the simulator paces only its answers.
    const double wireFloor = pauses + exchanges * 2 * kFrameBytes * sim::SimSensor::kByteSeconds;
    const double simFloor = pauses + exchanges * kFrameBytes * sim::SimSensor::kByteSeconds;
    if (measured < 0) {
        std::printf("%-6s P%d  transfer failed\n", link, n);
        return;
    }
    std::printf("%-6s P%d  %2d exchanges  %6.3f s   wire floor %5.3f s   sim floor %5.3f s   +%4.1f %%\n",
                link, n, exchanges, measured, wireFloor, simFloor, 100.0 * (measured - simFloor) / simFloor);
}

} // namespace

int main(int argc, char **argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!QFile::copy(KELVRA_DIR "/KelvraV12.uir", dir.filePath("KelvraV12.uir"))) {
        std::fprintf(stderr, "KelvraV12.uir not found in %s: build the program first\n", KELVRA_DIR);
        return 1;
    }
    SetProjectDir(dir.path().toStdString());
    SetPopupResponder([](const PopupRecord &, std::string &) { return 0; });

    sim::SimSensor sensor;
    sensor.setPacing(true);
    sensor.setVersion("HUEMA3 V6.3");
    const int tcpPort = sensor.listenTcp();
    MapComPort(kSerialPort, sensor.openPty());
    const Link links[] = {
        {"TCP", "1\r\n1\r\n127.0.0.1\r\n" + std::to_string(tcpPort) + "\r\n"},
        {"serial", "0\r\n" + std::to_string(kSerialPort) + "\r\n\r\n\r\n"},
    };
    std::printf("KelvraV12 transfer against the simulated sensor at 19200 baud, median of %d runs\n", kRuns);
    for (const Link &link : links) {
        std::ofstream(dir.filePath("ComSettings.cfg").toStdString(), std::ios::binary) << link.settings;
        if (StartKelvra() != 0) return 1;
        for (int n : {1, 3})
            PrintRow(link.name, n, TimeTransfers(n));
        ShutdownKelvra();
    }
    MapComPort(kSerialPort, "");
    SetProjectDir("");
    return 0;
}
