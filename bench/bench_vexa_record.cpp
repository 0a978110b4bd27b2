// Figures of VexaV32's recorder: rows per second in open-ended interval mode
// with interval 0 against the simulated sensor over loopback TCP in each record
// format, how close a CSV row's time stamp lies to its answer, and what one
// sample costs the graph panel (seven segments and the redraw of the shown
// graph) after 10 and after 10,000 samples.
#include "bench/benchtable.h"
#include "bench/programbench.h"
#include "link/linkstate.h"
#include "platform/testhooks.h"
#include "platform/userint.h"
#include "runtime/utility.h"
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
#include <mutex>
#include <numeric>
#include <string>
#include <vector>

using vexalink::RecordFormat;

using namespace runtime;
using namespace vexaprogram;

namespace {

constexpr int kRecordMs = 3000;

// The rows of a record file after its header.
std::vector<std::string> DataRows(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> rows;
    for (std::string line; std::getline(in, line);)
        rows.push_back(line);
    if (!rows.empty()) rows.erase(rows.begin());
    return rows;
}

double Median(std::vector<double> v) {
    std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
    return v[v.size() / 2];
}

// Answer frames the simulated sensor sends, each with the moment (Timer) it started to send it.
struct SentAnswers {
    std::mutex lock;
    std::vector<double> at;
};

// Rows per second of an open-ended recording at interval 0 in one format, and for
// CSV how far each row's time stamp lies from the moment its answer was sent.
void MeasureRecording(const std::string &path, RecordFormat format, sim::SimSensor &sensor) {
    const bool csv = format == RecordFormat::Csv;
    SetCtrlVal(vexa.recpanel, "EditRecFormat", static_cast<int>(format));
    SetCtrlVal(vexa.recpanel, "EditSelectDataRec", 1);
    ChangeRecordMode();
    SetCtrlVal(vexa.recpanel, "EditInterval", 0);
    ResetTextBox(vexa.recpanel, "DispRecFile", path);
    rec.file_name = path;
    WriteFileHeader();
    SentAnswers sent;
    sensor.setCaptureListener([&sent](const sim::CaptureEntry &e) {
        if (e.direction != sim::Direction::FromSensor || e.bytes.size() != bench::kFrameBytes) return;
        const std::lock_guard<std::mutex> hold(sent.lock);
        sent.at.push_back(Timer());
    });
    QTimer::singleShot(kRecordMs, [] { vexa.poll = 0; });
    const double t0 = Timer();
    Record();
    const double seconds = Timer() - t0;
    sensor.setCaptureListener({});
    const std::vector<std::string> rows = DataRows(path);
    const std::string figure =
        std::string("Recorder rows per second, interval 0, TCP, ") + (csv ? "CSV" : "tab-separated");
    if (rec.rowsLost) {
        bench::PrintFailure(figure, "rows lost");
        return;
    }
    // On a real line every row waits for a command and its answer: 72 bytes.
    const double lineCeiling = 1.0 / (2 * bench::kFrameBytes * bench::kByteSeconds);
    bench::Print({figure, rows.size() / seconds, "rows/s", 1, bench::Goal::AtLeast, lineCeiling,
                  "19200-Bd line's ceiling: " + bench::Fixed(lineCeiling, 1) + " rows/s (72 B per row)"});
    if (!csv) return;
    // Row k answers the k-th request: its stamp is the recording's start plus its elapsed seconds.
    std::vector<double> jitter;
    const std::lock_guard<std::mutex> hold(sent.lock);
    for (std::size_t k = 0; k < rows.size() && k < sent.at.size(); ++k) {
        const std::size_t comma = rows[k].find(',');
        jitter.push_back((rec.recordStart + std::stod(rows[k].substr(comma + 1)) - sent.at[k]) * 1e3);
    }
    if (jitter.size() != rows.size()) {
        bench::PrintFailure("Row time stamp minus answer sent, CSV", "rows and answers do not pair up");
        return;
    }
    bench::Print({"Row time stamp minus answer sent, median, CSV", Median(jitter), "ms", 3,
                  bench::Goal::AtMost, 1.0, "loopback and wake-up included; a row on the line: 37.5 ms"});
    bench::Print({"Row time stamp minus answer sent, max, CSV",
                  *std::max_element(jitter.begin(), jitter.end()), "ms", 3, bench::Goal::AtMost, 5.0,
                  "the event pump's guard timer: 5 ms"});
}

// The cost in microseconds of each sample of a recording of n samples: the append and the repaint it causes.
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
    constexpr int kWindow = 50;
    constexpr int kLate = 10000;
    const std::vector<double> cost = RecordSamples(kLate + kWindow);
    const double early = Median({cost.begin() + 10, cost.begin() + 10 + kWindow});
    const double late = Median({cost.begin() + kLate, cost.end()});
    const double all = std::accumulate(cost.begin(), cost.end(), 0.0) / double(cost.size());
    // The fastest recording on a real line takes a row per 37.5 ms; a sample should cost a small part of it.
    bench::Print({"Graph panel per sample after 10 samples, median", early, "us", 1, bench::Goal::AtMost,
                  1000.0, "a row on the line: 37,500 us"});
    bench::Print({"Graph panel per sample after 10,000 samples, median", late, "us", 1, bench::Goal::AtMost,
                  2 * early, "2 x the cost after 10 samples"});
    bench::Print({"Graph panel per sample, mean of 10,050 (x range doublings included)", all, "us", 1,
                  bench::Goal::AtMost, 1000.0, "a row on the line: 37,500 us"});
}

} // namespace

int main(int argc, char **argv) {
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);
    QApplication app(argc, argv);
    QTemporaryDir dir;
    if (!bench::SetUpProgramDir(dir, VEXA_DIR, {"VexaV32.uir", "orvena.png"})) return 1;
    SetPopupResponder(
        [](const PopupRecord &p, std::string &) { return p.kind == PopupRecord::Confirm ? 1 : 0; });

    sim::SimSensor sensor;
    const int tcpPort = sensor.listenTcp();
    std::ofstream(dir.filePath("ComSettings.cfg").toStdString(), std::ios::binary)
        << "1\r\n1\r\n127.0.0.1\r\n" + std::to_string(tcpPort) + "\r\n";
    if (StartVexa() != 0) return 1;
    ShowChildPanel(5);
    MeasureRecording(dir.filePath("record.dat").toStdString(), RecordFormat::Tab, sensor);
    MeasureRecording(dir.filePath("record.csv").toStdString(), RecordFormat::Csv, sensor);
    MeasureGraphPanel();
    EndVexa();
    SetProjectDir("");
    return 0;
}
