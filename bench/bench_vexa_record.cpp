// Figures of VexaV32's recorder: rows per second in open-ended interval mode
// with interval 0 against the simulated sensor over loopback TCP, and what one
// sample costs the graph panel (seven segments and the redraw of the shown
// graph) after 10, 1,000 and 10,000 samples.
#include "link/linkstate.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "platform/utility.h"
#include "sim/simsensor.h"
#include "vexa/graphpanel.h"
#include "vexa/livedata.h"
#include "vexa/program.h"
#include "vexa/recorder.h"
#include "vexa/startup.h"

#include <QApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <numeric>
#include <string>
#include <vector>

namespace {

constexpr int kRecordMs = 3000;

int CountLines(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    return static_cast<int>(std::count(std::istreambuf_iterator<char>(in), {}, '\n'));
}

void MeasureRecording(const std::string &path) {
    SetCtrlVal(vexa.recpanel, "EditSelectDataRec", 1);
    ChangeRecordMode();
    SetCtrlVal(vexa.recpanel, "EditInterval", 0);
    ResetTextBox(vexa.recpanel, "DispRecFile", path);
    QTimer::singleShot(kRecordMs, [] { vexa.poll = 0; });
    const double t0 = Timer();
    Record();
    const double seconds = Timer() - t0;
    const int rows = CountLines(path) - 1; // the header
    std::printf("mode 1, interval 0, TCP: %d rows in %.2f s = %.0f rows/s%s\n", rows, seconds, rows / seconds,
                rec.rowsLost ? " (rows lost!)" : "");
}

// Microseconds per sample: the append and the repaint it causes.
// Samples k of a recording of n samples; the cost of each in microseconds.
std::vector<double> RecordSamples(int n) {
    InitPanelGraph();
    QCoreApplication::processEvents();
    std::vector<double> cost;
    for (int k = 0; k < n; ++k) {
        live.dataChL = static_cast<uint16_t>(2000 + 1500 * std::sin(k * 0.01));
        live.dataDensity = static_cast<uint16_t>(k % 4096);
        const double t0 = Timer();
        SetPanelGraphData();
        QCoreApplication::processEvents();
        cost.push_back((Timer() - t0) * 1e6);
    }
    return cost;
}

void MeasureGraphPanel() {
    DisplayPanel(vexa.graphpanel);
    HidePanel(vexa.datapanel);
    RecordSamples(500); // warms up the painting paths, then is cleared
    const int windows[] = {10, 1000, 10000};
    constexpr int kWindow = 50;
    const std::vector<double> cost = RecordSamples(windows[2] + kWindow);
    for (int w : windows) {
        std::vector<double> part(cost.begin() + w, cost.begin() + w + kWindow);
        const double mean = std::accumulate(part.begin(), part.end(), 0.0) / kWindow;
        std::nth_element(part.begin(), part.begin() + kWindow / 2, part.end());
        const double max = *std::max_element(part.begin(), part.end());
        std::printf(
            "graph panel after %5d samples: median %6.1f us, mean %6.1f us, max %6.1f us per sample\n", w,
            part[kWindow / 2], mean, max);
    }
    const double all = std::accumulate(cost.begin(), cost.end(), 0.0) / double(cost.size());
    std::printf("graph panel, mean over all %zu samples (x range doublings included): %.1f us\n", cost.size(),
                all);
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
    SetPopupResponder(
        [](const PopupRecord &p, std::string &) { return p.kind == PopupRecord::Confirm ? 1 : 0; });

    sim::SimSensor sensor;
    const int tcpPort = sensor.listenTcp();
    std::ofstream(dir.filePath("ComSettings.cfg").toStdString(), std::ios::binary)
        << "1\r\n1\r\n127.0.0.1\r\n" + std::to_string(tcpPort) + "\r\n";
    if (StartVexa() != 0) return 1;
    ShowChildPanel(5);
    MeasureRecording(dir.filePath("record.dat").toStdString());
    MeasureGraphPanel();
    EndVexa();
    SetProjectDir("");
    return 0;
}
