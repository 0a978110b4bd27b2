#include "vexa/livedata.h"

#include "link/com232.h"
#include "link/connectpanel.h"
#include "link/linkstate.h"
#include "platform/userint.h"
#include "runtime/utility.h"
#include "vexa/program.h"
#include "vexa/sensorlink.h"
#include "vexa/teachtable.h"
#include "vexalink/livecalc.h"

#include <algorithm>
#include <iterator>
#include <span>

using vexalink::Band;
using vexalink::DensityYRange;
using vexalink::Shift;
using vexalink::ToleranceBand;
using vexalink::YRange;

using namespace runtime;
using namespace programlink;

namespace vexaprogram {
namespace {

constexpr double kCyclePause = 0.050;
constexpr int kPointsPerScreen = kHistorySamples + 1;
constexpr int kDensityTop = 4096;
constexpr int kSymmetryTop = 1000;
constexpr double kBandHeight = 100.0;
constexpr double kCursorY = 50.0;
constexpr int kBarFull = 4095; // a bar does not move beyond its range, so brighter shows full
constexpr int kSym1Colour = MakeColor(255, 0, 128);
constexpr int kSym2Colour = MakeColor(0, 128, 64);

// The numeric displays of the data panel and what each shows.
struct LiveDisplay {
    const char *name;
    uint16_t LiveState::*value;
};
constexpr LiveDisplay kDisplays[] = {
    {"DispChL", &LiveState::dataChL},
    {"DispChC", &LiveState::dataChC},
    {"DispChR", &LiveState::dataChR},
    {"DispDensity", &LiveState::dataDensity},
    {"DispSym1", &LiveState::dataSym1},
    {"DispSym2", &LiveState::dataSym2},
    {"DispVec", &LiveState::dataVec},
    {"DispTemp", &LiveState::dataTemp},
    {"DispAktMaxChL", &LiveState::dataAktMaxChL},
    {"DispAktMaxChC", &LiveState::dataAktMaxChC},
    {"DispAktMaxChR", &LiveState::dataAktMaxChR},
    {"DispTrigger", &LiveState::dataTrigger},
};
constexpr LiveDisplay kBars[] = {
    {"BarChL", &LiveState::dataChL},
    {"BarChC", &LiveState::dataChC},
    {"BarChR", &LiveState::dataChR},
};

// Appends one sample of several traces at the end of a history, dropping the oldest.
template <std::size_t N> void AppendSample(double (&history)[N], std::initializer_list<double> sample) {
    const int traces = static_cast<int>(sample.size());
    Shift(history, static_cast<int>(N), -traces, history);
    std::copy(sample.begin(), sample.end(), std::end(history) - traces);
}

// The samples of a history that were taken (the rest of it holds no measurement).
template <std::size_t N> std::span<const double> Taken(const double (&history)[N]) {
    const std::size_t count = N / kHistorySamples * static_cast<std::size_t>(live.samplesTaken);
    return {std::end(history) - count, count};
}

// A chart shows the samples taken, newest at the right: they replace what the chart
// held, so that no point of the previous drawing is left at its left edge, and no
// point stands at 0 where no sample was taken yet.
void ShowHistory(const char *chart, std::span<const double> taken) {
    ClearStripChart(vexa.datapanel, chart);
    if (!taken.empty()) PlotStripChart(vexa.datapanel, chart, taken.data(), static_cast<int>(taken.size()));
}

void DrawBand(const char *graph, int setColumn, int colour) {
    const int v = SelectedVector();
    const Band band = ToleranceBand(TeachCell(v, setColumn), TeachCell(v, setColumn + 1), kSymmetryTop);
    DeleteGraphPlot(vexa.datapanel, graph, -1, VAL_DELAYED_DRAW);
    PlotRectangle(vexa.datapanel, graph, band.lo, 0.0, band.hi, kBandHeight, colour, colour);
}

// The pause between cycles lets events run, so that a click or the redraw is
// taken at once rather than after the pause, and still ends on time.
void PauseBetweenCycles() {
    const double end = Timer() + kCyclePause;
    for (double left = kCyclePause; left > 0.0; left = end - Timer())
        WaitForSystemEvents(left);
}

} // namespace

LiveState live;

void GetData() {
    vexa.poll = 1;
    LinkSensor().discardQueues();
    SetToleranceRangeSymmetry();
    while (vexa.poll == 1) {
        if (PollDataFrame()) {
            SetPanelData();
            ShowGraph();
        } else {
            SetPopupTimeout();
        }
        PauseBetweenCycles();
    }
}

void SetPanelData() {
    for (const LiveDisplay &b : kBars)
        SetCtrlVal(vexa.datapanel, b.name, std::min<int>(live.*b.value, kBarFull));
    for (const LiveDisplay &d : kDisplays)
        SetCtrlVal(vexa.datapanel, d.name, static_cast<int>(live.*d.value));
    // The big display is there to be read from afar; it follows the vector number.
    SetCtrlVal(vexa.colbigpanel, "DispBigVec", static_cast<int>(live.dataVec));

    const int v = SelectedVector();
    const Band limits = ToleranceBand(TeachCell(v, 0), TeachCell(v, 1), kDensityTop);
    AppendSample(live.rawBuf,
                 {double(live.dataChL), double(live.dataChC), double(live.dataChR),
                  double(live.dataAktMaxChL), double(live.dataAktMaxChC), double(live.dataAktMaxChR)});
    AppendSample(live.densityBuf, {double(live.dataDensity), double(limits.hi), double(limits.lo)});
    live.samplesTaken = std::min(live.samplesTaken + 1, kHistorySamples);
}

void ShowGraph() {
    GetCtrlVal(vexa.datapanel, "SelectSource", live.source);
    if (live.source == 0) {
        const std::span<const double> density = Taken(live.densityBuf);
        const YRange y = DensityYRange(density.data(), static_cast<int>(density.size()), live.scale);
        SetAxisScalingMode(vexa.datapanel, "GraphDensity", VAL_LEFT_YAXIS, VAL_MANUAL, y.min, y.max);
        SetCtrlAttribute(vexa.datapanel, "GraphDensity", ATTR_POINTS_PER_SCREEN, kPointsPerScreen);
        ShowHistory("GraphDensity", density);
        SetGraphCursor(vexa.datapanel, "GraphSym1", 1, live.dataSym1, kCursorY);
        SetGraphCursor(vexa.datapanel, "GraphSym2", 1, live.dataSym2, kCursorY);
    } else if (live.source == 1) {
        SetCtrlAttribute(vexa.datapanel, "GraphRaw1", ATTR_POINTS_PER_SCREEN, kPointsPerScreen);
        ShowHistory("GraphRaw1", Taken(live.rawBuf));
    }
}

void DispVis() {
    int source = 0;
    GetCtrlVal(vexa.datapanel, "SelectSource", source);
    if (source != 0 && source != 1) return;
    SetCtrlAttribute(vexa.datapanel, "GraphRaw1", ATTR_VISIBLE, source == 1);
    for (const char *name : {"GraphDensity", "GraphSym1", "GraphSym2"})
        SetCtrlAttribute(vexa.datapanel, name, ATTR_VISIBLE, source == 0);
}

void SetToleranceRangeSymmetry() {
    DrawBand("GraphSym1", 2, kSym1Colour);
    DrawBand("GraphSym2", 4, kSym2Colour);
}

} // namespace vexaprogram
