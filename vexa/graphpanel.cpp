#include "vexa/graphpanel.h"

#include "platform/userint.h"
#include "vexa/livedata.h"
#include "vexa/program.h"

namespace vexaprogram {

GraphPanelState gp;

namespace {

// One signal: its graph, its display, its live value, its buffer and its colour.
struct GraphSignal {
    const char *graph;
    const char *display;
    uint16_t LiveState::*value;
    uint16_t (GraphPanelState::*buffer)[2];
    int colour;
};
constexpr GraphSignal kSignals[kGraphSignals] = {
    {"GpGraphChL", "GpDispChL", &LiveState::dataChL, &GraphPanelState::GpBufChL, MakeColor(255, 0, 0)},
    {"GpGraphChC", "GpDispChC", &LiveState::dataChC, &GraphPanelState::GpBufChC, MakeColor(0, 255, 0)},
    {"GpGraphChR", "GpDispChR", &LiveState::dataChR, &GraphPanelState::GpBufChR, MakeColor(0, 0, 255)},
    {"GpGraphDensity", "GpDispDensity", &LiveState::dataDensity, &GraphPanelState::GpBufDensity,
     MakeColor(255, 128, 0)},
    {"GpGraphSym1", "GpDispSym1", &LiveState::dataSym1, &GraphPanelState::GpBufSym1, MakeColor(255, 0, 128)},
    {"GpGraphSym2", "GpDispSym2", &LiveState::dataSym2, &GraphPanelState::GpBufSym2, MakeColor(0, 128, 0)},
    {"GpGraphTemp", "GpDispTemp", &LiveState::dataTemp, &GraphPanelState::GpBufTemp, MakeColor(0, 128, 128)},
};

void DeleteAllPlots() {
    for (const GraphSignal &s : kSignals)
        DeleteGraphPlot(vexa.graphpanel, s.graph, -1, VAL_IMMEDIATE_DRAW);
}

} // namespace

void InitPanelGraph() {
    gp.graphcnt = 0;
    gp.wrapped = false;
    DeleteAllPlots();
    gp.GpBufCnt[0] = gp.GpBufCnt[1] = 0;
    for (const GraphSignal &s : kSignals)
        (gp.*s.buffer)[0] = (gp.*s.buffer)[1] = live.*s.value;
}

void SetPanelGraphData() {
    if (gp.wrapped) {
        DeleteAllPlots();
        gp.wrapped = false;
        gp.GpBufCnt[1] = 0; // a new page: the first sample is a point at x = 0
    }
    gp.GpBufCnt[0] = gp.GpBufCnt[1];
    gp.GpBufCnt[1] = gp.graphcnt;
    for (const GraphSignal &s : kSignals) {
        uint16_t(&buffer)[2] = gp.*s.buffer;
        const uint16_t value = live.*s.value;
        SetCtrlVal(vexa.graphpanel, s.display, static_cast<int>(value));
        buffer[0] = gp.graphcnt == 0 ? value : buffer[1];
        buffer[1] = value;
        PlotXY(vexa.graphpanel, s.graph, gp.GpBufCnt, buffer, 2, VAL_CONNECTED_POINTS, VAL_SOLID_SQUARE,
               VAL_SOLID, s.colour);
    }
    if (++gp.graphcnt == 0) gp.wrapped = true;
}

void SetGraphVisible() {
    int signal = 0;
    GetCtrlVal(vexa.graphpanel, "EditSignal", signal);
    if (signal < 0 || signal >= kGraphSignals) signal = 0;
    for (int k = 0; k < kGraphSignals; ++k)
        SetCtrlAttribute(vexa.graphpanel, kSignals[k].graph, ATTR_VISIBLE, k == signal);
}

} // namespace vexaprogram
