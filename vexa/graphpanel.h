// The graph panel: the course of seven signals over the recorded frames, one
// graph per signal, one of them shown. Fed by the recorder only.
#pragma once

#include <cstdint>

namespace vexaprogram {

constexpr int kGraphSignals = 7; // CH_L, CH_C, CH_R, density, symmetry 1, symmetry 2, temperature

// Element 0 is the previous sample, element 1 the current one.
struct GraphPanelState {
    uint16_t GpBufCnt[2] = {};
    uint16_t GpBufChL[2] = {}, GpBufChC[2] = {}, GpBufChR[2] = {};
    uint16_t GpBufDensity[2] = {}, GpBufSym1[2] = {}, GpBufSym2[2] = {}, GpBufTemp[2] = {};
    uint16_t graphcnt = 0; // x of the next sample: samples since the last clear
    bool wrapped = false;  // graphcnt has run past 65535; the next sample starts a clear page
};

extern GraphPanelState gp;

// Clears all seven graphs and restarts x at 0.
void InitPanelGraph();
// Shows the live values and appends one segment to each graph. After 65,536
// samples the x counter wraps: the graphs are then cleared and the recording
// goes on from x = 0, never drawing a line back across the graph.
void SetPanelGraphData();
// Shows the graph of the signal chosen with SIGNAL and hides the others.
void SetGraphVisible();

} // namespace vexaprogram
